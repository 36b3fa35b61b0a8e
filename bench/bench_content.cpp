// Reading pages for their content, against two floors taken in the same run on the same website:
// the site farm (a thread of its own) serves N pages of 50 KB, each with an ETag of its version.
//
// - a first reading of every page's content, whose figures are reported;
// - then, as a nightly run finds the website, one page in ten edited and the others as they
//   were, served without validators: the check that reads the content against the check alone
//   (PageChecker without fingerprints, which reads the same pages whole, since each is shorter
//   than a head's 64 KiB) in wall time, and in CPU (this process's, less the farm thread's)
//   against curl fetching the same pages four at a time piped to sha256sum (the children's);
// - then served with an ETag: once to learn the tags, once with one page in ten edited (only
//   those send a body), once with nothing edited (no page sends one).
//
// Each page answers after a few milliseconds (--latency, default 5), as a fast website does: the
// check waits on the network, and reading the content is done meanwhile. With --latency 0 both are
// bound by this machine's CPU alone, and the wall time tells how much work the reading adds.
//
//   bench_content [--pages N] [--latency MS]   (default 10,000 pages, 5 ms)
//   bench_content --short                       (1,000 pages: what CI runs; budgets are reported,
//                                                not enforced)

#include "BenchBudget.h"
#include "BenchCpu.h"
#include "BenchMemory.h"
#include "BlockingWait.h"
#include "ContentFingerprint.h"
#include "Crawlers.h"
#include "FarmThread.h"
#include "PageChecker.h"
#include "PageList.h"
#include "SiteFarm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace {

using BenchBudget::report;

// A page as a content management system writes one: a head with social tags, a navigation, the
// article (paragraphs of text with a few links), an aside, a footer and scripts; 50 KB in all.
QByteArray pageBody(int number, int version)
{
    static const QByteArray article = [] {
        QByteArray text;
        for (int paragraph = 0; text.size() < 44000; ++paragraph)
            text += "<p>Paragraph " + QByteArray::number(paragraph) +
                    " tells of tea and cups, of <a href=\"/shop/\">the shop</a> and of the people who "
                    "come by on a rainy afternoon; it goes on for a while, as articles do, with a sentence "
                    "or two more than it needs.</p>\n";
        return text;
    }();
    QByteArray page = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Article " +
                      QByteArray::number(number) + "</title>";
    for (int tag = 0; tag < 20; ++tag)
        page +=
            "<meta property=\"og:tag" + QByteArray::number(tag) + "\" content=\"A value of some length\">";
    page += "<meta name=\"description\" content=\"About tea\"><link rel=\"stylesheet\" href=\"/style.css\">"
            "</head><body><header><nav><a href=\"/\">Home</a> <a href=\"/shop/\">Shop</a></nav></header>"
            "<main><h1>Article " +
            QByteArray::number(number) + "</h1><p>Edited " + QByteArray::number(version) + " times.</p>" +
            article +
            "</main><aside>Related articles</aside><footer>(c) 2026</footer>"
            "<script src=\"/app.js\"></script></body></html>";
    return page;
}

struct Measured
{
    double wallMs = 0;
    double cpuMs = 0; // this process's, less the farm's
    std::shared_ptr<std::vector<PageVerdict>> verdicts;
};

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

    // Each page's version and the bodies sent, as the farm's thread keeps them.
    std::vector<std::atomic<int>> versions(static_cast<size_t>(count));
    std::atomic<qint64> bodiesSent{0};
    std::atomic<bool> tagged{false}; // pages are served with an ETag
    clockid_t farmClock{};
    FarmThread farmThread;
    farmThread.run([&](SiteFarm& farm) {
        farmClock = BenchCpu::currentThreadClock();
        farm.handle(u"/articles/"_s, [&](const SiteFarm::Request& request) -> SiteFarm::Answer {
            const int number = request.path.mid(10).chopped(5).toInt();
            const int version = versions[size_t(number)].load();
            const QByteArray etag =
                "\"a" + QByteArray::number(number) + "-v" + QByteArray::number(version) + '"';
            const QByteArray headers = tagged ? "ETag: " + etag + "\r\n" : QByteArray();
            SiteFarm::Answer answer{304, {}, "text/html", headers};
            if (!tagged || request.header("if-none-match") != etag) {
                ++bodiesSent;
                answer = {200, pageBody(number, version), "text/html; charset=utf-8", headers};
            }
            answer.delayMs = latencyMs;
            return answer;
        });
    });
    SiteFarm& farm = farmThread.farm();
    PageList list;
    for (int number = 0; number < count; ++number)
        list.add(farm.url(u"/articles/%1.html"_s.arg(number)).toUtf8(), PageList::unknownTime);
    const auto pages = std::make_shared<const PageList>(std::move(list));
    std::printf("%d pages of %lld bytes, one website answering after %d ms\n", count,
                static_cast<long long>(pageBody(0, 0).size()), latencyMs);

    QNetworkAccessManager network;
    const auto check = [&](PageCheckLimits limits) {
        Measured measured;
        const double cpuBefore = BenchCpu::processMs() - BenchCpu::threadMs(farmClock);
        QElapsedTimer wall;
        wall.start();
        PageChecker checker(network);
        QObject::connect(&checker, &PageChecker::finished, &checker,
                         [&measured](const std::shared_ptr<std::vector<PageVerdict>>& found) {
                             measured.verdicts = found;
                         });
        waitFor(&checker, &PageChecker::finished,
                [&] { checker.start(pages, {}, Crawlers::indexNow, std::move(limits)); });
        measured.wallMs = double(wall.nsecsElapsed()) / 1e6;
        measured.cpuMs = BenchCpu::processMs() - BenchCpu::threadMs(farmClock) - cpuBefore;
        return measured;
    };
    const auto best = [](const std::function<Measured()>& run) {
        Measured fastest;
        for (int round = 0; round < 3; ++round) {
            Measured measured = run();
            if (round == 0 || measured.wallMs < fastest.wallMs)
                fastest.wallMs = measured.wallMs, fastest.verdicts = measured.verdicts;
            if (round == 0 || measured.cpuMs < fastest.cpuMs)
                fastest.cpuMs = measured.cpuMs;
        }
        return fastest;
    };

    const auto editOneInTen = [&] {
        for (int number = 0; number < count; number += 10)
            ++versions[size_t(number)];
    };
    const auto changedPages = [count](const Measured& now, const Measured& before) {
        qsizetype changed = 0;
        for (size_t page = 0; page < size_t(count); ++page)
            changed += (*now.verdicts)[page].fingerprint != (*before.verdicts)[page].fingerprint ? 1 : 0;
        return changed;
    };
    const qsizetype edited = (count + 9) / 10;

    // The first reading: every page parsed.
    PageCheckLimits reading;
    reading.fingerprints = true;
    BenchMemory::resetPeak();
    const qint64 residentBefore = BenchMemory::residentKiB("VmRSS:");
    const Measured first = check(reading);
    const double peakRiseMiB = double(BenchMemory::residentKiB("VmHWM:") - residentBefore) / 1024.0;
    const auto fingerprinted =
        std::count_if(first.verdicts->cbegin(), first.verdicts->cend(),
                      [](const PageVerdict& verdict) { return !verdict.fingerprint.isEmpty(); });
    if (fingerprinted != count)
        qFatal("only %lld of %d pages were fingerprinted", static_cast<long long>(fingerprinted), count);

    // A night's run: one page in ten edited since, each round against what the last one read.
    const Measured alone = best([&] { return check({}); });
    Measured previous = first;
    const Measured nightly = best([&] {
        editOneInTen();
        reading.lastRead = previous.verdicts;
        Measured measured = check(reading);
        if (changedPages(measured, previous) != edited)
            qFatal("%lld pages changed; %lld were edited",
                   static_cast<long long>(changedPages(measured, previous)), static_cast<long long>(edited));
        previous = measured;
        return measured;
    });

    // The floor: curl, four at a time, every body through sha256sum.
    const BenchCpu::Spent curl = BenchCpu::curlFetch(*pages, 4, u"sha256sum >/dev/null"_s);
    const double curlCpuMs = curl.cpuMs;
    const double curlWallMs = curl.wallMs;

    // With validators: learnt once; then only the edited pages send a body, and then none.
    tagged = true;
    reading.lastRead = previous.verdicts;
    const Measured learnt = check(reading);
    editOneInTen();
    reading.lastRead = learnt.verdicts;
    bodiesSent = 0;
    const Measured conditional = check(reading);
    const qint64 editedBodies = bodiesSent.load();
    if (editedBodies != edited || changedPages(conditional, learnt) != edited)
        qFatal("%lld bodies read; %lld were edited", static_cast<long long>(editedBodies),
               static_cast<long long>(edited));
    reading.lastRead = conditional.verdicts;
    bodiesSent = 0;
    const Measured unchanged = check(reading);
    const auto notModified = std::count_if(unchanged.verdicts->cbegin(), unchanged.verdicts->cend(),
                                           [](const PageVerdict& verdict) { return verdict.notModified; });

    std::printf("check alone: %.0f ms wall, %.0f ms CPU; curl | sha256sum: %.0f ms wall, %.0f ms CPU\n",
                alone.wallMs, alone.cpuMs, curlWallMs, curlCpuMs);
    std::printf("first reading, every page parsed: %.0f ms wall (%.2f x the check alone), %.0f ms CPU (%.2f "
                "x curl)\n",
                first.wallMs, first.wallMs / alone.wallMs, first.cpuMs, first.cpuMs / curlCpuMs);
    report("nightly, wall (ms)", nightly.wallMs, alone.wallMs, 1.2);
    report("nightly, CPU (ms)", nightly.cpuMs, curlCpuMs, 2.0);
    report("first reading, peak rise (MB)", peakRiseMiB, 0, 100, "MB");
    std::printf("with an ETag, one in ten edited: %lld bodies read, %.0f ms wall, %.0f ms CPU\n",
                static_cast<long long>(editedBodies), conditional.wallMs, conditional.cpuMs);
    report("unchanged: bodies read", double(bodiesSent.load()), 0, 0, "bodies");
    std::printf("unchanged: %lld of %d answered 304, %.0f ms wall, %.0f ms CPU\n",
                static_cast<long long>(notModified), count, unchanged.wallMs, unchanged.cpuMs);
    if (!BenchBudget::allMet() && !isShort) {
        std::printf("budget: NOT met\n");
        return 1;
    }
    return 0;
}
