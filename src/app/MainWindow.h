#pragma once

#include "AppContext.h"
#include "Profile.h"
#include "SubmissionSession.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <memory>

class EngineSelectionPage;
class CoveragePage;
class GoogleConnections;
class GoogleStatusPage;
class HistoryPage;
class ProfilePage;
class ProfileStore;
class SiteDatabase;
class QTimer;
class SubmissionRun;
struct RunPlan;

namespace Ui {
class MainWindow;
}

// The working window: seven pages in one area, one visible at a time, switched by the toolbar
// down the left edge and by the File menu; the title strip names the page on show. It is a
// front end of the submission session: it hands over what the user chose, locks the
// navigation, switches pages and asks its questions when the run says so, and shows what the
// session planned.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The profile on the profile page, saved or not.
    Profile profile() const;
    SubmissionRun& run() const { return m_session->run(); }
    SubmissionSession& session() const { return *m_session; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void restoreSizeAndPlace();
    void connectPageSwitches();
    void hideAllPages();
    void showPage(QWidget* page, const QString& title);
    void openSelectionFromToolbar();
    bool checkProfileComplete();
    void setNavigationLocked(bool locked);

    SubmissionSession::Request request() const;
    void onSubmitClicked();
    void onPlanned(const RunPlan& plan, SubmissionSession::Purpose purpose);
    void startRun();
    void showPagesSummary();
    void showPreparationIfBusy();
    void onCheckingProgressed(qsizetype checked, qsizetype total);
    void showSelectionPage(const QString& title);
    void showPreviewDialog(const QString& summary, const QList<WorkItem>& items, const RunPlan& plan);
    // The profile a summary is for: its title and address.
    QString summaryKey() const;
    void onBaselineRequested();
    void openHistory();
    void onStopQuestionDue();
    void onRunCompleted(int succeeded, int failed);
    void onRunCancelled();
    void showRequestPreview();
    void openScheduleDialog();
    void openUpgradeWindow();

    std::unique_ptr<Ui::MainWindow> ui;
    AppContext m_context;
    SiteDatabase& m_catalogue;
    std::unique_ptr<ProfileStore> m_profileStore;
    std::unique_ptr<GoogleConnections> m_google; // the pages' and the runs' one way to Google
    ProfilePage* m_profilePage;
    EngineSelectionPage* m_selectionPage;
    SubmissionSession* m_session;
    HistoryPage* m_historyPage;
    CoveragePage* m_coveragePage;
    GoogleStatusPage* m_googlePage = nullptr;
    QTimer* m_summaryDue;          // the summary follows the selection, a moment after it settles
    QElapsedTimer m_checkingClock; // since the check of the pages began, for the time it has left
    QString m_summaryFor;          // the profile (summaryKey) the summary shown was asked for
    qsizetype m_summaryPages = -1; // the pages of its sitemaps, once planned
    bool m_closeWhenCancelled = false;
};
