#pragma once

#include "AppContext.h"

#include <QMainWindow>

#include <memory>

class QAbstractButton;
class QAction;
class EngineSelectionPage;
class ProfilePage;
class ProfileSource;
class ProfileStore;
class SiteDatabase;

namespace Ui {
class MainWindow;
}

// The working window: six pages in one area, one visible at a time, switched by the toolbar
// down the left edge and by the File menu; the title strip names the page on show.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Makes all six pages invisible; every page switch runs it first.
    void hideform();

    QString installedVersion() const { return m_version; }
    const ProfileSource& profile() const;

private:
    void Form_Load();
    void connectPageSwitches();
    void showPage(QWidget* page, const QString& title);

    std::unique_ptr<Ui::MainWindow> ui;
    AppContext m_context;
    SiteDatabase& m_catalogue;
    std::unique_ptr<ProfileStore> m_profileStore;
    ProfilePage* m_profilePage;
    EngineSelectionPage* m_selectionPage;
    QString m_version;
};
