// A website's sitemaps as a run over changed pages goes through them, each figure against a floor
// taken in the same run, on the same data:
//   read:    robots.txt, an index and URL sets of 50,000 pages each, all gzip-compressed, fetched
//            from the site farm (a thread of its own), inflated, parsed, each address normalised
//            and kept once; floor: the same files through gzread and libxml2's SAX push parser in
//            one thread, each <loc> kept once in a hash set;
//   record:  every page of a first run recorded as sent, in batches of 10,000, one transaction
//            each; floor: the same rows inserted in the same order, into the same tables and
//            unique index, through SQLite's C API;
//   plan:    the session's plan against that record, while the event loop's longest wait is
//            measured (the window's thread never waits on it);
//   size:    history.db after ten daily runs that each send 1 % of the pages and one that fails;
//   coverage: the coverage view's data opened on that history, every page at the endpoint (budget:
//            a second and 200 MB per million pages);
//   csv:     `orvanta coverage --csv` as typed, against the same CSV, byte for byte, written by one
//            query through SQLite's C API and stdio.
//
//   bench_sitemap [--pages N]   (default 1,000,000)
//   bench_sitemap --short       (50,000 pages: what CI runs; budgets are reported, not enforced)
//   bench_sitemap --keep        (also: keeps its files, the history and the CSVs among them)

#include "BenchBudget.h"
#include "BenchMemory.h"
#include "BlockingWait.h"
#include "Coverage.h"
#include "CoverageModel.h"
#include "FarmThread.h"
#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PageList.h"
#include "ProfileStore.h"
#include "PromoSite.h"
#include "RunJournal.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SitemapReader.h"
#include "SitemapSite.h"
#include "SqliteConnection.h"
#include "SubmissionSession.h"
#include "TestSupport.h"
#include "WebAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <numeric>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int pagesPerFile = 50000;
constexpr qsizetype batchSize = 10000;
const QString endpoint = u"https://api.indexnow.org/indexnow"_s;
using BenchBudget::bestOfMs;
using BenchBudget::report;

// The floor of reading: each file inflated by zlib's gzread and parsed by libxml2's SAX push
// parser in this one thread, every <loc>'s text kept once: the addresses one after the other in
// one buffer, found again through an open-addressing table of their hashes (std::unordered_set,
// a node and a string allocated per page, takes 1.4 times as long). The plainest program that
// does the reading's work, nothing normalised, nothing fetched, no second core.
struct SaxFloor
{
    std::string text; // the <loc> being read
    bool inLoc = false;
    std::string kept;              // every address kept, one after the other
    std::vector<std::size_t> ends; // where each ends in `kept`
    std::vector<std::uint64_t> lookup = std::vector<std::uint64_t>(std::size_t(1) << 10);

    std::string_view keptAt(std::size_t index) const
    {
        const std::size_t begin = index == 0 ? 0 : ends[index - 1];
        return std::string_view(kept).substr(begin, ends[index] - begin);
    }

    void keep()
    {
        if ((ends.size() + 1) * 2 > lookup.size()) { // at most half full
            std::vector<std::uint64_t> old(lookup.size() * 2);
            old.swap(lookup);
            for (const std::uint64_t entry : old) {
                std::size_t slot = (entry >> 32) & (lookup.size() - 1);
                while (entry != 0 && lookup[slot] != 0)
                    slot = (slot + 1) & (lookup.size() - 1);
                if (entry != 0)
                    lookup[slot] = entry;
            }
        }
        const auto hash = std::uint32_t(std::hash<std::string_view>()(text));
        std::size_t slot = hash & (lookup.size() - 1);
        for (; lookup[slot] != 0; slot = (slot + 1) & (lookup.size() - 1)) {
            if (std::uint32_t(lookup[slot] >> 32) == hash && keptAt(std::uint32_t(lookup[slot]) - 1) == text)
                return;
        }
        kept += text;
        ends.push_back(kept.size());
        lookup[slot] = std::uint64_t(hash) << 32 | ends.size();
    }
};

double saxFloorMs(const QStringList& files, qsizetype expectedPages, int rounds = 3)
{
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = [](void* user, const xmlChar* name, const xmlChar*, const xmlChar*, int,
                                const xmlChar**, int, int, const xmlChar**) {
        auto* floor = static_cast<SaxFloor*>(user);
        floor->inLoc = std::strcmp(reinterpret_cast<const char*>(name), "loc") == 0;
        floor->text.clear();
    };
    handler.endElementNs = [](void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
        auto* floor = static_cast<SaxFloor*>(user);
        if (floor->inLoc)
            floor->keep();
        floor->inLoc = false;
    };
    handler.characters = [](void* user, const xmlChar* text, int length) {
        auto* floor = static_cast<SaxFloor*>(user);
        if (floor->inLoc)
            floor->text.append(reinterpret_cast<const char*>(text), size_t(length));
    };
    size_t kept = 0;
    const double ms = bestOfMs(rounds, [&] {
        SaxFloor floor;
        std::vector<char> chunk(65536);
        for (const QString& file : files) {
            gzFile gz = gzopen(QFile::encodeName(file).constData(), "rb");
            xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, &floor, nullptr, 0, nullptr);
            int read = 0;
            while ((read = gzread(gz, chunk.data(), unsigned(chunk.size()))) > 0)
                xmlParseChunk(context, chunk.data(), read, 0);
            xmlParseChunk(context, nullptr, 0, 1);
            xmlFreeParserCtxt(context);
            gzclose(gz);
        }
        kept = floor.ends.size();
    });
    if (qsizetype(kept) != expectedPages)
        qFatal("the floor read %zu pages, not %lld", kept, static_cast<long long>(expectedPages));
    return ms;
}

// Records a batch of pages as a run's recorder does: new pages added, the accepted ones marked
// sent, the request's row with its pages, in one transaction.
void recordBatch(HistoryDatabase& database, qint64 run, int position, const PageList& pages,
                 const QList<qsizetype>& batch, std::vector<qint64>& ids, bool accepted, qint64 sentAt)
{
    PageLedger ledger(database);
    RunJournal journal(database);
    database.begin();
    RunJournal::Result result{position,
                              u"IndexNow"_s,
                              accepted ? RunJournal::Ending::Succeeded : RunJournal::Ending::Failed,
                              accepted ? 200 : 500,
                              QString(),
                              {}};
    bool written = ledger.addPages(pages, batch, ids) &&
                   (!accepted || ledger.recordSent(endpoint, pages, batch, ids, sentAt));
    for (const qsizetype index : batch)
        result.pages << ids[size_t(index)];
    std::sort(result.pages.begin(), result.pages.end());
    written = written && journal.addResult(run, result) && database.commit();
    if (!written)
        qFatal("recording failed: %s", qPrintable(database.lastError()));
}

void recordRun(HistoryDatabase& database, const PageList& pages, const QList<qsizetype>& sent,
               std::vector<qint64>& ids, bool accepted, qint64 at)
{
    RunJournal journal(database);
    const qint64 run = journal.beginRun({at, u"Bench"_s, u"command line"_s, u"changed pages"_s, 1});
    int position = 0;
    for (qsizetype start = 0; start < sent.size(); start += batchSize)
        recordBatch(database, run, ++position, pages, sent.mid(start, batchSize), ids, accepted, at);
    journal.endRun(run, at + 1000, RunJournal::End::Completed);
}

// The floor of recording: the same rows, in the same order, into the same tables (the unique
// index on the pages too), straight through SQLite's C API.
double sqliteInsertMs(const QString& path, const PageList& pages)
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const auto exec = [db](const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    exec("PRAGMA journal_mode = WAL");
    exec("CREATE TABLE pages(id INTEGER PRIMARY KEY, origin INTEGER NOT NULL, path TEXT NOT NULL)");
    exec("CREATE UNIQUE INDEX pages_address ON pages(origin, path)"); // each page once, as the ledger's
    exec("CREATE TABLE sent(endpoint INTEGER NOT NULL, page INTEGER NOT NULL, lastmod INTEGER, sent_at "
         "INTEGER "
         "NOT NULL, PRIMARY KEY(endpoint, page)) WITHOUT ROWID");
    exec("CREATE TABLE result_pages(run INTEGER NOT NULL, position INTEGER NOT NULL, pages BLOB NOT NULL, "
         "PRIMARY KEY(run, position)) WITHOUT ROWID");
    sqlite3_stmt* page = nullptr;
    sqlite3_stmt* sent = nullptr;
    sqlite3_stmt* result = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO pages(origin, path) VALUES (1, ?)", -1, &page, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO sent VALUES (1, ?, ?, 0)", -1, &sent, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO result_pages VALUES (1, ?, ?)", -1, &result, nullptr);
    std::string packed; // a batch's page ids, each the gap from the one before in seven-bit groups
    QElapsedTimer timer;
    timer.start();
    const qsizetype originLength = WebAddress::originOf(pages.url(0)).size();
    for (qsizetype start = 0; start < pages.size(); start += batchSize) {
        exec("BEGIN IMMEDIATE");
        const qsizetype end = std::min(pages.size(), start + batchSize);
        for (qsizetype index = start; index < end; ++index) {
            const QByteArrayView path = pages.url(index).sliced(originLength);
            sqlite3_bind_text(page, 1, path.data(), int(path.size()), SQLITE_STATIC);
            sqlite3_step(page);
            sqlite3_reset(page);
        }
        packed.clear();
        for (qsizetype index = start; index < end; ++index) {
            sqlite3_bind_int64(sent, 1, index + 1);
            sqlite3_bind_int64(sent, 2, pages.lastModified(index));
            sqlite3_step(sent);
            sqlite3_reset(sent);
            for (std::uint64_t gap = index == start ? std::uint64_t(start + 1) : 1;; gap >>= 7) {
                packed += char((gap & 0x7F) | (gap > 0x7F ? 0x80 : 0));
                if (gap <= 0x7F)
                    break;
            }
        }
        sqlite3_bind_int64(result, 1, start / batchSize + 1);
        sqlite3_bind_blob(result, 2, packed.data(), int(packed.size()), SQLITE_STATIC);
        sqlite3_step(result);
        sqlite3_reset(result);
        exec("COMMIT");
    }
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    sqlite3_finalize(page);
    sqlite3_finalize(sent);
    sqlite3_finalize(result);
    sqlite3_close(db);
    return elapsed;
}

// Digits written by hand: the floor spends nothing on formatting but the work itself.
char* putDigits(char* at, int value, int width)
{
    for (int digit = width - 1; digit >= 0; --digit, value /= 10)
        at[digit] = char('0' + value % 10);
    return at + width;
}

// "2026-05-01T10:20:30Z", or nothing for 0, as the CSV writes a moment.
size_t utcText(qint64 msecs, char* text)
{
    if (msecs == 0)
        return 0;
    const time_t seconds = time_t(msecs / 1000 - (msecs % 1000 < 0 ? 1 : 0));
    tm parts{};
    gmtime_r(&seconds, &parts);
    char* at = putDigits(text, parts.tm_year + 1900, 4);
    *at++ = '-';
    at = putDigits(at, parts.tm_mon + 1, 2);
    *at++ = '-';
    at = putDigits(at, parts.tm_mday, 2);
    *at++ = 'T';
    at = putDigits(at, parts.tm_hour, 2);
    *at++ = ':';
    at = putDigits(at, parts.tm_min, 2);
    *at++ = ':';
    at = putDigits(at, parts.tm_sec, 2);
    *at++ = 'Z';
    return size_t(at - text);
}

// The floor of `coverage --csv` for this history (one endpoint, no checks, no Google, addresses
// without commas or quotes, refusals without a reason): one query, rows put together by hand in
// blocks of 64 KB, the moments through gmtime_r.
double coverageCsvFloorMs(const QString& historyFile, const QString& csvFile, const char* site)
{
    return bestOfMs(3, [&] {
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(historyFile).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* rows = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT o.origin, p.path, a.accepted_at, a.refused_at, c.changed_at FROM pages p "
                           "JOIN origins o ON o.id = p.origin JOIN announcements a ON a.page = p.id "
                           "LEFT JOIN contents c ON c.page = p.id ORDER BY p.id",
                           -1, &rows, nullptr);
        FILE* out = std::fopen(QFile::encodeName(csvFile).constData(), "w");
        std::string block = "page,site,state,reason,last_accepted,google,content_changed\r\n";
        const auto text = [&rows](int column) {
            return std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(rows, column)),
                                    size_t(sqlite3_column_bytes(rows, column)));
        };
        char moment[32];
        while (sqlite3_step(rows) == SQLITE_ROW) {
            const qint64 acceptedAt = sqlite3_column_int64(rows, 2);
            const bool refused = sqlite3_column_int64(rows, 3) > acceptedAt;
            block += text(0);
            block += text(1);
            block += ',';
            block += site;
            block += refused ? ",refused,," : ",accepted,,";
            block.append(moment, utcText(acceptedAt, moment));
            block += ",,";
            block.append(moment, utcText(sqlite3_column_int64(rows, 4), moment));
            block += "\r\n";
            if (block.size() >= 65536) {
                std::fwrite(block.data(), 1, block.size(), out);
                block.clear();
            }
        }
        std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
        sqlite3_finalize(rows);
        sqlite3_close(db);
    });
}

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size() + QFileInfo(path + u"-wal"_s).size();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool isShort = arguments.contains(u"--short"_s);
    int pages = isShort ? pagesPerFile : 1000000;
    if (const qsizetype at = arguments.indexOf(u"--pages"_s); at >= 0)
        pages = std::max(pagesPerFile, arguments.value(at + 1).toInt() / pagesPerFile * pagesPerFile);
    const int files = pages / pagesPerFile;
    QTemporaryDir directory;
    if (arguments.contains(u"--keep"_s)) { // to look into afterwards: perf, strace, sqlite3
        directory.setAutoRemove(false);
        std::printf("kept in %s\n", qPrintable(directory.path()));
    }
    FarmThread farmThread;
    SiteFarm& farm = farmThread.farm();

    // The website: its sitemaps, as files and as the farm serves them.
    const qint64 published = QDateTime::currentMSecsSinceEpoch() - 86400000;
    QDir().mkpath(directory.filePath(u"maps"_s));
    QStringList sitemaps;
    for (int file = 0; file < files; ++file) {
        QList<std::pair<QString, QString>> entries;
        entries.reserve(pagesPerFile);
        for (int page = 0; page < pagesPerFile; ++page)
            entries.append(
                {farm.url(u"/section-%1/page-%2.html"_s.arg(file).arg(page)),
                 QDateTime::fromMSecsSinceEpoch(published + page).toUTC().toString(Qt::ISODateWithMs)});
        const QByteArray body = SitemapSite::gzip(SitemapSite::urlSet(entries));
        const QString path = u"/maps/%1.xml.gz"_s.arg(file);
        TestData::writeFile(directory.filePath(path.mid(1)), body);
        farmThread.run([&](SiteFarm& farm) { farm.route(path, SiteFarm::Route::answering(200, body)); });
        sitemaps << farm.url(path);
    }
    const QByteArray index = SitemapSite::gzip(SitemapSite::index(sitemaps));
    TestData::writeFile(directory.filePath(u"maps/index.xml.gz"_s), index);
    farmThread.run([&](SiteFarm& farm) {
        farm.route(
            u"/robots.txt"_s,
            SiteFarm::Route::answering(200, "Sitemap: " + farm.url(u"/maps/index.xml.gz"_s).toUtf8() + "\n"));
        farm.route(u"/maps/index.xml.gz"_s, SiteFarm::Route::answering(200, index));
    });
    std::printf("%d pages in %d gzip files\n", pages, files + 1);

    // Reading.
    QStringList mapFiles;
    for (int file = 0; file < files; ++file)
        mapFiles << directory.filePath(u"maps/%1.xml.gz"_s.arg(file));
    mapFiles << directory.filePath(u"maps/index.xml.gz"_s);
    const double floorMs = saxFloorMs(mapFiles, pages + files);
    QNetworkAccessManager network;
    std::shared_ptr<SitemapReader::Result> result;
    BenchMemory::resetPeak();
    const qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    const double readMs = bestOfMs(3, [&] {
        result.reset();
        SitemapReader reader(network);
        QObject::connect(&reader, &SitemapReader::finished, &reader,
                         [&result](const std::shared_ptr<SitemapReader::Result>& read) { result = read; });
        SitemapReader::Limits limits;
        limits.deadline = std::chrono::minutes(10);
        waitFor(&reader, &SitemapReader::finished,
                [&] { reader.start(farm.url(u"/"_s), QString(), limits); });
    });
    if (!result->error.isEmpty() || result->pages.size() != pages)
        qFatal("reading failed: %s (%lld pages)", qPrintable(result->error),
               static_cast<long long>(result->pages.size()));
    report("read (ms)", readMs, floorMs, 2);
    const double readRiseMiB = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0;
    report("read, peak rise (MB)", readRiseMiB, 0, 200.0 * pages / 1000000, "MB");

    // The program as typed, in a home whose catalogue holds the IndexNow site, with a profile of
    // the website.
    const QString catalogueFile = directory.filePath(u"orvd.dll"_s);
    TestData::writeCatalogue(catalogueFile, {PromoSite{u"IndexNow"_s, u"engine"_s, u"{}"_s, u"post"_s,
                                                       endpoint, u"json"_s, u"200,202"_s}});
    TempSettings temporary;
    SettingsStore settings;
    TestData::storeCompleteProfile(settings, 1, u"Bench"_s);
    Profile profile = ProfileStore(settings).read(1);
    profile.value(ProfileField::Url) = farm.url(u"/"_s);
    ProfileStore(settings).save(1, profile);
    // Its peak memory is sampled from /proc while it runs: the rusage of a child started by a
    // fork counts the pages of this process, which the child shared until it ran the program.
    qint64 programPeakKiB = 0;
    const auto orvanta = [&](const QStringList& arguments, const QString& outputFile) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, temporary.directory());
        program.setProcessEnvironment(environment);
        program.setStandardOutputFile(outputFile);
        program.start(
            QStringLiteral(ORVANTA_EXECUTABLE),
            QStringList{arguments.first(), u"--profile"_s, u"Bench"_s, u"--home"_s, directory.path()} +
                arguments.mid(1));
        while (!program.waitForFinished(2))
            programPeakKiB =
                std::max(programPeakKiB, BenchMemory::residentKiB(program.processId(), "VmHWM:"));
        if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
            qFatal("orvanta %s failed: %s", qPrintable(arguments.join(u' ')),
                   program.readAllStandardError().constData());
    };
    const QStringList dryRun{u"submit"_s,          u"--site"_s,     u"IndexNow"_s,
                             u"--changed-pages"_s, u"--no-check"_s, u"--dry-run"_s};
    // A program's run takes over a second, long enough for the machine's speed to drift: each
    // run is paired with a run of the floor.
    const int pairs = isShort ? 3 : 5;
    const auto floorOnce = [&] { saxFloorMs(mapFiles, pages + files, 1); };
    report("read + plan, first run (ms)",
           BenchBudget::paired(
               pairs, [&] { orvanta(dryRun, QProcess::nullDevice()); }, floorOnce),
           2);
    report("first run's peak (MB)", double(programPeakKiB) / 1024.0, 0, 40 + 120.0 * pages / 1000000,
           "MB"); // about 40 MB is the program with nothing read

    // Recording a first run of every page.
    const PageList& read = result->pages;
    const double insertFloorMs = sqliteInsertMs(directory.filePath(u"floor.db"_s), read);
    const QString historyFile = directory.filePath(u"history.db"_s);
    QString error;
    auto database = HistoryDatabase::open(historyFile, HistoryDatabase::Mode::OpenOrCreate, error);
    if (!database)
        qFatal("%s", qPrintable(error));
    QList<qsizetype> everyPage(read.size());
    std::iota(everyPage.begin(), everyPage.end(), 0);
    std::vector<qint64> ids(size_t(read.size()), 0);
    QElapsedTimer timer;
    timer.start();
    recordRun(*database, read, everyPage, ids, true, published);
    report("record (ms)", double(timer.nsecsElapsed()) / 1e6, insertFloorMs, 1.5);

    // The next night's dry run, every page unchanged.
    report("read + plan, nothing changed (ms)",
           BenchBudget::paired(
               pairs, [&] { orvanta(dryRun, QProcess::nullDevice()); }, floorOnce),
           2);

    // Planning against it in the window's session, the event loop's longest wait measured.
    auto catalogue = SiteDatabase::open(catalogueFile, error);
    SubmissionSession session(*catalogue, {directory.filePath(u"sublog.htm"_s), historyFile,
                                           directory.filePath(u"orvanta.lock"_s), u"window"_s});
    SubmissionSession::Request request;
    request.profile.value(ProfileField::Url) = farm.url(u"/"_s);
    request.rows = {0};
    request.changedPages = true;
    request.checkPages = false; // checking pages has its own benchmark
    qint64 longestWait = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { longestWait = std::max(longestWait, sinceTick.restart()); });
    RunPlan plan;
    QObject::connect(&session, &SubmissionSession::planned, &session,
                     [&plan](const RunPlan& made) { plan = made; });
    timer.restart();
    sinceTick.start();
    ticker.start(10);
    waitFor(&session, &SubmissionSession::planned,
            [&] { session.prepare(request, SubmissionSession::Purpose::Summary); });
    ticker.stop();
    std::printf("reading and planning in the session: %lld ms; %s\n", static_cast<long long>(timer.elapsed()),
                qPrintable(plan.summary.value(1)));
    report("event loop's longest wait (ms)", double(longestWait), 0, 100, "ms");

    // Ten daily runs that each send 1 % of the pages, and one whose batches all fail.
    const qsizetype daily = read.size() / 100;
    for (int run = 1; run <= 11; ++run) {
        QList<qsizetype> changed = everyPage.mid((run - 1) * daily % read.size(), daily);
        recordRun(*database, read, changed, ids, run != 11, published + run * 86400000LL);
    }
    database->exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
    report("history.db after 11 runs (MB)", double(fileSize(historyFile)) / 1e6, 0, 60.0 * pages / 1000000,
           "MB");

    // The coverage view opened on that history: every page, read from the ledger into its model.
    const QByteArray website = WebAddress::siteOrigin(farm.url(u"/"_s));
    database->begin();
    PageLedger(*database).recordListing(website, QList<qint64>(ids.cbegin(), ids.cend()), published);
    database->commit();
    database.reset();
    BenchMemory::resetPeak();
    const qint64 residentBeforeCoverage = BenchMemory::residentKiB("VmRSS:");
    timer.restart();
    auto reader = HistoryDatabase::open(historyFile, HistoryDatabase::Mode::OpenExisting, error);
    auto coverage = std::make_shared<const Coverage>(Coverage::read(*reader, website, {}, error));
    CoverageModel model;
    model.show(coverage, 0, std::nullopt);
    const double coverageMs = double(timer.nsecsElapsed()) / 1e6;
    if (!error.isEmpty() || model.rowCount() != pages)
        qFatal("coverage failed: %s (%d rows)", qPrintable(error), model.rowCount());
    report("coverage open (ms)", coverageMs, 0, 1000.0 * pages / 1000000, "ms");
    report("coverage, peak rise (MB)",
           double(BenchMemory::residentKiB("VmHWM:") - residentBeforeCoverage) / 1024.0, 0,
           200.0 * pages / 1000000, "MB");

    // `coverage --csv` as a user types it, against the floor writing the same bytes.
    const QString csvFile = directory.filePath(u"coverage.csv"_s);
    const double csvMs = bestOfMs(3, [&] { orvanta({u"coverage"_s, u"--csv"_s}, csvFile); });
    const QString floorCsvFile = directory.filePath(u"floor.csv"_s);
    const double csvFloorMs = coverageCsvFloorMs(historyFile, floorCsvFile, "IndexNow");
    if (TestData::readFile(csvFile) != TestData::readFile(floorCsvFile))
        qFatal("coverage --csv and its floor wrote different files: %s, %s", qPrintable(csvFile),
               qPrintable(floorCsvFile));
    report("coverage --csv (ms)", csvMs, csvFloorMs, 1.5);
    if (!BenchBudget::allMet() && !isShort) {
        std::printf("budget: NOT met\n");
        return 1;
    }
    return 0;
}
