#include "SiteListModel.h"

int SiteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_names.size())
        return QVariant();
    return m_names.at(index.row());
}

void SiteListModel::append(const QStringList& names)
{
    if (names.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_names.size()), int(m_names.size() + names.size() - 1));
    m_names += names;
    endInsertRows();
}

void SiteListModel::setNames(QStringList names)
{
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}
