#include "EngineSelection.h"

#include "SiteDatabase.h"

#include <QSet>

#include <numeric>

EngineSelection::EngineSelection(SiteDatabase& catalogue)
    : m_database(catalogue), m_catalogue(catalogue), m_selected(catalogue)
{}

void EngineSelection::keep(const std::function<bool(qsizetype index)>& kept)
{
    QList<qsizetype> rows;
    QStringList unknownNames;
    for (qsizetype index = 0; index < m_selected.count(); ++index) {
        if (!kept(index))
            continue;
        const qsizetype row = m_selected.rows().at(index);
        if (row >= 0) {
            rows.append(row);
        } else {
            unknownNames.append(m_selected.name(index));
            rows.append(-unknownNames.size());
        }
    }
    m_selected.setRows(std::move(rows), std::move(unknownNames));
}

void EngineSelection::refillCatalogue()
{
    m_catalogue.showWholeCatalogue();
}

void EngineSelection::addType(const QString& type)
{
    QList<qsizetype> rows;
    for (qsizetype row = 0; row < m_database.count(); ++row) {
        if (m_database.type(row) == type)
            rows.append(row);
    }
    m_selected.append(rows);
}

void EngineSelection::removeType(const QString& type)
{
    keep([&](qsizetype index) {
        const qsizetype row = m_selected.rows().at(index);
        return row < 0 || m_database.type(row) != type;
    });
}

void EngineSelection::addAll()
{
    QList<qsizetype> rows(m_database.count());
    std::iota(rows.begin(), rows.end(), qsizetype(0));
    m_selected.append(rows);
}

void EngineSelection::addFromCatalogue(const QList<int>& rows)
{
    // The catalogue list is the database in its order: a list row is a database row.
    QList<qsizetype> picked;
    for (const int row : rows) {
        if (row >= 0 && row < m_catalogue.count())
            picked.append(m_catalogue.rows().isEmpty() ? row : m_catalogue.rows().at(row));
    }
    m_selected.append(picked);
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
    QList<qsizetype> rows;
    QStringList unknownNames;
    for (const QString& site : sites) {
        if (const std::optional<qsizetype> row = m_database.find(site)) {
            rows.append(*row);
        } else {
            unknownNames.append(site);
            rows.append(-unknownNames.size());
        }
    }
    m_selected.setRows(std::move(rows), std::move(unknownNames));
}
