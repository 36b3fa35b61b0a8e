// The catalogue at scale, each figure against a floor taken in the same run:
//   build:   compiling the CSV, against the sqlite3 shell's .import of it into the same table; the
//            rise of peak memory against the CSV's size;
//   open:    start-up's opening, against a bare scan of the same query through SQLite's C API;
//   memory:  what an opened catalogue keeps, a row (peak and resident);
//   preview: the requests of every site (as Preview and submit --dry-run write them), against a
//            scan of the same rows and columns in the table's order through the C API;
//   dry run: `orvanta submit --all --dry-run` as typed, whole (start-up, the check of what the
//            profile lacks, the preview), against the same scan.
//
//   bench_catalogue [--rows N]     (default 100000; under 100,000 rows budgets are reported, not enforced)

#include "BenchCatalogue.h"
#include "BenchMemory.h"
#include "CatalogueTool.h"
#include "Profile.h"
#include "RequestPreview.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

double bestOfThree(const std::function<void()>& work)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

bool report(const char* what, double seconds, double floor, double times, double budgetSeconds)
{
    const bool met = seconds <= times * floor && (budgetSeconds <= 0 || seconds < budgetSeconds);
    std::printf("%-44s %9.1f ms  floor %9.1f ms  %5.2f x floor (budget %g x)  %s\n", what, seconds * 1000,
                floor * 1000, seconds / floor, times, met ? "met" : "MISSED");
    return met;
}

// The floor of building: the sqlite3 shell's .import of the same CSV into the same table, in one
// transaction, as the shell does it: SQLite's own CSV reader and a prepared insert, no more.
double importFloorSeconds(const QString& csvPath)
{
    const QString database = csvPath + u".import.db"_s;
    return bestOfThree([&] {
        QFile::remove(database);
        QProcess shell;
        shell.start(u"sqlite3"_s,
                    {database,
                     u"CREATE TABLE promosites (\"sitename\" TEXT NOT NULL UNIQUE, \"sitetype\" TEXT, "
                     u"\"data\" TEXT NOT NULL, \"method\" TEXT NOT NULL, \"action\" TEXT NOT NULL, "
                     u"\"referer\" TEXT)"_s,
                     u".import --csv --skip 1 '%1' promosites"_s.arg(csvPath)});
        if (!shell.waitForFinished(-1) || shell.exitCode() != 0)
            qFatal("sqlite3 .import failed: %s", shell.readAllStandardError().constData());
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = BenchCatalogue::rowsArgument(app.arguments(), 100000);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvd.dll"_s);
    std::printf("rows %d\n", rows);

    // First, before anything else raises the peak.
    BenchCatalogue::writeCsv(path + u".csv"_s, rows);
    const qint64 peakBefore = BenchCatalogue::peakResidentKiB();
    QElapsedTimer buildTimer;
    buildTimer.start();
    QString error;
    if (!CatalogueTool::build(path + u".csv"_s, path, error))
        qFatal("%s", qPrintable(error));
    const double risenMiB = double(BenchCatalogue::peakResidentKiB() - peakBefore) / 1024.0;
    const double csvMiB = double(QFileInfo(path + u".csv"_s).size()) / (1024.0 * 1024.0);
    const double buildSeconds = double(buildTimer.nsecsElapsed()) / 1e9;
    const bool buildMet = risenMiB < 32;
    bool met = buildMet;
    std::printf("%-44s %9.1f ms  peak +%.1f MB for a %.0f MB CSV (budget < 32 MB)  %s\n", "build (streamed)",
                buildSeconds * 1000, risenMiB, csvMiB, buildMet ? "met" : "MISSED");
    met = report("build, against sqlite3's .import", buildSeconds, importFloorSeconds(path + u".csv"_s), 1.5,
                 0) &&
          met;

    const double openFloor = BenchCatalogue::floorSeconds(path, BenchCatalogue::startupQuery);
    double open = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        const std::unique_ptr<SiteDatabase> opened = SiteDatabase::open(path, error);
        open = std::min(open, double(timer.nsecsElapsed()) / 1e9);
        if (!opened)
            qFatal("%s", qPrintable(error));
    } // each catalogue is let go after the clock has stopped
    met = report("SiteDatabase::open (start-up)", open, openFloor, 3, rows <= 100000 ? 0.5 : 0) && met;

    BenchMemory::resetPeak();
    const qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    auto database = SiteDatabase::open(path, error);
    const double peakBytes = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) * 1024.0 / rows;
    const double keptBytes = double(BenchMemory::residentKiB("VmRSS:") - residentBefore) * 1024.0 / rows;
    const bool memoryMet = peakBytes < 200;
    met = met && memoryMet;
    std::printf("%-44s %9.0f B   peak %5.0f B a row (budget < 200)  %s\n", "an opened catalogue, kept a row",
                keptBytes, peakBytes, memoryMet ? "met" : "MISSED");

    QList<qsizetype> sites(database->count());
    std::iota(sites.begin(), sites.end(), qsizetype(0));
    Profile profile;
    for (QString& value : profile.fields)
        value = u"a value & more"_s;
    QFile sink(u"/dev/null"_s);
    sink.open(QIODevice::WriteOnly);
    const double previewFloor = BenchCatalogue::floorSeconds(path, BenchCatalogue::tableOrderQuery);
    BenchMemory::resetPeak();
    const qint64 beforePreview = BenchMemory::residentKiB("VmRSS:");
    const double preview = bestOfThree([&] { RequestPreview::write(*database, sites, profile, sink); });
    met = report("preview of every site (submit --dry-run)", preview, previewFloor, 2, 0) && met;
    std::printf("%-44s peak +%.1f MB\n", "  memory of the preview, streamed",
                double(BenchMemory::residentKiB("VmHWM:") - beforePreview) / 1024.0);

    TempSettings temporary;
    SettingsStore settings;
    TestData::storeCompleteProfile(settings, 1, u"Bench"_s); // every value the templates take
    const double dryRun = bestOfThree([&] {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_s, temporary.directory());
        program.setProcessEnvironment(environment);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.start(
            QStringLiteral(ORVANTA_EXECUTABLE),
            {u"submit"_s, u"--profile"_s, u"Bench"_s, u"--home"_s, dir.path(), u"--all"_s, u"--dry-run"_s});
        if (!program.waitForFinished(-1) || program.exitCode() != 0)
            qFatal("orvanta submit --all --dry-run failed: %s", program.readAllStandardError().constData());
    });
    met = report("submit --all --dry-run, as typed", dryRun, previewFloor, 3, 0) && met;
    std::printf("budget: %s\n", met ? "met" : "MISSED");
    if (!met && rows >= 100000)
        return 1;
    return 0;
}
