#pragma once

#include "AppContext.h"
#include "Profile.h"
#include "SitemapReader.h"

#include <QMainWindow>

#include <memory>

class EngineSelectionPage;
class HistoryPage;
class HistoryStore;
class ProfilePage;
class ProfileStore;
class SiteDatabase;
class QTimer;
class SubmissionRun;

namespace Ui {
class MainWindow;
}

// The working window: seven pages in one area, one visible at a time, switched by the toolbar
// down the left edge and by the File menu; the title strip names the page on show. It is the
// submission run's front end: it locks the navigation, switches pages and asks its questions
// when the run says so; for a run over changed pages it reads the sitemaps first and says
// what it found.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The profile on the profile page, saved or not.
    Profile profile() const;
    SubmissionRun& run() const { return *m_run; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectPageSwitches();
    void hideAllPages();
    void showPage(QWidget* page, const QString& title);
    void openSelectionFromToolbar();
    bool checkProfileComplete();
    void setNavigationLocked(bool locked);

    void onSubmitClicked();
    void startRun(bool started);
    void onPagesModeChanged(bool changedPages);
    void readSitemaps();
    void onSitemapsRead(const std::shared_ptr<SitemapReader::Result>& result);
    void showPagesSummary();
    void openHistory();
    void onStopQuestionDue();
    void onRunCompleted(int succeeded, int failed);
    void onRunCancelled();
    void showRequestPreview();
    void openUpgradeWindow();

    std::unique_ptr<Ui::MainWindow> ui;
    AppContext m_context;
    SiteDatabase& m_catalogue;
    std::unique_ptr<ProfileStore> m_profileStore;
    ProfilePage* m_profilePage;
    EngineSelectionPage* m_selectionPage;
    SubmissionRun* m_run;
    std::unique_ptr<HistoryStore> m_history; // none when it cannot be opened: m_historyError says why
    QString m_historyError;
    HistoryPage* m_historyPage;
    SitemapReader* m_sitemapReader;
    std::shared_ptr<SitemapReader::Result> m_sitemaps; // the last reading, for m_sitemapsAddress
    QString m_sitemapsAddress;
    QTimer* m_summaryDue; // the summary follows the selection, a moment after it settles
    bool m_closeWhenCancelled = false;
};
