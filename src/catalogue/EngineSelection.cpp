#include "EngineSelection.h"

#include "SiteDatabase.h"

#include <QSet>

#include <numeric>

void EngineSelection::append(const QList<qsizetype>& rows)
{
    QStringList names;
    names.reserve(rows.size());
    for (const qsizetype row : rows)
        names.append(m_database.name(row));
    m_selectedRows += rows;
    m_selected.append(names);
}

void EngineSelection::keep(const std::function<bool(qsizetype index)>& kept)
{
    QStringList names;
    QList<qsizetype> rows;
    for (qsizetype index = 0; index < m_selectedRows.size(); ++index) {
        if (kept(index)) {
            names.append(selected().at(index));
            rows.append(m_selectedRows.at(index));
        }
    }
    m_selectedRows = std::move(rows);
    m_selected.setNames(std::move(names));
}

void EngineSelection::refillCatalogue()
{
    QStringList names;
    names.reserve(m_database.count());
    for (qsizetype row = 0; row < m_database.count(); ++row)
        names.append(m_database.name(row));
    m_catalogue.setNames(std::move(names));
}

void EngineSelection::addType(const QString& type)
{
    QList<qsizetype> rows;
    for (qsizetype row = 0; row < m_database.count(); ++row) {
        if (m_database.type(row) == type)
            rows.append(row);
    }
    append(rows);
}

void EngineSelection::removeType(const QString& type)
{
    keep([&](qsizetype index) {
        const qsizetype row = m_selectedRows.at(index);
        return row < 0 || m_database.type(row) != type;
    });
}

void EngineSelection::addAll()
{
    QList<qsizetype> rows(m_database.count());
    std::iota(rows.begin(), rows.end(), qsizetype(0));
    append(rows);
}

void EngineSelection::addFromCatalogue(const QList<int>& rows)
{
    // The catalogue list is the database in its order: a list row is a database row.
    QList<qsizetype> picked;
    for (const int row : rows) {
        if (row >= 0 && row < catalogue().size())
            picked.append(row);
    }
    append(picked);
}

void EngineSelection::removeSelected(const QList<int>& rows)
{
    if (rows.isEmpty())
        return;
    const QSet<int> doomed(rows.cbegin(), rows.cend());
    keep([&doomed](qsizetype index) { return !doomed.contains(int(index)); });
}

void EngineSelection::setSelected(const QStringList& sites)
{
    m_selectedRows.clear();
    for (const QString& site : sites)
        m_selectedRows.append(m_database.find(site).value_or(-1));
    m_selected.setNames(sites);
}
