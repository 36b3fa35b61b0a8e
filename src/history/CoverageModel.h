#pragma once

#include "Coverage.h"

#include <QAbstractTableModel>

#include <memory>
#include <optional>
#include <vector>

// The pages of a coverage at one site, all of them or those in one state, as a table: page,
// state, last accepted, reason. Holds only the numbers of the rows shown, so a million pages
// are filtered and shown without a copy.
class CoverageModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { PageColumn, StateColumn, AcceptedColumn, ReasonColumn, GoogleColumn, ColumnCount };

    explicit CoverageModel(QObject* parent = nullptr);

    void show(std::shared_ptr<const Coverage> coverage, int endpoint, std::optional<Coverage::State> state);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const Coverage> m_coverage;
    int m_endpoint = 0;
    std::vector<qsizetype> m_pages; // the coverage's pages shown, in its order
};
