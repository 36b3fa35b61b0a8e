#include "RunPreparation.h"

#include "AnswerRule.h"
#include "Crawlers.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "PageList.h"
#include "PathPatterns.h"
#include "ProfileEditor.h"
#include "RunRecorder.h"
#include "SiteDatabase.h"
#include "TimeText.h"
#include "WebsiteFetcher.h"
#include "Wording.h"

#include <QFutureWatcher>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <numeric>

using namespace Qt::StringLiterals;

RunPreparation::RunPreparation(const Means& means, const Request& request, Purpose purpose, QObject* parent)
    : QObject(parent), m_means(means), m_request(request), m_purpose(purpose)
{
    m_request.changedPages = request.changedPages || purpose == Purpose::Baseline; // a baseline is of pages
    qsizetype next = 0;
    m_means.catalogue.readSites(m_request.rows, [&](const PromoSite& site) {
        m_sites.append({m_request.rows.at(next++), site.sitename, site.action});
    });
}

RunPreparation::~RunPreparation()
{
    if (m_checker)
        m_checker->release();
}

std::unique_ptr<GoogleConnection> RunPreparation::takeGoogle()
{
    return std::move(m_google);
}

QList<qsizetype> RunPreparation::searchConsoleRows() const
{
    QList<qsizetype> rows;
    for (const SelectedSite& site : m_sites) {
        if (GoogleEndpoints::isSearchConsole(site.action))
            rows << site.row;
    }
    return rows;
}

void RunPreparation::start()
{
    // Search Console takes the website's sitemaps: a classic run with it reads them too.
    if (!m_request.changedPages && searchConsoleRows().isEmpty())
        return planAddresses();
    if (!m_means.historyProblem.isEmpty() && m_request.changedPages) {
        RunPlan unknown;
        unknown.changedPages = true;
        unknown.error = m_means.historyProblem + u" Without it, what changed is not known."_s;
        return finish(unknown);
    }
    // A summary takes whatever reading there is; what is sent goes by one at most ten minutes old.
    const std::chrono::milliseconds oldest = m_purpose == Purpose::Summary
                                                 ? std::chrono::milliseconds::zero()
                                                 : std::chrono::milliseconds(stayFresh);
    connect(&m_means.readings, &SitemapReadings::progressed, this, &RunPreparation::readingProgressed);
    m_means.readings.read(m_request.profile.value(ProfileField::Url), m_request.sitemap, oldest, this,
                          [this](const SitemapReadings::Reading& reading) { onSitemapsRead(reading); });
}

void RunPreparation::onSitemapsRead(const SitemapReadings::Reading& reading)
{
    disconnect(&m_means.readings, nullptr, this, nullptr);
    m_sitemaps = reading;
    if (!m_request.changedPages)
        return planAddresses(); // a sitemap Google cannot read either is for Google to say
    if (!reading->error.isEmpty()) {
        RunPlan unread;
        unread.changedPages = true;
        unread.error = reading->error;
        return finish(unread);
    }
    compare();
}

void RunPreparation::compare()
{
    RunPlanner::Input input;
    for (const SelectedSite& site : std::as_const(m_sites))
        input.sites.append(
            {site.name, AnswerRule::isIndexNowEndpoint(site.action) ? site.action : QString(), site.row, {}});
    input.pages = std::shared_ptr<const PageList>(m_sitemaps, &m_sitemaps->pages);
    input.website = m_sitemaps->origin;
    input.sitemapSummary = m_sitemaps->summary();
    input.historyFile = m_means.historyFile;
    input.now = m_means.clock().toMSecsSinceEpoch();
    input.coolDown = m_request.coolDown;
    // Values written into the settings file by hand are refused rather than taken for none: an
    // exclusion ignored would announce the very pages it keeps out.
    const Profile& profile = m_request.profile;
    const std::optional<ChangeSignal> signal = ChangeSignals::fromName(profile.changeSignal);
    const std::optional<PathPatterns> patterns = PathPatterns::parse(profile.include, profile.exclude);
    if (!signal || !patterns) {
        RunPlan refused;
        refused.changedPages = true;
        refused.error = u"The profile \"%1\" cannot be used: %2"_s.arg(
            profile.title, !signal
                               ? ProfileEditor::problemOf(ProfileEditor::Result::InvalidChangeSignal)
                               : ProfileEditor::problemOf(ProfileEditor::Result::InvalidPattern, profile));
        return finish(refused);
    }
    input.changeSignal = *signal;
    input.patterns = *patterns;
    // A baseline sends nothing, so it checks nothing; but it reads what it records of content.
    input.checkPages =
        m_request.checkPages && (m_purpose != Purpose::Baseline || *signal != ChangeSignal::LastModified);
    // Made off this thread: a million pages against the ledger take a while.
    m_comparing = new QFutureWatcher<RunPlan>(this);
    connect(m_comparing, &QFutureWatcher<RunPlan>::finished, this,
            [this] { onCompared(m_comparing->result()); });
    m_comparing->setFuture(QtConcurrent::run(&RunPlanner::compare, input));
}

void RunPreparation::planAddresses()
{
    RunPlan addresses;
    for (const SelectedSite& site : std::as_const(m_sites))
        addresses.items.append(WorkItem{site.name, nullptr, site.row});
    prepareSearchConsole(addresses);
}

void RunPreparation::onCompared(RunPlan plan)
{
    const bool readsContent = plan.changeSignal != ChangeSignal::LastModified;
    if (!plan.error.isEmpty() || (m_purpose == Purpose::Baseline && !readsContent) || !m_request.checkPages) {
        if (plan.error.isEmpty())
            RunPlanner::decide(plan, nullptr);
        return prepareSearchConsole(plan);
    }
    // Only the pages not checked within the last ten minutes are fetched again, and those whose
    // content is wanted but was not read then. Pages never checked go first, then those checked
    // longest ago: a website too large for one run's check is read in turns.
    const qint64 now = m_means.clock().toMSecsSinceEpoch();
    const qint64 freshSince = now - std::chrono::milliseconds(stayFresh).count();
    const auto turn = [&plan](qsizetype page) {
        return size_t(page) < plan.checkedBefore.size()
                   ? std::pair{plan.checkedBefore[size_t(page)].checked,
                               plan.checkedBefore[size_t(page)].checkedAt}
                   : std::pair{false, qint64(0)};
    };
    QList<qsizetype> order(plan.checkedPages->size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&turn](qsizetype a, qsizetype b) { return turn(a) < turn(b); });
    m_uncheckedPages = std::make_shared<PageList>();
    auto lastRead = std::make_shared<std::vector<PageVerdict>>();
    for (const qsizetype page : std::as_const(order)) {
        // A baseline reads only the pages it records the content of.
        if (m_purpose == Purpose::Baseline &&
            !ChangedPages::byContent(plan.changeSignal, plan.checkedPages->lastModified(page)))
            continue;
        const auto known = m_means.verdicts.constFind(plan.checkedPages->url(page).toByteArray());
        const bool fresh = known != m_means.verdicts.cend() && known->checkedAt >= freshSince &&
                           (!readsContent || known->verdict.kind != PageVerdict::Kind::Indexable ||
                            !known->verdict.fingerprint.isEmpty());
        if (fresh)
            continue;
        m_uncheckedPages->add(plan.checkedPages->url(page), PageList::unknownTime);
        PageVerdict read;
        if (size_t(page) < plan.checkedBefore.size()) {
            const PageLedger::LastCheck& last = plan.checkedBefore[size_t(page)];
            read.fingerprint = last.fingerprint;
            read.etag = last.etag;
            read.lastModified = last.lastModified;
            read.bytesHash = last.bytesHash;
        }
        lastRead->push_back(read);
    }
    m_planBeingChecked = std::move(plan);
    m_checker = WebsiteFetcher::on(m_means.fetchingThread);
    connect(m_checker, &WebsiteFetcher::checkingProgressed, this, &RunPreparation::checkingProgressed);
    connect(m_checker, &WebsiteFetcher::pagesChecked, this, &RunPreparation::onChecked);
    // Bounded, so that no run waits on a slow website for hours; a summary only looks ahead.
    PageCheckLimits limits;
    if (m_purpose == Purpose::Summary) {
        limits.mostPages = summaryPages;
    } else if (m_request.checkTime.count() > 0) {
        limits.budget = m_request.checkTime;
        limits.budgetSaid = u"the check's %1"_s.arg(
            m_request.checkTime.count() % 60 == 0
                ? counted(m_request.checkTime.count() / 60, u"%1 minute"_s, u"%1 minutes"_s)
                : counted(m_request.checkTime.count(), u"%1 second"_s, u"%1 seconds"_s));
    }
    limits.fingerprints = readsContent;
    limits.lastRead = std::move(lastRead);
    m_checkStarted.start();
    m_checker->check(m_uncheckedPages, {{m_sitemaps->origin, m_sitemaps->robots}}, Crawlers::indexNow,
                     limits);
}

void RunPreparation::onChecked(const std::shared_ptr<std::vector<PageVerdict>>& fetched)
{
    std::exchange(m_checker, nullptr)->release();
    const qint64 now = m_means.clock().toMSecsSinceEpoch();
    // A page the check did not come to is not known: it is not kept as checked.
    QHash<QByteArray, PageVerdict> deferred;
    qsizetype fetchedNow = 0;
    for (qsizetype page = 0; page < m_uncheckedPages->size(); ++page) {
        const PageVerdict& verdict = (*fetched)[size_t(page)];
        const QByteArray url = m_uncheckedPages->url(page).toByteArray();
        if (verdict.kind == PageVerdict::Kind::Deferred) {
            deferred.insert(url, verdict);
        } else {
            m_means.verdicts.insert(url, {verdict, now});
            ++fetchedNow;
        }
    }
    RunPlan plan = std::move(m_planBeingChecked);
    auto verdicts = std::make_shared<std::vector<PageVerdict>>();
    verdicts->reserve(size_t(plan.checkedPages->size()));
    for (qsizetype page = 0; page < plan.checkedPages->size(); ++page) {
        const QByteArray url = plan.checkedPages->url(page).toByteArray();
        const auto put = deferred.constFind(url);
        const auto known = m_means.verdicts.constFind(url);
        verdicts->push_back(put != deferred.cend()             ? *put
                            : known != m_means.verdicts.cend() ? known->verdict
                                                               : PageVerdict::deferred(u"not read"_s));
    }
    RunPlanner::decide(plan, verdicts);
    if (m_purpose == Purpose::Summary && plan.deferred > 0) {
        // What is left to check before sending, at the speed this website answered.
        const qint64 rest = fetchedNow > 0 ? m_checkStarted.elapsed() * plan.deferred / fetchedNow : -1;
        plan.summary.replaceInStrings(QRegularExpression(u"^.* not checked yet: .*$"_s),
                                      u"%1 more to check before sending%2."_s.arg(
                                          counted(plan.deferred, u"%L1 page"_s, u"%L1 pages"_s),
                                          rest >= 0 ? u" (about %1 at this site's speed)"_s.arg(
                                                          TimeText::duration(std::max<qint64>(rest, 1000)))
                                                    : QString()));
    }
    prepareSearchConsole(plan);
}

void RunPreparation::prepareSearchConsole(RunPlan plan)
{
    const QList<qsizetype> rows = searchConsoleRows();
    if (rows.isEmpty() || !plan.error.isEmpty() || m_purpose == Purpose::Baseline)
        return recordBaseline(plan);
    // When each sitemap was last submitted, from the history, for the cool-down.
    QHash<QString, qint64> submittedAt;
    QString error;
    if (const auto database =
            HistoryDatabase::open(m_means.historyFile, HistoryDatabase::Mode::OpenExisting, error)) {
        for (const GoogleRecords::StoredSitemap& stored :
             GoogleRecords(*database).sitemaps(m_request.profile.title))
            submittedAt.insert(stored.status.path, stored.submittedAt);
    }
    const qint64 now = m_means.clock().toMSecsSinceEpoch();
    SearchConsoleRun::expand(plan, rows, m_sitemaps ? m_sitemaps->roots : QStringList(), submittedAt, now,
                             m_request.coolDown);
    const bool sends = std::any_of(plan.items.cbegin(), plan.items.cend(),
                                   [](const WorkItem& item) { return !item.sitemap.isEmpty(); });
    if (m_purpose != Purpose::Run || !sends)
        return finish(plan);
    withGoogleToken(plan);
}

void RunPreparation::withGoogleToken(RunPlan plan)
{
    m_google = m_means.google.connect(m_request.profile);
    m_access = {&m_google->console(), m_request.profile.googleProperty, m_google->problem()};
    if (!m_access.problem.isEmpty())
        return finish(plan);
    GoogleAccount& account = m_google->account();
    account.load([this, plan, &account](const QString& error) {
        if (!error.isEmpty())
            m_access.problem = u"not signed in to Google: "_s + error;
        else if (!account.isSignedIn())
            m_access.problem = u"not signed in to Google: sign the profile in first (orvanta google login)"_s;
        else if (m_access.property.isEmpty())
            m_access.problem =
                u"no Search Console property is known for the website: sign in again to find it"_s;
        if (!m_access.problem.isEmpty())
            return finish(plan);
        // A token now, so that a sign-in Google no longer takes is said before the run rather
        // than by every sitemap; the client renews it during the run when it expires.
        account.withToken([this, plan](const QString&, const QString& why, bool) {
            m_access.problem = why;
            finish(plan);
        });
    });
}

void RunPreparation::recordBaseline(RunPlan plan)
{
    if (m_purpose != Purpose::Baseline || !plan.error.isEmpty() || !m_means.recorder)
        return finish(plan);
    int endpoints = 0;
    for (const RunPlan::Site& site : std::as_const(plan.sites))
        endpoints += site.indexNowEndpoint.isEmpty() ? 0 : 1;
    if (endpoints == 0) {
        plan.error = u"Select an IndexNow site: only IndexNow sites take the pages."_s;
        return finish(plan);
    }
    plan.summary = QStringList{plan.summary.value(0)};
    for (const RunPlan::Site& site : std::as_const(plan.sites)) {
        if (!site.indexNowEndpoint.isEmpty())
            plan.summary << u"%1: %2 recorded as announced; nothing was sent."_s.arg(
                site.name, counted(plan.pages->size() - plan.excluded.size(), u"%1 page"_s, u"%1 pages"_s));
    }
    // Recorded first; the plan is said once the ledger holds it.
    m_recording = true;
    emit recordingStarted();
    connect(m_means.recorder, &RunRecorder::baselineWritten, this,
            [this, plan](const QString& failure) mutable {
                m_recording = false;
                if (!failure.isEmpty())
                    plan.error = u"The baseline could not be recorded: %1."_s.arg(failure);
                finish(plan);
            });
    m_means.recorder->recordBaseline(plan, m_request.profile.title);
}

void RunPreparation::finish(RunPlan plan)
{
    plan.note = m_request.note;
    emit prepared(plan);
}
