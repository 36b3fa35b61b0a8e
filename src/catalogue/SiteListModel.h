#pragma once

#include <QAbstractListModel>
#include <QStringList>

// A list of site names for a view. Every change goes through the model, which tells its views
// before and after it changes the list, so a view hears of 100,000 rows in one batch.
class SiteListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;
    Q_DISABLE_COPY_MOVE(SiteListModel)

    const QStringList& names() const { return m_names; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Rows added at the end: views keep their highlighting.
    void append(const QStringList& names);
    // Anything else: views start afresh.
    void setNames(QStringList names);

private:
    QStringList m_names;
};
