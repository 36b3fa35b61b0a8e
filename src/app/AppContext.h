#pragma once

#include "AppPaths.h"

#include <QDateTime>

#include <chrono>
#include <functional>

class DesktopOpener;
class Dialogs;
class SettingsStore;

// The process-wide services that start-up sets up and every window shares.
struct AppContext
{
    AppPaths paths;
    Dialogs& dialogs;
    SettingsStore& settings;
    DesktopOpener& desktop;
    // The --home the program was started with, absolute; empty for its default places. A
    // schedule set from the window runs with the same home.
    QString home = {};
    // How long a submission transfer may take in all, and where the run log's time comes from;
    // tests shorten the one and fix the other.
    std::chrono::milliseconds transferDeadline = std::chrono::seconds(20);
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
};
