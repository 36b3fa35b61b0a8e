#include "SubmissionRun.h"

#include "SiteDatabase.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>

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
        connect(
            transfers[size_t(k)], &TransferSlot::finished, this,
            [this, k](Outcome outcome, const QString& detail) { onTransferFinished(k, outcome, detail); });
    }
}

SubmissionRun::~SubmissionRun() = default;

void SubmissionRun::setTickInterval(std::chrono::milliseconds interval)
{
    m_ticker->setInterval(interval);
}

int SubmissionRun::progressUnits() const
{
    if (m_sites.isEmpty())
        return 0;
    return int(qint64(m_succeeded + m_failed) * barUnits / m_sites.size());
}

bool SubmissionRun::start(const QStringList& sites, const Profile& profile)
{
    m_log.remove();
    m_succeeded = 0;
    m_failed = 0;
    if (sites.isEmpty())
        return false;
    m_sites = sites;
    m_nextSite = 0;
    m_failedSites.clear();
    m_composer.emplace(profile);
    m_stopRequested = false;
    const QString& address = profile.value(ProfileField::Url);
    m_log.create({int(sites.size()), profile.title, profile.value(ProfileField::WebsiteTitle), address});
    m_running = true;
    m_ticker->start();
    emit started(int(sites.size()), profile.title, address);
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

    emit leftChanged(int(m_sites.size()) - m_nextSite);
    if (m_stopRequested) {
        m_stopRequested = false;
        m_cancelAnswered = false;
        emit stopQuestionDue();
        if (m_cancelAnswered) {
            cancel();
            return;
        }
    }
    if (m_nextSite == m_sites.size()) {
        if (std::all_of(m_slots.cbegin(), m_slots.cend(),
                        [](const SocketSlot& slot) { return slot.isIdle(); }))
            complete();
        return;
    }
    for (int k = 0; k < slotCount && m_nextSite < m_sites.size(); ++k) {
        if (m_slots[size_t(k)].isFree())
            dispatch(k);
    }
}

void SubmissionRun::dispatch(int slotIndex)
{
    SocketSlot& slot = m_slots[size_t(slotIndex)];
    const QString site = m_sites.at(m_nextSite);
    m_slotSite[size_t(slotIndex)] = m_nextSite++;
    slot.startWorking(site);
    emit siteStarted(slotIndex, site);
    const SubmissionRequest request = m_composer->compose(m_catalogue.site(site));
    if (!request.unsendable.isEmpty()) {
        // Nothing is sent: the site fails at once, and its slot takes the next site next tick.
        onTransferFinished(slotIndex, Outcome::Failed, request.unsendable);
        return;
    }
    slot.transfer().execute(TransferRequest::from(request));
}

void SubmissionRun::onTransferFinished(int slotIndex, Outcome outcome, const QString& detail)
{
    if (!m_running)
        return;
    SocketSlot& slot = m_slots[size_t(slotIndex)];
    if (outcome == Outcome::Succeeded) {
        ++m_succeeded;
        m_log.appendSuccess(slot.caption(), detail);
    } else {
        ++m_failed;
        m_log.appendFailure(slot.caption(), detail);
        m_failedSites.append(m_slotSite[size_t(slotIndex)]);
    }
    slot.finish(outcome);
    emit siteEnded(slotIndex, slot.caption(), outcome, detail);
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
    for (const int site : std::as_const(m_failedSites))
        m_lastFailures.append(m_sites.at(site));
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
