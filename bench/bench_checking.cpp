// Checking pages before they are announced, against a floor taken in the same run on the same
// website: the site farm (a thread of its own) serves 10,000 HTML pages with a head of the usual
// size, each answering after 5 ms (--latency) as a fast website does; the checker fetches and
// reads each, as many at a time as it opens to one host. The floor is curl fetching the same
// pages as many at a time, the bodies thrown away: the wall time (the latency floor) and the
// processor time (this process's less the farm's, against curl's). Beside them, what a bare
// QNetworkAccessManager client spends on the same GETs: the part of the check that is Qt's.
//
//   bench_checking [--pages N] [--latency MS]   (default 10,000 pages, 5 ms)
//   bench_checking --short       (1,000 pages: what CI runs; budgets are reported, not enforced)

#include "BenchBudget.h"
#include "BenchCpu.h"
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

    int latencyMs = 5;
    if (const qsizetype at = arguments.indexOf(u"--latency"_s); at >= 0)
        latencyMs = std::max(0, arguments.value(at + 1).toInt());

    FarmThread farmThread;
    SiteFarm& farm = farmThread.farm();
    clockid_t farmClock{};
    farmThread.run([&](SiteFarm& farm) {
        farmClock = BenchCpu::currentThreadClock();
        farm.handle(u"/articles/"_s, [&farm, latencyMs](const SiteFarm::Request& request) {
            SiteFarm::Answer answer{
                200, page(farm.url(QString::fromUtf8(request.path))), "text/html; charset=utf-8", {}};
            answer.delayMs = latencyMs;
            return answer;
        });
    });
    PageList pages;
    for (int number = 0; number < count; ++number)
        pages.add(farm.url(u"/articles/%1.html"_s.arg(number)).toUtf8(), PageList::unknownTime);
    const auto shared = std::make_shared<const PageList>(std::move(pages));
    // One website: the checker opens no more to its host than this, and neither does the floor.
    const int atATime = std::min(PageChecker::atATime, PageChecker::perHost);
    std::printf("%d pages of %lld bytes, %d at a time, each answering after %d ms\n", count,
                static_cast<long long>(page(farm.url(u"/articles/0.html"_s)).size()), atATime, latencyMs);

    // Wall and processor time of a round of fetches, the farm's thread left out.
    const auto spent = [&farmClock](const std::function<void()>& fetch) {
        BenchCpu::Spent fastest;
        for (int round = 0; round < 3; ++round) {
            const double cpuBefore = BenchCpu::processMs() - BenchCpu::threadMs(farmClock);
            QElapsedTimer wall;
            wall.start();
            fetch();
            const double wallMs = double(wall.nsecsElapsed()) / 1e6;
            const double cpuMs = BenchCpu::processMs() - BenchCpu::threadMs(farmClock) - cpuBefore;
            fastest.wallMs = round == 0 ? wallMs : std::min(fastest.wallMs, wallMs);
            fastest.cpuMs = round == 0 ? cpuMs : std::min(fastest.cpuMs, cpuMs);
        }
        return fastest;
    };
    QNetworkAccessManager network;
    const BenchCpu::Spent curl = BenchCpu::curlFetch(*shared, atATime, u"cat >/dev/null"_s);
    BenchMemory::resetPeak();
    qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    const BenchCpu::Spent bare = spent([&] { fetchBare(network, *shared, atATime); });
    const double bareRiseMiB = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0;
    BenchMemory::resetPeak();
    residentBefore = BenchMemory::residentKiB("VmRSS:");
    std::shared_ptr<std::vector<PageVerdict>> verdicts;
    const BenchCpu::Spent check = spent([&] {
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
    report("check, wall (ms)", check.wallMs, curl.wallMs, 1.5);
    report("check, CPU (ms)", check.cpuMs, curl.cpuMs, 2);
    report("check, peak rise (MB)", double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0, 0,
           100, "MB");
    std::printf("a bare Qt client's GETs: %.0f ms wall, %.0f ms CPU, peak rise %.1f MB\n", bare.wallMs,
                bare.cpuMs, bareRiseMiB);
    if (!BenchBudget::allMet() && !isShort) {
        std::printf("budget: NOT met\n");
        return 1;
    }
    return 0;
}
