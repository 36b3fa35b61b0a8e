#include "SubmissionSession.h"

#include "AnswerRule.h"
#include "Crawlers.h"
#include "GoogleAccount.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "HttpTransferSlot.h"
#include "PageChecker.h"
#include "PageList.h"
#include "RunLock.h"
#include "RunRecorder.h"
#include "SearchConsole.h"
#include "SecretStore.h"
#include "SiteDatabase.h"
#include "SubmissionRun.h"
#include "Wording.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

// What the session fetches from the website before a run, with a network of its own, on the
// session's fetching thread: a million pages are parsed, normalised and kept there, and pages
// are checked there, never on the thread of the window.
class SubmissionSession::Fetching final : public QObject
{
public:
    explicit Fetching(SubmissionSession* session) : m_session(session) {}

    void read(const QString& site, const QString& sitemap, quint64 generation)
    {
        setUp();
        m_generation = generation;
        m_reader->start(site, sitemap);
    }

    void check(std::shared_ptr<const PageList> pages, PageChecker::RobotsByOrigin robots, quint64 generation)
    {
        setUp();
        m_generation = generation;
        m_checker->start(std::move(pages), std::move(robots), Crawlers::indexNow);
    }

    void cancel()
    {
        if (m_reader)
            m_reader->cancel();
        if (m_checker)
            m_checker->cancel();
    }

private:
    // Hands what happened here to the session, on its own thread.
    template <typename Work> void tell(Work work)
    {
        QMetaObject::invokeMethod(m_session, std::move(work), Qt::QueuedConnection);
    }

    void setUp()
    {
        if (m_reader)
            return;
        m_network = new QNetworkAccessManager(this);
        m_reader = new SitemapReader(*m_network, this);
        m_checker = new PageChecker(*m_network, this);
        connect(m_reader, &SitemapReader::progressed, this, [this](int files, qsizetype pages) {
            tell([session = m_session, files, pages] { emit session->readingProgressed(files, pages); });
        });
        connect(m_reader, &SitemapReader::finished, this,
                [this](const std::shared_ptr<SitemapReader::Result>& result) {
                    tell([session = m_session, result, generation = m_generation] {
                        session->onSitemapsRead(result, generation);
                    });
                });
        connect(m_checker, &PageChecker::progressed, this, [this](qsizetype checked, qsizetype total) {
            tell([session = m_session, checked, total] { emit session->checkingProgressed(checked, total); });
        });
        connect(m_checker, &PageChecker::finished, this,
                [this](const std::shared_ptr<std::vector<PageVerdict>>& verdicts) {
                    tell([session = m_session, verdicts, generation = m_generation] {
                        session->onChecked(verdicts, generation);
                    });
                });
    }

    SubmissionSession* m_session;
    QNetworkAccessManager* m_network = nullptr;
    SitemapReader* m_reader = nullptr;
    PageChecker* m_checker = nullptr;
    quint64 m_generation = 0;
};

SubmissionSession::SubmissionSession(SiteDatabase& catalogue, Setup setup, QObject* parent)
    : QObject(parent), m_catalogue(catalogue), m_setup(std::move(setup)),
      m_network(new QNetworkAccessManager(this)), m_lock(std::make_unique<RunLock>(m_setup.runLockFile)),
      m_fetching(new Fetching(this)), m_comparing(new QFutureWatcher<RunPlan>(this))
{
    std::array<TransferSlot*, SubmissionRun::laneCount> transfers{};
    for (TransferSlot*& transfer : transfers)
        transfer = new HttpTransferSlot(*m_network, m_setup.transferDeadline, this);
    m_run = new SubmissionRun(m_catalogue, transfers, m_setup.logFile, m_setup.clock, this);
    connect(m_run, &SubmissionRun::completed, this,
            [this](int succeeded, int failed) { onRunEnded(succeeded, failed, false); });
    connect(m_run, &SubmissionRun::cancelled, this, [this] { onRunEnded(0, 0, true); });

    // The file is brought up to date here, where the catalogue can name the sites an older
    // layout recorded by name; the threads that read and write it later find it current. It is
    // made by the first run that records: a summary, a preview or a dry run makes nothing.
    const HistoryDatabase::Upgrade upgrade{
        [this](const QString& site) { return m_catalogue.site(site).action; }};
    HistoryDatabase::open(m_setup.historyFile, HistoryDatabase::Mode::OpenExisting, m_historyProblem,
                          upgrade);
    if (m_historyProblem.isEmpty()) {
        m_recorder =
            std::make_unique<RunRecorder>(*m_run, m_setup.historyFile, m_setup.frontEnd, m_setup.clock);
        connect(m_recorder.get(), &RunRecorder::written, this, &SubmissionSession::onWritten);
        connect(m_recorder.get(), &RunRecorder::baselineWritten, this, [this](const QString& failure) {
            RunPlan recorded = std::exchange(m_checking, RunPlan());
            if (!failure.isEmpty())
                recorded.error = u"The baseline could not be recorded: %1."_s.arg(failure);
            m_lock->unlock();
            m_preparing = false;
            emit planned(recorded, Purpose::Baseline);
        });
    }

    m_fetchingThread.setObjectName(u"sitemaps and pages"_s);
    m_fetching->moveToThread(&m_fetchingThread);
    connect(&m_fetchingThread, &QThread::finished, m_fetching, &QObject::deleteLater);
    m_fetchingThread.start();
    connect(m_comparing, &QFutureWatcher<RunPlan>::finished, this, [this] {
        if (m_replanDue)
            return plan();
        onCompared(m_comparing->result());
    });
}

SubmissionSession::~SubmissionSession()
{
    m_run->cancel();
    m_fetchingThread.quit();
    m_fetchingThread.wait();
    m_comparing->waitForFinished();
}

bool SubmissionSession::isBusy() const
{
    return m_preparing || m_run->isBusy() || !m_unrecorded.isEmpty();
}

void SubmissionSession::prepare(const Request& request, Purpose purpose)
{
    const bool takesTheHome = purpose == Purpose::Run || purpose == Purpose::Baseline;
    if (m_preparing && (m_purpose == Purpose::Run || m_purpose == Purpose::Baseline))
        return; // a run's preparation is never given up for another
    if (takesTheHome) {
        if (m_run->isBusy())
            return;
        QString whyNot;
        if (!m_lock->tryLock(whyNot)) {
            RunPlan refused;
            refused.error = whyNot;
            emit planned(refused, purpose);
            return;
        }
        if (m_recorder)
            m_recorder->markInterrupted(); // nobody else runs: a run still marked running was cut short
    }
    ++m_generation;
    m_request = request;
    m_request.changedPages = request.changedPages || purpose == Purpose::Baseline; // a baseline is of pages
    m_purpose = purpose;
    m_searchConsoleReady = false;
    // Search Console takes the website's sitemaps: a classic run with it reads them too.
    if (!m_request.changedPages && searchConsoleRows().isEmpty()) {
        m_preparing = false;
        planAddresses();
        return;
    }
    m_preparing = true;
    if (!m_historyProblem.isEmpty() && m_request.changedPages) {
        RunPlan unknown;
        unknown.changedPages = true;
        unknown.error = m_historyProblem + u" Without it, what changed is not known."_s;
        return finishPreparation(unknown);
    }
    const QString sitemapsFor = request.profile.value(ProfileField::Url) + u'\n' + request.sitemap;
    const bool fresh = m_sitemaps && m_sitemapsFor == sitemapsFor &&
                       (purpose == Purpose::Summary ||
                        m_sitemapsAge.elapsed() < std::chrono::milliseconds(stayFresh).count());
    if (fresh)
        return plan();
    if (m_readingFor != sitemapsFor) // else the reading under way is for this very request
        readSitemaps(sitemapsFor);
}

void SubmissionSession::cancelPreparation()
{
    if (!m_preparing)
        return;
    ++m_generation; // whatever the reading, comparing or checking finds from now on is dropped
    m_readingFor.clear();
    QMetaObject::invokeMethod(
        m_fetching, [fetching = m_fetching] { fetching->cancel(); }, Qt::QueuedConnection);
    RunPlan cancelled;
    cancelled.changedPages = true;
    cancelled.cancelled = true;
    finishPreparation(cancelled);
}

void SubmissionSession::readSitemaps(const QString& sitemapsFor)
{
    m_readingFor = sitemapsFor;
    QMetaObject::invokeMethod(
        m_fetching,
        [fetching = m_fetching, site = m_request.profile.value(ProfileField::Url),
         sitemap = m_request.sitemap,
         generation = m_generation] { fetching->read(site, sitemap, generation); },
        Qt::QueuedConnection);
}

void SubmissionSession::onSitemapsRead(const std::shared_ptr<SitemapReader::Result>& result,
                                       quint64 generation)
{
    if (generation != m_generation)
        return; // read for a request given up since
    const QString readFor = std::exchange(m_readingFor, QString());
    if (result->error.isEmpty()) { // a failure is not kept: the next request reads again
        m_sitemaps = result;
        m_sitemapsFor = readFor;
        m_sitemapsAge.start();
    }
    if (!m_preparing)
        return;
    m_searchConsoleSitemaps = result->roots;
    if (!m_request.changedPages)
        return planAddresses(); // a sitemap Google cannot read either is for Google to say
    if (!result->error.isEmpty()) {
        RunPlan unread;
        unread.changedPages = true;
        unread.error = result->error;
        return finishPreparation(unread);
    }
    plan();
}

void SubmissionSession::plan()
{
    if (m_comparing->isRunning()) {
        m_replanDue = true; // the one under way is for an older request
        return;
    }
    m_replanDue = false;
    m_searchConsoleSitemaps = m_sitemaps->roots;
    if (!m_request.changedPages)
        return planAddresses();
    RunPlanner::Input input;
    qsizetype next = 0;
    m_catalogue.readSites(m_request.rows, [&](const PromoSite& site) {
        input.sites.append({site.sitename,
                            AnswerRule::isIndexNowEndpoint(site.action) ? site.action : QString(),
                            m_request.rows.at(next++),
                            {}});
    });
    input.pages = std::shared_ptr<const PageList>(m_sitemaps, &m_sitemaps->pages);
    input.website = m_sitemaps->origin;
    input.sitemapSummary = m_sitemaps->summary();
    input.historyFile = m_setup.historyFile;
    input.now = m_setup.clock().toMSecsSinceEpoch();
    input.coolDown = m_request.coolDown;
    m_comparing->setFuture(QtConcurrent::run(&RunPlanner::compare, input));
}

void SubmissionSession::planAddresses()
{
    RunPlan addresses;
    for (const qsizetype row : std::as_const(m_request.rows))
        addresses.items.append(WorkItem{m_catalogue.name(row), nullptr, row});
    finishPreparation(addresses);
}

void SubmissionSession::onCompared(RunPlan plan)
{
    if (!m_preparing)
        return; // given up meanwhile
    if (!plan.error.isEmpty() || m_purpose == Purpose::Baseline || !m_request.checkPages) {
        if (plan.error.isEmpty())
            RunPlanner::decide(plan, nullptr);
        return finishPreparation(plan);
    }
    // Only the pages not checked within the last ten minutes are fetched again.
    const qint64 now = m_setup.clock().toMSecsSinceEpoch();
    const qint64 freshSince = now - std::chrono::milliseconds(stayFresh).count();
    m_uncheckedPages = std::make_shared<PageList>();
    for (qsizetype page = 0; page < plan.checkedPages->size(); ++page) {
        const auto known = m_verdicts.constFind(plan.checkedPages->url(page).toByteArray());
        if (known == m_verdicts.cend() || known->checkedAt < freshSince)
            m_uncheckedPages->add(plan.checkedPages->url(page), PageList::unknownTime);
    }
    m_checking = std::move(plan);
    QMetaObject::invokeMethod(
        m_fetching,
        [fetching = m_fetching, pages = std::shared_ptr<const PageList>(m_uncheckedPages),
         robots = PageChecker::RobotsByOrigin{{m_sitemaps->origin, m_sitemaps->robots}},
         generation = m_generation] { fetching->check(pages, robots, generation); },
        Qt::QueuedConnection);
}

void SubmissionSession::onChecked(const std::shared_ptr<std::vector<PageVerdict>>& fetched,
                                  quint64 generation)
{
    if (generation != m_generation)
        return;
    const qint64 now = m_setup.clock().toMSecsSinceEpoch();
    for (qsizetype page = 0; page < m_uncheckedPages->size(); ++page)
        m_verdicts.insert(m_uncheckedPages->url(page).toByteArray(), {(*fetched)[size_t(page)], now});
    RunPlan plan = std::exchange(m_checking, RunPlan());
    auto verdicts = std::make_shared<std::vector<PageVerdict>>();
    verdicts->reserve(size_t(plan.checkedPages->size()));
    for (qsizetype page = 0; page < plan.checkedPages->size(); ++page)
        verdicts->push_back(m_verdicts.value(plan.checkedPages->url(page).toByteArray()).verdict);
    RunPlanner::decide(plan, verdicts);
    finishPreparation(plan);
}

QList<qsizetype> SubmissionSession::searchConsoleRows() const
{
    QList<qsizetype> rows;
    qsizetype next = 0;
    m_catalogue.readSites(m_request.rows, [&](const PromoSite& site) {
        const qsizetype row = m_request.rows.at(next++);
        if (GoogleEndpoints::isSearchConsole(site.action))
            rows << row;
    });
    return rows;
}

bool SubmissionSession::prepareSearchConsole(RunPlan& plan)
{
    const QList<qsizetype> rows = searchConsoleRows();
    if (m_searchConsoleReady || rows.isEmpty() || !plan.error.isEmpty() || plan.cancelled ||
        m_purpose == Purpose::Baseline)
        return true;
    // When each sitemap was last submitted, from the history, for the cool-down.
    QHash<QString, qint64> submittedAt;
    QString error;
    if (const auto database =
            HistoryDatabase::open(m_setup.historyFile, HistoryDatabase::Mode::OpenExisting, error)) {
        for (const GoogleRecords::StoredSitemap& stored :
             GoogleRecords(*database).sitemaps(m_request.profile.title))
            submittedAt.insert(stored.status.path, stored.submittedAt);
    }
    const qint64 now = m_setup.clock().toMSecsSinceEpoch();
    SearchConsoleRun::expand(plan, rows, m_searchConsoleSitemaps, submittedAt, now, m_request.coolDown);
    m_searchConsoleReady = true;
    const bool sends = std::any_of(plan.items.cbegin(), plan.items.cend(),
                                   [](const WorkItem& item) { return !item.sitemap.isEmpty(); });
    if (m_purpose != Purpose::Run || !sends)
        return true;

    SearchConsoleAccess access;
    const GoogleEndpoints endpoints = GoogleEndpoints::fromEnvironment(access.problem);
    access.property = m_request.profile.googleProperty;
    if (!m_secrets)
        m_secrets = std::make_unique<SecretStore>(m_setup.secretsDirectory);
    m_console.reset(); // it refers to the account it replaces
    m_google = std::make_unique<GoogleAccount>(*m_network, endpoints, *m_secrets, m_request.profile.title,
                                               m_request.profile.googleServiceAccount);
    m_console = std::make_unique<SearchConsole>(*m_network, endpoints, *m_google);
    access.console = m_console.get();
    if (access.problem.isEmpty() && !m_google->load(access.problem))
        access.problem = u"not signed in to Google: "_s + access.problem;
    if (access.problem.isEmpty() && !m_google->isSignedIn())
        access.problem = u"not signed in to Google: sign the profile in first (orvanta google login)"_s;
    if (access.problem.isEmpty() && access.property.isEmpty())
        access.problem = u"no Search Console property is known for the website: sign in again to find it"_s;
    if (!access.problem.isEmpty()) {
        m_run->setSearchConsole(access);
        return true;
    }
    // A token now, so that a sign-in Google no longer takes is said before the run rather than
    // by every sitemap; the client renews it during the run when it expires.
    m_google->withToken(
        [this, access, plan, generation = m_generation](const QString&, const QString& why, bool) mutable {
            if (generation != m_generation)
                return;
            access.problem = why;
            m_run->setSearchConsole(access);
            finishPreparation(plan);
        });
    return false;
}

void SubmissionSession::finishPreparation(RunPlan plan)
{
    if (!prepareSearchConsole(plan))
        return; // goes on once Google has given a token
    const bool cancelled = plan.cancelled;
    if (m_purpose == Purpose::Baseline && plan.error.isEmpty() && !cancelled && m_recorder) {
        // Recorded first; planned() follows once the ledger holds it.
        int endpoints = 0;
        for (const RunPlan::Site& site : std::as_const(plan.sites))
            endpoints += site.indexNowEndpoint.isEmpty() ? 0 : 1;
        plan.summary = QStringList{plan.summary.value(0)};
        for (const RunPlan::Site& site : std::as_const(plan.sites)) {
            if (!site.indexNowEndpoint.isEmpty())
                plan.summary << u"%1: %2 recorded as announced; nothing was sent."_s.arg(
                    site.name, counted(plan.pages->size(), u"%1 page"_s, u"%1 pages"_s));
        }
        if (endpoints == 0) {
            plan.error = u"Select an IndexNow site: only IndexNow sites take the pages."_s;
        } else {
            m_checking = plan;
            m_recorder->recordBaseline(plan, m_request.profile.title);
            return;
        }
    }
    m_preparing = false;
    if (m_purpose == Purpose::Run || m_purpose == Purpose::Baseline) {
        // An empty selection still clears the last run's log, as every Submit does.
        const bool startable =
            m_purpose == Purpose::Run && plan.error.isEmpty() && !cancelled && !plan.nothingToSend();
        if (startable && m_recorder)
            m_recorder->setPlan(plan);
        if (!startable || !m_run->start(plan.items, m_request.profile))
            m_lock->unlock();
    }
    emit planned(plan, m_purpose);
}

void SubmissionSession::onRunEnded(int succeeded, int failed, bool cancelled)
{
    const Outcome outcome{succeeded, failed, cancelled, QString()};
    if (m_recorder) {
        m_unrecorded.append(outcome); // ended() follows once its records are written
        return;
    }
    m_lock->unlock();
    emit ended(outcome);
}

void SubmissionSession::onWritten(const QString& failure)
{
    Outcome outcome = m_unrecorded.takeFirst();
    outcome.recordFailure = failure;
    if (m_unrecorded.isEmpty() && !m_run->isBusy())
        m_lock->unlock(); // the next run may write the log and the history
    emit ended(outcome);
}
