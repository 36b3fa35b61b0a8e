#pragma once

#include "PromoSite.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SqliteConnection;

// The catalogue, opened read-only for the life of the program. In memory it keeps only what
// the lists need, each site's name and type, in list order: names compared without regard to
// case or accents, sites whose names compare equal (such as "Émile" and "émile") next to each
// other in the table's own order. The names are kept as UTF-8 in one buffer, some forty bytes a
// site; the other columns are read from the file when a site is composed.
class SiteDatabase
{
public:
    // A catalogue that cannot be used gives no object and a sentence naming the file and the fault.
    static std::unique_ptr<SiteDatabase> open(const QString& path, QString& error);
    ~SiteDatabase();
    SiteDatabase(const SiteDatabase&) = delete;
    SiteDatabase& operator=(const SiteDatabase&) = delete;

    QString path() const { return m_path; }

    qsizetype count() const { return qsizetype(m_types.size()); }
    QString name(qsizetype row) const { return QString::fromUtf8(nameUtf8(row)); }
    QByteArrayView nameUtf8(qsizetype row) const;
    const QString& type(qsizetype row) const { return m_typeNames[m_types[size_t(row)]]; }

    // The first row in list order whose name is exactly `name`: any character, case and all.
    // Found by its place in the order, so no index of names is ever held.
    std::optional<qsizetype> find(const QString& name) const;

    // The whole row of each site at the given list rows, in the order given, read in one read
    // transaction; a row the catalogue does not hold gives a site with nothing in it.
    void readSites(const QList<qsizetype>& rows, const std::function<void(const PromoSite&)>& each);
    // The same sites, each with its place in `rows`, in the order that reads fastest: one pass
    // over the file when they are many. For work that does not care in which order they come.
    void visitSites(const QList<qsizetype>& rows,
                    const std::function<void(const PromoSite&, qsizetype at)>& each);
    // A site by name; a name the catalogue does not hold gives a site with that name and nothing else.
    PromoSite site(const QString& name);
    // The name of a site whose address is `action`, the first the file gives; the address
    // itself when no site has it, so that whatever a history names stays readable.
    QString nameOf(const QString& action);

private:
    SiteDatabase(QString path, std::unique_ptr<SqliteConnection> connection);
    bool load(QString& error);
    bool loadWithKey(const QString& keyColumn, QString& error);

    QString m_path;
    std::unique_ptr<SqliteConnection> m_connection;
    // By list row: where each name ends in m_names, the rowid it is found again by (none when
    // rows are found by name), and its type as an index into m_typeNames.
    std::string m_names;
    std::vector<quint32> m_nameEnds;
    std::vector<qint64> m_rowids;
    std::vector<quint16> m_types; // most rows share one of two type texts
    std::vector<QString> m_typeNames;
    QString m_keyColumn; // a rowid alias no column of the table shadows, or the name
    QStringList m_composedColumns;
};
