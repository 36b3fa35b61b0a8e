#include "SiteListModel.h"

SiteListModel::SiteListModel(const QStringList& names, QObject* parent)
    : QAbstractListModel(parent), m_names(names), m_rowCount(int(names.size()))
{}

int SiteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_names.size())
        return QVariant();
    return m_names.at(index.row());
}

void SiteListModel::rowsAppended()
{
    const int newCount = int(m_names.size());
    if (newCount < m_rowCount) {
        listReset();
        return;
    }
    if (newCount == m_rowCount)
        return;
    beginInsertRows(QModelIndex(), m_rowCount, newCount - 1);
    m_rowCount = newCount;
    endInsertRows();
}

void SiteListModel::listReset()
{
    beginResetModel();
    m_rowCount = int(m_names.size());
    endResetModel();
}

void SiteListModel::rowRemoved(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_rowCount = int(m_names.size());
    endRemoveRows();
}
