#include "CoverageCommand.h"

#include "AnswerRule.h"
#include "ChangeSignal.h"
#include "Coverage.h"
#include "CoverageReport.h"
#include "ExitStatus.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "JsonOutput.h"
#include "ProfileStore.h"
#include "SiteDatabase.h"
#include "WebAddress.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

void say(QIODevice& device, const QString& line)
{
    device.write((line + u'\n').toUtf8());
}

} // namespace

int CoverageCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    const ProfileStore store(settings);
    QString error;
    const std::optional<int> slot = store.findNamed(options.profileTitle, error);
    if (!slot) {
        say(err, error);
        return ExitStatus::badUsage;
    }
    const Profile profile = store.read(*slot);
    const QString address = profile.value(ProfileField::Url);
    const QString changeSignal = ChangeSignals::nameOf(profile.signal());
    const QByteArray website = WebAddress::siteOrigin(address);
    if (website.isEmpty()) {
        say(err, u"The profile \"%1\" has no website address to look up."_s.arg(options.profileTitle));
        return ExitStatus::badUsage;
    }

    // The catalogue only names the sites; without it they go by their addresses.
    const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(options.catalogueFile, error);
    QStringList endpoints;
    if (!options.site.isEmpty()) {
        if (!catalogue) {
            say(err, error);
            return ExitStatus::badUsage;
        }
        if (!catalogue->find(options.site)) {
            say(err, u"The catalogue has no site named \"%1\"."_s.arg(options.site));
            return ExitStatus::badUsage;
        }
        const QString action = catalogue->site(options.site).action;
        if (!AnswerRule::isIndexNowEndpoint(action)) {
            say(err, u"\"%1\" takes no pages: only IndexNow sites do."_s.arg(options.site));
            return ExitStatus::badUsage;
        }
        endpoints << action;
    }
    error.clear();
    const HistoryDatabase::Upgrade upgrade{
        [&catalogue](const QString& site) { return catalogue ? catalogue->site(site).action : QString(); }};
    const std::unique_ptr<HistoryDatabase> database =
        HistoryDatabase::open(options.historyFile, HistoryDatabase::Mode::OpenExisting, error, upgrade);
    if (!error.isEmpty()) {
        say(err, error);
        return ExitStatus::failure;
    }
    const QString none = u"No run has listed the pages of %1 yet."_s.arg(QString::fromUtf8(website));
    QTextStream stream(&out);
    if (!database && options.json) {
        JsonOutput::printDocument(out, {{u"website"_s, QString::fromUtf8(website)},
                                        {u"listed_at"_s, QJsonValue()},
                                        {u"pages"_s, 0},
                                        {u"removed_since"_s, 0},
                                        {u"change_signal"_s, changeSignal},
                                        {u"content_read"_s, 0},
                                        {u"sites"_s, QJsonArray()},
                                        {u"google"_s, QJsonValue()}});
        return ExitStatus::success;
    }
    if (!database) {
        // A spreadsheet or a script gets the header alone; the sentence is for the person.
        if (options.csv)
            CoverageReport::writeCsvHeader(stream);
        say(options.csv ? err : out, none);
        return ExitStatus::success;
    }
    Coverage coverage = Coverage::read(*database, website, endpoints, error, profile.patterns());
    coverage.setChangeSignal(changeSignal);
    GoogleRecords(*database).describeIn(coverage);
    if (!error.isEmpty()) {
        say(err, u"The history \"%1\" cannot be read: %2."_s.arg(options.historyFile, error));
        return ExitStatus::failure;
    }
    // Straight to the output: a million rows are never held as one text.
    QStringList names;
    for (const QString& endpoint : coverage.endpoints())
        names << (catalogue ? catalogue->nameOf(endpoint) : endpoint);
    if (options.json) {
        JsonOutput::printDocument(out, CoverageReport::json(coverage, names));
    } else if (options.csv) {
        if (CoverageReport::writeCsv(coverage, names, {}, stream) == 0) {
            stream.flush();
            say(err, coverage.listedAt() == 0 ? none : u"No page has been announced to a site yet."_s);
        }
    } else
        CoverageReport::writeText(coverage, names, stream);
    stream.flush();
    return ExitStatus::success;
}
