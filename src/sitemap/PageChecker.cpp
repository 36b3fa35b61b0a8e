#include "PageChecker.h"

#include "ContentFingerprint.h"
#include "HttpFetch.h"
#include "OrvantaAgent.h"
#include "PageList.h"
#include "WebAddress.h"

#include <QFutureWatcher>
#include <QSet>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

using namespace Qt::StringLiterals;

PageChecker::PageChecker(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_budget(new QTimer(this)), m_wakeUp(new QTimer(this))
{
    for (int k = 0; k < atATime; ++k) {
        auto* fetch = new HttpFetch(network, this);
        connect(fetch, &HttpFetch::finished, this,
                [this, fetch](const FetchResult& fetched) { onFetched(fetch, fetched); });
        m_fetches.push_back(fetch);
    }
    m_jobs.resize(size_t(atATime));
    m_budget->setSingleShot(true);
    connect(m_budget, &QTimer::timeout, this, [this] {
        stopAll(
            u"%1 ran out"_s.arg(m_limits.budgetSaid.isEmpty() ? u"the check's time"_s : m_limits.budgetSaid));
    });
    m_wakeUp->setSingleShot(true);
    connect(m_wakeUp, &QTimer::timeout, this, [this] {
        for (HttpFetch* fetch : m_fetches) {
            if (!fetch->isBusy())
                fetchNext(fetch);
        }
    });
}

PageChecker::~PageChecker() = default;

void PageChecker::start(std::shared_ptr<const PageList> pages, RobotsByOrigin robots, QByteArrayList crawlers,
                        Limits limits)
{
    cancel();
    ++m_started;
    m_pages = std::move(pages);
    m_robots = std::move(robots);
    m_crawlers = std::move(crawlers);
    m_limits = std::move(limits);
    m_verdicts = std::make_shared<std::vector<PageVerdict>>(size_t(m_pages->size()));
    m_judged.assign(size_t(m_pages->size()), false);
    m_hosts.clear();
    m_hostOrder.clear();
    m_nextHost = 0;
    m_fetched = 0;
    m_checked = 0;
    m_robotsToRead.clear();
    m_robotsBeingRead = 0;
    for (qsizetype page = 0; page < m_pages->size(); ++page) {
        const QByteArray origin = WebAddress::originOf(m_pages->url(page)).toByteArray();
        auto host = m_hosts.find(origin);
        if (host == m_hosts.end()) {
            host = m_hosts.insert(origin, Host());
            m_hostOrder << origin;
            if (!m_robots.contains(origin))
                m_robotsToRead << origin;
        }
        host->pages << page;
    }
    m_busy = true;
    m_clock.start();
    if (m_limits.budget.count() > 0)
        m_budget->start(m_limits.budget);
    QTimer::singleShot(0, this, [this] {
        for (HttpFetch* fetch : m_fetches)
            fetchNext(fetch);
    });
}

void PageChecker::cancel()
{
    m_busy = false;
    m_budget->stop();
    m_wakeUp->stop();
    for (HttpFetch* fetch : m_fetches)
        fetch->cancel();
}

PageChecker::Job& PageChecker::jobOf(HttpFetch* fetch)
{
    return m_jobs[size_t(std::find(m_fetches.cbegin(), m_fetches.cend(), fetch) - m_fetches.cbegin())];
}

const PageVerdict* PageChecker::lastReadOf(qsizetype page) const
{
    if (!m_limits.fingerprints || !m_limits.lastRead || size_t(page) >= m_limits.lastRead->size())
        return nullptr;
    const PageVerdict& read = (*m_limits.lastRead)[size_t(page)];
    return read.fingerprint.isEmpty() ? nullptr : &read;
}

const RobotsRules& PageChecker::robotsOf(qsizetype page) const
{
    const auto robots = m_robots.constFind(WebAddress::originOf(m_pages->url(page)).toByteArray());
    static const RobotsRules none;
    return robots == m_robots.cend() ? none : *robots;
}

bool PageChecker::closedToEveryCrawler(qsizetype page) const
{
    const RobotsRules& robots = robotsOf(page);
    return std::none_of(m_crawlers.cbegin(), m_crawlers.cend(), [&](const QByteArray& crawler) {
        return robots.allows(m_pages->url(page), crawler);
    });
}

// Once every robots.txt is known: how fast each host may be fetched. The check obeys the group
// that names Orvanta, else everyone's.
void PageChecker::setUpHosts()
{
    const QByteArray productToken = OrvantaAgent::productToken();
    const QByteArray us = productToken.first(productToken.indexOf('/'));
    for (auto host = m_hosts.begin(); host != m_hosts.end(); ++host) {
        const double seconds = m_robots.value(host.key()).crawlDelay(us);
        host->delay = qint64(std::clamp(seconds, 0.0, double(longestCrawlDelay.count())) * 1000);
    }
}

// Read on another thread while the next pages are fetched, a few at a time; past that, here and
// now, so that no more pages wait in memory than there are fetches.
void PageChecker::fingerprint(qsizetype page, PageVerdict& verdict, const FetchResult& fetched)
{
    // Byte for byte what was read last: its content is known. Most pages of a website are.
    if (const PageVerdict* read = lastReadOf(page); read && read->bytesHash == verdict.bytesHash) {
        verdict.fingerprint = read->fingerprint;
        return;
    }
    if (m_fingerprinting >= atATime) {
        verdict.fingerprint = ContentFingerprint::of(fetched.body, fetched.header("Content-Type"));
        return;
    }
    ++m_fingerprinting;
    auto* reading = new QFutureWatcher<QByteArray>(this);
    connect(reading, &QFutureWatcher<QByteArray>::finished, this,
            [this, reading, page, verdict, start = m_started]() mutable {
                reading->deleteLater();
                --m_fingerprinting;
                if (!m_busy || start != m_started)
                    return; // cancelled, or another check since
                verdict.fingerprint = reading->result();
                judge(page, verdict);
                finishWhenDone();
            });
    reading->setFuture(QtConcurrent::run([body = fetched.body, type = fetched.header("Content-Type")] {
        return ContentFingerprint::of(body, type);
    }));
}

void PageChecker::judge(qsizetype page, const PageVerdict& verdict)
{
    (*m_verdicts)[size_t(page)] = verdict;
    m_judged[size_t(page)] = true;
    ++m_checked;
}

void PageChecker::deferWaiting(Host& host, const QString& why)
{
    for (; host.next < host.pages.size(); ++host.next)
        judge(host.pages.at(host.next), PageVerdict::deferred(why));
}

// The budget ran out: nothing more is fetched, and what is under way is given up.
void PageChecker::stopAll(const QString& why)
{
    for (HttpFetch* fetch : m_fetches) {
        Job& job = jobOf(fetch);
        if (fetch->isBusy()) { // a page, or a robots.txt that has not answered either
            fetch->cancel();
            if (job.page >= 0)
                judge(job.page, PageVerdict::deferred(why));
        }
        job = Job();
    }
    for (Host& host : m_hosts)
        deferWaiting(host, why);
    m_robotsToRead.clear();
    m_robotsBeingRead = 0;
    finishWhenDone();
}

void PageChecker::finishWhenDone()
{
    if (m_busy && m_checked == m_pages->size()) {
        m_busy = false;
        m_budget->stop();
        m_wakeUp->stop();
        emit progressed(m_checked, m_pages->size());
        emit finished(std::exchange(m_verdicts, nullptr));
    }
}

void PageChecker::fetchNext(HttpFetch* fetch)
{
    if (!m_busy)
        return;
    Job& job = jobOf(fetch);
    job = Job();
    // Every origin's robots.txt first: no page is fetched before its rules are known.
    if (!m_robotsToRead.isEmpty()) {
        job.robotsOf = m_robotsToRead.takeFirst();
        ++m_robotsBeingRead;
        fetch->start(RobotsRules::request(job.robotsOf));
        return;
    }
    if (m_robotsBeingRead > 0)
        return; // the fetch that reads the last of them goes on from there
    const bool mayFetch = m_limits.mostPages < 0 || m_fetched < m_limits.mostPages;
    const qint64 now = m_clock.elapsed();
    qint64 soonest = -1;
    for (qsizetype tried = 0; tried < m_hostOrder.size(); ++tried) {
        const qsizetype index = (m_nextHost + tried) % m_hostOrder.size();
        Host& host = m_hosts[m_hostOrder.at(index)];
        // Pages robots.txt closes to every crawler are judged without a fetch.
        while (host.next < host.pages.size() && closedToEveryCrawler(host.pages.at(host.next))) {
            const qsizetype page = host.pages.at(host.next++);
            judge(page, PageVerdict::blockedByRobots(robotsOf(page)));
        }
        if (!mayFetch)
            deferWaiting(host, u"checked when they are sent"_s);
        if (host.next == host.pages.size() || host.active >= (host.delay > 0 ? 1 : perHost))
            continue;
        if (host.notBefore > now) {
            soonest = soonest < 0 ? host.notBefore : std::min(soonest, host.notBefore);
            continue;
        }
        m_nextHost = index + 1;
        job.page = host.pages.at(host.next++);
        ++host.active;
        host.notBefore = now + host.delay;
        ++m_fetched;
        FetchRequest request;
        request.url = QUrl::fromEncoded(m_pages->url(job.page).toByteArray());
        request.deadline = m_limits.pageDeadline;
        // One page a connection at most is held, and only while it is fingerprinted.
        request.keepBytes = m_limits.fingerprints ? ContentFingerprint::mostBytes : PageVerdict::headBytes;
        request.stopWhenKept = true;
        request.userAgent = OrvantaAgent::productToken();
        if (const PageVerdict* read = lastReadOf(job.page)) {
            if (!read->etag.isEmpty())
                request.headers.append({"If-None-Match", read->etag});
            else if (!read->lastModified.isEmpty())
                request.headers.append({"If-Modified-Since", read->lastModified});
        }
        fetch->start(request);
        return;
    }
    if (soonest >= 0 && (!m_wakeUp->isActive() || m_wakeUp->remainingTime() > soonest - now))
        m_wakeUp->start(int(soonest - now));
    finishWhenDone();
}

void PageChecker::onFetched(HttpFetch* fetch, const FetchResult& fetched)
{
    const Job job = jobOf(fetch);
    if (!job.robotsOf.isEmpty()) {
        m_robots.insert(job.robotsOf, RobotsRules::fromAnswer(fetched));
        if (--m_robotsBeingRead == 0) { // the pages may go: every fetch takes one
            setUpHosts();
            for (HttpFetch* idle : m_fetches) {
                if (idle != fetch && !idle->isBusy())
                    fetchNext(idle);
            }
        }
        fetchNext(fetch);
        return;
    }
    const QByteArray origin = WebAddress::originOf(m_pages->url(job.page)).toByteArray();
    Host& host = m_hosts[origin];
    --host.active;
    host.notBefore = std::max(host.notBefore, m_clock.elapsed() + host.delay);
    PageVerdict verdict = PageVerdict::judge(m_pages->url(job.page), fetched, robotsOf(job.page), m_crawlers);
    if (const PageVerdict* read = lastReadOf(job.page); read && fetched.complete && fetched.status == 304) {
        // Not modified: the version read last, as it was (its validators renewed, if sent).
        verdict = *read;
        verdict.notModified = true;
        verdict.etag = fetched.header("ETag").isEmpty() ? read->etag : fetched.header("ETag");
    } else if (m_limits.fingerprints && verdict.kind == PageVerdict::Kind::Indexable) {
        verdict.etag = fetched.header("ETag");
        verdict.lastModified = fetched.header("Last-Modified");
        verdict.bytesHash = ContentFingerprint::bytesHash(fetched.body, fetched.header("Content-Type"));
        if (fetched.truncated) {
            const QString note = u"its content is read from its first %1 MB"_s.arg(
                ContentFingerprint::mostBytes / (1024 * 1024));
            verdict.detail = verdict.detail.isEmpty() ? note : verdict.detail + u"; "_s + note;
        }
        fingerprint(job.page, verdict, fetched);
    }
    if (!m_limits.fingerprints || verdict.kind != PageVerdict::Kind::Indexable ||
        !verdict.fingerprint.isEmpty())
        judge(job.page, verdict);
    host.timeOutsInARow = fetched.timedOut ? host.timeOutsInARow + 1 : 0;
    if (host.timeOutsInARow >= timeOutsToGiveUp && !host.givenUp) {
        // A host that lets fetch after fetch run out of time would hold the run for hours.
        host.givenUp = true;
        deferWaiting(
            host,
            u"%1 did not answer %2 times in a row"_s.arg(QString::fromUtf8(origin)).arg(timeOutsToGiveUp));
    }
    emit progressed(m_checked, m_pages->size());
    fetchNext(fetch);
}
