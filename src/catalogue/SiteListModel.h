#pragma once

#include <QAbstractListModel>
#include <QStringList>

// Shows a list of site names that lives elsewhere (in EngineSelection). The owner changes the
// list, then says what kind of change it was, so a view hears of 100,000 rows in one batch.
class SiteListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit SiteListModel(const QStringList& names, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Rows were added at the end: the view keeps its highlighting.
    void rowsAppended();
    // Anything else: the view starts afresh.
    void listReset();
    void rowRemoved(int row);

private:
    const QStringList& m_names;
    int m_rowCount = 0;
};
