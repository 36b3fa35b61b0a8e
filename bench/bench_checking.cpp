// Checking pages before they are announced, against a floor taken in the same run on the same
// website: the site farm (a thread of its own) serves 10,000 HTML pages with a head of the usual
// size; the checker fetches and reads each, as many at a time as it opens to one host; the floor
// is a bare client (QNetworkAccessManager, the same number of GETs at the same concurrency, the
// whole body read and thrown away).
//
//   bench_checking [--pages N]   (default 10,000)
//   bench_checking --short       (1,000 pages: what CI runs; budgets are reported, not enforced)

#include "BenchBudget.h"
#include "BenchMemory.h"
#include "BlockingWait.h"
#include "Crawlers.h"
#include "FarmThread.h"
#include "PageChecker.h"
#include "PageList.h"
#include "SiteFarm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

using BenchBudget::bestOfMs;
using BenchBudget::report;

// A page as a content management system writes one: a head of a few kilobytes (styles, scripts,
// social tags), the robots and canonical tags, then the body.
QByteArray page(const QString& address)
{
    QByteArray head = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>A page</title>";
    for (int tag = 0; tag < 30; ++tag)
        head +=
            "<meta property=\"og:tag" + QByteArray::number(tag) + "\" content=\"A value of some length\">";
    head += "<link rel=\"stylesheet\" href=\"/style.css\"><script src=\"/app.js\"></script>"
            "<meta name=\"robots\" content=\"index, follow\"><link rel=\"canonical\" href=\"" +
            address.toUtf8() + "\"></head><body>";
    return head + QByteArray(20000, 'x') + "</body></html>";
}

// The floor: the same GETs, as many at a time, with nothing done to what comes back.
void fetchBare(QNetworkAccessManager& network, const PageList& pages, int atATime)
{
    qsizetype next = 0;
    int open = 0;
    QEventLoop loop;
    std::function<void()> fetchNext = [&] {
        while (open < atATime && next < pages.size()) {
            QNetworkReply* reply = network.get(QNetworkRequest(QUrl(pages.urlText(next++))));
            ++open;
            QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] { reply->readAll(); });
            QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
                reply->readAll();
                reply->deleteLater();
                --open;
                fetchNext();
                if (open == 0 && next == pages.size())
                    loop.quit();
            });
        }
    };
    fetchNext();
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool isShort = arguments.contains(u"--short"_s);
    int count = isShort ? 1000 : 10000;
    if (const qsizetype at = arguments.indexOf(u"--pages"_s); at >= 0)
        count = std::max(100, arguments.value(at + 1).toInt());

    FarmThread farmThread;
    SiteFarm& farm = farmThread.farm();
    PageList pages;
    farmThread.run([&](SiteFarm& farm) {
        for (int number = 0; number < count; ++number) {
            const QString path = u"/articles/%1.html"_s.arg(number);
            farm.route(path, SiteFarm::Route::answering(200, page(farm.url(path)),
                                                        "Content-Type: text/html; charset=utf-8\r\n"));
        }
    });
    for (int number = 0; number < count; ++number)
        pages.add(farm.url(u"/articles/%1.html"_s.arg(number)).toUtf8(), PageList::unknownTime);
    const auto shared = std::make_shared<const PageList>(std::move(pages));
    // One website: the checker opens no more to its host than this, and neither does the floor.
    const int atATime = std::min(PageChecker::atATime, PageChecker::perHost);
    std::printf("%d pages of %lld bytes, %d at a time\n", count,
                static_cast<long long>(page(farm.url(u"/articles/0.html"_s)).size()), atATime);

    QNetworkAccessManager network;
    BenchMemory::resetPeak();
    qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    const double floorMs = bestOfMs(3, [&] { fetchBare(network, *shared, atATime); });
    const double floorRiseMiB = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0;
    BenchMemory::resetPeak();
    residentBefore = BenchMemory::residentKiB("VmRSS:");
    std::shared_ptr<std::vector<PageVerdict>> verdicts;
    const double checkMs = bestOfMs(3, [&] {
        PageChecker checker(network);
        QObject::connect(
            &checker, &PageChecker::finished, &checker,
            [&verdicts](const std::shared_ptr<std::vector<PageVerdict>>& found) { verdicts = found; });
        waitFor(&checker, &PageChecker::finished, [&] { checker.start(shared, {}, Crawlers::indexNow); });
    });
    const auto indexable =
        std::count_if(verdicts->cbegin(), verdicts->cend(), [](const PageVerdict& verdict) {
            return verdict.kind == PageVerdict::Kind::Indexable;
        });
    if (indexable != count)
        qFatal("only %lld of %d pages were found indexable", static_cast<long long>(indexable), count);
    report("check (ms)", checkMs, floorMs, 1.5);
    report("check, peak rise (MB)", double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0, 0,
           100, "MB");
    std::printf("the bare client's peak rise: %.1f MB\n", floorRiseMiB);
    if (!BenchBudget::allMet() && !isShort) {
        std::printf("budget: NOT met\n");
        return 1;
    }
    return 0;
}
