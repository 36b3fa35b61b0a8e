#include "EngineSelection.h"

#include "PromoSite.h"
#include "SiteDatabase.h"

#include <QSet>

EngineSelection::EngineSelection(SiteDatabase& catalogue) : m_database(catalogue) {}

void EngineSelection::refillCatalogue()
{
    m_catalogue.clear();
    for (m_database.moveFirst(); !m_database.atEnd(); m_database.moveNext())
        m_catalogue.append(m_database.field(PromoSiteColumns::sitename));
}

void EngineSelection::addType(const QString& type)
{
    for (m_database.moveFirst(); !m_database.atEnd(); m_database.moveNext()) {
        if (m_database.field(PromoSiteColumns::sitetype) == type)
            m_selected.append(m_database.field(PromoSiteColumns::sitename));
    }
}

void EngineSelection::removeType(const QString& type)
{
    m_database.moveFirst();
    QStringList kept;
    kept.reserve(m_selected.size());
    for (const QString& name : std::as_const(m_selected)) {
        m_database.findFirst(name);
        if (m_database.field(PromoSiteColumns::sitetype) != type)
            kept.append(name);
    }
    m_selected = std::move(kept);
}

void EngineSelection::addAll()
{
    for (m_database.moveFirst(); !m_database.atEnd(); m_database.moveNext())
        m_selected.append(m_database.field(PromoSiteColumns::sitename));
}

void EngineSelection::addFromCatalogue(const QList<int>& rows)
{
    m_selected.reserve(m_selected.size() + rows.size());
    for (int row : rows) {
        if (row >= 0 && row < m_catalogue.size())
            m_selected.append(m_catalogue.at(row));
    }
}

void EngineSelection::removeSelected(const QList<int>& rows)
{
    const QSet<int> doomed(rows.cbegin(), rows.cend());
    QStringList kept;
    kept.reserve(m_selected.size());
    for (int row = 0; row < m_selected.size(); ++row) {
        if (!doomed.contains(row))
            kept.append(m_selected.at(row));
    }
    m_selected = std::move(kept);
}

void EngineSelection::removeSelectedAt(int row)
{
    if (row >= 0 && row < m_selected.size())
        m_selected.removeAt(row);
}

void EngineSelection::clearSelected()
{
    m_selected.clear();
}

void EngineSelection::setSelected(const QStringList& sites)
{
    m_selected = sites;
}
