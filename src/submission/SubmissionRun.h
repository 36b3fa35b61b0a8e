#pragma once

#include "SubmissionLog.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

class DesktopOpener;
class Dialogs;
class ProfileSource;
class RunHost;
class SiteDatabase;
class SocketSlot;
class TransferSlot;
class WorkList;
class QTimer;

// A submission run: its counters and progress, the stop request, the five slots, the log, and
// the one-second timer that drives the dispatcher. Submit starts a run, Stop asks to end it, and
// the end of each transfer is recorded here.
class SubmissionRun final : public QObject
{
    Q_OBJECT

public:
    static constexpr int slotCount = 5;
    // The progress bar's full width, in twips.
    static constexpr int fullProgress = 6495;

    struct Services
    {
        SiteDatabase& catalogue;
        const ProfileSource& profile;
        WorkList& workList;
        Dialogs& dialogs;
        DesktopOpener& desktop;
        RunHost& host;
    };

    SubmissionRun(Services services, const std::array<TransferSlot*, slotCount>& transfers,
                  const QString& logPath, SubmissionLog::Clock clock = &QDateTime::currentDateTime,
                  QObject* parent = nullptr);
    ~SubmissionRun() override;

    void Submit();
    void Stop();

    int goodCount() const { return m_goodSub; }
    int badCount() const { return m_badSub; }
    // Width of the progress bar in twips: finished × full ÷ selected, so a run ends on a full bar.
    int progressWidth() const;
    bool stopRequested() const { return m_stopper; }
    QString selectedCaption() const { return m_selectedCaption; }
    QString leftCaption() const { return m_leftCaption; }
    QString profileName() const { return m_profileName; }
    QString address() const { return m_address; }

    const std::array<SocketSlot*, slotCount>& socketSlots() const { return m_slots; }
    QTimer* timer() const { return m_timer1; }
    SubmissionLog& log() { return m_log; }
    const Services& services() const { return m_services; }

    // The sites of the last completed run that failed, in the run's order, duplicates kept.
    QStringList lastRunFailures() const { return m_lastRunFailures; }

    // For the dispatcher.
    void showLeftCount(int left);
    void siteDispatched(const SocketSlot* slot);
    void recordCompletion();
    bool takeStopRequest();
    void resetCounters();

signals:
    void changed();
    void siteFinished(const QString& siteName, bool success, const QString& detail);
    void completed();

private:
    void transferEnded(SocketSlot* slot, int state);

    Services m_services;
    std::array<SocketSlot*, slotCount> m_slots{};
    SubmissionLog m_log;
    QTimer* m_timer1;
    int m_goodSub = 0;
    int m_badSub = 0;
    int m_selected = 0;
    int m_finished = 0;
    bool m_stopper = false;
    QString m_selectedCaption = QStringLiteral("Total Engines:");
    QString m_leftCaption = QStringLiteral("Total Engines Left:");
    QString m_profileName;
    QString m_address;
    QStringList m_runSites;                  // the work list as the run started
    std::array<int, slotCount> m_slotSite{}; // which of those each slot carries
    int m_nextSite = 0;
    QList<int> m_failedSites;
    QStringList m_lastRunFailures;
};
