#include "StatusCommand.h"

#include "AnswerRule.h"
#include "Coverage.h"
#include "CoverageReport.h"
#include "ExitStatus.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "KeyChecks.h"
#include "ProfileStore.h"
#include "RunJournal.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "TimeText.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QIODevice>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

bool failed(const RunJournal::RunSummary& run)
{
    return run.state == u"failed"_s || run.state == u"interrupted"_s || run.failed > 0;
}

QString runLine(const RunJournal::RunSummary& run)
{
    return u"%1, %2, %3: %4"_s.arg(TimeText::written(run.startedAt), run.mode, run.state,
                                   HistoryReport::outcomeText(run));
}

// Why a run failed: its own reason, or the first request that failed.
QString whyFailed(RunJournal& journal, const RunJournal::RunSummary& run)
{
    if (run.state == u"interrupted"_s)
        return u"cut short before it ended"_s;
    if (!run.note.isEmpty() && run.requests == 0)
        return run.note;
    const QList<RunJournal::ResultRow> failures = journal.results(run.id, true);
    if (failures.isEmpty())
        return run.note;
    const RunJournal::ResultRow& first = failures.first();
    return first.site + u": "_s + (first.status ? u"HTTP %1; "_s.arg(first.status) : QString()) +
           first.detail;
}

class Status
{
public:
    Status(const StatusCommand::Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
        : m_options(options), m_settings(settings), m_out(&out), m_err(&err),
          m_google(options.secretsDirectory, SecretStore::Answers::AtOnce)
    {}

    int run(const QList<ProfileStore::TitledSlot>& profiles)
    {
        QString error;
        m_catalogue = SiteDatabase::open(m_options.catalogueFile, error);
        error.clear();
        const HistoryDatabase::Upgrade upgrade{
            [this](const QString& site) { return m_catalogue ? m_catalogue->site(site).action : QString(); }};
        m_database =
            HistoryDatabase::open(m_options.historyFile, HistoryDatabase::Mode::OpenExisting, error, upgrade);
        if (!error.isEmpty()) {
            m_err << error << u'\n';
            return ExitStatus::badUsage;
        }
        if (m_options.bundledCatalogue)
            m_out << u"Catalogue: %1, the program's own (the home holds none)\n"_s.arg(
                m_options.catalogueFile);
        if (m_database) {
            m_journal.emplace(*m_database);
            m_journal->markInterrupted(m_options.runLockFile);
        }
        QList<int> statuses;
        for (const ProfileStore::TitledSlot& titled : profiles)
            statuses << describe(ProfileStore(m_settings).read(titled.slot));
        // A failure anywhere is what a monitor must hear of, before a profile that has no run yet.
        return statuses.contains(ExitStatus::failure)    ? ExitStatus::failure
               : statuses.contains(ExitStatus::badUsage) ? ExitStatus::badUsage
                                                         : ExitStatus::success;
    }

private:
    int describe(const Profile& profile)
    {
        m_out << u"Profile \"%1\"\n"_s.arg(profile.title);
        const QString address = profile.value(ProfileField::Url);
        m_out << u"  Website: "_s << (address.isEmpty() ? u"none yet (orvanta profile set url=…)"_s : address)
              << u'\n';
        int status = ExitStatus::badUsage;
        const QList<RunJournal::RunSummary> runs =
            m_journal ? m_journal->runs(profile.title) : QList<RunJournal::RunSummary>();
        if (runs.isEmpty()) {
            m_out << u"  Last run: none recorded yet\n"_s;
        } else {
            const RunJournal::RunSummary& last = runs.first();
            qsizetype pagesSent = 0;
            for (const RunJournal::ResultRow& row : m_journal->results(last.id))
                pagesSent += row.outcome == u"succeeded"_s ? row.pageCount : 0;
            m_out << u"  Last run: "_s << runLine(last)
                  << (pagesSent > 0 ? u", "_s + counted(pagesSent, u"%L1 page sent"_s, u"%L1 pages sent"_s)
                                    : QString())
                  << u'\n';
            if (!last.note.isEmpty() && !failed(last))
                m_out << u"    "_s << last.note << u'\n';
            status = last.state == u"running"_s ? ExitStatus::success
                     : failed(last)             ? ExitStatus::failure
                                                : ExitStatus::success;
            const auto lastFailed = std::find_if(runs.cbegin(), runs.cend(), failed);
            if (lastFailed != runs.cend())
                m_out << u"  Last failed run: "_s << runLine(*lastFailed) << u"\n    "_s
                      << whyFailed(*m_journal, *lastFailed) << u'\n';
            else
                m_out << u"  Last failed run: none\n"_s;
        }
        describeCoverage(address);
        describeKey(profile);
        describeGoogle(profile);
        return status;
    }

    void describeCoverage(const QString& address)
    {
        const QByteArray website = WebAddress::siteOrigin(address);
        if (!m_database || website.isEmpty())
            return;
        QString error;
        Coverage coverage = Coverage::read(*m_database, website, {}, error);
        if (!error.isEmpty()) {
            m_out << u"  Pages: the history cannot be read: "_s << error << u'\n';
            return;
        }
        m_out << u"  Pages: "_s << CoverageReport::pagesText(coverage) << u'\n';
        for (int endpoint = 0; endpoint < coverage.endpoints().size(); ++endpoint) {
            const QString& action = coverage.endpoints().at(endpoint);
            m_out << u"    "_s << (m_catalogue ? m_catalogue->nameOf(action) : action) << u": "_s
                  << CoverageReport::countsText(coverage.counts(endpoint)) << u'\n';
        }
    }

    void describeKey(const Profile& profile)
    {
        if (profile.indexNowKey.isEmpty()) {
            m_out << u"  IndexNow key: none yet (orvanta key generate)\n"_s;
            return;
        }
        const std::optional<KeyChecks::Check> check =
            m_database ? KeyChecks(*m_database).last(profile.title) : std::nullopt;
        if (!check) {
            m_out << u"  IndexNow key: not checked yet (orvanta key check)\n"_s;
            return;
        }
        m_out << u"  IndexNow key: "_s << (check->served ? u"served"_s : u"not served"_s) << u", checked "_s
              << TimeText::written(check->checkedAt) << u": "_s << check->message << u'\n';
    }

    void describeGoogle(const Profile& profile)
    {
        const std::unique_ptr<GoogleConnection> connection = m_google.connect(profile);
        QString problem = connection->problem();
        if (problem.isEmpty())
            connection->account().load([&problem](const QString& error) { problem = error; });
        GoogleAccount& account = connection->account();
        if (!problem.isEmpty() || !account.isSignedIn()) {
            m_out << u"  Google: not signed in"_s
                  << (problem.isEmpty() ? QString() : u" ("_s + problem + u')') << u'\n';
            return;
        }
        m_out << u"  Google: "_s << account.describe() << u", property "_s
              << (profile.googleProperty.isEmpty() ? u"none found yet"_s : profile.googleProperty) << u'\n';
        if (!m_database)
            return;
        for (const GoogleRecords::StoredSitemap& stored : GoogleRecords(*m_database).sitemaps(profile.title))
            m_out << u"    "_s << stored.status.path << u": "_s << stored.status.describe() << u'\n';
    }

    const StatusCommand::Options& m_options;
    SettingsStore& m_settings;
    QTextStream m_out;
    QTextStream m_err;
    GoogleConnections m_google;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<HistoryDatabase> m_database;
    std::optional<RunJournal> m_journal;
};

} // namespace

int StatusCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    const ProfileStore store(settings);
    QList<ProfileStore::TitledSlot> profiles;
    QString error;
    if (!options.profileTitle.isEmpty()) {
        const std::optional<int> slot = store.findNamed(options.profileTitle, error);
        if (slot)
            profiles.append({*slot, options.profileTitle});
    } else {
        error = settings.readProblem();
        profiles = store.scanTitles();
        if (error.isEmpty() && profiles.isEmpty())
            error = u"No profiles yet: make one with orvanta profile new --profile TITLE."_s;
    }
    if (!error.isEmpty()) {
        err.write((error + u'\n').toUtf8());
        return ExitStatus::badUsage;
    }
    return Status(options, settings, out, err).run(profiles);
}
