// The engine selection page on a big catalogue, against the floor of the start-up query read
// through SQLite's C API, all measured in one run:
//   toolbar opening (fill List1), "Select All", unchecking "Search Engines" with every site in
//   List2, ">" with all of List1 highlighted, "<" with every second entry highlighted; and what
//   the catalogue costs in the window, a row, with every site listed and selected.
//
//   bench_selection [--rows N]     (default 100000; under 100,000 rows budgets are reported, not enforced)

#include "BenchCatalogue.h"
#include "BenchMemory.h"
#include "EngineSelectionPage.h"
#include "SiteDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QItemSelection>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

double secondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    QCoreApplication::processEvents(); // let the views catch up, as the user would see it
    return double(timer.nsecsElapsed()) / 1e9;
}

void report(const char* what, double seconds, double floor, bool& allMet)
{
    const bool met = seconds <= 3 * floor && seconds < 0.5;
    allMet = allMet && met;
    std::printf("%-52s %8.1f ms  %5.2f x floor  %s\n", what, seconds * 1000, seconds / floor,
                met ? "" : "MISSED");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = BenchCatalogue::rowsArgument(app.arguments(), 100000);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvd.dll"_s);
    BenchCatalogue::generate(path, rows);
    const double floor = BenchCatalogue::floorSeconds(path, BenchCatalogue::startupQuery);

    QString error;
    BenchMemory::resetPeak();
    const qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    auto database = SiteDatabase::open(path, error);
    if (!database)
        qFatal("%s", qPrintable(error));
    EngineSelectionPage page(*database);
    page.resize(445, 334);
    page.show();
    auto* list1 = page.findChild<QListView*>(u"List1"_s);
    auto* list2 = page.findChild<QListView*>(u"List2"_s);
    auto* engines = page.findChild<QCheckBox*>(u"Check2"_s);
    auto* lists = page.findChild<QCheckBox*>(u"Check3"_s);
    auto* selectAll = page.findChild<QCheckBox*>(u"Check4"_s);

    std::printf("rows %d\nfloor: the start-up query through SQLite's C API   %8.1f ms\n", rows, floor * 1000);
    bool allMet = true;
    report("toolbar opening (fill List1)", secondsOf([&] {
               page.prepareToolbarOpening();
               page.refillCatalogue();
               page.showTotals();
           }),
           floor, allMet);
    report("\"Select All\"", secondsOf([&] { selectAll->setChecked(true); }), floor, allMet);
    const double bytesARow = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) * 1024.0 / rows;
    const bool memoryMet = bytesARow < 200;
    allMet = allMet && memoryMet;
    std::printf("%-52s %8.0f B   (budget < 200 a row)  %s\n",
                "the catalogue in the window, listed and selected", bytesARow, memoryMet ? "" : "MISSED");

    selectAll->setChecked(false);
    engines->setChecked(true);
    lists->setChecked(true);
    report("uncheck \"Search Engines\" with all rows in List2",
           secondsOf([&] { engines->setChecked(false); }), floor, allMet);

    lists->setChecked(false);
    list1->selectAll();
    report("\">\" with all of List1 highlighted",
           secondsOf([&] { page.findChild<QPushButton*>(u"Command11"_s)->click(); }), floor, allMet);

    QItemSelection everySecond;
    for (int row = 0; row < list2->model()->rowCount(); row += 2)
        everySecond.select(list2->model()->index(row, 0), list2->model()->index(row, 0));
    list2->selectionModel()->select(everySecond, QItemSelectionModel::Select);
    report("\"<\" with every second entry highlighted",
           secondsOf([&] { page.findChild<QPushButton*>(u"Command10"_s)->click(); }), floor, allMet);

    if (page.selection().selectedCount() != rows / 2)
        qFatal("unexpected list size %d", int(page.selection().selectedCount()));
    std::printf("budget (each <= 3 x floor and < 500 ms; memory < 200 B a row): %s\n",
                allMet ? "met" : "MISSED");
    return allMet || rows < 100000 ? 0 : 1;
}
