#pragma once

#include "Profile.h"
#include "RequestComposer.h"
#include "SocketSlot.h"
#include "SubmissionLog.h"
#include "WorkItem.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <optional>

class QTimer;
class SiteDatabase;

// A submission run: the sites still to start, the five slots, the counters, the progress bar's
// length and the log. It takes commands (start, request a stop, answer the stop question, tick)
// and reports what happens through its signals; the window and the command line are its two
// front ends. Every tick shows how many sites are left, honours a stop request, hands the next
// sites to the free slots in slot order, and completes the run once nothing is left and every
// slot is idle.
class SubmissionRun final : public QObject
{
    Q_OBJECT

public:
    static constexpr int slotCount = 5;
    // The progress bar's full length: it grows by finished × barUnits ÷ sites, so it is full
    // exactly when the run ends, for any number of sites.
    static constexpr int barUnits = 6495;

    SubmissionRun(SiteDatabase& catalogue, const std::array<TransferSlot*, slotCount>& transfers,
                  const QString& logPath, SubmissionLog::Clock clock = &QDateTime::currentDateTime,
                  QObject* parent = nullptr);
    ~SubmissionRun() override;
    Q_DISABLE_COPY_MOVE(SubmissionRun)

    // Deletes the last run's log and, when there are sites, starts a run over them with the
    // profile as it stands now. False, with nothing started, when there are none.
    bool start(const QStringList& sites, const Profile& profile);
    // The same over requests made beforehand, such as batches of a sitemap's changed pages.
    bool start(const QList<WorkItem>& items, const Profile& profile);
    // The next tick asks, through stopQuestionDue(), whether to cancel.
    void requestStop();
    // A listener of stopQuestionDue() answers before it returns; true cancels the run.
    void answerStopQuestion(bool cancel);
    // The sites not yet started are dropped, the transfers cancelled, and the log closed as it
    // stands, without its footer.
    void cancel();
    void onTick();
    void setTickInterval(std::chrono::milliseconds interval);

    bool isRunning() const { return m_running; }
    const SocketSlot& socketSlot(int index) const { return m_slots[size_t(index)]; }
    const Profile& profile() const { return m_profile; }
    int itemCount() const { return int(m_items.size()); }
    const WorkItem& item(int position) const { return m_items.at(position); }
    int progressUnits() const;
    // The sites that failed in the most recent run, completed or cancelled, in the run's order.
    const QStringList& lastFailures() const { return m_lastFailures; }
    QString logFile() const { return m_log.path(); }
    // The log of a completed run, deleted when nobody wants to see it.
    void discardLog() { m_log.remove(); }

signals:
    void started(int siteCount, const QString& profileName, const QString& address);
    void leftChanged(int left);
    void siteStarted(int slotIndex, const QString& site);
    void siteEnded(int slotIndex, const QString& site, Outcome outcome, const QString& detail);
    // The same ending, for whoever keeps records: the request's place in the run, from 0.
    void itemEnded(int position, const Verdict& verdict);
    void progressChanged(int units);
    void slotsReset();
    void stopQuestionDue();
    void completed(int succeeded, int failed);
    void cancelled();

private:
    void dispatch(int slotIndex);
    bool batchInFlight(const QString& site) const;
    void onTransferFinished(int slotIndex, const Verdict& ended);
    void complete();
    void stopRunning();

    SiteDatabase& m_catalogue;
    std::array<SocketSlot, slotCount> m_slots;
    SubmissionLog m_log;
    QTimer* m_ticker;
    std::optional<RequestComposer> m_composer; // the run's profile, ready for every template
    Profile m_profile;
    QList<WorkItem> m_items;                 // the run's requests, in order
    int m_nextSite = 0;                      // the first not yet started
    std::array<int, slotCount> m_slotSite{}; // which request each slot carries
    QHash<QString, QString> m_slowedDown;    // sites that answered 429, with when to try again
    QList<int> m_failedSites;
    QStringList m_lastFailures;
    int m_succeeded = 0;
    int m_failed = 0;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_cancelAnswered = false;
    bool m_inTick = false;
};
