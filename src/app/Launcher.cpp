#include "Launcher.h"

#include "AppPaths.h"
#include "DesktopOpener.h"
#include "HeadlessSubmission.h"
#include "InstalledVersion.h"
#include "MainWindow.h"
#include "Module1.h"
#include "QtDialogs.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

struct Options
{
    QCommandLineOption home{u"home"_s,
                            u"Directory of the catalogue orvd.dll, the run log and the upgrade file "
                            u"(default: the program's own directory)."_s,
                            u"DIR"_s};
    QCommandLineOption profile{u"profile"_s, u"submit: the stored profile to submit (by its title)."_s,
                               u"TITLE"_s};
    QCommandLineOption all{u"all"_s, u"submit: every site of the catalogue."_s};
    QCommandLineOption type{u"type"_s, u"submit: every site of one type, engine or list."_s, u"TYPE"_s};
    QCommandLineOption site{u"site"_s, u"submit: this site (repeat for more, in the order given)."_s,
                            u"NAME"_s};
    QCommandLineOption dryRun{u"dry-run"_s, u"submit: print the requests instead of sending them."_s};
};

void describe(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(
        u"Submits a website's profile to search engines, link lists and directories.\n\n"
        u"Without a command Orvanta opens its window. With the command submit it runs without one:\n"
        u"  orvanta submit --profile TITLE (--all | --type engine|list | --site NAME ...) [--home DIR] "
        u"[--dry-run]\n"
        u"It prints a line per finished site and exits with 0 when every site succeeded, 1 when any "
        u"failed, and 2 when it could not run as asked."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(u"command"_s, u"submit, to run without a window."_s, u"[submit]"_s);
    parser.addOptions(
        {options.home, options.profile, options.all, options.type, options.site, options.dryRun});
}

AppPaths pathsFrom(const QCommandLineParser& parser, const Options& options)
{
    return parser.isSet(options.home) ? AppPaths(parser.value(options.home)) : AppPaths::besideExecutable();
}

int submit(const QCommandLineParser& parser, const Options& options)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << u"Unexpected arguments: %1\n"_s.arg(parser.positionalArguments().mid(1).join(u' '));
        return HeadlessSubmission::badUsage;
    }
    if (!parser.isSet(options.profile)) {
        err << u"Name the profile to submit with --profile TITLE.\n"_s;
        return HeadlessSubmission::badUsage;
    }
    const int choices =
        int(parser.isSet(options.all)) + int(parser.isSet(options.type)) + int(parser.isSet(options.site));
    if (choices != 1) {
        err << u"Choose the sites with exactly one of --all, --type engine|list or --site NAME.\n"_s;
        return HeadlessSubmission::badUsage;
    }

    const AppPaths paths = pathsFrom(parser, options);
    HeadlessSubmission::Options run;
    run.profileTitle = parser.value(options.profile);
    if (parser.isSet(options.type)) {
        run.selection = HeadlessSubmission::Selection::Type;
        run.type = parser.value(options.type);
    } else if (parser.isSet(options.site)) {
        run.selection = HeadlessSubmission::Selection::Sites;
        run.sites = parser.values(options.site);
    }
    run.dryRun = parser.isSet(options.dryRun);
    run.catalogueFile = paths.catalogueFile();
    run.logFile = paths.runLogFile();
    SettingsStore settings;
    return HeadlessSubmission::run(run, settings, out, err);
}

int window(const QCommandLineParser& parser, const Options& options)
{
    QApplication::setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    SettingsStore settings;
    QtDialogs dialogs;
    SystemDesktopOpener desktop;
    Module1 startup(AppContext{pathsFrom(parser, options), dialogs, settings, desktop});
    // Messages then stand centred over the main window.
    QObject::connect(&startup, &Module1::mainWindowShown, &startup,
                     [&dialogs, &startup] { dialogs.setParentWindow(startup.mainWindow()); });
    if (!startup.Main())
        return 1;
    return QApplication::exec();
}

} // namespace

int Launcher::run(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool console = arguments.value(1) == u"submit"_s ||
                         std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& argument) {
                             return argument == u"--help"_s || argument == u"-h"_s ||
                                    argument == u"--help-all"_s || argument == u"--version"_s ||
                                    argument == u"-v"_s;
                         });
    std::unique_ptr<QCoreApplication> app =
        console ? std::make_unique<QCoreApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"Orvanta"_s);
    QCoreApplication::setApplicationVersion(InstalledVersion::firstVersion);

    Options options;
    QCommandLineParser parser;
    describe(parser, options);
    parser.process(*app);
    const QString command = parser.positionalArguments().value(0);
    if (!command.isEmpty() && command != u"submit"_s) {
        QTextStream(stderr) << u"Unknown command \"%1\"; the only command is submit.\n"_s.arg(command);
        return HeadlessSubmission::badUsage;
    }
    return command == u"submit"_s ? submit(parser, options) : window(parser, options);
}
