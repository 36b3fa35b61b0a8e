#include "SubmissionSession.h"

#include "GoogleConnection.h"
#include "HistoryDatabase.h"
#include "HttpTransferSlot.h"
#include "RunLock.h"
#include "RunRecorder.h"
#include "SiteDatabase.h"
#include "SitemapReadings.h"
#include "SubmissionRun.h"

#include <QNetworkAccessManager>

using namespace Qt::StringLiterals;

SubmissionSession::SubmissionSession(SiteDatabase& catalogue, Setup setup, QObject* parent)
    : QObject(parent), m_catalogue(catalogue), m_setup(std::move(setup)),
      m_network(new QNetworkAccessManager(this)), m_lock(std::make_unique<RunLock>(m_setup.runLockFile)),
      m_readings(new SitemapReadings(m_fetchingThread, this))
{
    if (!m_setup.google)
        m_ownGoogle =
            std::make_unique<GoogleConnections>(m_setup.secretsDirectory, SecretStore::Answers::AtOnce);
    m_googleConnections = m_setup.google ? m_setup.google : m_ownGoogle.get();

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
    }
    m_fetchingThread.setObjectName(u"sitemaps and pages"_s);
    m_fetchingThread.start();
}

SubmissionSession::~SubmissionSession()
{
    m_run->cancel();
    delete m_preparation;
    delete m_readings; // their fetchers are deleted on the fetching thread as it ends
    m_fetchingThread.quit();
    m_fetchingThread.wait();
}

bool SubmissionSession::isBusy() const
{
    return m_preparation || m_run->isBusy() || !m_unrecorded.isEmpty();
}

void SubmissionSession::prepare(const Request& request, Purpose purpose)
{
    if (m_preparation && m_preparation->takesTheHome())
        return; // a run's preparation is never given up for another
    const bool takesTheHome = purpose == Purpose::Run || purpose == Purpose::Baseline;
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
    // A newer request takes the place of a summary or a preview; a reading of the same sitemaps
    // under way goes on for it.
    delete m_preparation;
    const RunPreparation::Means means{m_catalogue,         *m_readings,          m_verdicts,
                                      m_fetchingThread,    *m_googleConnections, m_recorder.get(),
                                      m_setup.historyFile, m_historyProblem,     m_setup.clock};
    m_preparation = new RunPreparation(means, request, purpose, this);
    connect(m_preparation, &RunPreparation::readingProgressed, this, &SubmissionSession::readingProgressed);
    connect(m_preparation, &RunPreparation::checkingProgressed, this, &SubmissionSession::checkingProgressed);
    connect(m_preparation, &RunPreparation::recordingStarted, this, &SubmissionSession::baselineRecording);
    connect(m_preparation, &RunPreparation::prepared, this, &SubmissionSession::onPrepared);
    m_preparation->start();
}

void SubmissionSession::cancelPreparation()
{
    if (!canCancelPreparation())
        return;
    m_readings->cancel();
    RunPlan cancelled;
    cancelled.changedPages = true;
    cancelled.cancelled = true;
    onPrepared(cancelled);
}

void SubmissionSession::onPrepared(const RunPlan& plan)
{
    RunPreparation* preparation = std::exchange(m_preparation, nullptr);
    preparation->deleteLater(); // this may be its own signal
    disconnect(preparation, nullptr, this, nullptr);
    const Purpose purpose = preparation->purpose();
    if (purpose == Purpose::Run || purpose == Purpose::Baseline) {
        // An empty selection still clears the last run's log, as every Submit does.
        const bool startable =
            purpose == Purpose::Run && plan.error.isEmpty() && !plan.cancelled && !plan.nothingToSend();
        if (startable) {
            if (m_recorder)
                m_recorder->setPlan(plan);
            m_google = preparation->takeGoogle();
            m_run->setSearchConsole(preparation->searchConsole());
        }
        // A run that sends nothing is on record all the same: why it failed, or that nothing
        // was to send, with what its sitemaps listed. The lock is kept until that is written.
        const bool unsent = purpose == Purpose::Run && !startable && !plan.cancelled &&
                            (plan.changedPages || !plan.error.isEmpty());
        if (unsent && m_recorder) {
            m_unrecorded.append(Outcome{});
            m_recorder->recordUnsent(plan, preparation->request().profile.title);
        } else if (!startable || !m_run->start(plan.items, preparation->request().profile)) {
            m_lock->unlock();
        }
    }
    emit planned(plan, purpose);
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
