#include "SubmissionRun.h"

#include "AnswerRule.h"
#include "SiteDatabase.h"
#include "Wording.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

std::array<TransferLane, SubmissionRun::laneCount>
makeLanes(const std::array<TransferSlot*, SubmissionRun::laneCount>& transfers)
{
    return {TransferLane(*transfers[0]), TransferLane(*transfers[1]), TransferLane(*transfers[2]),
            TransferLane(*transfers[3]), TransferLane(*transfers[4])};
}

} // namespace

SubmissionRun::SubmissionRun(SiteDatabase& catalogue, const std::array<TransferSlot*, laneCount>& transfers,
                             const QString& logPath, SubmissionLog::Clock clock, QObject* parent)
    : QObject(parent), m_catalogue(catalogue), m_lanes(makeLanes(transfers)),
      m_log(logPath, std::move(clock)), m_ticker(new QTimer(this))
{
    m_ticker->setInterval(1000);
    connect(m_ticker, &QTimer::timeout, this, &SubmissionRun::onTick);
    for (int k = 0; k < laneCount; ++k) {
        connect(transfers[size_t(k)], &TransferSlot::finished, this,
                [this, k](const Verdict& verdict) { onTransferFinished(k, verdict); });
    }
}

SubmissionRun::~SubmissionRun() = default;

void SubmissionRun::setTickInterval(std::chrono::milliseconds interval)
{
    m_ticker->setInterval(interval);
}

int SubmissionRun::progressUnits() const
{
    if (m_items.isEmpty())
        return 0;
    return int(qint64(m_succeeded + m_failed) * barUnits / m_items.size());
}

bool SubmissionRun::start(const QStringList& sites, const Profile& profile)
{
    QList<WorkItem> items;
    items.reserve(sites.size());
    for (const QString& site : sites)
        items.append(WorkItem{site, nullptr});
    return start(items, profile);
}

bool SubmissionRun::start(const QList<WorkItem>& items, const Profile& profile)
{
    m_log.remove();
    m_succeeded = 0;
    m_failed = 0;
    if (items.isEmpty())
        return false;
    m_items = items;
    m_nextRequest = 0;
    m_failedRequests.clear();
    m_slowedDown.clear();
    m_profile = profile;
    m_composer.emplace(profile);
    m_stopRequested = false;
    const QString& address = profile.value(ProfileField::Url);
    m_log.create({int(items.size()), profile.title, profile.value(ProfileField::WebsiteTitle), address});
    m_busy = true;
    m_ticker->start();
    emit started(int(items.size()), profile.title, address);
    emit progressChanged(0);
    return true;
}

void SubmissionRun::requestStop()
{
    m_stopRequested = true;
}

void SubmissionRun::answerStopQuestion(bool cancel)
{
    m_cancelAnswered = cancel;
}

void SubmissionRun::onTick()
{
    // A tick that falls due while this one waits for the stop question's answer is held back.
    if (m_inTick || !m_busy)
        return;
    const QScopedValueRollback inTick(m_inTick, true);

    emit leftChanged(int(m_items.size()) - m_nextRequest);
    if (m_stopRequested) {
        m_stopRequested = false;
        m_cancelAnswered = false;
        emit stopQuestionDue();
        if (m_cancelAnswered) {
            cancel();
            return;
        }
    }
    if (m_nextRequest == m_items.size()) {
        if (std::none_of(m_lanes.cbegin(), m_lanes.cend(),
                         [](const TransferLane& lane) { return lane.isWorking(); }))
            complete();
        return;
    }
    for (int k = 0; k < laneCount && m_nextRequest < m_items.size(); ++k) {
        if (!m_lanes[size_t(k)].isReady())
            continue;
        // A site's batches go one after the other, never side by side: the next waits for the
        // answer to the one before, which may ask to slow down.
        if (m_items.at(m_nextRequest).batch && batchInFlight(m_items.at(m_nextRequest).site))
            break;
        dispatch(k);
    }
}

bool SubmissionRun::batchInFlight(const QString& site) const
{
    return std::any_of(m_lanes.cbegin(), m_lanes.cend(), [&](const TransferLane& lane) {
        return lane.isWorking() && m_items.at(lane.request()).batch &&
               m_items.at(lane.request()).site == site;
    });
}

void SubmissionRun::dispatch(int laneIndex)
{
    TransferLane& lane = m_lanes[size_t(laneIndex)];
    const WorkItem& item = m_items.at(m_nextRequest);
    lane.startWorking(m_nextRequest++);
    emit requestStarted(laneIndex, item.caption());
    PromoSite site;
    if (item.row >= 0)
        m_catalogue.readSites({item.row}, [&site](const PromoSite& read) { site = read; });
    else
        site = m_catalogue.site(item.site);
    if (!item.sitemap.isEmpty()) {
        if (!m_searchConsole.problem.isEmpty())
            return onTransferFinished(laneIndex, Verdict{Outcome::Failed, m_searchConsole.problem, 0, {}});
        lane.transfer().execute(SearchConsoleRun::request(m_searchConsole, item.sitemap));
        return;
    }
    const SubmissionRequest request =
        item.batch ? m_composer->composeBatch(site, *item.batch) : m_composer->compose(site);
    QString unsendable = request.unsendable;
    QString retryAfter;
    if (const auto slowed = m_slowedDown.constFind(item.site); slowed != m_slowedDown.cend()) {
        unsendable =
            u"not sent: the site asked to slow down (HTTP 429)"_s +
            (slowed->isEmpty() ? QString() : u"; try again after "_s + AnswerRule::whenAgain(*slowed));
        retryAfter = *slowed; // put off with the request that was refused, not failed
    }
    if (!unsendable.isEmpty()) {
        // Nothing is sent: the request fails at once, and its lane takes the next one next tick.
        onTransferFinished(laneIndex, Verdict{Outcome::Failed, unsendable, 0, retryAfter});
        return;
    }
    lane.transfer().execute(TransferRequest::from(request));
}

void SubmissionRun::onTransferFinished(int laneIndex, const Verdict& ended)
{
    if (!m_busy)
        return;
    TransferLane& lane = m_lanes[size_t(laneIndex)];
    const int position = lane.request();
    const WorkItem& item = m_items.at(position);
    Verdict verdict = ended;
    if (item.batch) { // a batch's row says how many pages it carried
        const QString pages = counted(item.batch->indices.size(), u"%1 page"_s, u"%1 pages"_s);
        verdict.detail = verdict.detail.isEmpty() ? pages : verdict.detail + u"; "_s + pages;
    }
    const QString caption = item.caption();
    if (verdict.outcome == Outcome::Succeeded) {
        ++m_succeeded;
        m_log.appendSuccess(caption, verdict.detail);
    } else {
        ++m_failed;
        m_log.appendFailure(caption, verdict.detail);
        m_failedRequests.append(position);
    }
    // A site that asks to slow down gets no more batches in this run.
    if (verdict.status == 429 && item.batch)
        m_slowedDown.insert(item.site, verdict.retryAfter);
    lane.finish(verdict.outcome);
    emit requestEnded(laneIndex, caption, verdict.outcome, verdict.detail);
    emit itemEnded(position, verdict);
    emit progressChanged(progressUnits());
}

void SubmissionRun::stopRunning()
{
    m_busy = false;
    m_stopRequested = false;
    m_ticker->stop();
    for (TransferLane& lane : m_lanes)
        lane.reset();
    std::sort(m_failedRequests.begin(), m_failedRequests.end());
    m_lastFailures.clear();
    for (const int position : std::as_const(m_failedRequests)) {
        // A site whose batches failed is selected once again, not once per batch.
        const WorkItem& item = m_items.at(position);
        if (!item.batch || !m_lastFailures.contains(item.site))
            m_lastFailures.append(item.site);
    }
}

void SubmissionRun::complete()
{
    stopRunning();
    m_log.writeFooter();
    m_log.close();
    emit lanesReset();
    emit completed(m_succeeded, m_failed);
}

void SubmissionRun::cancel()
{
    if (!m_busy)
        return;
    stopRunning();
    // Cancelled transfers report nothing: no counter, no log row.
    for (TransferLane& lane : m_lanes)
        lane.transfer().cancel();
    m_log.close();
    emit lanesReset();
    emit cancelled();
}
