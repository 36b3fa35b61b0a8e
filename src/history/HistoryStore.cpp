#include "HistoryStore.h"

#include "CatalogueCsv.h"
#include "PageList.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

const QStringList schema = {
    u"CREATE TABLE IF NOT EXISTS sent(profile TEXT NOT NULL, endpoint TEXT NOT NULL, url TEXT NOT NULL, "
    u"lastmod INTEGER, sent_at INTEGER NOT NULL, PRIMARY KEY(profile, endpoint, url)) WITHOUT ROWID"_s,
    u"CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, started_at INTEGER NOT NULL, ended_at INTEGER, "
    u"profile TEXT NOT NULL, front_end TEXT NOT NULL, mode TEXT NOT NULL, requests INTEGER NOT NULL, "
    u"succeeded INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, "
    u"state TEXT NOT NULL DEFAULT 'running')"_s,
    u"CREATE TABLE IF NOT EXISTS results(run INTEGER NOT NULL, position INTEGER NOT NULL, site TEXT NOT "
    u"NULL, "
    u"outcome TEXT NOT NULL, status INTEGER, detail TEXT, url_count INTEGER NOT NULL DEFAULT 0, "
    u"PRIMARY KEY(run, position))"_s,
    u"CREATE TABLE IF NOT EXISTS result_urls(run INTEGER NOT NULL, position INTEGER NOT NULL, "
    u"url TEXT NOT NULL)"_s,
    u"CREATE INDEX IF NOT EXISTS result_urls_by_result ON result_urls(run, position)"_s,
};

} // namespace

std::unique_ptr<HistoryStore> HistoryStore::open(const QString& path, QString& error)
{
    if (QFileInfo(path).isDir()) {
        error = u"The history file \"%1\" is a directory."_s.arg(path);
        return nullptr;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadWrite);
    QString openError;
    if (!connection->open(openError)) {
        error = u"The history file \"%1\" cannot be opened: %2."_s.arg(path, openError);
        return nullptr;
    }
    std::unique_ptr<HistoryStore> store(new HistoryStore(std::move(connection)));
    // The window and a scheduled run may write at the same time: readers never wait for a
    // writer, and a writer waits its turn for a while instead of failing.
    store->exec(u"PRAGMA busy_timeout = 5000"_s);
    store->exec(u"PRAGMA journal_mode = WAL"_s);
    for (const QString& statement : schema) {
        if (!store->exec(statement)) {
            error = u"The history file \"%1\" cannot be used: %2."_s.arg(path, store->lastError());
            return nullptr;
        }
    }
    return store;
}

HistoryStore::HistoryStore(std::unique_ptr<SqliteConnection> connection) : m_connection(std::move(connection))
{}

HistoryStore::~HistoryStore() = default;

QString HistoryStore::path() const
{
    return m_connection->path();
}

bool HistoryStore::exec(const QString& sql)
{
    QSqlQuery query(m_connection->database());
    if (query.exec(sql))
        return true;
    m_lastError = query.lastError().databaseText();
    return false;
}

bool HistoryStore::forEachSent(const QString& profile, const QString& endpoint,
                               const std::function<void(QByteArrayView url, const SentPage& page)>& each)
{
    SqliteStatement scan(*m_connection, u"SELECT url, lastmod, sent_at FROM sent WHERE profile = ? AND "
                                        u"endpoint = ? ORDER BY url"_s);
    scan.bind(1, profile);
    scan.bind(2, endpoint);
    while (scan.next())
        each(scan.utf8(0),
             SentPage{scan.isNull(1) ? PageList::unknownTime : scan.integer(1), scan.integer(2)});
    m_lastError = scan.errorText();
    return scan.errorCode() == 0;
}

bool HistoryStore::recordSent(const QString& profile, const QString& endpoint, const PageList& pages,
                              const QList<qsizetype>& indices, qint64 sentAt)
{
    QSqlDatabase& db = m_connection->database();
    if (!db.transaction()) {
        m_lastError = db.lastError().databaseText();
        return false;
    }
    SqliteStatement insert(*m_connection,
                           u"INSERT OR REPLACE INTO sent(profile, endpoint, url, lastmod, sent_at) "
                           u"VALUES (?, ?, ?, ?, ?)"_s);
    bool written = insert.isValid();
    for (const qsizetype index : indices) {
        if (!written)
            break;
        insert.reset();
        insert.bind(1, profile);
        insert.bind(2, endpoint);
        insert.bind(3, pages.url(index));
        if (pages.lastModified(index) == PageList::unknownTime)
            insert.bindNull(4);
        else
            insert.bind(4, pages.lastModified(index));
        insert.bind(5, sentAt);
        written = insert.run();
    }
    m_lastError = insert.errorText();
    if (!written) {
        db.rollback();
        return false;
    }
    return db.commit();
}

qint64 HistoryStore::beginRun(const RunStart& start)
{
    QSqlQuery insert(m_connection->database());
    insert.prepare(
        u"INSERT INTO runs(started_at, profile, front_end, mode, requests) VALUES (?, ?, ?, ?, ?)"_s);
    for (const QVariant& value : {QVariant(start.startedAt), QVariant(start.profile),
                                  QVariant(start.frontEnd), QVariant(start.mode), QVariant(start.requests)})
        insert.addBindValue(value);
    if (!insert.exec()) {
        m_lastError = insert.lastError().databaseText();
        return 0;
    }
    return insert.lastInsertId().toLongLong();
}

bool HistoryStore::addResult(qint64 run, const Result& result)
{
    QSqlDatabase& db = m_connection->database();
    db.transaction();
    QSqlQuery query(db);
    query.prepare(u"INSERT INTO results(run, position, site, outcome, status, detail, url_count) "
                  u"VALUES (?, ?, ?, ?, ?, ?, ?)"_s);
    for (const QVariant& value :
         {QVariant(run), QVariant(result.position), QVariant(result.site),
          QVariant(result.succeeded ? u"succeeded"_s : u"failed"_s), QVariant(result.status),
          QVariant(result.detail), QVariant(result.urls.size())})
        query.addBindValue(value);
    bool written = query.exec();
    if (written) {
        query.prepare(result.succeeded ? u"UPDATE runs SET succeeded = succeeded + 1 WHERE id = ?"_s
                                       : u"UPDATE runs SET failed = failed + 1 WHERE id = ?"_s);
        query.addBindValue(run);
        written = query.exec();
    }
    if (written && !result.urls.isEmpty()) {
        query.prepare(u"INSERT INTO result_urls(run, position, url) VALUES (?, ?, ?)"_s);
        QVariantList runs(result.urls.size(), run);
        QVariantList positions(result.urls.size(), result.position);
        QVariantList urls(result.urls.cbegin(), result.urls.cend());
        query.addBindValue(runs);
        query.addBindValue(positions);
        query.addBindValue(urls);
        written = query.execBatch();
    }
    if (!written) {
        m_lastError = query.lastError().databaseText();
        db.rollback();
        return false;
    }
    return db.commit();
}

bool HistoryStore::endRun(qint64 run, qint64 endedAt, bool cancelled)
{
    QSqlQuery query(m_connection->database());
    query.prepare(u"UPDATE runs SET ended_at = ?, state = ? WHERE id = ?"_s);
    query.addBindValue(endedAt);
    query.addBindValue(cancelled ? u"cancelled"_s : u"completed"_s);
    query.addBindValue(run);
    if (query.exec())
        return true;
    m_lastError = query.lastError().databaseText();
    return false;
}

QList<HistoryStore::RunSummary> HistoryStore::runs(const QString& profile, int last)
{
    QSqlQuery query(m_connection->database());
    query.prepare(
        u"SELECT id, started_at, ended_at, profile, front_end, mode, state, requests, succeeded, failed "
        u"FROM runs WHERE ? = '' OR profile = ? ORDER BY id DESC LIMIT ?"_s);
    query.addBindValue(profile.isNull() ? u""_s : profile);
    query.addBindValue(profile);
    query.addBindValue(last);
    QList<RunSummary> runs;
    if (!query.exec()) {
        m_lastError = query.lastError().databaseText();
        return runs;
    }
    while (query.next()) {
        runs.append({query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toLongLong(),
                     query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
                     query.value(6).toString(), query.value(7).toInt(), query.value(8).toInt(),
                     query.value(9).toInt()});
    }
    return runs;
}

QList<HistoryStore::ResultRow> HistoryStore::results(qint64 run, bool failuresOnly)
{
    QSqlQuery query(m_connection->database());
    query.prepare(u"SELECT position, site, outcome, status, detail, url_count FROM results WHERE run = ? "
                  u"AND (? = 0 OR outcome = 'failed') ORDER BY position"_s);
    query.addBindValue(run);
    query.addBindValue(failuresOnly ? 1 : 0);
    QList<ResultRow> rows;
    if (!query.exec()) {
        m_lastError = query.lastError().databaseText();
        return rows;
    }
    while (query.next()) {
        rows.append({query.value(0).toInt(), query.value(1).toString(), query.value(2).toString(),
                     query.value(3).toInt(), query.value(4).toString(), query.value(5).toInt()});
    }
    return rows;
}

QStringList HistoryStore::resultUrls(qint64 run, int position)
{
    QSqlQuery query(m_connection->database());
    query.prepare(u"SELECT url FROM result_urls WHERE run = ? AND position = ? ORDER BY rowid"_s);
    query.addBindValue(run);
    query.addBindValue(position);
    QStringList urls;
    if (query.exec()) {
        while (query.next())
            urls << query.value(0).toString();
    }
    return urls;
}

bool HistoryStore::exportCsv(qint64 run, QIODevice& out)
{
    using CatalogueCsv::Field;
    const auto write = [&out](const QList<Field>& fields) {
        return out.write(CatalogueCsv::formatRecord(fields).toUtf8()) >= 0;
    };
    const auto field = [](const QString& text) { return text.isEmpty() ? Field() : Field(text); };
    bool written = write({u"position"_s, u"site"_s, u"outcome"_s, u"status"_s, u"detail"_s, u"url"_s});
    for (const ResultRow& row : results(run)) {
        const QStringList urls = row.urlCount > 0 ? resultUrls(run, row.position) : QStringList{QString()};
        for (const QString& url : urls) {
            written = written && write({QString::number(row.position), row.site, row.outcome,
                                        field(row.status ? QString::number(row.status) : QString()),
                                        field(row.detail), field(url)});
        }
    }
    return written;
}
