// The engine selection page on a big catalogue, against the floor of a bare SQLite scan of the
// same rows, all measured in one run:
//   toolbar opening (fill List1), "Select All", unchecking "Search Engines" with every site in
//   List2, ">" with all of List1 highlighted, "<" with every second entry highlighted.
//
//   bench_selection [--rows N]     (default 100000; CI runs a short mode)

#include "BenchCatalogue.h"
#include "Dialogs.h"
#include "EngineSelectionPage.h"
#include "Profile.h"
#include "ProfileSource.h"
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

class FilledProfile final : public ProfileSource
{
public:
    QString profileName() const override { return u"Bench"_s; }
    QString fieldText(ProfileField) const override { return u"x"_s; }
};

class SilentDialogs final : public Dialogs
{
public:
    void inform(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString&, const QString&, Icon) override { return false; }
    QString inputText(const QString&, const QString&) override { return QString(); }
};

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
    const double floor = BenchCatalogue::bareScanSeconds(path);

    QString error;
    auto database = SiteDatabase::open(path, error);
    if (!database)
        qFatal("%s", qPrintable(error));
    FilledProfile profile;
    SilentDialogs dialogs;
    EngineSelectionPage page(*database, profile, dialogs);
    page.resize(445, 334);
    page.show();
    auto* list1 = page.findChild<QListView*>(u"List1"_s);
    auto* list2 = page.findChild<QListView*>(u"List2"_s);
    auto* engines = page.findChild<QCheckBox*>(u"Check2"_s);
    auto* lists = page.findChild<QCheckBox*>(u"Check3"_s);
    auto* selectAll = page.findChild<QCheckBox*>(u"Check4"_s);

    std::printf("rows %d\nfloor: bare SQLite scan, all columns, name order   %8.1f ms\n", rows, floor * 1000);
    bool allMet = true;
    report("toolbar opening (fill List1)", secondsOf([&] {
               page.prepareToolbarOpening();
               page.showTotals();
           }),
           floor, allMet);
    report("\"Select All\"", secondsOf([&] { selectAll->setChecked(true); }), floor, allMet);

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

    if (page.count() != rows / 2)
        qFatal("unexpected list size %d", page.count());
    std::printf("budget (each <= 3 x floor and < 500 ms): %s\n", allMet ? "met" : "MISSED");
    return 0;
}
