#include "HistoryDatabase.h"

#include "PackedIds.h"
#include "PageLedger.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "WebAddress.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

// A writer waits for another process's write for as long as a run may take to record a
// batch; a reader for a moment only, since in WAL mode writers seldom hold it back.
constexpr int writerPatienceMs = 10 * 60 * 1000;
constexpr int readerPatienceMs = 5000;

// The second layout, which every history passes through on its way to the current one.
const QStringList secondLayout = {
    // The ledger: each page once, by its origin ("https://www.example.com") and the rest of its
    // address, and which endpoint accepted it when, with the last change it then had.
    u"CREATE TABLE origins(id INTEGER PRIMARY KEY, origin TEXT NOT NULL UNIQUE, host TEXT NOT NULL)"_s,
    u"CREATE TABLE pages(id INTEGER PRIMARY KEY, origin INTEGER NOT NULL, path TEXT NOT NULL)"_s,
    u"CREATE TABLE endpoints(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE)"_s,
    u"CREATE TABLE sent(endpoint INTEGER NOT NULL, page INTEGER NOT NULL, lastmod INTEGER, "
    u"sent_at INTEGER NOT NULL, PRIMARY KEY(endpoint, page)) WITHOUT ROWID"_s,
    // The journal: every run, each of its requests, and the pages a batch carried.
    u"CREATE TABLE runs(id INTEGER PRIMARY KEY, started_at INTEGER NOT NULL, ended_at INTEGER, "
    u"profile TEXT NOT NULL, front_end TEXT NOT NULL, mode TEXT NOT NULL, requests INTEGER NOT NULL, "
    u"succeeded INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, "
    u"state TEXT NOT NULL DEFAULT 'running')"_s,
    u"CREATE TABLE results(run INTEGER NOT NULL, position INTEGER NOT NULL, site TEXT NOT NULL, "
    u"outcome TEXT NOT NULL, status INTEGER, detail TEXT, page_count INTEGER NOT NULL DEFAULT 0, "
    u"PRIMARY KEY(run, position)) WITHOUT ROWID"_s,
    u"CREATE TABLE result_pages(run INTEGER NOT NULL, position INTEGER NOT NULL, page INTEGER NOT NULL, "
    u"PRIMARY KEY(run, position, page)) WITHOUT ROWID"_s,
};

// The third: an endpoint's refusals beside its acceptances, each page's last check before it was
// announced, and the pages the sitemaps listed at the last run.
const QStringList toThirdLayout = {
    u"CREATE TABLE announcements(endpoint INTEGER NOT NULL, page INTEGER NOT NULL, lastmod INTEGER, "
    u"accepted_at INTEGER, removal INTEGER NOT NULL DEFAULT 0, refused_at INTEGER, refused_run INTEGER, "
    u"refused_position INTEGER, PRIMARY KEY(endpoint, page)) WITHOUT ROWID"_s,
    u"INSERT INTO announcements(endpoint, page, lastmod, accepted_at) SELECT endpoint, page, lastmod, "
    u"sent_at "
    u"FROM sent"_s,
    u"DROP TABLE sent"_s,
    u"CREATE TABLE checks(page INTEGER PRIMARY KEY, checked_at INTEGER NOT NULL, left_out TEXT, detail TEXT)"_s,
    u"CREATE TABLE listings(host TEXT PRIMARY KEY, listed_at INTEGER NOT NULL, pages BLOB NOT NULL)"_s,
};

// The fourth layout added the tables of what Google said; they are Google's to make (see
// keepTables()), and the history's own tables did not change.

// The fifth: pages a baseline recorded as announced, told apart from pages an engine accepted,
// and baselines that say they sent nothing (a baseline's pages were recorded at the time its run
// began); the lists of listed pages kept by website rather than by host (PageLedger).
const QStringList toFifthLayout = {
    u"ALTER TABLE announcements ADD COLUMN baseline INTEGER NOT NULL DEFAULT 0"_s,
    u"UPDATE announcements SET baseline = 1 WHERE removal = 0 AND accepted_at IN "
    u"(SELECT started_at FROM runs WHERE mode = 'baseline')"_s,
    u"UPDATE results SET outcome = 'recorded' WHERE run IN (SELECT id FROM runs WHERE mode = 'baseline')"_s,
    u"UPDATE runs SET succeeded = 0 WHERE mode = 'baseline'"_s,
};

// The sixth: each page once, as the unique index says, in place of every writer's care. A page an
// older file holds twice becomes the first of its twins, which takes over what the others had.
const QStringList toSixthLayout = {
    u"CREATE TEMP TABLE page_twins AS SELECT p.id AS twin, k.keep AS keep FROM pages p JOIN "
    u"(SELECT origin, path, min(id) AS keep FROM pages GROUP BY origin, path HAVING count(*) > 1) k "
    u"ON p.origin = k.origin AND p.path = k.path WHERE p.id <> k.keep"_s,
    // Where both twins were announced to one endpoint, the later announcement stays.
    u"DELETE FROM announcements AS k WHERE EXISTS (SELECT 1 FROM page_twins t JOIN announcements a ON "
    u"a.page = t.twin WHERE t.keep = k.page AND a.endpoint = k.endpoint AND "
    u"coalesce(a.accepted_at, a.refused_at, 0) > coalesce(k.accepted_at, k.refused_at, 0))"_s,
    u"UPDATE OR IGNORE announcements SET page = (SELECT keep FROM page_twins WHERE twin = page) "
    u"WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"DELETE FROM announcements WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"UPDATE OR IGNORE result_pages SET page = (SELECT keep FROM page_twins WHERE twin = page) "
    u"WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"DELETE FROM result_pages WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"UPDATE OR IGNORE checks SET page = (SELECT keep FROM page_twins WHERE twin = page) "
    u"WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"DELETE FROM checks WHERE page IN (SELECT twin FROM page_twins)"_s,
    u"DELETE FROM pages WHERE id IN (SELECT twin FROM page_twins)"_s,
    u"DROP TABLE page_twins"_s,
    u"CREATE UNIQUE INDEX pages_address ON pages(origin, path)"_s,
};

// The seventh: a run says in a sentence why it sent nothing (it failed before sending, or found
// nothing to send) or what it left aside.
const QStringList toSeventhLayout = {
    u"ALTER TABLE runs ADD COLUMN note TEXT"_s,
};

// The eighth: what each page held when it was last fetched whole (ContentFingerprint), with the
// validators it came with, the hash of its bytes and when its content last changed; and for each
// endpoint the start of
// the fingerprint of the version it accepted (eight bytes tell versions of one page apart), so
// that a page without a usable lastmod goes to an engine when its content moved.
const QStringList toEighthLayout = {
    u"CREATE TABLE contents(page INTEGER PRIMARY KEY, fingerprint BLOB NOT NULL, etag TEXT, "
    u"last_modified TEXT, changed_at INTEGER NOT NULL, checked_at INTEGER NOT NULL, bytes_hash INTEGER)"_s,
    u"ALTER TABLE announcements ADD COLUMN fingerprint INTEGER"_s,
};

// The ninth: the pages a request carried, one row per request with its page ids packed as a
// listing's are, not one row per page (a million pages' first run wrote a million rows, 14 MB).
const QStringList toNinthLayout = {
    u"CREATE TABLE result_lists(run INTEGER NOT NULL, position INTEGER NOT NULL, pages BLOB NOT NULL, "
    u"PRIMARY KEY(run, position)) WITHOUT ROWID"_s,
};

// The tables of the first layout, which had no version: pages recorded by profile title and
// site name, and a copy of every address a batch carried.
const QSet<QString> firstLayoutTables = {u"sent"_s, u"runs"_s, u"results"_s, u"result_urls"_s};

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The tables other parts keep in the file, by the first table each makes.
QHash<QString, QStringList>& keptTables()
{
    static QHash<QString, QStringList> kept;
    return kept;
}

} // namespace

bool HistoryDatabase::keepTables(const QString& firstTable, const QStringList& statements)
{
    keptTables().insert(firstTable, statements);
    return true;
}

bool HistoryDatabase::lacksKeptTables(const QSet<QString>& tables)
{
    const QHash<QString, QStringList>& kept = keptTables();
    return std::any_of(kept.keyBegin(), kept.keyEnd(),
                       [&tables](const QString& table) { return !tables.contains(table); });
}

bool HistoryDatabase::addKeptTables(const QSet<QString>& tables)
{
    const QHash<QString, QStringList>& kept = keptTables();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        if (tables.contains(it.key()))
            continue;
        for (const QString& statement : it.value()) {
            if (!exec(statement))
                return false;
        }
    }
    return true;
}

std::unique_ptr<HistoryDatabase> HistoryDatabase::open(const QString& path, Mode mode, QString& error,
                                                       const Upgrade& upgrade)
{
    const QFileInfo file(path);
    if (file.isDir()) {
        error = u"The history file \"%1\" is a directory."_s.arg(native(path));
        return nullptr;
    }
    if (mode == Mode::OpenExisting && !file.exists())
        return nullptr;
    if (mode == Mode::OpenOrCreate)
        QDir().mkpath(file.absolutePath());
    auto connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Mode::ReadWrite);
    QString openError;
    if (!connection->open(openError)) {
        error = u"The history file \"%1\" cannot be opened: %2."_s.arg(native(path), openError);
        return nullptr;
    }
    std::unique_ptr<HistoryDatabase> database(new HistoryDatabase(std::move(connection)));
    database->exec(
        u"PRAGMA busy_timeout = %1"_s.arg(mode == Mode::OpenOrCreate ? writerPatienceMs : readerPatienceMs));
    if (!database->prepareLayout(native(path), upgrade, error))
        return nullptr;
    // Readers never wait for a writer; the window and a scheduled run may both be at it.
    database->exec(u"PRAGMA journal_mode = WAL"_s);
    return database;
}

HistoryDatabase::HistoryDatabase(std::unique_ptr<SqliteConnection> connection)
    : m_connection(std::move(connection))
{}

HistoryDatabase::~HistoryDatabase() = default;

QString HistoryDatabase::path() const
{
    return m_connection->path();
}

bool HistoryDatabase::exec(const QString& sql)
{
    QSqlQuery query(m_connection->database());
    if (query.exec(sql))
        return true;
    m_lastError = query.lastError().databaseText();
    return false;
}

bool HistoryDatabase::begin()
{
    return exec(u"BEGIN IMMEDIATE"_s);
}

bool HistoryDatabase::commit()
{
    if (exec(u"COMMIT"_s))
        return true;
    const QString why = m_lastError;
    rollback();
    m_lastError = why;
    return false;
}

void HistoryDatabase::rollback()
{
    const QString why = m_lastError;
    exec(u"ROLLBACK"_s);
    m_lastError = why;
}

bool HistoryDatabase::prepareLayout(const QString& path, const Upgrade& upgrade, QString& error)
{
    const auto refuse = [&](const QString& why) {
        error = u"The history file \"%1\" %2 It is left as it is."_s.arg(path, why);
        return false;
    };
    qint64 found = 0;
    QSet<QString> tables;
    // Finished before anything is changed: an open statement would keep the tables locked.
    const auto readLayout = [&] {
        SqliteStatement version(*m_connection, u"PRAGMA user_version"_s);
        if (!version.next())
            return refuse(u"cannot be read: %1."_s.arg(version.errorText()));
        found = version.integer(0);
        SqliteStatement list(
            *m_connection,
            u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"_s);
        tables.clear();
        while (list.next())
            tables.insert(list.text(0));
        if (list.errorCode() != 0)
            return refuse(u"cannot be read: %1."_s.arg(list.errorText()));
        return true;
    };
    const auto refuseForeign = [&] {
        if (found > layout)
            return refuse(u"was written by a newer version of Orvanta (layout %1; this one knows up to %2)."_s
                              .arg(found)
                              .arg(layout));
        QStringList names(tables.cbegin(), tables.cend());
        names.sort();
        return refuse(u"is not an Orvanta history: it holds the tables %1."_s.arg(names.join(u", "_s)));
    };
    const auto foreign = [&] {
        return found > layout || (found == 0 && !tables.isEmpty() && tables != firstLayoutTables);
    };
    if (!readLayout())
        return false;
    if (found == layout && !lacksKeptTables(tables))
        return true;
    if (foreign())
        return refuseForeign();
    if (!begin())
        return refuse(u"cannot be written: %1."_s.arg(m_lastError));
    // Read again under the write lock: another process (or thread) may have brought the file up
    // to date, or made it, while this one waited for the lock.
    if (!readLayout()) {
        rollback();
        return false;
    }
    if (found == layout) {
        if (!addKeptTables(tables)) {
            rollback();
            return refuse(u"cannot be brought up to date: %1."_s.arg(m_lastError));
        }
        return commit() || refuse(u"cannot be written: %1."_s.arg(m_lastError));
    }
    if (foreign()) {
        rollback();
        return refuseForeign();
    }
    // Each layout is reached from the one before, in one transaction: all of it or nothing.
    bool written = true;
    if (found < 2) {
        for (const QString& statement : secondLayout) {
            if (!written)
                break;
            if (!tables.isEmpty() && statement.startsWith(u"CREATE TABLE runs"_s))
                continue; // kept as it was
            written = exec(tables.isEmpty()
                               ? statement
                               : QString(statement)
                                     .replace(u"CREATE TABLE results("_s, u"CREATE TABLE results_new("_s)
                                     .replace(u"CREATE TABLE sent("_s, u"CREATE TABLE sent_new("_s));
        }
        written = written && (tables.isEmpty() || (copyFromFirstLayout(upgrade) && dropFirstLayout()));
    }
    if (found < 3) {
        for (const QString& statement : toThirdLayout)
            written = written && exec(statement);
    }
    if (found < 5) {
        for (const QString& statement : toFifthLayout)
            written = written && exec(statement);
        if (written) {
            PageLedger ledger(*this);
            written = ledger.keyListingsByWebsite();
            if (!written)
                m_lastError = ledger.lastError();
        }
    }
    if (found < 6) {
        for (const QString& statement : toSixthLayout)
            written = written && exec(statement);
    }
    if (found < 7) {
        for (const QString& statement : toSeventhLayout)
            written = written && exec(statement);
    }
    if (found < 8) {
        for (const QString& statement : toEighthLayout)
            written = written && exec(statement);
    }
    for (const QString& statement : toNinthLayout)
        written = written && exec(statement);
    written = written && packResultPages();
    written = written && addKeptTables(tables);
    written = written && exec(u"PRAGMA user_version = %1"_s.arg(layout)) && commit();
    if (!written) {
        rollback();
        return refuse(u"cannot be brought up to date: %1."_s.arg(m_lastError));
    }
    return true;
}

bool HistoryDatabase::copyFromFirstLayout(const Upgrade& upgrade)
{
    const auto failed = [this](const SqliteStatement& statement) {
        m_lastError = statement.errorText();
        return false;
    };
    // Each address once, in its normal form; origins and pages as the ledger keeps them.
    QHash<QByteArray, qint64> originIds;
    QHash<QByteArray, qint64> pageIds;
    SqliteStatement addOrigin(*m_connection, u"INSERT INTO origins(origin, host) VALUES (?, ?)"_s);
    SqliteStatement addPage(*m_connection, u"INSERT INTO pages(origin, path) VALUES (?, ?)"_s);
    const auto pageOf = [&](QByteArrayView url) -> qint64 {
        const WebAddress::Normalised page = WebAddress::normalise(url);
        if (page.address.isEmpty())
            return 0;
        if (const auto known = pageIds.constFind(page.address); known != pageIds.cend())
            return *known;
        const QByteArrayView origin = WebAddress::originOf(page.address);
        qint64 originId = originIds.value(origin.toByteArray());
        if (originId == 0) {
            addOrigin.reset();
            addOrigin.bind(1, origin);
            addOrigin.bind(2, WebAddress::hostOf(page.address));
            if (!addOrigin.run()) {
                failed(addOrigin);
                return -1;
            }
            originId = addOrigin.lastInsertId();
            originIds.insert(origin.toByteArray(), originId);
        }
        addPage.reset();
        addPage.bind(1, originId);
        addPage.bind(2, QByteArrayView(page.address).sliced(origin.size()));
        if (!addPage.run()) {
            failed(addPage);
            return -1;
        }
        const qint64 id = addPage.lastInsertId();
        pageIds.insert(page.address, id);
        return id;
    };

    // Pages sent under two profile titles for one site are one page now: the later sending counts.
    QHash<QString, qint64> endpointIds;
    SqliteStatement addEndpoint(*m_connection, u"INSERT OR IGNORE INTO endpoints(address) VALUES (?)"_s);
    SqliteStatement findEndpoint(*m_connection, u"SELECT id FROM endpoints WHERE address = ?"_s);
    SqliteStatement addSent(*m_connection,
                            u"INSERT INTO sent_new(endpoint, page, lastmod, sent_at) VALUES (?, ?, ?, ?) "
                            u"ON CONFLICT(endpoint, page) DO UPDATE SET lastmod = excluded.lastmod, "
                            u"sent_at = excluded.sent_at WHERE excluded.sent_at > sent_at"_s);
    SqliteStatement oldSent(*m_connection, u"SELECT endpoint, url, lastmod, sent_at FROM sent"_s);
    while (oldSent.next()) {
        const QString site = oldSent.text(0);
        qint64 endpoint = endpointIds.value(site);
        if (endpoint == 0) {
            QString address = upgrade.endpointOf ? upgrade.endpointOf(site) : QString();
            if (address.isEmpty())
                address = u"catalogue site "_s + site; // gone from the catalogue: kept, never matched
            addEndpoint.reset();
            addEndpoint.bind(1, address);
            findEndpoint.reset();
            findEndpoint.bind(1, address);
            if (!addEndpoint.run())
                return failed(addEndpoint);
            if (!findEndpoint.next())
                return failed(findEndpoint);
            endpoint = findEndpoint.integer(0);
            endpointIds.insert(site, endpoint);
        }
        const qint64 page = pageOf(oldSent.utf8(1));
        if (page < 0)
            return false;
        if (page == 0)
            continue;
        addSent.reset();
        addSent.bind(1, endpoint);
        addSent.bind(2, page);
        if (oldSent.isNull(2))
            addSent.bindNull(3);
        else
            addSent.bind(3, oldSent.integer(2));
        addSent.bind(4, oldSent.integer(3));
        if (!addSent.run())
            return failed(addSent);
    }
    if (oldSent.errorCode() != 0)
        return failed(oldSent);

    SqliteStatement addResultPage(
        *m_connection, u"INSERT OR IGNORE INTO result_pages(run, position, page) VALUES (?, ?, ?)"_s);
    SqliteStatement oldUrls(*m_connection, u"SELECT run, position, url FROM result_urls ORDER BY rowid"_s);
    while (oldUrls.next()) {
        const qint64 page = pageOf(oldUrls.utf8(2));
        if (page < 0)
            return false;
        if (page == 0)
            continue;
        addResultPage.reset();
        addResultPage.bind(1, oldUrls.integer(0));
        addResultPage.bind(2, oldUrls.integer(1));
        addResultPage.bind(3, page);
        if (!addResultPage.run())
            return failed(addResultPage);
    }
    if (oldUrls.errorCode() != 0)
        return failed(oldUrls);
    return exec(u"INSERT INTO results_new SELECT run, position, site, outcome, status, detail, url_count "
                u"FROM results"_s);
}

bool HistoryDatabase::packResultPages()
{
    SqliteStatement pack(*m_connection, u"INSERT INTO result_lists(run, position, pages) VALUES (?, ?, ?)"_s);
    SqliteStatement old(*m_connection,
                        u"SELECT run, position, page FROM result_pages ORDER BY run, position, page"_s);
    QList<qint64> ids;
    qint64 run = 0;
    qint64 position = 0;
    const auto packed = [&] {
        if (ids.isEmpty())
            return true;
        pack.reset();
        pack.bind(1, run);
        pack.bind(2, position);
        pack.bindBlob(3, PackedIds::pack(ids));
        ids.clear();
        return pack.run();
    };
    while (old.next()) {
        if ((old.integer(0) != run || old.integer(1) != position) && !packed())
            break;
        run = old.integer(0);
        position = old.integer(1);
        ids.append(old.integer(2));
    }
    if (old.errorCode() != 0 || !packed()) {
        m_lastError = old.errorCode() != 0 ? old.errorText() : pack.errorText();
        return false;
    }
    return exec(u"DROP TABLE result_pages"_s) && exec(u"ALTER TABLE result_lists RENAME TO result_pages"_s);
}

bool HistoryDatabase::dropFirstLayout()
{
    return exec(u"DROP TABLE results"_s) && exec(u"DROP TABLE result_urls"_s) && exec(u"DROP TABLE sent"_s) &&
           exec(u"ALTER TABLE results_new RENAME TO results"_s) &&
           exec(u"ALTER TABLE sent_new RENAME TO sent"_s);
}
