#include "SiteListModel.h"

#include "SiteDatabase.h"

#include <numeric>

SiteListModel::SiteListModel(const SiteDatabase& catalogue, QObject* parent)
    : QAbstractListModel(parent), m_catalogue(catalogue)
{}

qsizetype SiteListModel::count() const
{
    return m_wholeCatalogue ? m_catalogue.count() : m_rows.size();
}

QString SiteListModel::name(qsizetype index) const
{
    const qsizetype row = m_wholeCatalogue ? index : m_rows.at(index);
    return row >= 0 ? m_catalogue.name(row) : m_unknownNames.value(-row - 1);
}

QStringList SiteListModel::names() const
{
    QStringList names;
    names.reserve(count());
    for (qsizetype index = 0; index < count(); ++index)
        names << name(index);
    return names;
}

int SiteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(count());
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count())
        return QVariant();
    return name(index.row());
}

void SiteListModel::showWholeCatalogue()
{
    beginResetModel();
    m_wholeCatalogue = true;
    m_rows.clear();
    m_unknownNames.clear();
    endResetModel();
}

void SiteListModel::append(const QList<qsizetype>& rows)
{
    if (rows.isEmpty())
        return;
    if (m_wholeCatalogue) { // appending needs the rows themselves
        m_rows.resize(m_catalogue.count());
        std::iota(m_rows.begin(), m_rows.end(), qsizetype(0));
        m_wholeCatalogue = false;
    }
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows += rows;
    endInsertRows();
}

void SiteListModel::setRows(QList<qsizetype> rows, QStringList unknownNames)
{
    beginResetModel();
    m_wholeCatalogue = false;
    m_rows = std::move(rows);
    m_unknownNames = std::move(unknownNames);
    endResetModel();
}
