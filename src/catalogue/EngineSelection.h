#pragma once

#include <QList>
#include <QStringList>

class SiteDatabase;

// The two lists of the engine selection page without their widgets: the catalogue's site
// names, and the selected sites of the next run. Every operation runs in one pass over its
// list, so catalogues of any size stay fast. The selection may hold a name more than once.
class EngineSelection
{
public:
    explicit EngineSelection(SiteDatabase& catalogue);

    const QStringList& catalogue() const { return m_catalogue; }
    const QStringList& selected() const { return m_selected; }

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
    void removeSelectedAt(int row);
    void clearSelected();
    void setSelected(const QStringList& sites);

private:
    SiteDatabase& m_database;
    QStringList m_catalogue;
    QStringList m_selected;
};
