#include "CatalogueFile.h"

#include "PromoSite.h"
#include "SqliteConnection.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString verifySchema(QSqlDatabase& database, const QString& path)
{
    QSqlQuery master(database);
    if (!master.exec(u"SELECT name FROM sqlite_master WHERE name = 'promosites' COLLATE NOCASE "
                     u"AND type IN ('table', 'view')"_s))
        return CatalogueFile::readFailure(path, master.lastError());
    if (!master.next())
        return u"The site catalogue \"%1\" has no table promosites."_s.arg(path);

    QSqlQuery info(database);
    if (!info.exec(u"PRAGMA table_info(promosites)"_s))
        return CatalogueFile::readFailure(path, info.lastError());
    QStringList present;
    while (info.next())
        present << info.value(1).toString();
    return CatalogueFile::lacksColumns(u"The table promosites in the site catalogue \"%1\""_s.arg(path),
                                       CatalogueFile::missingColumns(present));
}

} // namespace

QString CatalogueFile::readFailure(const QString& path, int sqliteCode, const QString& message)
{
    constexpr int busy = 5, locked = 6, notADatabase = 26;
    if (sqliteCode == busy || sqliteCode == locked)
        return u"The site catalogue \"%1\" is locked by another program; try again when it is done."_s.arg(
            path);
    if (sqliteCode == notADatabase)
        return u"The file \"%1\" is not a site catalogue: %2."_s.arg(path, message);
    return u"The site catalogue \"%1\" cannot be read: %2."_s.arg(path, message);
}

QString CatalogueFile::readFailure(const QString& path, const QSqlError& failure)
{
    return readFailure(path, failure.nativeErrorCode().toInt(), failure.databaseText());
}

QStringList CatalogueFile::missingColumns(const QStringList& present)
{
    QStringList missing;
    for (const QString& column : PromoSiteColumns::required) {
        if (!present.contains(column, Qt::CaseInsensitive))
            missing << column;
    }
    return missing;
}

QString CatalogueFile::lacksColumns(const QString& subject, const QStringList& missing)
{
    if (missing.isEmpty())
        return QString();
    return u"%1 lacks the required column%2 %3."_s.arg(subject, missing.size() == 1 ? QString() : u"s"_s,
                                                       missing.join(u", "_s));
}

std::unique_ptr<SqliteConnection> CatalogueFile::open(const QString& path, QString& error)
{
    // Asked of the system itself: a file in a directory the user may not read is there all the
    // same, and "does not exist" would send the user looking for the wrong fault.
    struct stat status
    {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        error = errno == ENOENT ? u"The site catalogue \"%1\" does not exist."_s.arg(path)
                                : u"The site catalogue \"%1\" cannot be read: %2."_s.arg(
                                      path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    const QFileInfo file(path);
    if (file.isDir()) {
        error = u"The site catalogue \"%1\" is a directory, not a file."_s.arg(path);
        return nullptr;
    }
    auto connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadOnly);
    QString openError;
    if (!connection->open(openError)) {
        error = u"The site catalogue \"%1\" cannot be opened: %2."_s.arg(path, openError);
        return nullptr;
    }
    // SQLite opens any file lazily: the first real query tells whether it is a catalogue at all.
    error = verifySchema(connection->database(), path);
    return error.isEmpty() ? std::move(connection) : nullptr;
}
