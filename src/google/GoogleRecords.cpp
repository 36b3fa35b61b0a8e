#include "GoogleRecords.h"

#include "Coverage.h"
#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "SqliteStatement.h"

#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

qint64 msecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QDateTime timeOf(qint64 msecs)
{
    return msecs == 0 ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
}

// What Google said is kept in the history's file, in tables of its own that Google's part makes.
const bool tablesKept = HistoryDatabase::keepTables(
    u"google_sitemaps"_s,
    {u"CREATE TABLE google_sitemaps(profile TEXT NOT NULL, sitemap TEXT NOT NULL, submitted_at INTEGER, "
     u"read_at INTEGER NOT NULL, last_submitted INTEGER, last_downloaded INTEGER, pending INTEGER NOT NULL, "
     u"is_index INTEGER NOT NULL, warnings INTEGER NOT NULL, errors INTEGER NOT NULL, pages INTEGER NOT "
     u"NULL, "
     u"PRIMARY KEY(profile, sitemap)) WITHOUT ROWID"_s,
     u"CREATE TABLE google_inspections(page INTEGER PRIMARY KEY, inspected_at INTEGER NOT NULL, verdict "
     u"TEXT, "
     u"coverage TEXT, last_crawl INTEGER, robots TEXT, indexing TEXT, fetch_state TEXT, google_canonical "
     u"TEXT)"_s,
     u"CREATE TABLE google_quota(property TEXT NOT NULL, day TEXT NOT NULL, used INTEGER NOT NULL, "
     u"exhausted INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(property, day)) WITHOUT ROWID"_s});

} // namespace

GoogleRecords::GoogleRecords(HistoryDatabase& database) : m_database(database) {}

bool GoogleRecords::failed(const QString& error)
{
    m_lastError = error;
    return false;
}

bool GoogleRecords::recordSitemap(const QString& profile, const GoogleSitemapStatus& status, qint64 readAt,
                                  bool submittedNow)
{
    SqliteStatement write(
        m_database.connection(),
        u"INSERT INTO google_sitemaps(profile, sitemap, submitted_at, read_at, last_submitted, "
        u"last_downloaded, "
        u"pending, is_index, warnings, errors, pages) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        u"ON CONFLICT(profile, sitemap) DO UPDATE SET submitted_at = coalesce(excluded.submitted_at, "
        u"submitted_at), "
        u"read_at = excluded.read_at, last_submitted = excluded.last_submitted, "
        u"last_downloaded = excluded.last_downloaded, pending = excluded.pending, is_index = "
        u"excluded.is_index, "
        u"warnings = excluded.warnings, errors = excluded.errors, pages = excluded.pages"_s);
    write.bind(1, profile);
    write.bind(2, status.path);
    if (submittedNow)
        write.bind(3, readAt);
    else
        write.bindNull(3);
    write.bind(4, readAt);
    write.bind(5, msecs(status.lastSubmitted));
    write.bind(6, msecs(status.lastDownloaded));
    write.bind(7, qint64(status.pending));
    write.bind(8, qint64(status.isIndex));
    write.bind(9, status.warnings);
    write.bind(10, status.errors);
    write.bind(11, status.submittedPages);
    return write.run() || failed(write.errorText());
}

bool GoogleRecords::recordSitemaps(const QString& profile, const QList<GoogleSitemapStatus>& sitemaps,
                                   qint64 readAt)
{
    if (!m_database.begin())
        return failed(m_database.lastError());
    for (const GoogleSitemapStatus& sitemap : sitemaps) {
        if (!recordSitemap(profile, sitemap, readAt, false)) {
            m_database.rollback();
            return false;
        }
    }
    return m_database.commit() || failed(m_database.lastError());
}

QList<GoogleRecords::StoredSitemap> GoogleRecords::sitemaps(const QString& profile)
{
    SqliteStatement read(
        m_database.connection(),
        u"SELECT sitemap, submitted_at, read_at, last_submitted, last_downloaded, pending, "
        u"is_index, warnings, errors, pages FROM google_sitemaps WHERE profile = ? ORDER BY sitemap"_s);
    read.bind(1, profile);
    QList<StoredSitemap> list;
    while (read.next()) {
        StoredSitemap stored;
        stored.status.path = read.text(0);
        stored.submittedAt = read.integer(1);
        stored.readAt = read.integer(2);
        stored.status.lastSubmitted = timeOf(read.integer(3));
        stored.status.lastDownloaded = timeOf(read.integer(4));
        stored.status.pending = read.integer(5) != 0;
        stored.status.isIndex = read.integer(6) != 0;
        stored.status.warnings = read.integer(7);
        stored.status.errors = read.integer(8);
        stored.status.submittedPages = read.integer(9);
        list.append(stored);
    }
    if (read.errorCode() != 0)
        m_lastError = read.errorText();
    return list;
}

QHash<qint64, GoogleRecords::StoredInspection> GoogleRecords::inspected()
{
    SqliteStatement read(m_database.connection(),
                         u"SELECT page, inspected_at, verdict, coverage, last_crawl, robots, indexing, "
                         u"fetch_state, google_canonical FROM google_inspections"_s);
    QHash<qint64, StoredInspection> found;
    while (read.next()) {
        StoredInspection& stored = found[read.integer(0)];
        stored.inspectedAt = read.integer(1);
        stored.status.verdict = read.text(2);
        stored.status.coverageState = read.text(3);
        stored.status.lastCrawl = timeOf(read.integer(4));
        stored.status.robotsTxtState = read.text(5);
        stored.status.indexingState = read.text(6);
        stored.status.pageFetchState = read.text(7);
        stored.status.googleCanonical = read.text(8);
    }
    if (read.errorCode() != 0)
        m_lastError = read.errorText();
    return found;
}

QList<GoogleRecords::QueuedPage> GoogleRecords::inspectionQueue(const QByteArray& website, int limit)
{
    // Pages announced since Google was last asked about them, the oldest announcement first; a
    // page announced as removed since it was last announced is not asked about.
    const QHash<qint64, StoredInspection> asked = inspected();
    QList<QueuedPage> queue;
    PageLedger ledger(m_database);
    const bool read = ledger.forEachAnnounced(website, [&](const PageLedger::Announced& page) {
        if (queue.size() >= limit)
            return false;
        const auto inspection = asked.constFind(page.page);
        const bool due = page.announcedAt != 0 && page.removedAt < page.announcedAt &&
                         (inspection == asked.cend() || inspection->inspectedAt < page.announcedAt);
        if (due)
            queue.append({page.page, QString::fromUtf8(page.url), page.announcedAt});
        return true;
    });
    if (!read)
        m_lastError = ledger.lastError();
    return queue;
}

bool GoogleRecords::recordInspection(qint64 page, const GoogleIndexStatus& status, qint64 at)
{
    SqliteStatement write(m_database.connection(),
                          u"INSERT OR REPLACE INTO google_inspections(page, inspected_at, verdict, coverage, "
                          u"last_crawl, robots, indexing, fetch_state, google_canonical) "
                          u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    write.bind(1, page);
    write.bind(2, at);
    write.bind(3, status.verdict);
    write.bind(4, status.coverageState);
    write.bind(5, msecs(status.lastCrawl));
    write.bind(6, status.robotsTxtState);
    write.bind(7, status.indexingState);
    write.bind(8, status.pageFetchState);
    write.bind(9, status.googleCanonical);
    return write.run() || failed(write.errorText());
}

bool GoogleRecords::recordCountedInspection(qint64 page, const GoogleIndexStatus& status, qint64 at,
                                            const QString& property, const QString& day)
{
    if (!m_database.begin())
        return failed(m_database.lastError());
    if (!recordInspection(page, status, at) || !countInspections(property, day, 1, false)) {
        m_database.rollback();
        return false;
    }
    return m_database.commit() || failed(m_database.lastError());
}

QHash<QString, GoogleRecords::StoredInspection> GoogleRecords::inspections(const QByteArray& website)
{
    QHash<qint64, StoredInspection> asked = inspected();
    QHash<QString, StoredInspection> found;
    if (asked.isEmpty())
        return found; // the ledger is not read for nothing
    PageLedger ledger(m_database);
    const bool read = ledger.forEachAnnounced(website, [&](const PageLedger::Announced& page) {
        if (const auto inspection = asked.find(page.page); inspection != asked.end()) {
            inspection->announcedAt = page.announcedAt;
            found.insert(QString::fromUtf8(page.url), *inspection);
        }
        return true;
    });
    if (!read)
        m_lastError = ledger.lastError();
    return found;
}

void GoogleRecords::describeIn(Coverage& coverage, QString (*date)(qint64))
{
    QHash<QString, Coverage::GoogleNote> notes;
    const QHash<QString, StoredInspection> inspected = inspections(coverage.website());
    for (auto it = inspected.cbegin(); it != inspected.cend(); ++it)
        notes.insert(it.key(), {it->status.state(), it->status.describe(it->announcedAt, date)});
    coverage.setGoogle(notes);
}

QString GoogleRecords::quotaDay(const QDateTime& now)
{
    const QTimeZone pacific("America/Los_Angeles");
    return (pacific.isValid() ? now.toTimeZone(pacific) : now.toUTC()).date().toString(Qt::ISODate);
}

int GoogleRecords::inspectionsLeft(const QString& property, const QString& day)
{
    SqliteStatement read(m_database.connection(),
                         u"SELECT used, exhausted FROM google_quota WHERE property = ? AND day = ?"_s);
    read.bind(1, property);
    read.bind(2, day);
    if (!read.next())
        return read.errorCode() == 0 ? dailyInspections : 0;
    return read.integer(1) != 0 ? 0 : int(qMax<qint64>(0, dailyInspections - read.integer(0)));
}

bool GoogleRecords::countInspections(const QString& property, const QString& day, int used, bool exhausted)
{
    SqliteStatement write(m_database.connection(),
                          u"INSERT INTO google_quota(property, day, used, exhausted) VALUES (?, ?, ?, ?) "
                          u"ON CONFLICT(property, day) DO UPDATE SET used = used + excluded.used, "
                          u"exhausted = max(exhausted, excluded.exhausted)"_s);
    write.bind(1, property);
    write.bind(2, day);
    write.bind(3, qint64(used));
    write.bind(4, qint64(exhausted));
    return write.run() || failed(write.errorText());
}
