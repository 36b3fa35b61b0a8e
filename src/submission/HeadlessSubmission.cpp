#include "HeadlessSubmission.h"

#include "AnswerRule.h"
#include "BlockingWait.h"
#include "EngineSelection.h"
#include "ExitStatus.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleEndpoints.h"
#include "IndexNowKey.h"
#include "ProfileStore.h"
#include "RequestComposer.h"
#include "RequestPreview.h"
#include "RunEvents.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SubmissionRun.h"
#include "SubmissionSession.h"
#include "TimeText.h"
#include "Wording.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIODevice>
#include <QMap>

#include <algorithm>
#include <limits>
#include <map>

using namespace Qt::StringLiterals;

namespace {

// One command-line submission, step by step: each step prints what it found and says whether
// the next may follow.
class CommandLineSubmission
{
public:
    CommandLineSubmission(const HeadlessSubmission::Options& options, SettingsStore& settings, QIODevice& out,
                          QIODevice& err)
        : m_options(options), m_settings(settings), m_out(out), m_err(err), m_events(options.events)
    {}

    int run()
    {
        const int status = steps();
        m_events.summary(m_succeeded, m_failed, m_deferredPages, status);
        return status;
    }

private:
    int steps()
    {
        if (!m_options.commandLine.isEmpty())
            say(m_out,
                u"%1 Orvanta %2: %3"_s.arg(TimeText::written(m_options.clock().toMSecsSinceEpoch()),
                                           QCoreApplication::applicationVersion(), m_options.commandLine));
        if (!openCatalogue() || !findProfile() || !chooseSites())
            return ExitStatus::badUsage;
        m_events.runStarted(m_options.clock().toMSecsSinceEpoch(), m_profile.title,
                            m_options.baseline       ? u"baseline"_s
                            : m_options.changedPages ? u"changed pages"_s
                                                     : u"address"_s,
                            m_options.dryRun, m_options.commandLine);
        surveySelection();
        skipSearchConsoleWithoutSignIn();
        if (!checkKey() || !checkNeededValues())
            return ExitStatus::badUsage;
        if (m_options.dryRun && !m_options.changedPages) {
            RequestPreview::write(*m_catalogue, m_selection->selectedRows(), m_profile, m_out);
            m_events.wouldSend(*m_catalogue, m_selection->selectedRows());
            return m_keyInvalid ? ExitStatus::badUsage : ExitStatus::success;
        }
        SubmissionSession session(*m_catalogue,
                                  {m_options.logFile, m_options.historyFile, m_options.runLockFile,
                                   u"command line"_s, m_options.transferDeadline, m_options.clock,
                                   QFileInfo(m_settings.fileName()).absolutePath()});
        if (!session.historyProblem().isEmpty()) {
            say(m_err, session.historyProblem());
            return ExitStatus::badUsage;
        }
        const RunPlan plan = prepare(session);
        const QString recordFailure = waitForRecords(session);
        if (!plan.error.isEmpty()) {
            say(m_err, plan.error);
            return plan.changedPages ? ExitStatus::failure : ExitStatus::badUsage;
        }
        m_events.planned(plan);
        m_deferredPages = plan.deferred;
        if (m_options.dryRun) {
            RequestPreview::writeItems(*m_catalogue, plan.items, m_profile, m_out);
            m_events.wouldSend(*m_catalogue, plan.items);
            RequestPreview::writePageNotes(plan, m_out);
            return m_keyInvalid ? ExitStatus::badUsage : ExitStatus::success;
        }
        if (m_options.baseline)
            return ExitStatus::success;
        // A cron log says why a page never went; a quiet one only what is new since the last
        // run, and how many were left out as before.
        if (!m_options.quiet) {
            RequestPreview::writePageNotes(plan, m_out);
        } else {
            RunPlan news = plan;
            news.leftOut.removeIf([](const RunPlan::PageNote& note) { return note.asBefore; });
            news.removed.clear();
            RequestPreview::writePageNotes(news, m_out);
            if (const qsizetype asBefore = plan.leftOut.size() - news.leftOut.size(); asBefore > 0)
                say(m_out, u"%1 left out as before; orvanta coverage lists them."_s.arg(asBefore));
            if (plan.deferred > 0) // what the exit status 3 stands for
                say(m_out, RunPlanner::deferredLine(plan));
        }
        m_deferred = plan.deferred > 0;
        if (plan.items.isEmpty()) {
            say(m_out, u"Nothing to send."_s);
            if (recordFailure.isEmpty())
                return m_deferred ? ExitStatus::deferred : ExitStatus::success;
            say(m_err, u"The run could not be recorded: %1."_s.arg(recordFailure));
            return ExitStatus::failure;
        }
        return submit(session, plan);
    }

    static void say(QIODevice& device, const QString& line) { device.write((line + u'\n').toUtf8()); }

    // On a terminal, one line that says how far the reading and checking are, rewritten in
    // place and wiped when done; nothing at all in a log.
    void showProgress(const QString& line)
    {
        if (!m_options.progress || (line.isEmpty() && m_progressShown == 0))
            return;
        const QString padded = line.leftJustified(m_progressShown);
        m_options.progress->write((u'\r' + padded + (line.isEmpty() ? u"\r"_s : QString())).toUtf8());
        m_progressShown = int(line.size());
    }

    bool openCatalogue()
    {
        QString error;
        m_catalogue = SiteDatabase::open(m_options.catalogueFile, error);
        if (!m_catalogue)
            say(m_err, error);
        else if (m_options.bundledCatalogue && !m_options.quiet)
            say(m_out, u"The home holds no catalogue: the sites are those of %1 (read only)."_s.arg(
                           m_options.catalogueFile));
        return m_catalogue != nullptr;
    }

    bool findProfile()
    {
        const ProfileStore store(m_settings);
        QString error;
        const std::optional<int> slot = store.findNamed(m_options.profileTitle, error);
        if (!slot) {
            say(m_err, error);
            return false;
        }
        m_profile = store.read(*slot);
        // For this run only: the profile as stored stays as it was.
        m_profile.changeSignal = m_options.changeSignal.value_or(m_profile.changeSignal);
        m_profile.include = m_options.include.value_or(m_profile.include);
        m_profile.exclude = m_options.exclude.value_or(m_profile.exclude);
        return true;
    }

    // What each chosen site needs of the profile, in one pass over them: an IndexNow site takes
    // the address and the key, Search Console the address, a classic site what its template
    // names. Search Console's sites are kept aside until it is known whether they go.
    void surveySelection()
    {
        const RequestComposer composer(m_profile);
        m_catalogue->visitSites(m_selection->selectedRows(), [&](const PromoSite& site, qsizetype at) {
            QStringList keys = composer.lackingKeys(site);
            const bool searchConsole = GoogleEndpoints::isSearchConsole(site.action);
            if (searchConsole && m_profile.value(ProfileField::Url).isEmpty())
                keys << Profile::key(ProfileField::Url);
            keys.removeDuplicates(); // each site is read once: counted once per key
            if (searchConsole)
                m_searchConsole.emplace(int(at), SearchConsoleSite{site.sitename, keys});
            else
                addNeeds(keys, at, site.sitename);
        });
    }

    // Per key, the first sites that need it and how many do: a catalogue of a hundred thousand
    // sites is not listed in one sentence. The sites come in the file's order; the first named
    // are those first in the selection.
    static constexpr size_t namedSites = 5;
    struct Need
    {
        std::map<qsizetype, QString> first; // by place in the selection
        qsizetype count = 0;
        std::pair<qsizetype, qsizetype> firstNeed{std::numeric_limits<qsizetype>::max(), 0}; // place, key
    };

    struct SearchConsoleSite
    {
        QString name;
        QStringList lacking; // the settings keys of the values it needs and the profile lacks
    };

    void addNeeds(const QStringList& keys, qsizetype at, const QString& site)
    {
        for (qsizetype i = 0; i < keys.size(); ++i) {
            Need& need = m_lacking[keys.at(i)];
            ++need.count;
            need.firstNeed = std::min(need.firstNeed, std::pair(at, i));
            need.first.emplace(at, site);
            if (need.first.size() > namedSites)
                need.first.erase(std::prev(need.first.end()));
        }
    }

    // A selection by type takes Search Console along; a profile never signed in to Google would
    // fail it every night. It is left aside and said so, as if it had not been chosen. Named
    // with --site, it is the user's wish and fails as it must.
    void skipSearchConsoleWithoutSignIn()
    {
        if (m_searchConsole.empty())
            return;
        if (m_options.selection == HeadlessSubmission::Selection::Sites || isSignedInToGoogle()) {
            for (const auto& [at, site] : m_searchConsole)
                addNeeds(site.lacking, at, site.name);
            return;
        }
        QList<int> searchConsole;
        QStringList names;
        for (const auto& [at, site] : m_searchConsole) {
            searchConsole << at;
            names << site.name;
        }
        m_selection->removeSelected(searchConsole);
        m_note = u"%1: not signed in to Google: skipped."_s.arg(names.join(u", "_s));
        if (!m_options.quiet)
            say(m_out,
                m_note + u" Sign in with orvanta google login --profile \"%1\" to send it sitemaps."_s.arg(
                             m_profile.title));
    }

    bool isSignedInToGoogle()
    {
        GoogleConnections google(QFileInfo(m_settings.fileName()).absolutePath(),
                                 SecretStore::Answers::AtOnce);
        const std::unique_ptr<GoogleConnection> connection = google.connect(m_profile);
        bool signedIn = false;
        connection->account().load(
            [&](const QString& error) { signedIn = error.isEmpty() && connection->account().isSignedIn(); });
        return signedIn;
    }

    // The values the chosen sites' requests use, and only those, must be there.
    bool checkNeededValues()
    {
        if (m_lacking.isEmpty())
            return true;
        // The keys in the order the selection first needs them.
        QStringList order = m_lacking.keys();
        std::sort(order.begin(), order.end(), [this](const QString& one, const QString& other) {
            return m_lacking[one].firstNeed < m_lacking[other].firstNeed;
        });
        QStringList named;
        for (const QString& key : std::as_const(order)) {
            const Need& need = m_lacking.value(key);
            QStringList sites;
            for (const auto& [at, name] : need.first)
                sites << name;
            named << u"%1 (%2%3)"_s.arg(key, sites.join(u", "_s),
                                        need.count > qsizetype(namedSites)
                                            ? u" and %L1 more"_s.arg(need.count - qsizetype(namedSites))
                                            : QString());
        }
        say(m_err, u"The profile \"%1\" lacks values the chosen sites need: %2. Fill them in with orvanta "
                   u"profile set --profile \"%1\" KEY=VALUE."_s.arg(m_profile.title, named.join(u"; "_s)));
        return false;
    }

    bool chooseSites()
    {
        m_selection = std::make_unique<EngineSelection>(*m_catalogue);
        switch (m_options.selection) {
        case HeadlessSubmission::Selection::All:
            m_selection->addAll();
            break;
        case HeadlessSubmission::Selection::Type:
            if (m_options.type != u"engine"_s && m_options.type != u"list"_s) {
                say(m_err, u"Unknown site type \"%1\": use engine or list."_s.arg(m_options.type));
                return false;
            }
            m_selection->addType(m_options.type);
            break;
        case HeadlessSubmission::Selection::Sites:
            for (const QString& site : m_options.sites) {
                if (!m_catalogue->find(site)) {
                    say(m_err, u"Unknown site \"%1\": it is not in the catalogue %2."_s.arg(
                                   site, m_catalogue->path()));
                    return false;
                }
            }
            m_selection->setSelected(m_options.sites);
            break;
        }
        if (m_selection->selectedCount() > 0)
            return true;
        say(m_err, u"Nothing to submit: the selection is empty."_s);
        return false;
    }

    // A key edited by hand that breaks the protocol's rules would go out to every IndexNow
    // site: the command refuses, but a dry run still shows what would be sent.
    bool checkKey()
    {
        if (m_profile.indexNowKey.isEmpty() || IndexNowKey::isValid(m_profile.indexNowKey))
            return true;
        bool needed = false;
        m_catalogue->readSites(m_selection->selectedRows(), [&needed](const PromoSite& site) {
            needed = needed || AnswerRule::isIndexNowEndpoint(site.action) ||
                     site.data.contains(u"[key"_s, Qt::CaseInsensitive);
        });
        if (!needed)
            return true;
        m_keyInvalid = true;
        say(m_err,
            u"The IndexNow key of the profile \"%1\" is not valid: it must be 8 to 128 letters (a-z, A-Z), "
            u"digits or hyphens."_s.arg(m_profile.title));
        return m_options.dryRun;
    }

    RunPlan prepare(SubmissionSession& session)
    {
        SubmissionSession::Request request{m_profile,
                                           m_selection->selectedRows(),
                                           m_options.changedPages,
                                           m_options.checkPages,
                                           m_options.sitemap,
                                           m_options.coolDown,
                                           m_note,
                                           m_options.checkTime};
        RunPlan plan;
        QObject::connect(&session, &SubmissionSession::planned, &session, [&](const RunPlan& planned) {
            plan = planned;
            showProgress(QString());
            for (const QString& line : planned.summary) {
                if (!m_options.quiet || m_options.dryRun)
                    say(m_out, line);
            }
        });
        QObject::connect(
            &session, &SubmissionSession::readingProgressed, &session, [this](int files, qsizetype pages) {
                showProgress(
                    u"Reading the sitemaps: %1, %2…"_s.arg(counted(files, u"%1 file"_s, u"%1 files"_s),
                                                           counted(pages, u"%1 page"_s, u"%1 pages"_s)));
            });
        QObject::connect(&session, &SubmissionSession::checkingProgressed, &session,
                         [this](qsizetype checked, qsizetype total) {
                             showProgress(u"Checking the pages: %1 of %2…"_s.arg(checked).arg(total));
                         });
        const SubmissionSession::Purpose purpose = m_options.baseline ? SubmissionSession::Purpose::Baseline
                                                   : m_options.dryRun ? SubmissionSession::Purpose::Preview
                                                                      : SubmissionSession::Purpose::Run;
        waitFor(&session, &SubmissionSession::planned, [&] { session.prepare(request, purpose); });
        return plan;
    }

    // A run that sent nothing is recorded before the command ends; why it could not be, if so.
    static QString waitForRecords(SubmissionSession& session)
    {
        if (session.run().isBusy() || !session.isBusy())
            return QString();
        QString failure;
        const QMetaObject::Connection heard = QObject::connect(
            &session, &SubmissionSession::ended, &session,
            [&failure](const SubmissionSession::Outcome& ended) { failure = ended.recordFailure; });
        waitFor(&session, &SubmissionSession::ended, [] {});
        QObject::disconnect(heard);
        return failure;
    }

    int submit(SubmissionSession& session, const RunPlan& plan)
    {
        QObject::connect(&session.run(), &SubmissionRun::requestEnded, &session,
                         [this](int, const QString& caption, Outcome outcome, const QString& detail) {
                             const bool succeeded = outcome == Outcome::Succeeded;
                             if (succeeded && m_options.quiet)
                                 return;
                             say(m_out, (succeeded ? u"OK      "_s : u"FAILED  "_s) + caption +
                                            (succeeded && detail.isEmpty() ? QString() : u": "_s + detail));
                         });
        // An engine that asks to be asked again later put the work off; it did not fail it.
        int putOff = 0;
        QObject::connect(&session.run(), &SubmissionRun::itemEnded, &session,
                         [&putOff, &plan, this](int position, const Verdict& verdict) {
                             putOff += verdict.outcome == Outcome::Failed && !verdict.retryAfter.isEmpty();
                             if (position >= 0 && position < plan.items.size())
                                 m_events.requestEnded(*m_catalogue, plan.items.at(position), verdict);
                         });
        SubmissionSession::Outcome outcome;
        QObject::connect(&session, &SubmissionSession::ended, &session,
                         [&outcome](const SubmissionSession::Outcome& ended) { outcome = ended; });
        if (session.run().isBusy())
            waitFor(&session, &SubmissionSession::ended, [] {});
        if (!m_options.quiet)
            say(m_out, u"Run log: "_s + session.run().logFile());
        say(m_out, u"%1 succeeded, %2 failed."_s.arg(outcome.succeeded).arg(outcome.failed));
        m_succeeded = outcome.succeeded;
        m_failed = outcome.failed;
        if (!outcome.recordFailure.isEmpty()) {
            say(m_err, u"The run could not be recorded in full: %1."_s.arg(outcome.recordFailure));
            return ExitStatus::failure;
        }
        if (outcome.failed > putOff)
            return ExitStatus::failure;
        return putOff > 0 || m_deferred ? ExitStatus::deferred : ExitStatus::success;
    }

    const HeadlessSubmission::Options& m_options;
    SettingsStore& m_settings;
    QIODevice& m_out;
    QIODevice& m_err;
    std::unique_ptr<SiteDatabase> m_catalogue;
    std::unique_ptr<EngineSelection> m_selection;
    Profile m_profile;
    bool m_keyInvalid = false;
    bool m_deferred = false;       // pages the check did not come to
    QString m_note;                // what was left aside, said at the start and kept with the run
    QMap<QString, Need> m_lacking; // by settings key
    std::map<int, SearchConsoleSite> m_searchConsole; // by place in the selection
    int m_progressShown = 0;
    RunEvents m_events;
    int m_succeeded = 0;
    int m_failed = 0;
    qsizetype m_deferredPages = 0;
};

} // namespace

int HeadlessSubmission::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    return CommandLineSubmission(options, settings, out, err).run();
}
