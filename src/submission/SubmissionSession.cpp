#include "SubmissionSession.h"

#include "AnswerRule.h"
#include "HistoryDatabase.h"
#include "HttpTransferSlot.h"
#include "RunLock.h"
#include "RunRecorder.h"
#include "SiteDatabase.h"
#include "SubmissionRun.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

// The sitemaps' reader with a network of its own, on the session's reading thread: a million
// pages are parsed, normalised and kept there, not on the thread of the window.
class SubmissionSession::SitemapReading final : public QObject
{
public:
    void start(const QString& site, const QString& sitemap, SubmissionSession* session, quint64 generation)
    {
        if (!m_reader) {
            m_network = new QNetworkAccessManager(this);
            m_reader = new SitemapReader(*m_network, this);
            connect(m_reader, &SitemapReader::progressed, this, [this](int files, qsizetype pages) {
                QMetaObject::invokeMethod(
                    m_session,
                    [session = m_session, files, pages] { emit session->readingProgressed(files, pages); },
                    Qt::QueuedConnection);
            });
            connect(m_reader, &SitemapReader::finished, this,
                    [this](const std::shared_ptr<SitemapReader::Result>& result) {
                        QMetaObject::invokeMethod(
                            m_session,
                            [session = m_session, result, generation = m_generation] {
                                session->onSitemapsRead(result, generation);
                            },
                            Qt::QueuedConnection);
                    });
        }
        m_session = session;
        m_generation = generation;
        m_reader->start(site, sitemap);
    }

private:
    QNetworkAccessManager* m_network = nullptr;
    SitemapReader* m_reader = nullptr;
    SubmissionSession* m_session = nullptr;
    quint64 m_generation = 0;
};

SubmissionSession::SubmissionSession(SiteDatabase& catalogue, Setup setup, QObject* parent)
    : QObject(parent), m_catalogue(catalogue), m_setup(std::move(setup)),
      m_network(new QNetworkAccessManager(this)), m_lock(std::make_unique<RunLock>(m_setup.runLockFile)),
      m_reading(new SitemapReading), m_planning(new QFutureWatcher<RunPlan>(this))
{
    std::array<TransferSlot*, SubmissionRun::laneCount> transfers{};
    for (TransferSlot*& transfer : transfers)
        transfer = new HttpTransferSlot(*m_network, m_setup.transferDeadline, this);
    m_run = new SubmissionRun(m_catalogue, transfers, m_setup.logFile, m_setup.clock, this);
    connect(m_run, &SubmissionRun::completed, this,
            [this](int succeeded, int failed) { onRunEnded(succeeded, failed, false); });
    connect(m_run, &SubmissionRun::cancelled, this, [this] { onRunEnded(0, 0, true); });

    // The file is brought up to date here, where the catalogue can name the sites an older
    // layout recorded by name; the threads that read and write it later find it current.
    const HistoryDatabase::Upgrade upgrade{
        [this](const QString& site) { return m_catalogue.site(site).action; }};
    if (HistoryDatabase::open(m_setup.historyFile, HistoryDatabase::Mode::OpenOrCreate, m_historyProblem,
                              upgrade)) {
        m_recorder =
            std::make_unique<RunRecorder>(*m_run, m_setup.historyFile, m_setup.frontEnd, m_setup.clock);
        connect(m_recorder.get(), &RunRecorder::written, this, [this](const QString& failure) {
            Outcome outcome = m_unrecorded.takeFirst();
            outcome.recordFailure = failure;
            if (m_unrecorded.isEmpty() && !m_run->isBusy())
                m_lock->unlock(); // the next run may write the log and the history
            emit ended(outcome);
        });
    }

    m_readerThread.setObjectName(u"sitemap reader"_s);
    m_reading->moveToThread(&m_readerThread);
    connect(&m_readerThread, &QThread::finished, m_reading, &QObject::deleteLater);
    m_readerThread.start();
    connect(m_planning, &QFutureWatcher<RunPlan>::finished, this, [this] {
        if (m_replanDue)
            return plan();
        finishPreparation(m_planning->result());
    });
}

SubmissionSession::~SubmissionSession()
{
    m_run->cancel();
    m_readerThread.quit();
    m_readerThread.wait();
    m_planning->waitForFinished();
}

bool SubmissionSession::isBusy() const
{
    return m_preparing || m_run->isBusy() || !m_unrecorded.isEmpty();
}

void SubmissionSession::prepare(const Request& request, Purpose purpose)
{
    if (m_preparing && m_purpose == Purpose::Run)
        return; // a run's preparation is never given up for another
    if (purpose == Purpose::Run) {
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
    m_request = request;
    m_purpose = purpose;
    if (!request.changedPages) {
        RunPlan addresses;
        for (const qsizetype row : request.rows)
            addresses.items.append(WorkItem{m_catalogue.name(row), nullptr, row});
        m_preparing = false;
        finishPreparation(addresses);
        return;
    }
    m_preparing = true;
    if (!m_historyProblem.isEmpty()) {
        RunPlan unknown;
        unknown.changedPages = true;
        unknown.error = m_historyProblem + u" Without it, what changed is not known."_s;
        return finishPreparation(unknown);
    }
    const QString sitemapsFor = request.profile.value(ProfileField::Url) + u'\n' + request.sitemap;
    const bool fresh = m_sitemaps && m_sitemapsFor == sitemapsFor &&
                       (purpose == Purpose::Summary ||
                        m_sitemapsAge.elapsed() < std::chrono::milliseconds(sitemapsStayFresh).count());
    if (fresh)
        return plan();
    if (m_readingFor != sitemapsFor) // else the reading under way is for this very request
        readSitemaps(sitemapsFor);
}

void SubmissionSession::readSitemaps(const QString& sitemapsFor)
{
    m_readingFor = sitemapsFor;
    const quint64 generation = ++m_readingGeneration;
    QMetaObject::invokeMethod(
        m_reading,
        [reading = m_reading, site = m_request.profile.value(ProfileField::Url), sitemap = m_request.sitemap,
         this, generation] { reading->start(site, sitemap, this, generation); },
        Qt::QueuedConnection);
}

void SubmissionSession::onSitemapsRead(const std::shared_ptr<SitemapReader::Result>& result,
                                       quint64 generation)
{
    if (generation != m_readingGeneration)
        return; // a reading for an address given up since
    const QString readFor = std::exchange(m_readingFor, QString());
    if (result->error.isEmpty()) { // a failure is not kept: the next request reads again
        m_sitemaps = result;
        m_sitemapsFor = readFor;
        m_sitemapsAge.start();
    }
    if (!m_preparing)
        return;
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
    if (m_planning->isRunning()) {
        m_replanDue = true; // the one under way is for an older request
        return;
    }
    m_replanDue = false;
    RunPlanner::Input input;
    m_catalogue.readSites(m_request.rows, [&input](const PromoSite& site) {
        input.sites.append(
            {site.sitename, AnswerRule::isIndexNowEndpoint(site.action) ? site.action : QString()});
    });
    input.pages = std::shared_ptr<const PageList>(m_sitemaps, &m_sitemaps->pages);
    input.host = m_sitemaps->host;
    input.sitemapSummary = m_sitemaps->summary();
    input.historyFile = m_setup.historyFile;
    input.now = m_setup.clock().toMSecsSinceEpoch();
    input.coolDown = m_request.coolDown;
    m_planning->setFuture(QtConcurrent::run(&RunPlanner::plan, input));
}

void SubmissionSession::finishPreparation(RunPlan plan)
{
    m_preparing = false;
    if (m_purpose == Purpose::Run) {
        // An empty selection still clears the last run's log, as every Submit does.
        const bool startable = plan.error.isEmpty() && !plan.nothingToSend();
        if (startable && m_recorder)
            m_recorder->setPageIds(plan.pageIds);
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
