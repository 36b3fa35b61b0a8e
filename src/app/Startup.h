#pragma once

#include "AppContext.h"

#include <QObject>
#include <QPointer>

#include <memory>

class MainWindow;
class SiteDatabase;
class SplashScreen;

// Start-up: shows the splash, opens the catalogue, and keeps it for the life of the process.
// The splash brings up the main window once start-up has returned.
class Startup final : public QObject
{
    Q_OBJECT

public:
    explicit Startup(AppContext context, QObject* parent = nullptr);
    ~Startup() override;
    Q_DISABLE_COPY_MOVE(Startup)

    // False when the catalogue cannot be used: the user has been told why, in one message, and
    // the process should end with a failure status. The main window is then never shown.
    bool run();

    SplashScreen* splash() const;
    MainWindow* mainWindow() const { return m_mainWindow.get(); }

signals:
    void mainWindowShown();

private:
    void showMainWindow();

    AppContext m_context;
    QPointer<SplashScreen> m_splash;
    std::unique_ptr<SiteDatabase> m_database;
    std::unique_ptr<MainWindow> m_mainWindow;
};
