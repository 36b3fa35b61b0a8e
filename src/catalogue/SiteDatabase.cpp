#include "SiteDatabase.h"

#include "CatalogueSchema.h"
#include "PromoSite.h"
#include "SqliteConnection.h"

#include <QFileInfo>
#include <QSqlError>

using namespace Qt::StringLiterals;

std::unique_ptr<SiteDatabase> SiteDatabase::open(const QString& path, QString& error)
{
    if (!QFileInfo::exists(path)) {
        error = u"The site catalogue \"%1\" does not exist."_s.arg(path);
        return nullptr;
    }
    auto connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadOnly);
    QString openError;
    if (!connection->open(openError)) {
        error = u"The site catalogue \"%1\" cannot be opened: %2."_s.arg(path, openError);
        return nullptr;
    }
    error = CatalogueSchema::verify(connection->database(), path);
    if (!error.isEmpty())
        return nullptr;

    std::unique_ptr<SiteDatabase> database(new SiteDatabase(std::move(connection)));
    if (!database->load(error))
        return nullptr;
    return database;
}

SiteDatabase::SiteDatabase(std::unique_ptr<SqliteConnection> connection) : m_connection(std::move(connection))
{}

SiteDatabase::~SiteDatabase()
{
    // Queries must be gone before their connection is removed.
    m_fetch = QSqlQuery();
}

QString SiteDatabase::path() const
{
    return m_connection->path();
}

bool SiteDatabase::load(QString& error)
{
    QSqlDatabase& db = m_connection->database();
    QSqlQuery scan(db);
    scan.setForwardOnly(true);
    // Views and tables without rowids have no rowid column; their rows are found again by name.
    m_keyColumn = u"rowid"_s;
    if (!scan.exec(u"SELECT rowid, sitename, sitetype FROM promosites ORDER BY sitename COLLATE NOCASE"_s)) {
        m_keyColumn = PromoSiteColumns::sitename;
        if (!scan.exec(
                u"SELECT sitename, sitename, sitetype FROM promosites ORDER BY sitename COLLATE NOCASE"_s)) {
            error = u"The site catalogue \"%1\" cannot be read: %2."_s.arg(path(),
                                                                           scan.lastError().databaseText());
            return false;
        }
    }

    // Most rows share one of two type texts: keep one copy of each.
    QHash<QString, QString> typePool;
    while (scan.next()) {
        const QString type = scan.value(2).toString();
        auto pooled = typePool.constFind(type);
        if (pooled == typePool.cend())
            pooled = typePool.insert(type, type);
        m_rows.push_back(Row{scan.value(0), scan.value(1).toString(), *pooled});
    }
    if (scan.lastError().isValid()) {
        error =
            u"The site catalogue \"%1\" cannot be read: %2."_s.arg(path(), scan.lastError().databaseText());
        return false;
    }
    // A view answers for rowid with null: its rows too are found again by name.
    if (!m_rows.empty() && m_rows.front().key.isNull()) {
        m_keyColumn = PromoSiteColumns::sitename;
        for (Row& row : m_rows)
            row.key = row.sitename;
    }

    m_firstRowByName.reserve(qsizetype(m_rows.size()));
    for (qsizetype i = 0; i < qsizetype(m_rows.size()); ++i) {
        const QString& name = m_rows[size_t(i)].sitename;
        if (!m_firstRowByName.contains(name))
            m_firstRowByName.insert(name, i);
    }

    m_fetch = QSqlQuery(db);
    m_fetch.setForwardOnly(true);
    m_fetch.prepare(u"SELECT * FROM promosites WHERE %1 = ? LIMIT 1"_s.arg(m_keyColumn));
    m_cursor = 0;
    return true;
}

void SiteDatabase::moveFirst()
{
    m_cursor = 0;
}

bool SiteDatabase::atEnd() const
{
    return m_cursor >= qsizetype(m_rows.size());
}

void SiteDatabase::moveNext()
{
    if (!atEnd())
        ++m_cursor;
}

bool SiteDatabase::findFirst(const QString& sitename)
{
    const auto found = m_firstRowByName.constFind(sitename);
    m_cursor = found == m_firstRowByName.cend() ? qsizetype(m_rows.size()) : found.value();
    return !atEnd();
}

QString SiteDatabase::field(const QString& column) const
{
    if (atEnd())
        return QString();
    const Row& row = m_rows[size_t(m_cursor)];
    if (column.compare(PromoSiteColumns::sitename, Qt::CaseInsensitive) == 0)
        return row.sitename;
    if (column.compare(PromoSiteColumns::sitetype, Qt::CaseInsensitive) == 0)
        return row.sitetype;
    return currentRecord().value(column).toString();
}

const QSqlRecord& SiteDatabase::currentRecord() const
{
    if (m_fetchedRow != m_cursor) {
        m_fetched = QSqlRecord();
        m_fetchedRow = m_cursor;
        m_fetch.addBindValue(m_rows[size_t(m_cursor)].key);
        if (m_fetch.exec() && m_fetch.next())
            m_fetched = m_fetch.record();
        m_fetch.finish();
    }
    return m_fetched;
}
