#include "SubmissionRun.h"

#include "Dialogs.h"
#include "ProfileSource.h"
#include "RunHost.h"
#include "SocketSlot.h"
#include "TransferSlot.h"
#include "WorkList.h"

#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

SubmissionRun::SubmissionRun(Services services, const std::array<TransferSlot*, slotCount>& transfers,
                             const QString& logPath, SubmissionLog::Clock clock, QObject* parent)
    : QObject(parent), m_services(services), m_log(logPath, std::move(clock)), m_timer1(new QTimer(this))
{
    m_timer1->setObjectName(u"Timer1"_s);
    m_timer1->setInterval(1000);
    for (int k = 0; k < slotCount; ++k) {
        m_slots[size_t(k)] = new SocketSlot(k + 1, *transfers[size_t(k)], this);
        connect(m_slots[size_t(k)], &SocketSlot::transferEnded, this, &SubmissionRun::transferEnded);
    }
}

SubmissionRun::~SubmissionRun() = default;

int SubmissionRun::progressWidth() const
{
    if (m_selected <= 0)
        return 0;
    return int(qint64(m_finished) * fullProgress / m_selected);
}

void SubmissionRun::Submit()
{
    m_log.remove();
    m_goodSub = 0;
    m_badSub = 0;
    const int selected = m_services.workList.count();
    m_selectedCaption = u"Total Engines Selected: "_s + QString::number(selected);
    m_leftCaption = u"Total Engines Left: "_s + QString::number(selected);
    emit changed();
    if (selected == 0) {
        m_services.dialogs.inform(u"Please select some engines to submit first."_s, u"No engines selected"_s,
                                  Dialogs::Icon::Warning);
        m_services.host.setNavigationLocked(false);
        return;
    }

    m_services.host.setNavigationLocked(true);
    m_selected = selected;
    m_finished = 0;
    m_runSites.clear();
    for (int i = 0; i < selected; ++i)
        m_runSites.append(m_services.workList.entry(i));
    m_nextSite = 0;
    m_failedSites.clear();
    m_profileName = m_services.profile.profileName();
    m_address = m_services.profile.fieldText(ProfileField::Url);
    m_log.create(
        {selected, m_profileName, m_services.profile.fieldText(ProfileField::WebsiteTitle), m_address});
    m_timer1->start();
    emit changed();
    m_services.host.showRunPanel();
}

void SubmissionRun::Stop()
{
    m_stopper = true;
}

void SubmissionRun::transferEnded(SocketSlot* slot, int state)
{
    if (state != TransferSlot::icError && state != TransferSlot::icResponseCompleted)
        return;
    const bool success = state == TransferSlot::icResponseCompleted;
    ++m_finished;
    if (success) {
        ++m_goodSub;
        m_log.appendSuccess(slot->caption());
    } else {
        ++m_badSub;
        m_log.appendFailure(slot->caption(), slot->transfer().errorDetail());
    }
    if (!success)
        m_failedSites.append(m_slotSite[size_t(slot->number() - 1)]);
    slot->finish(success);
    emit changed();
    emit siteFinished(slot->caption(), success, success ? QString() : slot->transfer().errorDetail());
}

void SubmissionRun::siteDispatched(const SocketSlot* slot)
{
    m_slotSite[size_t(slot->number() - 1)] = m_nextSite++;
}

void SubmissionRun::recordCompletion()
{
    std::sort(m_failedSites.begin(), m_failedSites.end());
    m_lastRunFailures.clear();
    for (int index : std::as_const(m_failedSites))
        m_lastRunFailures.append(m_runSites.value(index));
    emit completed();
}

void SubmissionRun::showLeftCount(int left)
{
    m_leftCaption = u"Total Engines Left: "_s + QString::number(left);
    emit changed();
}

bool SubmissionRun::takeStopRequest()
{
    const bool requested = m_stopper;
    m_stopper = false;
    return requested;
}

void SubmissionRun::resetCounters()
{
    m_goodSub = 0;
    m_badSub = 0;
}
