#include "CatalogueSchema.h"

#include "PromoSite.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

using namespace Qt::StringLiterals;

QString CatalogueSchema::verify(QSqlDatabase& database, const QString& path)
{
    // SQLite opens any file lazily: the first real query tells whether it is a database at all.
    QSqlQuery master(database);
    if (!master.exec(u"SELECT name FROM sqlite_master WHERE name = 'promosites' COLLATE NOCASE "
                     u"AND type IN ('table', 'view')"_s)) {
        return u"The file \"%1\" is not a site catalogue: %2."_s.arg(path, master.lastError().databaseText());
    }
    if (!master.next())
        return u"The site catalogue \"%1\" has no table promosites."_s.arg(path);

    QSqlQuery info(database);
    if (!info.exec(u"PRAGMA table_info(promosites)"_s))
        return u"The site catalogue \"%1\" cannot be read: %2."_s.arg(path, info.lastError().databaseText());
    QStringList present;
    while (info.next())
        present << info.value(1).toString().toLower();

    QStringList missing;
    for (const QString& column : PromoSiteColumns::all) {
        if (!present.contains(column))
            missing << column;
    }
    if (!missing.isEmpty()) {
        return u"The table promosites in the site catalogue \"%1\" lacks the column%2 %3."_s.arg(
            path, missing.size() == 1 ? QString() : u"s"_s, missing.join(u", "_s));
    }
    return QString();
}
