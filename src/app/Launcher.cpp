#include "Launcher.h"

#include "AppPaths.h"
#include "ChangeSignal.h"
#include "CoverageCommand.h"
#include "DesktopOpener.h"
#include "ExitStatus.h"
#include "GoogleCommand.h"
#include "HeadlessSubmission.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "InstalledVersion.h"
#include "JsonOutput.h"
#include "KeyChecks.h"
#include "KeyCommand.h"
#include "MainWindow.h"
#include "PathPatterns.h"
#include "ProfileCommand.h"
#include "ProfileStore.h"
#include "QtDialogs.h"
#include "RunJournal.h"
#include "ScheduleCommand.h"
#include "ScheduleLog.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "Startup.h"
#include "StatusCommand.h"
#include "TerminalOutput.h"
#include "WebAddress.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Options
{
    QCommandLineOption help{{u"h"_s, u"help"_s}, u"Show this help and exit."_s};
    QCommandLineOption version{{u"v"_s, u"version"_s}, u"Show the version and exit."_s};
    QCommandLineOption home{
        u"home"_s,
        u"Directory of the catalogue orvd.dll, the run log, the history and the upgrade file "
        u"(default: the catalogue beside the program, the files Orvanta writes beside it in a "
        u"portable copy, else in the user's data directory)."_s,
        u"DIR"_s};
    QCommandLineOption profile{
        u"profile"_s, u"submit, key, coverage, google, profile: the stored profile (by its title)."_s,
        u"TITLE"_s};
    QCommandLineOption profileSlot{
        u"profile-slot"_s,
        u"submit, schedule remove|run: the stored profile by its slot, 1 to 20, which a rename leaves alone."_s,
        u"N"_s};
    QCommandLineOption all{u"all"_s, u"submit: every site of the catalogue."_s};
    QCommandLineOption type{u"type"_s, u"submit: every site of one type, engine or list."_s, u"TYPE"_s};
    QCommandLineOption site{u"site"_s,
                            u"submit: this site (repeat for more, in the order given); coverage: this "
                            u"IndexNow site only."_s,
                            u"NAME"_s};
    QCommandLineOption dryRun{u"dry-run"_s, u"submit: print the requests instead of sending them."_s};
    QCommandLineOption quiet{
        u"quiet"_s, u"submit: print only the first line, failures, errors and the totals (for cron)."_s};
    QCommandLineOption replace{
        u"replace"_s,
        u"key generate: replace the profile's IndexNow key; profile import: overwrite the profile of "
        u"the same title."_s};
    QCommandLineOption changedPages{u"changed-pages"_s,
                                    u"submit: the sitemap's pages changed since they were last sent to each "
                                    u"IndexNow site, instead of the profile's address."_s};
    QCommandLineOption sitemap{
        u"sitemap"_s,
        u"submit --changed-pages: the sitemap to read (default: those robots.txt names, "
        u"else /sitemap.xml)."_s,
        u"URL"_s};
    QCommandLineOption coolDown{u"cool-down"_s,
                                u"submit --changed-pages: never send a page to a site again within this many "
                                u"seconds (default 600; 0 turns it off)."_s,
                                u"SECONDS"_s};
    QCommandLineOption checkTime{
        u"check-time"_s,
        u"submit --changed-pages: how long checking the pages may take (default 600; 0 for no bound); the "
        u"pages it does not come to are sent another time, checked first, and the run exits with 3."_s,
        u"SECONDS"_s};
    QCommandLineOption changeSignal{
        u"change-signal"_s,
        u"submit --changed-pages or --baseline: what tells a changed page for this run: lastmod (the "
        u"sitemap's), "
        u"content (the page's own, read when it is checked) or auto (lastmod where a page has one, else "
        u"content); default: the profile's changesignal."_s,
        u"SIGNAL"_s};
    QCommandLineOption include{
        u"include"_s,
        u"submit --changed-pages or --baseline: for this run, announce only the pages whose path "
        u"matches a PATTERN as robots.txt writes paths (\"/blog/\", \"/*.html$\"); may "
        u"be given more than once; default: the profile's include."_s,
        u"PATTERN"_s};
    QCommandLineOption exclude{
        u"exclude"_s,
        u"submit --changed-pages or --baseline: for this run, leave out the pages whose path matches "
        u"a PATTERN; may be given more than once; default: the profile's exclude."_s,
        u"PATTERN"_s};
    QCommandLineOption noCheck{u"no-check"_s,
                               u"submit --changed-pages: send the pages as the sitemaps list them, without "
                               u"fetching each first to see whether it can be indexed."_s};
    QCommandLineOption baseline{
        u"baseline"_s, u"submit: record every page of the website's sitemaps as announced to each "
                       u"selected IndexNow site, sending nothing (for a site notified by other means)."_s};
    QCommandLineOption client{u"client"_s,
                              u"google login: the JSON file of your own OAuth client (a \"Desktop app\" "
                              u"client, as Google Cloud Console downloads it)."_s,
                              u"FILE"_s};
    QCommandLineOption serviceAccount{u"service-account"_s,
                                      u"google login: a service account's JSON key file, for runs nobody "
                                      u"watches; only its path is stored."_s,
                                      u"FILE"_s};
    QCommandLineOption port{u"port"_s,
                            u"google login --client: the port of 127.0.0.1 Google's answer comes back to "
                            u"(default: one the system picks), for a tunnel from another machine."_s,
                            u"N"_s};
    QCommandLineOption timeout{u"timeout"_s,
                               u"google login --client: how long to wait for the sign-in in the browser "
                               u"(default 300)."_s,
                               u"SECONDS"_s};
    QCommandLineOption limit{
        u"limit"_s, u"google inspect: at most N pages (default: as the day's quota allows)."_s, u"N"_s};
    QCommandLineOption last{u"last"_s, u"history: only the last N runs."_s, u"N"_s};
    QCommandLineOption at{
        u"at"_s,
        u"schedule set: when to run, as systemd reads a calendar: daily, \"Mon *-*-* 06:00\", "
        u"\"*-*-* 05:30\"."_s,
        u"CALENDAR"_s};
    QCommandLineOption scheduleLog{
        u"schedule-log"_s, u"submit: also append the output to schedule.log in the home, as scheduled "
                           u"runs do (past 2 MB the file is cut to its last 1 MB)."_s};
    QCommandLineOption json{u"json"_s,
                            u"status, history, coverage, profile list|show, key check, google status, "
                            u"schedule list: one JSON document on stdout (see docs/json.md)."_s};
    QCommandLineOption jsonl{u"jsonl"_s,
                             u"submit: a JSON object a line as the run goes (see docs/json.md)."_s};
    QCommandLineOption csv{u"csv"_s, u"history: as CSV, a row per request; coverage: as CSV, a row per page "
                                     u"and site."_s};
};

// One entry per way to call the program: its synopsis line and the options it takes besides
// --home and --help. The usage, each command's --help and the check of foreign options read it.
struct Usage
{
    QString command;
    QString synopsis;
    QList<const QCommandLineOption*> options;
};

QList<Usage> usages(const Options& o)
{
    const QList<const QCommandLineOption*> profile{&o.profile};
    return {
        {QString(), u"orvanta [--home DIR]"_s, {}},
        {u"submit"_s,
         u"orvanta submit (--profile TITLE | --profile-slot N) (--all | --type engine|list | --site NAME "
         u"...) "
         u"[--home DIR] [--dry-run] [--quiet] [--jsonl] [--schedule-log] "
         u"[--changed-pages [--sitemap URL] [--cool-down SECONDS] [--check-time SECONDS] [--no-check] "
         u"[--change-signal lastmod|content|auto] [--include PATTERN ...] [--exclude PATTERN ...]] "
         u"[--baseline [--sitemap URL] [--change-signal lastmod|content|auto] [--include PATTERN ...] "
         u"[--exclude PATTERN ...]]"_s,
         {&o.profile, &o.profileSlot, &o.all, &o.type, &o.site, &o.dryRun, &o.quiet, &o.jsonl, &o.scheduleLog,
          &o.changedPages, &o.sitemap, &o.coolDown, &o.checkTime, &o.noCheck, &o.changeSignal, &o.include,
          &o.exclude, &o.baseline}},
        {u"key generate"_s, u"orvanta key generate --profile TITLE [--replace]"_s, {&o.profile, &o.replace}},
        {u"key check"_s, u"orvanta key check --profile TITLE [--json] [--home DIR]"_s, {&o.profile, &o.json}},
        {u"history"_s,
         u"orvanta history [--profile TITLE] [--last N] [--csv | --json] [--home DIR]"_s,
         {&o.profile, &o.last, &o.csv, &o.json}},
        {u"coverage"_s,
         u"orvanta coverage --profile TITLE [--site NAME] [--csv | --json] [--home DIR]"_s,
         {&o.profile, &o.site, &o.csv, &o.json}},
        {u"google login"_s,
         u"orvanta google login --profile TITLE (--client FILE [--port N] [--timeout SECONDS] | "
         u"--service-account "
         u"FILE)"_s,
         {&o.profile, &o.client, &o.serviceAccount, &o.port, &o.timeout}},
        {u"google logout"_s, u"orvanta google logout --profile TITLE"_s, profile},
        {u"google status"_s,
         u"orvanta google status --profile TITLE [--json] [--home DIR]"_s,
         {&o.profile, &o.json}},
        {u"google inspect"_s,
         u"orvanta google inspect --profile TITLE [--limit N] [--home DIR]"_s,
         {&o.profile, &o.limit}},
        {u"profile list"_s, u"orvanta profile list [--json]"_s, {&o.json}},
        {u"profile show"_s, u"orvanta profile show --profile TITLE [--json]"_s, {&o.profile, &o.json}},
        {u"profile new"_s, u"orvanta profile new --profile TITLE"_s, profile},
        {u"profile set"_s, u"orvanta profile set --profile TITLE KEY=VALUE ..."_s, profile},
        {u"profile delete"_s, u"orvanta profile delete --profile TITLE"_s, profile},
        {u"profile export"_s, u"orvanta profile export --profile TITLE"_s, profile},
        {u"profile import"_s, u"orvanta profile import FILE [--replace]"_s, {&o.replace}},
        {u"profiles"_s, u"orvanta profiles"_s, {}},
        {u"status"_s, u"orvanta status [--profile TITLE] [--json] [--home DIR]"_s, {&o.profile, &o.json}},
        {u"schedule set"_s,
         u"orvanta schedule set --profile TITLE (--all | --type engine|list | --site NAME ...) "
         u"[--changed-pages] "
         u"--at CALENDAR [--home DIR]"_s,
         {&o.profile, &o.all, &o.type, &o.site, &o.changedPages, &o.at}},
        {u"schedule list"_s, u"orvanta schedule list [--json]"_s, {&o.json}},
        {u"schedule remove"_s,
         u"orvanta schedule remove (--profile TITLE | --profile-slot N)"_s,
         {&o.profile, &o.profileSlot}},
        {u"schedule run"_s,
         u"orvanta schedule run (--profile TITLE | --profile-slot N)"_s,
         {&o.profile, &o.profileSlot}},
    };
}

// The entries of one command ("key" has two), or of one of its actions.
QList<Usage> usagesOf(const Options& options, const QString& command)
{
    QList<Usage> found;
    for (const Usage& usage : usages(options)) {
        if (usage.command == command || usage.command.section(u' ', 0, 0) == command)
            found << usage;
    }
    return found;
}

QString synopsisOf(const QList<Usage>& entries)
{
    QStringList lines;
    for (const Usage& usage : entries)
        lines << usage.synopsis;
    return u"Usage: "_s + lines.join(u"\n  or:  "_s) + u'\n';
}

// The usage lines as help2man and every GNU program write them, so the manual page gets the
// same synopsis as --help.
QString helpText(const QCommandLineParser& parser, const Options& options)
{
    const QString text = parser.helpText();
    return synopsisOf(usages(options)) + text.mid(text.indexOf(u'\n') + 1);
}

// One command's usage and its options alone, for orvanta COMMAND --help.
QString commandHelp(const Options& options, const QString& command)
{
    const QList<Usage> entries = usagesOf(options, command);
    QCommandLineParser parser;
    QList<const QCommandLineOption*> taken;
    for (const Usage& usage : entries) {
        for (const QCommandLineOption* option : usage.options) {
            if (!taken.contains(option))
                taken << option;
        }
    }
    taken << &options.home << &options.help;
    for (const QCommandLineOption* option : std::as_const(taken))
        parser.addOption(*option);
    const QString text = parser.helpText();
    return synopsisOf(entries) + text.mid(text.indexOf(u"\nOptions:"_s));
}

void describe(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(
        u"Submits a website's profile to search engines, link lists and directories.\n\n"
        u"Without a command Orvanta opens its window. With a command it runs without one;\n"
        u"options may stand before or after the command.\n\n"
        u"submit prints a line per finished site and the totals. Every command exits with 0 when it did\n"
        u"what was asked, 1 when something failed on the way (a site, the network, Google, a record), 2\n"
        u"when it could not run as asked, and 3 when nothing failed but some work was put off (pages not\n"
        u"checked in time, an engine's 429, Google's quota; see EXIT STATUS in the manual). status says\n"
        u"whether each profile's last run worked.\n\n"
        u"key generate stores a new IndexNow key in the profile and says where the site must serve it;\n"
        u"key check fetches the key file from the site and says whether engines can read it (exit 0)\n"
        u"or not (exit 1).\n\n"
        u"submit --changed-pages reads the website's sitemaps and sends each selected IndexNow site the\n"
        u"pages that changed since they were last sent to it, in batches of at most 10,000; other sites\n"
        u"get the profile's address as always. Each page is fetched first and announced only when it\n"
        u"can be indexed (it answers 200, says no noindex, names itself as canonical and robots.txt\n"
        u"allows it); pages that answer 404 or 410 are announced as removed.\n\n"
        u"history lists the recorded runs, newest first. coverage says, for each page the website's\n"
        u"sitemaps listed at the last run and each IndexNow site, whether the site accepted it, it was\n"
        u"recorded as announced by a baseline, refused it, left out by the check, announced as removed,\n"
        u"or never announced; with --csv the columns are page, site, state, reason, last_accepted,\n"
        u"google and content_changed.\n\n"
        u"profile new makes a profile in the lowest free of the twenty slots, profile set fills in its\n"
        u"values as KEY=VALUE (the keys of orv.conf), profile show prints them, profile export writes\n"
        u"the profile as JSON and profile import reads it back. profile list (or profiles) prints the\n"
        u"stored profiles' titles, one per line.\n\n"
        u"google login signs a profile in to Google Search Console: with your own OAuth client in a\n"
        u"browser, or with a service account's key file for cron. google status reads back what\n"
        u"Google made of the website's sitemaps; google inspect asks Google whether announced pages\n"
        u"are indexed, oldest announcement first, within the day's quota of 2,000 pages. Neither\n"
        u"asks Google to index anything. google logout revokes the sign-in and forgets it.\n\n"
        u"schedule set has a profile's run start regularly, by a systemd user timer (orvanta-N.timer)\n"
        u"where the user has a systemd user manager, else by a block of the user's crontab; schedule\n"
        u"list shows each with its next and last run, schedule run starts one now as the timer would,\n"
        u"schedule remove ends it. Scheduled runs are quiet and append to schedule.log in the home."_s);
    parser.addPositionalArgument(
        u"command"_s,
        u"submit, key, history, coverage, status, google, profile or profiles, schedule, to run without a "
        u"window; "
        u"orvanta COMMAND --help tells of one."_s,
        u"[submit | key generate|check | history | coverage | google login|logout|status|inspect | "
        u"profile list|show|new|set|delete|export|import | profiles | status | schedule set|list|remove|run]"_s);
    parser.addOptions({options.help,         options.version,      options.home,     options.profile,
                       options.all,          options.type,         options.site,     options.dryRun,
                       options.quiet,        options.changedPages, options.sitemap,  options.coolDown,
                       options.checkTime,    options.noCheck,      options.baseline, options.replace,
                       options.last,         options.csv,          options.client,   options.serviceAccount,
                       options.port,         options.timeout,      options.limit,    options.profileSlot,
                       options.at,           options.scheduleLog,  options.json,     options.jsonl,
                       options.changeSignal, options.include,      options.exclude});
}

// The command line's two streams, on their way to a terminal or a log: control characters from
// outside shown as escapes, every line out at once, unless the output is `Buffered`.
struct Console
{
    // Buffered: stdout written in blocks when it is no terminal, for output that loses nothing
    // that matters when the process dies midway (a dry run's requests, which send nothing).
    enum class Output { LineByLine, Buffered };

    explicit Console(Output output = Output::LineByLine)
    {
        // By descriptor, past stdio's buffer, which holds a pipe's output until the process ends.
        const bool buffered = output == Output::Buffered && !isatty(STDOUT_FILENO);
        outFile.open(STDOUT_FILENO,
                     buffered ? QIODevice::WriteOnly : QIODevice::WriteOnly | QIODevice::Unbuffered);
        errFile.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QFile outFile;
    QFile errFile;
    TerminalOutput out{outFile};
    TerminalOutput err{errFile};
};

void print(QIODevice& device, const QString& text)
{
    device.write(text.toUtf8());
}

AppPaths pathsFrom(const QCommandLineParser& parser, const Options& options)
{
    return parser.isSet(options.home)
               ? AppPaths::forHome(parser.value(options.home), QCoreApplication::applicationDirPath())
               : AppPaths::besideExecutable();
}

int usageError(const QString& message)
{
    Console console;
    QString text = message + u"\nUsage:\n"_s;
    for (const Usage& usage : usages(Options()))
        text += u"  "_s + usage.synopsis + u'\n';
    print(console.err, text + u"See orvanta --help.\n"_s);
    return ExitStatus::badUsage;
}

enum class HomeUse { Read, Write };

// A home named with --home that cannot be read is said, not taken for one without runs; a
// command that writes makes the one that does not exist yet (a new server's first run).
std::optional<int> refuseUnusableHome(const QCommandLineParser& parser, const Options& options, HomeUse use)
{
    if (!parser.isSet(options.home))
        return std::nullopt;
    const QString home = parser.value(options.home);
    struct stat status
    {};
    QString problem;
    if (use == HomeUse::Write && ::stat(QFile::encodeName(home).constData(), &status) != 0 &&
        errno == ENOENT && !QDir().mkpath(home))
        problem = u"cannot be made"_s;
    else if (::stat(QFile::encodeName(home).constData(), &status) != 0)
        problem = errno == ENOENT ? u"does not exist"_s
                                  : u"cannot be read: %1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISDIR(status.st_mode))
        problem = u"is not a directory"_s;
    else if (::access(QFile::encodeName(home).constData(), R_OK | X_OK) != 0)
        problem = u"cannot be read: %1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (problem.isEmpty())
        return std::nullopt;
    Console console;
    print(console.err, u"The home \"%1\" %2.\n"_s.arg(QDir::toNativeSeparators(home), problem));
    return ExitStatus::badUsage;
}

// Each command takes its own options and --home; an option of another command is a mistake
// the user should hear of, not one quietly ignored.
std::optional<int> refuseOtherOptions(const QCommandLineParser& parser, const QString& command,
                                      const Options& options)
{
    QStringList allowed = options.home.names();
    for (const Usage& usage : usagesOf(options, command)) {
        for (const QCommandLineOption* option : usage.options)
            allowed << option->names();
    }
    for (const QString& name : parser.optionNames()) {
        if (!allowed.contains(name))
            return usageError(u"%1 does not take --%2."_s.arg(command, name));
    }
    return std::nullopt;
}

// The commands but key take no word after their name.
std::optional<int> refuseExtraWords(const QCommandLineParser& parser)
{
    const QStringList words = parser.positionalArguments();
    if (words.size() == 1)
        return std::nullopt;
    return usageError(u"Unexpected arguments: %1"_s.arg(words.mid(1).join(u' ')));
}

// The command as a shell takes it back: a word with a blank or a quote in single quotes.
QString commandLineOf(const QStringList& arguments)
{
    QStringList words{u"orvanta"_s};
    for (const QString& argument : arguments.mid(1)) {
        static const QRegularExpression plain(u"^[A-Za-z0-9_@%+=:,./-]+$"_s);
        words << (plain.match(argument).hasMatch()
                      ? argument
                      : u"'"_s + QString(argument).replace(u"'"_s, u"'\\''"_s) + u"'"_s);
    }
    return words.join(u' ');
}

std::optional<int> slotFrom(const QCommandLineParser& parser, const Options& options)
{
    bool number = false;
    const int slot = parser.value(options.profileSlot).toInt(&number);
    if (!number || slot < ProfileStore::firstSlot || slot > ProfileStore::lastSlot)
        return std::nullopt;
    return slot;
}

int submit(const QCommandLineParser& parser, const Options& options)
{
    if (const std::optional<int> refused = refuseExtraWords(parser))
        return *refused;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"submit"_s, options))
        return *refused;
    if (parser.isSet(options.profile) == parser.isSet(options.profileSlot))
        return usageError(u"Name the profile to submit with --profile TITLE or --profile-slot N."_s);
    const int choices =
        int(parser.isSet(options.all)) + int(parser.isSet(options.type)) + int(parser.isSet(options.site));
    if (choices != 1)
        return usageError(
            u"Choose the sites with exactly one of --all, --type engine|list or --site NAME."_s);

    if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Write))
        return *refused;
    const AppPaths paths = pathsFrom(parser, options);
    HeadlessSubmission::Options run;
    run.profileTitle = parser.value(options.profile);
    SettingsStore settings;
    if (parser.isSet(options.profileSlot)) {
        const std::optional<int> slot = slotFrom(parser, options);
        if (!slot)
            return usageError(u"--profile-slot takes a slot number from 1 to 20."_s);
        run.profileTitle = ProfileStore(settings).titleIn(*slot);
        if (run.profileTitle.isEmpty()) {
            Console console;
            print(console.err,
                  u"No profile is stored in slot %1; orvanta profile list names the stored ones.\n"_s.arg(
                      *slot));
            return ExitStatus::badUsage;
        }
    }
    if (parser.isSet(options.type)) {
        run.selection = HeadlessSubmission::Selection::Type;
        run.type = parser.value(options.type);
    } else if (parser.isSet(options.site)) {
        run.selection = HeadlessSubmission::Selection::Sites;
        run.sites = parser.values(options.site);
    }
    run.dryRun = parser.isSet(options.dryRun);
    run.quiet = parser.isSet(options.quiet);
    run.commandLine = commandLineOf(QCoreApplication::arguments());
    run.changedPages = parser.isSet(options.changedPages);
    run.checkPages = !parser.isSet(options.noCheck);
    run.baseline = parser.isSet(options.baseline);
    if ((parser.isSet(options.coolDown) || parser.isSet(options.noCheck)) && !run.changedPages)
        return usageError(u"--cool-down and --no-check go with --changed-pages."_s);
    if (parser.isSet(options.sitemap) && !run.changedPages && !run.baseline)
        return usageError(u"--sitemap goes with --changed-pages or --baseline."_s);
    if (run.baseline && run.dryRun)
        return usageError(
            u"--baseline records the pages without sending them: it does not take --dry-run."_s);
    run.sitemap = parser.value(options.sitemap);
    if (parser.isSet(options.sitemap) && WebAddress::normalise(run.sitemap.toUtf8()).address.isEmpty())
        return usageError(u"--sitemap takes a web address, such as https://www.example.com/sitemap.xml."_s);
    if (parser.isSet(options.checkTime)) {
        bool number = false;
        const int seconds = parser.value(options.checkTime).toInt(&number);
        if (!run.changedPages || !run.checkPages)
            return usageError(u"--check-time goes with --changed-pages, without --no-check."_s);
        if (!number || seconds < 0)
            return usageError(u"--check-time takes a number of seconds, 0 or more."_s);
        run.checkTime = std::chrono::seconds(seconds);
    }
    if ((parser.isSet(options.changeSignal) || parser.isSet(options.include) ||
         parser.isSet(options.exclude)) &&
        !run.changedPages && !run.baseline)
        return usageError(
            u"--change-signal, --include and --exclude go with --changed-pages or --baseline."_s);
    if (parser.isSet(options.changeSignal)) {
        run.changeSignal = parser.value(options.changeSignal);
        if (!ChangeSignals::fromName(*run.changeSignal) || run.changeSignal->isEmpty())
            return usageError(u"--change-signal takes one of %1."_s.arg(ChangeSignals::names.join(u", "_s)));
    }
    for (const auto& [option, patterns] :
         {std::pair{&options.include, &run.include}, std::pair{&options.exclude, &run.exclude}}) {
        if (!parser.isSet(*option))
            continue;
        *patterns = parser.values(*option).join(u' ');
        if (const QString problem = PathPatterns::problemOf(**patterns); !problem.isEmpty())
            return usageError(problem);
    }
    if (parser.isSet(options.coolDown)) {
        bool number = false;
        const int seconds = parser.value(options.coolDown).toInt(&number);
        if (!number || seconds < 0)
            return usageError(u"--cool-down takes a number of seconds, 0 or more."_s);
        run.coolDown = std::chrono::seconds(seconds);
    }
    run.catalogueFile = paths.catalogueFile();
    run.bundledCatalogue = paths.usesBundledCatalogue();
    run.logFile = paths.runLogFile();
    run.historyFile = paths.historyFile();
    run.runLockFile = paths.runLockFile();
    Console console(run.dryRun ? Console::Output::Buffered : Console::Output::LineByLine);
    // How far a long reading or check is, on a terminal only: a cron log stays as it was.
    if (isatty(STDERR_FILENO))
        run.progress = &console.errFile;
    // With --jsonl, stdout carries the events alone; the lines for people go nowhere.
    QFile nowhere(u"/dev/null"_s);
    QIODevice* out = &console.out;
    if (parser.isSet(options.jsonl)) {
        if (!nowhere.open(QIODevice::WriteOnly))
            return ExitStatus::failure;
        run.events = out;
        out = &nowhere;
    }
    if (!parser.isSet(options.scheduleLog))
        return HeadlessSubmission::run(run, settings, *out, console.err);
    QFile logFile(QFileInfo(paths.runLogFile()).absoluteDir().filePath(u"schedule.log"_s));
    QString error;
    if (!ScheduleLog::open(logFile, error))
        print(console.err, error + u'\n');
    TerminalOutput log(logFile);
    CopiedOutput loggedOut(*out, log);
    CopiedOutput loggedErr(console.err, log);
    return HeadlessSubmission::run(run, settings, loggedOut, loggedErr);
}

int key(const QCommandLineParser& parser, const Options& options)
{
    const QStringList arguments = parser.positionalArguments();
    const QString action = arguments.value(1);
    if (arguments.size() != 2 || (action != u"generate"_s && action != u"check"_s))
        return usageError(u"Say key generate or key check."_s);
    const bool generate = action == u"generate"_s;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"key "_s + action, options))
        return *refused;
    if (!parser.isSet(options.profile))
        return usageError(u"Name the profile with --profile TITLE."_s);
    if (!generate) {
        if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Write))
            return *refused;
    }
    SettingsStore settings;
    Console console;
    // What the check found is kept in the home's history, for status to say the morning after.
    const QString profile = parser.value(options.profile);
    const QString historyFile = pathsFrom(parser, options).historyFile();
    const auto keep = [&](bool served, const QString& message) {
        QString error;
        const std::unique_ptr<HistoryDatabase> database =
            HistoryDatabase::open(historyFile, HistoryDatabase::Mode::OpenOrCreate, error);
        if (database) {
            KeyChecks checks(*database);
            if (checks.record(profile, {QDateTime::currentMSecsSinceEpoch(), served, message}))
                return;
            error = checks.lastError();
        }
        print(console.err, u"The check could not be kept in the history: %1\n"_s.arg(error));
    };
    return KeyCommand::run(generate ? KeyCommand::Action::Generate : KeyCommand::Action::Check, profile,
                           parser.isSet(options.replace), settings, console.out, console.err, keep,
                           parser.isSet(options.json) ? KeyCommand::Output::Json : KeyCommand::Output::Text);
}

int history(const QCommandLineParser& parser, const Options& options)
{
    if (const std::optional<int> refused = refuseExtraWords(parser))
        return *refused;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"history"_s, options))
        return *refused;
    if (parser.isSet(options.csv) && parser.isSet(options.json))
        return usageError(u"Say --csv or --json, not both."_s);
    HistoryReport::Selection selection{parser.value(options.profile), -1, 0, false};
    if (parser.isSet(options.last)) {
        bool number = false;
        selection.last = parser.value(options.last).toInt(&number);
        if (!number || selection.last < 1)
            return usageError(u"--last takes a number of runs, 1 or more."_s);
    }
    if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Read))
        return *refused;
    // A reader creates nothing: a home without a history has no runs. An older history is
    // brought up to date, with the catalogue naming the sites it recorded by name.
    const AppPaths paths = pathsFrom(parser, options);
    QString error;
    const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(paths.catalogueFile(), error);
    const HistoryDatabase::Upgrade upgrade{
        [&catalogue](const QString& site) { return catalogue ? catalogue->site(site).action : QString(); }};
    error.clear();
    const std::unique_ptr<HistoryDatabase> database =
        HistoryDatabase::open(paths.historyFile(), HistoryDatabase::Mode::OpenExisting, error, upgrade);
    Console console;
    if (!error.isEmpty()) {
        print(console.err, error + u'\n');
        return ExitStatus::badUsage;
    }
    std::optional<RunJournal> journal;
    if (database) {
        journal.emplace(*database);
        journal->markInterrupted(paths.runLockFile());
    }
    // A title that names no stored profile and no recorded run is a mistake, not a profile without runs.
    if (!selection.profile.isEmpty() && !(journal && !journal->runs(selection.profile, 1).isEmpty())) {
        SettingsStore settings;
        if (!ProfileStore(settings).findNamed(selection.profile, error)) {
            print(console.err, error + u'\n');
            return ExitStatus::badUsage;
        }
    }
    const QString none = selection.profile.isEmpty()
                             ? u"No runs recorded yet.\n"_s
                             : u"No runs recorded for the profile \"%1\".\n"_s.arg(selection.profile);
    QString text;
    QTextStream out(&text);
    if (parser.isSet(options.json)) {
        JsonOutput::printDocument(console.out, journal ? HistoryReport::json(*journal, selection)
                                                       : QJsonObject{{u"runs"_s, QJsonArray()}});
        return ExitStatus::success;
    }
    if (parser.isSet(options.csv)) {
        // A spreadsheet or a script gets the header alone; the sentence is for the person.
        if ((journal ? HistoryReport::writeCsv(*journal, selection, out)
                     : HistoryReport::writeCsvHeader(out)) == 0)
            print(console.err, none);
    } else if (!journal) {
        out << none;
    } else {
        HistoryReport::writeText(*journal, selection, out);
    }
    out.flush();
    print(console.out, text);
    return ExitStatus::success;
}

int coverage(const QCommandLineParser& parser, const Options& options)
{
    if (const std::optional<int> refused = refuseExtraWords(parser))
        return *refused;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"coverage"_s, options))
        return *refused;
    if (!parser.isSet(options.profile))
        return usageError(u"Name the profile with --profile TITLE."_s);
    if (parser.values(options.site).size() > 1)
        return usageError(u"coverage takes one --site NAME, or none for every site."_s);
    if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Read))
        return *refused;
    const AppPaths paths = pathsFrom(parser, options);
    if (parser.isSet(options.csv) && parser.isSet(options.json))
        return usageError(u"Say --csv or --json, not both."_s);
    const CoverageCommand::Options run{parser.value(options.profile), parser.value(options.site),
                                       parser.isSet(options.csv),     parser.isSet(options.json),
                                       paths.catalogueFile(),         paths.historyFile()};
    SettingsStore settings;
    Console console;
    return CoverageCommand::run(run, settings, console.out, console.err);
}

int google(const QCommandLineParser& parser, const Options& options)
{
    const QStringList arguments = parser.positionalArguments();
    static const QMap<QString, GoogleCommand::Action> actions{{u"login"_s, GoogleCommand::Action::Login},
                                                              {u"logout"_s, GoogleCommand::Action::Logout},
                                                              {u"status"_s, GoogleCommand::Action::Status},
                                                              {u"inspect"_s, GoogleCommand::Action::Inspect}};
    const QString action = arguments.value(1);
    if (arguments.size() != 2 || !actions.contains(action))
        return usageError(u"Say google login, google logout, google status or google inspect."_s);
    GoogleCommand::Options run;
    run.action = actions.value(action);
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"google "_s + action, options))
        return *refused;
    if (!parser.isSet(options.profile))
        return usageError(u"Name the profile with --profile TITLE."_s);
    if (run.action == GoogleCommand::Action::Login &&
        parser.isSet(options.client) == parser.isSet(options.serviceAccount))
        return usageError(u"google login takes either --client FILE or --service-account FILE."_s);
    if ((parser.isSet(options.port) || parser.isSet(options.timeout)) && !parser.isSet(options.client))
        return usageError(u"--port and --timeout go with google login --client."_s);
    if (parser.isSet(options.port)) {
        bool number = false;
        const uint port = parser.value(options.port).toUInt(&number);
        if (!number || port < 1024 || port > 65535)
            return usageError(u"--port takes a port number from 1024 to 65535."_s);
        run.port = quint16(port);
    }
    if (parser.isSet(options.timeout)) {
        bool number = false;
        const int seconds = parser.value(options.timeout).toInt(&number);
        if (!number || seconds < 1)
            return usageError(u"--timeout takes a number of seconds, 1 or more."_s);
        run.patience = std::chrono::seconds(seconds);
    }
    if (parser.isSet(options.limit)) {
        bool number = false;
        run.limit = parser.value(options.limit).toInt(&number);
        if (!number || run.limit < 1)
            return usageError(u"--limit takes a number of pages, 1 or more."_s);
    }
    run.profileTitle = parser.value(options.profile);
    run.json = parser.isSet(options.json);
    run.clientFile = parser.value(options.client);
    run.serviceAccountFile = parser.value(options.serviceAccount);
    if (run.action == GoogleCommand::Action::Status || run.action == GoogleCommand::Action::Inspect) {
        if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Write))
            return *refused;
    }
    run.historyFile = pathsFrom(parser, options).historyFile();
    run.runLockFile = pathsFrom(parser, options).runLockFile();
    SettingsStore settings;
    run.secretsDirectory = QFileInfo(settings.fileName()).absolutePath();
    // A browser opens where there is a desktop; elsewhere the address printed is the way.
    run.openBrowser = [](const QUrl& address) {
        if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
            QProcess::startDetached(u"xdg-open"_s, {address.toString(QUrl::FullyEncoded)});
    };
    Console console;
    return GoogleCommand::run(run, settings, console.out, console.err);
}

int profiles(const QCommandLineParser& parser, const Options& options)
{
    if (const std::optional<int> refused = refuseExtraWords(parser))
        return *refused;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"profiles"_s, options))
        return *refused;
    // The older name of profile list, which the shell completion asks.
    SettingsStore settings;
    Console console;
    return ProfileCommand::run({}, settings, console.out, console.err);
}

int profile(const QCommandLineParser& parser, const Options& options)
{
    static const QMap<QString, ProfileCommand::Action> actions{
        {u"list"_s, ProfileCommand::Action::List},     {u"show"_s, ProfileCommand::Action::Show},
        {u"new"_s, ProfileCommand::Action::New},       {u"set"_s, ProfileCommand::Action::Set},
        {u"delete"_s, ProfileCommand::Action::Delete}, {u"export"_s, ProfileCommand::Action::Export},
        {u"import"_s, ProfileCommand::Action::Import}};
    const QStringList words = parser.positionalArguments();
    const QString action = words.value(1);
    if (!actions.contains(action))
        return usageError(u"Say profile list, show, new, set, delete, export or import."_s);
    ProfileCommand::Options run;
    run.action = actions.value(action);
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"profile "_s + action, options))
        return *refused;
    const QStringList rest = words.mid(2);
    if (run.action == ProfileCommand::Action::Import) {
        if (rest.size() != 1)
            return usageError(u"profile import takes the one file to read (- for standard input)."_s);
        run.file = rest.first();
    } else if (run.action == ProfileCommand::Action::Set) {
        if (rest.isEmpty())
            return usageError(u"profile set takes KEY=VALUE, one or more; the keys are %1."_s.arg(
                ProfileCommand::keys().join(u", "_s)));
        run.assignments = rest;
    } else if (!rest.isEmpty()) {
        return usageError(u"Unexpected arguments: %1"_s.arg(rest.join(u' ')));
    }
    if (run.action != ProfileCommand::Action::List && run.action != ProfileCommand::Action::Import &&
        !parser.isSet(options.profile))
        return usageError(u"Name the profile with --profile TITLE."_s);
    run.title = parser.value(options.profile);
    run.replace = parser.isSet(options.replace);
    run.json = parser.isSet(options.json);
    SettingsStore settings;
    Console console;
    return ProfileCommand::run(run, settings, console.out, console.err);
}

int status(const QCommandLineParser& parser, const Options& options)
{
    if (const std::optional<int> refused = refuseExtraWords(parser))
        return *refused;
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"status"_s, options))
        return *refused;
    if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Read))
        return *refused;
    const AppPaths paths = pathsFrom(parser, options);
    SettingsStore settings;
    const StatusCommand::Options run{
        parser.value(options.profile), paths.catalogueFile(), paths.usesBundledCatalogue(),
        paths.historyFile(),           paths.runLockFile(),   QFileInfo(settings.fileName()).absolutePath(),
        parser.isSet(options.json)};
    Console console;
    return StatusCommand::run(run, settings, console.out, console.err);
}

int schedule(const QCommandLineParser& parser, const Options& options)
{
    static const QMap<QString, ScheduleCommand::Action> actions{
        {u"set"_s, ScheduleCommand::Action::Set},
        {u"list"_s, ScheduleCommand::Action::List},
        {u"remove"_s, ScheduleCommand::Action::Remove},
        {u"run"_s, ScheduleCommand::Action::Run}};
    const QStringList words = parser.positionalArguments();
    const QString action = words.value(1);
    if (words.size() != 2 || !actions.contains(action))
        return usageError(u"Say schedule set, list, remove or run."_s);
    if (const std::optional<int> refused = refuseOtherOptions(parser, u"schedule "_s + action, options))
        return *refused;
    ScheduleCommand::Options run;
    run.action = actions.value(action);
    run.json = parser.isSet(options.json);
    run.program = QCoreApplication::applicationFilePath();
    run.profileTitle = parser.value(options.profile);
    if (parser.isSet(options.profileSlot)) {
        const std::optional<int> slot = slotFrom(parser, options);
        if (!slot)
            return usageError(u"--profile-slot takes a slot number from 1 to 20."_s);
        run.profileSlot = *slot;
    }
    if (run.action != ScheduleCommand::Action::List &&
        parser.isSet(options.profile) == parser.isSet(options.profileSlot))
        return usageError(u"Name the profile with --profile TITLE%1."_s.arg(
            run.action == ScheduleCommand::Action::Set ? QString() : u" or --profile-slot N"_s));
    if (run.action == ScheduleCommand::Action::Set) {
        Schedule& schedule = run.schedule;
        const int choices = int(parser.isSet(options.all)) + int(parser.isSet(options.type)) +
                            int(parser.isSet(options.site));
        if (choices != 1)
            return usageError(
                u"Choose the sites with exactly one of --all, --type engine|list or --site NAME."_s);
        if (parser.isSet(options.type)) {
            schedule.sites = Schedule::Sites::Type;
            schedule.type = parser.value(options.type);
            if (schedule.type != u"engine"_s && schedule.type != u"list"_s)
                return usageError(u"--type takes engine or list."_s);
        } else if (parser.isSet(options.site)) {
            schedule.sites = Schedule::Sites::Named;
            schedule.names = parser.values(options.site);
        }
        schedule.changedPages = parser.isSet(options.changedPages);
        if (!parser.isSet(options.at))
            return usageError(
                u"Say when with --at CALENDAR, such as --at daily or --at \"Mon *-*-* 06:00\"."_s);
        schedule.calendar = parser.value(options.at).simplified();
        if (parser.isSet(options.home)) {
            if (const std::optional<int> refused = refuseUnusableHome(parser, options, HomeUse::Write))
                return *refused;
            schedule.home = QFileInfo(parser.value(options.home)).absoluteFilePath();
        }
    }
    SettingsStore settings;
    Console console;
    return ScheduleCommand::run(run, settings, console.out, console.err);
}

int window(int argc, char* argv[], const QCommandLineParser& parser, const Options& options)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    // Wayland shells find the menu entry and its icon by this name; X11 ones by StartupWMClass.
    QApplication::setDesktopFileName(u"example.belvedyne.orvanta"_s);
    SettingsStore settings;
    QtDialogs dialogs;
    SystemDesktopOpener desktop;
    Startup startup(AppContext{
        pathsFrom(parser, options), dialogs, settings, desktop,
        parser.isSet(options.home) ? QFileInfo(parser.value(options.home)).absoluteFilePath() : QString()});
    // Messages then stand centred over the main window.
    QObject::connect(&startup, &Startup::mainWindowShown, &startup,
                     [&dialogs, &startup] { dialogs.setParentWindow(startup.mainWindow()); });
    if (!startup.run())
        return ExitStatus::failure;
    return QApplication::exec();
}

} // namespace

int Launcher::run(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(u"Orvanta"_s);
    QCoreApplication::setApplicationVersion(InstalledVersion::firstVersion);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    Options options;
    QCommandLineParser parser;
    describe(parser, options);
    const bool parsed = parser.parse(arguments);
    const QString command = parser.positionalArguments().value(0);
    const bool needsWindow =
        parsed && command.isEmpty() && !parser.isSet(options.help) && !parser.isSet(options.version);
    // Qt would abort in its platform plugin: a session over SSH hears why instead.
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") &&
                           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (needsWindow && !noDisplay)
        return window(argc, argv, parser, options);
    if (needsWindow) {
        QCoreApplication app(argc, argv);
        Console console;
        print(console.err,
              u"Orvanta's window needs a display (an X11 or Wayland session), and there is none here. "
              u"The commands run without one: see orvanta --help.\n"_s);
        return ExitStatus::badUsage;
    }

    // Everything else runs without a display.
    QCoreApplication app(argc, argv);
    TerminalOutput::escapeQtMessages();
    if (!parsed)
        return usageError(parser.errorText());
    if (parser.isSet(options.help) && !usagesOf(options, command).isEmpty() && !command.isEmpty()) {
        Console console;
        print(console.out, commandHelp(options, command));
        return ExitStatus::success;
    }
    if (parser.isSet(options.help) || parser.isSet(options.version)) {
        Console console;
        print(console.out, parser.isSet(options.help)
                               ? helpText(parser, options)
                               : u"Orvanta "_s + InstalledVersion::firstVersion + u'\n');
        return ExitStatus::success;
    }
    if (command == u"key"_s)
        return key(parser, options);
    if (command == u"history"_s)
        return history(parser, options);
    if (command == u"profiles"_s)
        return profiles(parser, options);
    if (command == u"profile"_s)
        return profile(parser, options);
    if (command == u"status"_s)
        return status(parser, options);
    if (command == u"coverage"_s)
        return coverage(parser, options);
    if (command == u"google"_s)
        return google(parser, options);
    if (command == u"schedule"_s)
        return schedule(parser, options);
    if (command != u"submit"_s)
        return usageError(u"Unknown command \"%1\"; the commands are submit, key, history, coverage, status, "
                          u"google, profile, profiles and schedule."_s.arg(command));
    return submit(parser, options);
}
