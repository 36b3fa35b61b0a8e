#include "Dispatcher.h"

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "RequestComposer.h"
#include "RunHost.h"
#include "SocketSlot.h"
#include "SubmissionRun.h"
#include "TransferSlot.h"
#include "WorkList.h"

#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

Dispatcher::Dispatcher(SubmissionRun& run, QObject* parent) : QObject(parent), m_run(run)
{
    connect(m_run.timer(), &QTimer::timeout, this, &Dispatcher::Timer1_Timer);
}

void Dispatcher::Timer1_Timer()
{
    if (m_inTick)
        return;
    const QScopedValueRollback inTick(m_inTick, true);
    WorkList& workList = m_run.services().workList;

    m_run.showLeftCount(workList.count());
    if (m_run.takeStopRequest() &&
        m_run.services().dialogs.askYesNo(u"Are you sure you want to cancel?"_s, u"Cancel Submission"_s,
                                          Dialogs::Icon::Question)) {
        cancelSequence();
        return;
    }
    if (workList.count() == 0) {
        const auto& allSlots = m_run.socketSlots();
        if (std::all_of(allSlots.cbegin(), allSlots.cend(),
                        [](const SocketSlot* slot) { return slot->isIdle(); }))
            completionSequence();
        return;
    }
    for (SocketSlot* slot : m_run.socketSlots()) {
        if (workList.count() == 0)
            return;
        if (slot->isFree())
            dispatch(*slot);
    }
}

void Dispatcher::dispatch(SocketSlot& slot)
{
    const SubmissionRun::Services& services = m_run.services();
    const QString siteName = services.workList.entry(0);
    slot.startWorking(siteName);
    m_run.siteDispatched(&slot);
    const SubmissionRequest request =
        RequestComposer::compose(services.catalogue, siteName, services.profile);
    slot.transfer().execute(TransferRequest::from(request));
    services.workList.removeEntry(0);
}

void Dispatcher::resetSlots()
{
    for (SocketSlot* slot : m_run.socketSlots())
        slot->reset();
}

void Dispatcher::cancelSequence()
{
    const SubmissionRun::Services& services = m_run.services();
    services.host.setNavigationLocked(false);
    services.workList.clear();
    services.workList.setCountCaption(u" Selected Engines :"_s + QString::number(services.workList.count()));
    resetSlots();
    services.workList.setCountCaption(u" Total Selected Engines :"_s +
                                      QString::number(services.workList.count()));
    services.host.showSelectionPage();
    // Cancelled transfers report nothing: no counter, no log row.
    for (SocketSlot* slot : m_run.socketSlots())
        slot->transfer().cancel();
    services.host.reopenSelectionPage();
    m_run.log().close();
    m_run.timer()->stop();
}

void Dispatcher::completionSequence()
{
    const SubmissionRun::Services& services = m_run.services();
    m_run.timer()->stop();
    m_run.log().writeFooter();
    resetSlots();
    services.workList.setCountCaption(u" Total Selected Engines :"_s +
                                      QString::number(services.workList.count()));
    services.host.showSelectionPage();
    services.host.uncheckTypeFilters();

    const QString summary = u"The submission is completed.\r\nFailed Submissions: "_s +
                            QString::number(m_run.badCount()) + u"\r\nSuccessful submissions: "_s +
                            QString::number(m_run.goodCount()) +
                            u"\r\nWould you like to view the log information? "_s;
    const bool view = services.dialogs.askYesNo(summary, u"Submission Completed"_s, Dialogs::Icon::Question);
    m_run.recordCompletion();
    m_run.resetCounters();
    services.host.setNavigationLocked(false);
    m_run.log().close();
    if (view)
        m_run.log().view(services.desktop);
    else
        m_run.log().remove();
    services.host.reopenSelectionPage();
}
