#include "SubmissionRun.h"

#include "AnswerRule.h"
#include "SiteDatabase.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

std::array<SocketSlot, SubmissionRun::slotCount>
makeSlots(const std::array<TransferSlot*, SubmissionRun::slotCount>& transfers)
{
    return {SocketSlot(1, *transfers[0]), SocketSlot(2, *transfers[1]), SocketSlot(3, *transfers[2]),
            SocketSlot(4, *transfers[3]), SocketSlot(5, *transfers[4])};
}

} // namespace

SubmissionRun::SubmissionRun(SiteDatabase& catalogue, const std::array<TransferSlot*, slotCount>& transfers,
                             const QString& logPath, SubmissionLog::Clock clock, QObject* parent)
    : QObject(parent), m_catalogue(catalogue), m_slots(makeSlots(transfers)),
      m_log(logPath, std::move(clock)), m_ticker(new QTimer(this))
{
    m_ticker->setInterval(1000);
    connect(m_ticker, &QTimer::timeout, this, &SubmissionRun::onTick);
    for (int k = 0; k < slotCount; ++k) {
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
    m_nextSite = 0;
    m_failedSites.clear();
    m_slowedDown.clear();
    m_profile = profile;
    m_composer.emplace(profile);
    m_stopRequested = false;
    const QString& address = profile.value(ProfileField::Url);
    m_log.create({int(items.size()), profile.title, profile.value(ProfileField::WebsiteTitle), address});
    m_running = true;
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
    if (m_inTick || !m_running)
        return;
    const QScopedValueRollback inTick(m_inTick, true);

    emit leftChanged(int(m_items.size()) - m_nextSite);
    if (m_stopRequested) {
        m_stopRequested = false;
        m_cancelAnswered = false;
        emit stopQuestionDue();
        if (m_cancelAnswered) {
            cancel();
            return;
        }
    }
    if (m_nextSite == m_items.size()) {
        if (std::all_of(m_slots.cbegin(), m_slots.cend(),
                        [](const SocketSlot& slot) { return slot.isIdle(); }))
            complete();
        return;
    }
    for (int k = 0; k < slotCount && m_nextSite < m_items.size(); ++k) {
        if (!m_slots[size_t(k)].isFree())
            continue;
        // A site's batches go one after the other, never side by side: the next waits for the
        // answer to the one before, which may ask to slow down.
        if (m_items.at(m_nextSite).batch && batchInFlight(m_items.at(m_nextSite).site))
            break;
        dispatch(k);
    }
}

bool SubmissionRun::batchInFlight(const QString& site) const
{
    for (int k = 0; k < slotCount; ++k) {
        const WorkItem& item = m_items.at(m_slotSite[size_t(k)]);
        if (!m_slots[size_t(k)].isIdle() && item.batch && item.site == site)
            return true;
    }
    return false;
}

void SubmissionRun::dispatch(int slotIndex)
{
    SocketSlot& slot = m_slots[size_t(slotIndex)];
    const WorkItem& item = m_items.at(m_nextSite);
    m_slotSite[size_t(slotIndex)] = m_nextSite++;
    slot.startWorking(item.caption());
    emit siteStarted(slotIndex, item.caption());
    const PromoSite site = m_catalogue.site(item.site);
    const SubmissionRequest request =
        item.batch ? m_composer->composeBatch(site, *item.batch) : m_composer->compose(site);
    QString unsendable = request.unsendable;
    if (const auto slowed = m_slowedDown.constFind(item.site); slowed != m_slowedDown.cend()) {
        unsendable =
            u"not sent: the site asked to slow down (HTTP 429)"_s +
            (slowed->isEmpty() ? QString() : u"; try again after "_s + AnswerRule::whenAgain(*slowed));
    }
    if (!unsendable.isEmpty()) {
        // Nothing is sent: the request fails at once, and its slot takes the next one next tick.
        onTransferFinished(slotIndex, Verdict{Outcome::Failed, unsendable, 0, {}});
        return;
    }
    slot.transfer().execute(TransferRequest::from(request));
}

void SubmissionRun::onTransferFinished(int slotIndex, const Verdict& ended)
{
    if (!m_running)
        return;
    SocketSlot& slot = m_slots[size_t(slotIndex)];
    const int position = m_slotSite[size_t(slotIndex)];
    const WorkItem& item = m_items.at(position);
    Verdict verdict = ended;
    if (item.batch) { // a batch's row says how many pages it carried
        const QString pages = u"%1 pages"_s.arg(item.batch->indices.size());
        verdict.detail = verdict.detail.isEmpty() ? pages : verdict.detail + u"; "_s + pages;
    }
    if (verdict.outcome == Outcome::Succeeded) {
        ++m_succeeded;
        m_log.appendSuccess(slot.caption(), verdict.detail);
    } else {
        ++m_failed;
        m_log.appendFailure(slot.caption(), verdict.detail);
        m_failedSites.append(position);
    }
    // A site that asks to slow down gets no more batches in this run.
    if (verdict.status == 429 && item.batch)
        m_slowedDown.insert(item.site, verdict.retryAfter);
    slot.finish(verdict.outcome);
    emit siteEnded(slotIndex, slot.caption(), verdict.outcome, verdict.detail);
    emit itemEnded(position, verdict);
    emit progressChanged(progressUnits());
}

void SubmissionRun::stopRunning()
{
    m_running = false;
    m_stopRequested = false;
    m_ticker->stop();
    for (SocketSlot& slot : m_slots)
        slot.reset();
    std::sort(m_failedSites.begin(), m_failedSites.end());
    m_lastFailures.clear();
    for (const int position : std::as_const(m_failedSites)) {
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
    emit slotsReset();
    emit completed(m_succeeded, m_failed);
}

void SubmissionRun::cancel()
{
    if (!m_running)
        return;
    stopRunning();
    // Cancelled transfers report nothing: no counter, no log row.
    for (SocketSlot& slot : m_slots)
        slot.transfer().cancel();
    m_log.close();
    emit slotsReset();
    emit cancelled();
}
