#pragma once

#include "Profile.h"
#include "RequestComposer.h"
#include "SearchConsoleRun.h"
#include "SubmissionLog.h"
#include "TransferLane.h"
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

// A submission run: the requests still to start, the five lanes, the counters, the progress
// bar's length and the log. It takes commands (start, request a stop, answer the stop question,
// tick) and reports what happens through its signals; the window and the command line are its
// two front ends. Every tick shows how many requests are left, honours a stop request, hands
// the next requests to the ready lanes in lane order, and completes the run once nothing is
// left and no lane is working.
class SubmissionRun final : public QObject
{
    Q_OBJECT

public:
    static constexpr int laneCount = 5;
    // The progress bar's full length, in the twips (1/1440 inch) it was first drawn in: it grows
    // by finished × barUnits ÷ requests, so it is full exactly when the run ends.
    static constexpr int barUnits = 6495;

    SubmissionRun(SiteDatabase& catalogue, const std::array<TransferSlot*, laneCount>& transfers,
                  const QString& logPath, SubmissionLog::Clock clock = &QDateTime::currentDateTime,
                  QObject* parent = nullptr);
    ~SubmissionRun() override;
    Q_DISABLE_COPY_MOVE(SubmissionRun)

    // Deletes the last run's log and, when there are requests, starts a run over them with the
    // profile as it stands now. False, with nothing started, when there are none.
    bool start(const QList<WorkItem>& items, const Profile& profile);
    // The same for the profile's address at each of these sites, as a classic run sends it.
    bool start(const QStringList& sites, const Profile& profile);
    // How the next run reaches Search Console, for its sitemaps' requests.
    void setSearchConsole(const SearchConsoleAccess& access) { m_searchConsole = access; }
    // The next tick asks, through stopQuestionDue(), whether to cancel.
    void requestStop();
    // A listener of stopQuestionDue() answers before it returns; true cancels the run.
    void answerStopQuestion(bool cancel);
    // The requests not yet started are dropped, the transfers cancelled, and the log closed as
    // it stands, without its footer.
    void cancel();
    void onTick();
    void setTickInterval(std::chrono::milliseconds interval);

    bool isBusy() const { return m_busy; }
    const TransferLane& lane(int index) const { return m_lanes[size_t(index)]; }
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
    void started(int requestCount, const QString& profileName, const QString& address);
    void leftChanged(int left);
    void requestStarted(int laneIndex, const QString& caption);
    // A request's end, for the lane that carried it: how it ended, in words.
    void requestEnded(int laneIndex, const QString& caption, Outcome outcome, const QString& detail);
    // The same end, for whoever keeps records: the request's place in the run, from 0.
    void itemEnded(int position, const Verdict& verdict);
    void progressChanged(int units);
    void lanesReset();
    void stopQuestionDue();
    void completed(int succeeded, int failed);
    void cancelled();

private:
    void dispatch(int laneIndex);
    bool batchInFlight(const QString& site) const;
    void onTransferFinished(int laneIndex, const Verdict& ended);
    void complete();
    void stopRunning();

    SiteDatabase& m_catalogue;
    std::array<TransferLane, laneCount> m_lanes;
    SubmissionLog m_log;
    QTimer* m_ticker;
    std::optional<RequestComposer> m_composer; // the run's profile, ready for every template
    Profile m_profile;
    QList<WorkItem> m_items;              // the run's requests, in order
    int m_nextRequest = 0;                // the first not yet started
    QHash<QString, QString> m_slowedDown; // sites that answered 429, with when to try again
    QList<int> m_failedRequests;
    QStringList m_lastFailures;
    int m_succeeded = 0;
    int m_failed = 0;
    bool m_busy = false;
    bool m_stopRequested = false;
    bool m_cancelAnswered = false;
    bool m_inTick = false;
    SearchConsoleAccess m_searchConsole;
};
