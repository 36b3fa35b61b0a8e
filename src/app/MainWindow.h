#pragma once

#include "AppContext.h"
#include "RunHost.h"

#include <QMainWindow>

#include <memory>

class QAbstractButton;
class QAction;
class Dispatcher;
class EngineSelectionPage;
class QNetworkAccessManager;
class SubmissionRun;
class ProfilePage;
class ProfileSource;
class ProfileStore;
class SiteDatabase;

namespace Ui {
class MainWindow;
}

// The working window: six pages in one area, one visible at a time, switched by the toolbar
// down the left edge and by the File menu; the title strip names the page on show.
class MainWindow final : public QMainWindow, private RunHost
{
    Q_OBJECT

public:
    MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Makes all six pages invisible; every page switch runs it first.
    void hideform();

    const ProfileSource& profile() const;

    SubmissionRun& run() const { return *m_run; }
    Dispatcher& dispatcher() const { return *m_dispatcher; }

private:
    void setNavigationLocked(bool locked) override;
    void showRunPanel() override;
    void showSelectionPage() override;
    void reopenSelectionPage() override;
    void uncheckTypeFilters() override;

    void Form_Load();
    void openUpgradeWindow();
    void showRequestPreview();
    void connectPageSwitches();
    void showPage(QWidget* page, const QString& title);

    std::unique_ptr<Ui::MainWindow> ui;
    AppContext m_context;
    SiteDatabase& m_catalogue;
    std::unique_ptr<ProfileStore> m_profileStore;
    ProfilePage* m_profilePage;
    EngineSelectionPage* m_selectionPage;
    QNetworkAccessManager* m_network;
    SubmissionRun* m_run;
    Dispatcher* m_dispatcher;
};
