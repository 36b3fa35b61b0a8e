#pragma once

#include "MainWindow.h"
#include "PromoSite.h"
#include "RecordingDesktopOpener.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TempSettings.h"

#include <QDateTime>
#include <QList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// The whole program around a test: a home directory with a real catalogue, the settings in a
// temporary directory, scripted dialogs, and a main window whose run is ticked by hand.
class AppFixture
{
public:
    AppFixture();
    ~AppFixture();

    QString home() const { return m_home.path(); }
    QString homeFile(const QString& name) const { return m_home.filePath(name); }
    QString configDirectory() const { return m_temp.directory(); }
    SettingsStore& settings() { return *m_settings; }
    ScriptedDialogs& dialogs() { return m_dialogs; }
    RecordingDesktopOpener& desktop() { return m_desktop; }

    // Writes the catalogue and opens a window on it; the run's timer never fires by itself.
    MainWindow& openWindow(const QList<PromoSite>& sites,
                           std::chrono::milliseconds transferDeadline = std::chrono::milliseconds(1500),
                           std::function<QDateTime()> clock = &QDateTime::currentDateTime);
    MainWindow& window() { return *m_window; }
    SiteDatabase& catalogue() { return *m_catalogue; }

    template <typename T> T* get(const QString& name) const { return m_window->findChild<T*>(name); }
    QString labelText(const QString& name) const;
    QStringList listEntries(const QString& name) const;

    // Waits, within bounds, until no slot is working.
    bool settle(int timeoutMs = 10000);
    // Ticks, letting the transfers finish between ticks, until the run is over; the ticks taken,
    // or -1 when it did not end within the bound.
    int runToEnd(int maxTicks = 40);
    QByteArray readHomeFile(const QString& name) const;

private:
    QTemporaryDir m_home;
    TempSettings m_temp;
    std::unique_ptr<SettingsStore> m_settings;
    ScriptedDialogs m_dialogs;
    RecordingDesktopOpener m_desktop;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<MainWindow> m_window;
};
