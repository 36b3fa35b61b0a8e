#pragma once

#include "PromoSite.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SqliteConnection;

// The catalogue, opened read-only for the life of the program. In memory it keeps only what
// the lists need, each site's name and type, in list order: names compared without regard to
// case or accents, sites whose names compare equal (such as "Émile" and "émile") next to each
// other in the table's own order. The other columns are read from the file when a site is
// composed, in batches when many are.
class SiteDatabase
{
public:
    // A catalogue that cannot be used gives no object and a sentence naming the file and the fault.
    static std::unique_ptr<SiteDatabase> open(const QString& path, QString& error);
    ~SiteDatabase();
    SiteDatabase(const SiteDatabase&) = delete;
    SiteDatabase& operator=(const SiteDatabase&) = delete;

    QString path() const { return m_path; }

    qsizetype count() const { return qsizetype(m_rows.size()); }
    const QString& name(qsizetype row) const { return m_rows[size_t(row)].name; }
    const QString& type(qsizetype row) const { return m_types[m_rows[size_t(row)].type]; }

    // The first row in list order whose name is exactly `name`: any character, case and all.
    std::optional<qsizetype> find(const QString& name) const;

    // The whole row of each site at the given list rows, in the order given, read in one read
    // transaction.
    void readSites(const QList<qsizetype>& rows, const std::function<void(const PromoSite&)>& each);
    // A site by name; a name the catalogue does not hold gives a site with that name and nothing else.
    PromoSite site(const QString& name);

private:
    struct Row
    {
        qint64 rowid = 0; // unused when rows are found again by name
        QString name;
        quint16 type = 0; // in m_types: most rows share one of two type texts
    };

    SiteDatabase(QString path, std::unique_ptr<SqliteConnection> connection);
    bool load(QString& error);
    bool loadWithKey(const QString& keyColumn, QString& error);

    QString m_path;
    std::unique_ptr<SqliteConnection> m_connection;
    std::vector<Row> m_rows;
    std::vector<QString> m_types;
    QString m_keyColumn; // a rowid alias no column of the table shadows, or the name
    mutable QHash<QString, qsizetype> m_firstRowByName;
};
