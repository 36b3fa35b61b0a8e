#pragma once

#include "SiteListModel.h"

#include <QList>
#include <QStringList>

#include <functional>

class SiteDatabase;

// The two lists of the engine selection page without their widgets: the catalogue's sites, and
// the selected sites of the next run, each a model the page's views show. Every operation runs
// in one pass over its list, so catalogues of any size stay fast and small. The selection may
// hold a site more than once.
class EngineSelection
{
public:
    explicit EngineSelection(SiteDatabase& catalogue);

    SiteListModel& catalogueModel() { return m_catalogue; }
    SiteListModel& selectedModel() { return m_selected; }
    qsizetype catalogueCount() const { return m_catalogue.count(); }
    qsizetype selectedCount() const { return m_selected.count(); }
    // The names, built when asked for.
    QStringList catalogue() const { return m_catalogue.names(); }
    QStringList selected() const { return m_selected.names(); }
    // The catalogue row of each selected entry, negative for a name the catalogue does not hold.
    const QList<qsizetype>& selectedRows() const { return m_selected.rows(); }

    // The catalogue list, afresh from the database in its order.
    void refillCatalogue();

    // Appends every site of the type, in catalogue order, whether or not it is selected already.
    void addType(const QString& type);
    // Removes every selected entry whose site has the type; the others keep their order.
    void removeType(const QString& type);
    // Appends every site of the catalogue, whatever its type.
    void addAll();
    // Appends the catalogue entries at the given rows, in row order.
    void addFromCatalogue(const QList<int>& rows);
    // Removes the selected entries at the given rows.
    void removeSelected(const QList<int>& rows);
    void setSelected(const QStringList& sites);

private:
    void keep(const std::function<bool(qsizetype index)>& kept);

    SiteDatabase& m_database;
    SiteListModel m_catalogue;
    SiteListModel m_selected;
};
