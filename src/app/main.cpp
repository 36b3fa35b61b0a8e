#include "AppPaths.h"
#include "DesktopOpener.h"
#include "InstalledVersion.h"
#include "Module1.h"
#include "QtDialogs.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Orvanta"_s);
    QApplication::setApplicationVersion(InstalledVersion::firstVersion);
    QApplication::setWindowIcon(QIcon(u":/images/orvanta.png"_s));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Submits a website's profile to search engines, link lists and directories."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption home(u"home"_s,
                                  u"Directory of the catalogue orvd.dll, the run log and the upgrade file "
                                  u"(default: the program's own directory)."_s,
                                  u"DIR"_s);
    parser.addOption(home);
    parser.process(app);

    SettingsStore settings;
    QtDialogs dialogs;
    SystemDesktopOpener desktop;
    const AppPaths paths = parser.isSet(home) ? AppPaths(parser.value(home)) : AppPaths::besideExecutable();
    Module1 startup(AppContext{paths, dialogs, settings, desktop});
    if (!startup.Main())
        return 1;
    return app.exec();
}
