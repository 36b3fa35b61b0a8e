#pragma once

#include "MainWindow.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <memory>

// The whole program around a test: a home directory with a real catalogue, the settings in a
// temporary directory, scripted dialogs, and a main window whose run is ticked by hand.
class AppFixture
{
public:
    static inline const QDateTime moment{QDate(2026, 3, 7), QTime(14, 5, 9)};

    AppFixture() : m_settings(std::make_unique<SettingsStore>()) {}
    ~AppFixture();

    QString home() const { return m_home.path(); }
    QString homeFile(const QString& name) const { return m_home.filePath(name); }
    QString configDirectory() const { return m_temp.directory(); }
    SettingsStore& settings() { return *m_settings; }

    // Writes the catalogue and opens a window on it; transfers get 1.5 s, the log's clock stands
    // still at `moment`, and the run's timer never ticks by itself.
    MainWindow& openWindow(const QList<PromoSite>& sites);
    MainWindow& window() { return *m_window; }
    SiteDatabase& catalogue() { return *m_catalogue; }

    template <typename T> T* get(const QString& name) const { return m_window->findChild<T*>(name); }
    QString text(const QString& labelName) const;
    QStringList entries(const QString& listName) const;
    void click(const QString& buttonName) const;

    void tick();
    // Waits, within bounds, until no slot is working.
    bool settle(int timeoutMs = 10000);
    // Ticks, letting the transfers finish between ticks, until the run is over; the ticks taken,
    // or -1 when it did not end within the bound.
    int runToEnd(int maxTicks = 40);

    ScriptedDialogs dialogs;
    RecordingDesktopOpener desktop;

private:
    QTemporaryDir m_home;
    TempSettings m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<MainWindow> m_window;
};
