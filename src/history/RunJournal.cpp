#include "RunJournal.h"

#include "HistoryDatabase.h"
#include "PackedIds.h"
#include "RunLock.h"
#include "SqliteStatement.h"

#include <algorithm>

using namespace Qt::StringLiterals;

RunJournal::RunJournal(HistoryDatabase& database) : m_database(database) {}

QString RunJournal::lastError() const
{
    return m_database.lastError();
}

namespace {

bool ran(SqliteStatement& statement, HistoryDatabase& database)
{
    if (statement.run())
        return true;
    database.setLastError(statement.errorText());
    return false;
}

} // namespace

qint64 RunJournal::beginRun(const RunStart& start)
{
    SqliteStatement insert(
        m_database.connection(),
        u"INSERT INTO runs(started_at, profile, front_end, mode, requests) VALUES (?, ?, ?, ?, ?)"_s);
    insert.bind(1, start.startedAt);
    insert.bind(2, start.profile);
    insert.bind(3, start.frontEnd);
    insert.bind(4, start.mode);
    insert.bind(5, qint64(start.requests));
    return ran(insert, m_database) ? insert.lastInsertId() : 0;
}

bool RunJournal::addResult(qint64 run, const Result& result)
{
    SqliteStatement insert(m_database.connection(),
                           u"INSERT INTO results(run, position, site, outcome, status, detail, page_count) "
                           u"VALUES (?, ?, ?, ?, ?, ?, ?)"_s);
    insert.bind(1, run);
    insert.bind(2, qint64(result.position));
    insert.bind(3, result.site);
    insert.bind(4, result.ending == Ending::Succeeded ? u"succeeded"_s
                   : result.ending == Ending::Failed  ? u"failed"_s
                                                      : u"recorded"_s);
    insert.bind(5, qint64(result.status));
    insert.bind(6, result.detail.size() > longestDetail ? result.detail.left(longestDetail - 1) + u'…'
                                                        : result.detail);
    insert.bind(7, qint64(result.pages.size()));
    if (!ran(insert, m_database))
        return false;
    if (result.ending != Ending::Recorded) {
        SqliteStatement count(m_database.connection(),
                              result.ending == Ending::Succeeded
                                  ? u"UPDATE runs SET succeeded = succeeded + 1 WHERE id = ?"_s
                                  : u"UPDATE runs SET failed = failed + 1 WHERE id = ?"_s);
        count.bind(1, run);
        if (!ran(count, m_database))
            return false;
    }
    if (result.pages.isEmpty())
        return true;
    QList<qint64> pages = result.pages;
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    SqliteStatement list(m_database.connection(),
                         u"INSERT INTO result_pages(run, position, pages) VALUES (?, ?, ?)"_s);
    list.bind(1, run);
    list.bind(2, qint64(result.position));
    list.bindBlob(3, PackedIds::pack(pages));
    return ran(list, m_database);
}

bool RunJournal::endRun(qint64 run, qint64 endedAt, End end, const QString& note)
{
    SqliteStatement update(m_database.connection(),
                           u"UPDATE runs SET ended_at = ?, state = ?, note = ? WHERE id = ?"_s);
    update.bind(1, endedAt);
    update.bind(2, end == End::Completed   ? u"completed"_s
                   : end == End::Cancelled ? u"cancelled"_s
                   : end == End::Failed    ? u"failed"_s
                                           : u"nothing to send"_s);
    update.bind(3, note.isEmpty() ? QString() : note.left(longestDetail));
    update.bind(4, run);
    return ran(update, m_database) && pruneDetails();
}

bool RunJournal::pruneDetails()
{
    // The newest runs keep their page lists while they fit in the budget; older ones let go.
    SqliteStatement sizes(m_database.connection(),
                          u"SELECT run, sum(page_count) FROM results GROUP BY run ORDER BY run DESC"_s);
    qint64 kept = 0;
    qint64 oldestKept = 0;
    while (sizes.next()) {
        kept += sizes.integer(1);
        if (kept > pageDetailBudget && oldestKept != 0)
            break; // the newest run keeps its list whatever its size
        oldestKept = sizes.integer(0);
    }
    if (sizes.errorCode() != 0) {
        m_database.setLastError(sizes.errorText());
        return false;
    }
    if (kept <= pageDetailBudget)
        return true;
    SqliteStatement drop(m_database.connection(), u"DELETE FROM result_pages WHERE run < ?"_s);
    drop.bind(1, oldestKept);
    return ran(drop, m_database);
}

bool RunJournal::markInterrupted(const QString& runLockFile)
{
    if (!runLockFile.isEmpty() && !RunLock::isFree(runLockFile))
        return true;
    SqliteStatement update(m_database.connection(),
                           u"UPDATE runs SET state = 'interrupted' WHERE state = 'running'"_s);
    return ran(update, m_database);
}

QList<RunJournal::RunSummary> RunJournal::runs(const QString& profile, int last)
{
    SqliteStatement query(
        m_database.connection(),
        u"SELECT id, started_at, ended_at, profile, front_end, mode, state, requests, succeeded, "
        u"failed, note FROM runs WHERE ? = '' OR profile = ? ORDER BY id DESC LIMIT ?"_s);
    query.bind(1, profile.isNull() ? u""_s : profile);
    query.bind(2, profile);
    query.bind(3, qint64(last));
    QList<RunSummary> runs;
    while (query.next()) {
        runs.append({query.integer(0), query.integer(1), query.integer(2), query.text(3), query.text(4),
                     query.text(5), query.text(6), int(query.integer(7)), int(query.integer(8)),
                     int(query.integer(9)), query.text(10)});
    }
    m_database.setLastError(query.errorText());
    return runs;
}

QList<RunJournal::ResultRow> RunJournal::results(qint64 run, bool failuresOnly)
{
    SqliteStatement query(
        m_database.connection(),
        u"SELECT position, site, outcome, status, detail, page_count FROM results WHERE run = ? "
        u"AND (? = 0 OR outcome = 'failed') ORDER BY position"_s);
    query.bind(1, run);
    query.bind(2, qint64(failuresOnly ? 1 : 0));
    QList<ResultRow> rows;
    while (query.next()) {
        rows.append({int(query.integer(0)), query.text(1), query.text(2), int(query.integer(3)),
                     query.text(4), int(query.integer(5))});
    }
    m_database.setLastError(query.errorText());
    return rows;
}

QStringList RunJournal::resultPages(qint64 run, int position)
{
    SqliteStatement list(m_database.connection(),
                         u"SELECT pages FROM result_pages WHERE run = ? AND position = ?"_s);
    list.bind(1, run);
    list.bind(2, qint64(position));
    QStringList urls;
    if (!list.next()) {
        m_database.setLastError(list.errorText());
        return urls;
    }
    SqliteStatement address(m_database.connection(), u"SELECT o.origin || p.path FROM pages p JOIN origins o "
                                                     u"ON o.id = p.origin WHERE p.id = ?"_s);
    for (const qint64 page : PackedIds::unpack(list.blob(0))) {
        address.reset();
        address.bind(1, page);
        if (address.next())
            urls << address.text(0);
    }
    m_database.setLastError(address.errorText());
    return urls;
}

QList<RunJournal::AnnouncedPages> RunJournal::announcedPerRun(const QString& profile)
{
    SqliteStatement query(
        m_database.connection(),
        u"SELECT r.started_at, SUM(s.page_count) FROM runs r JOIN results s ON s.run = r.id "
        u"WHERE r.profile = ? AND s.outcome = 'succeeded' GROUP BY r.id "
        u"HAVING SUM(s.page_count) > 0 ORDER BY r.started_at"_s);
    query.bind(1, profile);
    QList<AnnouncedPages> runs;
    while (query.next())
        runs.append({query.integer(0), int(query.integer(1))});
    return runs;
}
