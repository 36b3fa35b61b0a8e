// A whole submission run without the internet: a farm of sites on 127.0.0.1 (some answer,
// some fail, one never answers and times out, and imitations of IndexNow, an XML-RPC weblog
// ping and a WebSub hub), a catalogue of them and a demo profile in a scratch directory.
// First the command line notifies the IndexNow imitation while the demo website lacks its key
// file (the engine's 403, explained) and again once the website serves it (200); then sends the
// website's sitemap pages, all of them and then only the changed ones, each checked first (a few
// cannot be indexed and are left out with their reasons, one is gone and announced as removed),
// and shows the history and the website's coverage. Then Orvanta's window opens on the same
// catalogue, where History > Coverage draws it. Nothing of the user's own is touched.
//
//   orvanta-demo [--keep] [--window-only]
//     --keep          leaves the scratch directory for a look afterwards
//     --window-only   skips the command-line part and opens the window at once

#include "CatalogueTool.h"
#include "GoogleImitation.h"
#include "ProfileStore.h"
#include "SettingsStore.h"
#include "SiteFarm.h"
#include "SitemapSite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct DemoSite
{
    const char16_t* name;
    const char16_t* type;
    const char16_t* path;
    SiteFarm::Behaviour behaviour;
};

const DemoSite demoSites[] = {
    {u"Acorn Search", u"engine", u"/acorn", SiteFarm::Behaviour::Ok},
    {u"Beacon Find", u"engine", u"/beacon", SiteFarm::Behaviour::Ok},
    {u"Compass Web Index", u"engine", u"/compass", SiteFarm::Behaviour::Ok},
    {u"Delta Seek", u"engine", u"/delta", SiteFarm::Behaviour::NotFound},
    {u"Ember Engine", u"engine", u"/ember", SiteFarm::Behaviour::Ok},
    {u"Fathom Search", u"engine", u"/fathom", SiteFarm::Behaviour::ServerError},
    {u"Granite Finder", u"engine", u"/granite", SiteFarm::Behaviour::Redirect},
    {u"Harbor Index", u"engine", u"/harbor", SiteFarm::Behaviour::Ok},
    {u"Iris Lookup", u"engine", u"/iris", SiteFarm::Behaviour::Trickle},
    {u"Juniper Search", u"engine", u"/juniper", SiteFarm::Behaviour::Ok},
    {u"Kestrel Crawl", u"engine", u"/kestrel", SiteFarm::Behaviour::Hang},
    {u"Lantern Seek", u"engine", u"/lantern", SiteFarm::Behaviour::Ok},
    {u"Meridian Index", u"engine", u"/meridian", SiteFarm::Behaviour::MalformedStatus},
    {u"Nimbus Search", u"engine", u"/nimbus", SiteFarm::Behaviour::Ok},
    {u"Orchard Links", u"list", u"/orchard", SiteFarm::Behaviour::Ok},
    {u"Pebble Directory", u"list", u"/pebble", SiteFarm::Behaviour::Ok},
    {u"Quarry Link List", u"list", u"/quarry", SiteFarm::Behaviour::RedirectLoop},
    {u"Ripple Directory", u"list", u"/ripple", SiteFarm::Behaviour::Ok},
    {u"Summit Links", u"list", u"/summit", SiteFarm::Behaviour::ResetMidBody},
    {u"Timber Directory", u"list", u"/timber", SiteFarm::Behaviour::Ok},
    {u"Umber Link Page", u"list", u"/umber", SiteFarm::Behaviour::Ok},
    {u"Vale Directory", u"list", u"/vale", SiteFarm::Behaviour::NotFound},
    {u"Willow Links", u"list", u"/willow", SiteFarm::Behaviour::Ok},
    {u"Yarrow Directory", u"list", u"/yarrow", SiteFarm::Behaviour::Ok},
};

const QString demoKey = u"demo-bakery-key-2026"_s;
const QString indexNowSite = u"IndexNow (demo)"_s;
const QString googleSite = u"Google Search Console"_s;

bool writeCatalogue(const SiteFarm& farm, const QString& home, QString& error)
{
    QString csv = u"sitename,sitetype,data,method,action,referer,encoding,accept,reject\r\n"_s;
    int index = 0;
    for (const DemoSite& site : demoSites) {
        const QString method = index++ % 2 ? u"POST"_s : u"GET"_s;
        csv += QString::fromUtf16(site.name) + u',' + QString::fromUtf16(site.type) +
               u",url=[url]&title=[title]&email=[email]&category=[major],"_s + method + u',' +
               farm.url(QString::fromUtf16(site.path)) + u",,,,\r\n"_s;
    }
    // Today's notification protocols, written as the bundled catalogue writes them.
    csv += indexNowSite +
           u",engine,\"{\"\"host\"\":\"\"[host]\"\",\"\"key\"\":\"\"[key]\"\",\"\"keyLocation\"\":"
           u"\"\"[keylocation]\"\",\"\"urlList\"\":[\"\"[url]\"\"]}\",POST,"_s +
           farm.url(u"/indexnow"_s) + u",,json,\"200,202\",\r\n"_s;
    csv += u"Ping-O-Matic (demo),list,\"<?xml version=\"\"1.0\"\"?><methodCall><methodName>weblogUpdates.ping"
           u"</methodName><params><param><value>[title]</value></param><param><value>[url]</value></param>"
           u"</params></methodCall>\",POST,"_s +
           farm.url(u"/rpc"_s) +
           u",,xml,200,\"(?s)^(?=.*<name>\\s*flerror\\s*</name>\\s*<value>\\s*<boolean>\\s*(?:1|true))"
           u"(?:.*<name>\\s*message\\s*</name>\\s*<value>\\s*(?:<string>)?\\s*([^<]*))?\"\r\n"_s;
    csv += u"WebSub hub (demo),list,hub.mode=publish&hub.url=[feed],POST,"_s + farm.url(u"/hub"_s) +
           u",,form,204,\r\n"_s;
    // As bundled: the program reaches it through the Google imitation the environment names.
    csv += googleSite + u",engine,\"\",PUT,https://searchconsole.googleapis.com/,,,200,\r\n"_s;
    const QString csvPath = QDir(home).filePath(u"demo-catalogue.csv"_s);
    QFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    file.write(csv.toUtf8());
    file.close();
    return CatalogueTool::build(csvPath, QDir(home).filePath(u"orvd.dll"_s), error);
}

void writeProfile(const QString& configDirectory, const SiteFarm& farm)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDirectory);
    SettingsStore settings;
    ProfileStore store(settings);
    store.create(1, u"Demo Bakery"_s);
    Profile profile;
    profile.value(ProfileField::Name) = u"Ann Example"_s;
    profile.value(ProfileField::Company) = u"Example Bakery Ltd"_s;
    profile.value(ProfileField::Address) = u"1 Demo Street"_s;
    profile.value(ProfileField::City) = u"Springfield"_s;
    profile.value(ProfileField::State) = u"Demo State"_s;
    profile.value(ProfileField::Zip) = u"12345"_s;
    profile.value(ProfileField::Country) = u"Demoland"_s;
    profile.value(ProfileField::Phone) = u"555-0100"_s;
    profile.value(ProfileField::Fax) = u"555-0101"_s;
    profile.value(ProfileField::Email) = u"ann@bakery.example"_s;
    profile.value(ProfileField::WebsiteTitle) = u"Example Bakery – fresh bread daily"_s;
    profile.value(ProfileField::Url) = farm.url(u"/"_s); // the demo website is on the farm too
    profile.value(ProfileField::Keywords) = u"bread, cakes, bakery"_s;
    profile.value(ProfileField::Description) = u"A family bakery.\nOrders by phone or e-mail."_s;
    profile.value(ProfileField::FfaCategory) = u"Business"_s;
    profile.value(ProfileField::SiteType) = u"General"_s;
    profile.value(ProfileField::MajorCategory) = u"Business & Economy\\Companies\\"_s;
    profile.indexNowKey = demoKey;
    profile.feed = farm.url(u"/feed.xml"_s);
    store.save(1, profile);
}

// One Orvanta command after another, each shown before it runs, then `whenDone`.
struct CommandLinePart
{
    struct Step
    {
        QString caption;
        QStringList arguments;
        std::function<void()> before = [] {};
    };

    QList<Step> steps;
    QProcess* orvanta;
    QString program;
    std::function<void()> whenDone;

    void runNext()
    {
        if (steps.isEmpty()) {
            whenDone();
            return;
        }
        const Step step = steps.takeFirst();
        step.before();
        QStringList shown;
        for (const QString& argument : step.arguments)
            shown << (argument.contains(u' ') ? u'"' + argument + u'"' : argument);
        std::printf("\n== %s\n$ orvanta %s\n", qPrintable(step.caption), qPrintable(shown.join(u' ')));
        std::fflush(stdout);
        orvanta->start(program, step.arguments);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool keep = app.arguments().contains(u"--keep"_s);
    const bool windowOnly = app.arguments().contains(u"--window-only"_s);

    SiteFarm farm;
    if (!farm.listen()) {
        std::fprintf(stderr, "The demo site farm cannot listen on 127.0.0.1.\n");
        return 1;
    }
    for (const DemoSite& site : demoSites) {
        SiteFarm::Route route{site.behaviour, "/acorn", 8, 500};
        farm.route(QString::fromUtf16(site.path), route);
    }
    farm.route(u"/indexnow"_s, SiteFarm::Behaviour::IndexNow);
    farm.route(u"/rpc"_s, SiteFarm::Behaviour::XmlRpcPing);
    farm.route(u"/hub"_s, SiteFarm::Behaviour::WebSubHub);
    farm.route(u"/%1.txt"_s.arg(demoKey), SiteFarm::Behaviour::NotFound); // until the owner uploads it
    // The demo website's own pages, listed in its sitemaps.
    SitemapSite website(farm, 240, QDateTime::currentDateTimeUtc().addDays(-30));
    website.addPagesThatCannotBeIndexed();
    // Google's sign-in and Search Console, imitated; the demo website is one of its properties,
    // and Google has seen a few of its pages.
    GoogleImitation google(farm);
    google.addProperty(website.address());
    const QString crawled = QDateTime::currentDateTimeUtc().addDays(-2).toString(Qt::ISODate);
    for (int page = 0; page < 12; ++page) {
        const bool indexed = page % 3 != 2;
        google.setIndexStatus(website.pageAddress(page),
                              {{u"verdict"_s, indexed ? u"PASS"_s : u"NEUTRAL"_s},
                               {u"coverageState"_s,
                                indexed ? u"Submitted and indexed"_s : u"Crawled - currently not indexed"_s},
                               {u"lastCrawlTime"_s, crawled}});
    }

    QTemporaryDir scratch;
    scratch.setAutoRemove(!keep);
    const QString home = scratch.path();
    const QString config = scratch.filePath(u"config"_s);
    QString error;
    if (!writeCatalogue(farm, home, error)) {
        std::fprintf(stderr, "Cannot write the demo catalogue: %s\n", qPrintable(error));
        return 1;
    }
    writeProfile(config, farm);
    std::printf("Demo site farm on %s, scratch directory %s\n", qPrintable(farm.url(u"/"_s)),
                qPrintable(home));
    std::fflush(stdout);

    QProcess orvanta;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, config);
    // Google is the imitation, and its tokens stay in the scratch directory, never in a keyring.
    google.setEnvironment();
    for (const char* variable : {"ORVANTA_GOOGLE_AUTH_URL", "ORVANTA_GOOGLE_TOKEN_URL",
                                 "ORVANTA_GOOGLE_REVOKE_URL", "ORVANTA_GOOGLE_API_URL"})
        environment.insert(QString::fromLatin1(variable), qEnvironmentVariable(variable));
    environment.insert(u"ORVANTA_SECRET_STORE"_s, u"file"_s);
    const QString serviceAccount = QDir(home).filePath(u"service-account.json"_s);
    if (QFile key(serviceAccount); key.open(QIODevice::WriteOnly))
        key.write(google.serviceAccountFile());
    orvanta.setProcessEnvironment(environment);
    orvanta.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(u"orvanta"_s);
    const QStringList notify = {
        u"submit"_s, u"--profile"_s, u"Demo Bakery"_s, u"--site"_s, indexNowSite, u"--home"_s, home};
    const QStringList check = {u"key"_s, u"check"_s, u"--profile"_s, u"Demo Bakery"_s};
    CommandLinePart part{
        {{u"The demo website does not serve its IndexNow key yet"_s, check},
         {u"So the engine refuses the notification"_s, notify},
         {u"The owner uploads the key file"_s, check,
          [&farm] {
              farm.route(u"/%1.txt"_s.arg(demoKey), SiteFarm::Route::answering(200, demoKey.toUtf8()));
          }},
         {u"Now the engine takes it"_s, notify},
         {u"The first run over the website's changed pages checks each page and sends those an engine "
          u"can index; a page that answers 404 is announced as removed"_s,
          notify + QStringList{u"--changed-pages"_s}},
         {u"Five pages change and /gone.html is removed (410); the next run sends the five and announces "
          u"the removal (the demo turns the ten-minute cool-down off)"_s,
          notify + QStringList{u"--changed-pages"_s, u"--cool-down"_s, u"0"_s},
          [&website] {
              website.change(5, QDateTime::currentDateTimeUtc());
              website.remove(u"/gone.html"_s, 410);
          }},
         {u"Google takes no IndexNow: sign the profile in to Search Console (here with a service account's "
          u"key, as a cron job would; google login --client FILE signs a person in through the browser)"_s,
          {u"google"_s, u"login"_s, u"--profile"_s, u"Demo Bakery"_s, u"--service-account"_s,
           serviceAccount}},
         {u"A run with Google selected submits the website's sitemaps and reads back what Google says"_s,
          {u"submit"_s, u"--profile"_s, u"Demo Bakery"_s, u"--site"_s, googleSite, u"--home"_s, home}},
         {u"A little later Google has downloaded the sitemap"_s,
          {u"google"_s, u"status"_s, u"--profile"_s, u"Demo Bakery"_s, u"--home"_s, home},
          [&google] { google.downloadSitemaps(240); }},
         {u"Which announced pages has Google indexed? (URL Inspection only reads; it asks Google for "
          u"nothing)"_s,
          {u"google"_s, u"inspect"_s, u"--profile"_s, u"Demo Bakery"_s, u"--limit"_s, u"12"_s, u"--home"_s,
           home}},
         {u"Every run is recorded"_s,
          {u"history"_s, u"--profile"_s, u"Demo Bakery"_s, u"--last"_s, u"2"_s, u"--home"_s, home}},
         {u"What the engine did with each page of the website"_s,
          {u"coverage"_s, u"--profile"_s, u"Demo Bakery"_s, u"--home"_s, home}}},
        &orvanta,
        program,
        [&] {
            std::printf("\n== Orvanta's window, on the whole demo catalogue\n");
            std::fflush(stdout);
            QObject::disconnect(&orvanta, &QProcess::finished, nullptr, nullptr);
            QObject::connect(&orvanta, &QProcess::finished, &app,
                             [&app](int exitCode) { app.exit(exitCode); });
            orvanta.start(program, {u"--home"_s, home});
        }};
    if (windowOnly)
        part.steps.clear();
    QObject::connect(&orvanta, &QProcess::finished, &app, [&part] { part.runNext(); });
    QObject::connect(
        &orvanta, &QProcess::errorOccurred, &app, [&app, &orvanta](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return; // an ending is reported by finished()
            std::fprintf(stderr, "Cannot start Orvanta: %s\n", qPrintable(orvanta.errorString()));
            app.exit(1);
        });
    QTimer::singleShot(0, &app, [&part] { part.runNext(); });
    return app.exec();
}
