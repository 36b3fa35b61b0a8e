#pragma once

#include "AppPaths.h"

class DesktopOpener;
class Dialogs;
class SettingsStore;
class SiteDatabase;

// The process-wide services that start-up sets up and every window shares.
struct AppContext
{
    AppPaths paths;
    Dialogs& dialogs;
    SettingsStore& settings;
    DesktopOpener& desktop;
};
