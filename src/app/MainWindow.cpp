#include "MainWindow.h"

#include "AnswerRule.h"
#include "CoveragePage.h"
#include "DesktopOpener.h"
#include "Dialogs.h"
#include "EngineSelectionPage.h"
#include "GoogleConnection.h"
#include "GoogleStatusPage.h"
#include "HistoryPage.h"
#include "InstalledVersion.h"
#include "MetaBuilderPage.h"
#include "ProfilePage.h"
#include "ProfileStore.h"
#include "QuickSearchPage.h"
#include "RequestPreview.h"
#include "RequestPreviewDialog.h"
#include "RunPanel.h"
#include "ScheduleDialog.h"
#include "SettingsKeys.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SubmissionRun.h"
#include "UpgradeWindow.h"
#include "Wording.h"
#include "ui_MainWindow.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
const QSize firstSize(960, 640);
}

MainWindow::MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_context(std::move(context)),
      m_catalogue(catalogue), m_profileStore(std::make_unique<ProfileStore>(m_context.settings)),
      m_google(std::make_unique<GoogleConnections>(QFileInfo(m_context.settings.fileName()).absolutePath(),
                                                   SecretStore::Answers::OffThread))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    // Both top-level menus answer to one name and are told apart by their position.
    ui->fileMenu->setObjectName(u"about"_s);
    ui->aboutMenu->setObjectName(u"about"_s);
    ui->Bprofile->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui->Bsubmission->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ui->Bmeta->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui->Bsearch->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    ui->Babout->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    ui->Bhistory->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));

    m_profilePage = new ProfilePage(*m_profileStore, m_context.dialogs, ui->proform);
    ui->proform->layout()->addWidget(m_profilePage);
    m_profilePage->setUpGoogle(m_context.desktop, *m_google);
    m_selectionPage = new EngineSelectionPage(m_catalogue, ui->subform);
    ui->subform->layout()->addWidget(m_selectionPage);

    m_session = new SubmissionSession(
        m_catalogue,
        {m_context.paths.runLogFile(), m_context.paths.historyFile(), m_context.paths.runLockFile(),
         u"window"_s, m_context.transferDeadline, m_context.clock,
         QFileInfo(m_context.settings.fileName()).absolutePath(), m_google.get()},
        this);
    SubmissionRun& run = m_session->run();
    ui->statsform->layout()->addWidget(new RunPanel(run, ui->statsform));
    connect(m_selectionPage, &EngineSelectionPage::submitRequested, this, &MainWindow::onSubmitClicked);
    connect(m_selectionPage, &EngineSelectionPage::previewRequested, this, &MainWindow::showRequestPreview);
    connect(m_selectionPage, &EngineSelectionPage::scheduleRequested, this, &MainWindow::openScheduleDialog);
    connect(m_selectionPage, &EngineSelectionPage::resubmitFailedRequested, this,
            [this] { m_selectionPage->replaceSelection(m_session->run().lastFailures()); });
    connect(&run, &SubmissionRun::stopQuestionDue, this, &MainWindow::onStopQuestionDue);
    connect(&run, &SubmissionRun::completed, this, &MainWindow::onRunCompleted);
    connect(&run, &SubmissionRun::cancelled, this, &MainWindow::onRunCancelled);
    connect(m_session, &SubmissionSession::planned, this, &MainWindow::onPlanned);
    connect(m_session, &SubmissionSession::ended, this, [this](const SubmissionSession::Outcome& outcome) {
        if (!outcome.recordFailure.isEmpty())
            m_context.dialogs.inform(
                u"The run could not be recorded in full: %1."_s.arg(outcome.recordFailure), u"Run History"_s,
                Dialogs::Icon::Warning);
        showPagesSummary(); // what was sent is no longer changed
        if (ui->historyform->isVisible())
            openHistory(); // the run's records have landed since the page was opened
    });

    // The History page: the runs, and what became of the website's pages.
    auto* historyTabs = new QTabWidget(ui->historyform);
    historyTabs->setObjectName(u"historyTabs"_s);
    m_historyPage = new HistoryPage(m_context.paths.historyFile(), m_context.paths.runLockFile(),
                                    m_context.dialogs, historyTabs);
    m_coveragePage = new CoveragePage(
        m_context.paths.historyFile(),
        [this](const QString& endpoint) { return m_catalogue.nameOf(endpoint); }, m_context.dialogs,
        historyTabs);
    historyTabs->addTab(m_historyPage, u"&Runs"_s);
    historyTabs->addTab(m_coveragePage, u"C&overage"_s);
    m_googlePage = new GoogleStatusPage(m_context.paths.historyFile(), *m_google, historyTabs);
    historyTabs->addTab(m_googlePage, u"&Google"_s);
    ui->historyform->layout()->addWidget(historyTabs);
    connect(ui->Bhistory, &QAbstractButton::clicked, this, &MainWindow::openHistory);

    m_summaryDue = new QTimer(this);
    m_summaryDue->setSingleShot(true);
    m_summaryDue->setInterval(250);
    connect(m_summaryDue, &QTimer::timeout, this, &MainWindow::showPagesSummary);
    connect(m_selectionPage, &EngineSelectionPage::pagesModeChanged, this, &MainWindow::showPagesSummary);
    connect(m_selectionPage, &EngineSelectionPage::checkPagesChanged, this, &MainWindow::showPagesSummary);
    connect(m_selectionPage, &EngineSelectionPage::baselineRequested, this, &MainWindow::onBaselineRequested);
    connect(m_selectionPage, &EngineSelectionPage::preparationCancelRequested, m_session,
            &SubmissionSession::cancelPreparation);
    connect(m_session, &SubmissionSession::readingProgressed, this, [this](int files, qsizetype pages) {
        m_selectionPage->showPreparation(
            u"Reading the sitemaps: %1, %2"_s.arg(counted(files, u"%L1 file"_s, u"%L1 files"_s),
                                                  counted(pages, u"%L1 page"_s, u"%L1 pages"_s)),
            0, 0);
    });
    connect(m_session, &SubmissionSession::checkingProgressed, this, &MainWindow::onCheckingProgressed);
    connect(m_session, &SubmissionSession::baselineRecording, this,
            [this] { m_selectionPage->showRecording(u"Recording the pages as announced"_s); });
    connect(m_selectionPage, &EngineSelectionPage::selectionChanged, this, [this] {
        if (m_selectionPage->changedPagesChosen())
            m_summaryDue->start();
    });

    ui->metaform->layout()->addWidget(new MetaBuilderPage(m_context.dialogs, ui->metaform));
    ui->searchform->layout()->addWidget(new QuickSearchPage(m_context.desktop, ui->searchform));
    connectPageSwitches();
    // Room for the largest page, so the window keeps its size from page to page.
    QSize pageRoom = ui->pageArea->minimumSize();
    for (const QWidget* page :
         {ui->proform, ui->subform, ui->statsform, ui->metaform, ui->searchform, ui->aboutform})
        pageRoom = pageRoom.expandedTo(page->minimumSizeHint());
    ui->pageArea->setMinimumSize(pageRoom);
    restoreSizeAndPlace();
    connect(ui->upgrade, &QAction::triggered, this, &MainWindow::openUpgradeWindow);
    connect(ui->exit, &QAction::triggered, this, &QWidget::close);

    showPage(ui->proform, u" Website and User Profile"_s);
    m_profilePage->loadProfiles();
    ui->Label27->setText(u"Orvanta Version "_s + InstalledVersion(m_context.settings).readOrRecordFirst());
}

MainWindow::~MainWindow()
{
    // Whatever holds a way to Google goes before the network and the secret store it uses; the
    // session says nothing to a window that is going.
    m_session->disconnect(this);
    m_session->run().disconnect(this);
    delete m_session;
    delete m_googlePage;
    delete m_profilePage;
}

Profile MainWindow::profile() const
{
    return m_profilePage->workingCopy();
}

void MainWindow::connectPageSwitches()
{
    struct PageSwitch
    {
        QAbstractButton* button;
        QAction* menuItem;
        QWidget* page;
        QString buttonTitle;
        QString menuTitle;
    };
    // Toolbar titles begin with a space; of the menu titles only " Profile" does.
    const PageSwitch switches[] = {
        {ui->Bprofile, ui->pro, ui->proform, u" Website and User Profile"_s, u" Profile"_s},
        {ui->Bmeta, ui->mb, ui->metaform, u" Meta Builder"_s, u"Meta Builder"_s},
        {ui->Bsearch, ui->search, ui->searchform, u" Quick Search"_s, u"Quick Search"_s},
        {ui->Babout, ui->aboutorv, ui->aboutform, u" About Orvanta"_s, u"About Orvanta"_s},
    };
    for (const PageSwitch& pageSwitch : switches) {
        QWidget* page = pageSwitch.page;
        connect(pageSwitch.button, &QAbstractButton::clicked, this,
                [this, page, title = pageSwitch.buttonTitle] { showPage(page, title); });
        connect(pageSwitch.menuItem, &QAction::triggered, this,
                [this, page, title = pageSwitch.menuTitle] { showPage(page, title); });
    }
    // The submission page opens only for a complete profile; the toolbar also refills its catalogue.
    connect(ui->Bsubmission, &QAbstractButton::clicked, this, &MainWindow::openSelectionFromToolbar);
    connect(ui->sub, &QAction::triggered, this, [this] {
        if (checkProfileComplete())
            showSelectionPage(u"Submission"_s);
    });
}

void MainWindow::hideAllPages()
{
    for (QWidget* page : {ui->statsform, ui->proform, ui->subform, ui->metaform, ui->aboutform,
                          ui->searchform, ui->historyform})
        page->hide();
}

void MainWindow::showPage(QWidget* page, const QString& title)
{
    hideAllPages();
    page->show();
    if (!title.isNull())
        ui->Label47->setText(title);
}

bool MainWindow::checkProfileComplete()
{
    if (profile().isComplete())
        return true;
    m_context.dialogs.inform(u"Please fill in all the fields requested to properly submit your website."_s,
                             u"Missing Information"_s, Dialogs::Icon::Warning);
    return false;
}

void MainWindow::openSelectionFromToolbar()
{
    m_selectionPage->prepareToolbarOpening();
    if (!checkProfileComplete())
        return;
    m_selectionPage->refillCatalogue();
    showSelectionPage(u" Submission"_s);
    m_selectionPage->showTotals();
}

void MainWindow::setNavigationLocked(bool locked)
{
    ui->fileMenu->menuAction()->setEnabled(!locked);
    ui->aboutMenu->menuAction()->setEnabled(!locked);
    for (QWidget* button : {ui->Bprofile, ui->Bsubmission, ui->Bmeta, ui->Bsearch, ui->Babout, ui->Bhistory})
        button->setEnabled(!locked);
}

SubmissionSession::Request MainWindow::request() const
{
    SubmissionSession::Request request;
    request.profile = profile();
    request.rows = m_selectionPage->selection().selectedRows();
    request.changedPages = m_selectionPage->changedPagesChosen();
    request.checkPages = m_selectionPage->checkPagesChosen();
    return request;
}

void MainWindow::onSubmitClicked()
{
    if (m_selectionPage->changedPagesChosen() && m_selectionPage->selection().selectedCount() > 0)
        m_selectionPage->showPagesSummary(u"Reading the sitemaps and planning the run…"_s);
    m_session->prepare(request(), SubmissionSession::Purpose::Run);
    showPreparationIfBusy();
}

void MainWindow::onCheckingProgressed(qsizetype checked, qsizetype total)
{
    // The time left at the pace so far, once there is a pace to go by.
    if (checked <= 1 || !m_checkingClock.isValid())
        m_checkingClock.start();
    QString left;
    const qint64 elapsed = m_checkingClock.elapsed();
    if (checked > 1 && elapsed >= 2000) {
        const qint64 seconds = elapsed * (total - checked) / (checked - 1) / 1000;
        left = seconds < 60     ? u"about %1 s left"_s.arg(seconds)
               : seconds < 3600 ? u"about %1 min left"_s.arg((seconds + 30) / 60)
                                : u"about %1 h %2 min left"_s.arg(seconds / 3600).arg(seconds % 3600 / 60);
    }
    m_selectionPage->showPreparation(u"Checking the pages"_s, checked, total, left);
}

void MainWindow::showPreparationIfBusy()
{
    if (m_session->isPreparing())
        m_selectionPage->showPreparation(u"Reading the sitemaps"_s, 0, 0);
    m_checkingClock.invalidate();
}

void MainWindow::onBaselineRequested()
{
    int engines = 0;
    m_catalogue.readSites(m_selectionPage->selection().selectedRows(), [&engines](const PromoSite& site) {
        engines += AnswerRule::isIndexNowEndpoint(site.action) ? 1 : 0;
    });
    if (engines == 0) {
        m_context.dialogs.inform(u"Please select the IndexNow sites to record the pages for first."_s,
                                 u"No engines selected"_s, Dialogs::Icon::Warning);
        return;
    }
    // Said with the numbers of this profile's summary when it has one; nothing is sent, and pages
    // recorded this way are not sent again until they change, which cannot be undone.
    const QString sites = counted(engines, u"%L1 IndexNow site"_s, u"%L1 IndexNow sites"_s);
    const QString what = m_summaryPages >= 0 && m_summaryFor == summaryKey()
                             ? u"Mark %1 as announced to %2?"_s.arg(
                                   counted(m_summaryPages, u"%L1 page"_s, u"%L1 pages"_s), sites)
                             : u"Mark every page of the sitemaps of %1 as announced to %2?"_s.arg(
                                   profile().value(ProfileField::Url), sites);
    if (!m_context.dialogs.confirm(what +
                                       u"\n\nNothing is sent. From then on, only the pages that change are "
                                       u"sent to them."_s,
                                   u"Mark All as Announced"_s, u"Mark as Announced"_s))
        return;
    m_session->prepare(request(), SubmissionSession::Purpose::Baseline);
    showPreparationIfBusy();
}

void MainWindow::onPlanned(const RunPlan& plan, SubmissionSession::Purpose purpose)
{
    if (!m_session->isPreparing())
        m_selectionPage->hidePreparation();
    if (plan.cancelled) { // given up by the user, who needs no message to say so
        m_selectionPage->showPagesSummary(u"Cancelled before the plan was made; nothing was sent."_s);
        return;
    }
    if (purpose == SubmissionSession::Purpose::Baseline) {
        if (!plan.error.isEmpty())
            m_context.dialogs.inform(plan.error, u"Mark All as Announced"_s, Dialogs::Icon::Warning);
        else
            m_context.dialogs.inform(plan.summary.join(u'\n'), u"Mark All as Announced"_s,
                                     Dialogs::Icon::Information);
        showPagesSummary(); // the recorded pages are no longer new
        return;
    }
    if (purpose == SubmissionSession::Purpose::Preview) {
        if (!plan.error.isEmpty())
            m_context.dialogs.inform(plan.error, u"Request Preview"_s, Dialogs::Icon::Warning);
        else
            showPreviewDialog(plan.summary.join(u'\n'), plan.items, plan);
        return;
    }
    if (plan.changedPages && m_selectionPage->changedPagesChosen())
        m_selectionPage->showPagesSummary(plan.error.isEmpty() ? plan.summary.join(u'\n') : plan.error);
    if (purpose == SubmissionSession::Purpose::Summary && plan.error.isEmpty() && plan.pages)
        m_summaryPages = plan.pages->size();
    if (purpose != SubmissionSession::Purpose::Run)
        return;
    if (m_session->run().isBusy())
        return startRun();
    const QString title = u"Changed Pages"_s;
    if (!plan.error.isEmpty())
        m_context.dialogs.inform(plan.error, plan.changedPages ? title : u"Submission"_s,
                                 Dialogs::Icon::Warning);
    else if (plan.nothingToSend())
        m_context.dialogs.inform(u"No page changed since the last run: there is nothing to send."_s, title,
                                 Dialogs::Icon::Information);
    else
        m_context.dialogs.inform(u"Please select some engines to submit first."_s, u"No engines selected"_s,
                                 Dialogs::Icon::Warning);
}

void MainWindow::startRun()
{
    m_selectionPage->replaceSelection({}); // the run has taken them
    setNavigationLocked(true);
    showPage(ui->statsform, QString()); // the title strip stays as it is
}

void MainWindow::showPagesSummary()
{
    m_summaryDue->stop();
    if (!m_selectionPage->changedPagesChosen()) {
        m_selectionPage->showPagesSummary(QString());
        return;
    }
    m_summaryFor = summaryKey();
    m_summaryPages = -1; // until this profile's summary is planned
    if (!m_session->isPreparing())
        m_selectionPage->showPagesSummary(
            u"Reading the sitemaps of %1…"_s.arg(profile().value(ProfileField::Url)));
    m_session->prepare(request(), SubmissionSession::Purpose::Summary);
    showPreparationIfBusy();
}

QString MainWindow::summaryKey() const
{
    const Profile shown = profile();
    return shown.title + u'\n' + shown.value(ProfileField::Url);
}

void MainWindow::showSelectionPage(const QString& title)
{
    showPage(ui->subform, title);
    // Another profile since the summary was made: its numbers are not this one's.
    if (m_selectionPage->changedPagesChosen() && m_summaryFor != summaryKey())
        showPagesSummary();
}

void MainWindow::openHistory()
{
    m_historyPage->reload();
    const Profile shown = profile();
    m_coveragePage->showProfile(shown.title, shown.value(ProfileField::Url), shown.patterns());
    m_googlePage->showProfile(shown);
    showPage(ui->historyform, u" Run History"_s);
}

void MainWindow::onStopQuestionDue()
{
    const bool cancel = m_context.dialogs.askYesNo(u"Are you sure you want to cancel?"_s,
                                                   u"Cancel Submission"_s, Dialogs::Icon::Question);
    if (!cancel)
        m_closeWhenCancelled = false;
    m_session->run().answerStopQuestion(cancel);
}

void MainWindow::onRunCancelled()
{
    setNavigationLocked(false);
    openSelectionFromToolbar();
    m_selectionPage->setResubmitAvailable(!m_session->run().lastFailures().isEmpty());
    if (m_closeWhenCancelled)
        close();
}

void MainWindow::onRunCompleted(int succeeded, int failed)
{
    showPage(ui->subform, QString());
    m_selectionPage->uncheckTypeFilters();
    const QString summary = u"The submission is completed.\r\nFailed Submissions: "_s +
                            QString::number(failed) + u"\r\nSuccessful submissions: "_s +
                            QString::number(succeeded) +
                            u"\r\nWould you like to view the log information? "_s;
    const bool view = m_context.dialogs.askYesNo(summary, u"Submission Completed"_s, Dialogs::Icon::Question);
    setNavigationLocked(false);
    SubmissionRun& run = m_session->run();
    if (view)
        m_context.desktop.open(QUrl::fromLocalFile(run.logFile()));
    else
        run.discardLog();
    openSelectionFromToolbar();
    m_selectionPage->setResubmitAvailable(!run.lastFailures().isEmpty());
}

void MainWindow::restoreSizeAndPlace()
{
    const QByteArray stored = QByteArray::fromBase64(
        m_context.settings.value(SettingsKeys::windowSection, SettingsKeys::windowGeometry).toLatin1());
    if (!stored.isEmpty() && restoreGeometry(stored))
        return;
    // The first start: room for the history's columns and an engine's answer, within the screen.
    QSize size = firstSize.expandedTo(minimumSizeHint());
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableSize());
    resize(size);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_session->run().isBusy()) {
        m_context.settings.setValue(SettingsKeys::windowSection, SettingsKeys::windowGeometry,
                                    QString::fromLatin1(saveGeometry().toBase64()));
        event->accept();
        return;
    }
    // Closing during a run asks the run's own cancel question first, on its next tick; on Yes
    // the run is cancelled as Stop does it, and then the window closes.
    event->ignore();
    m_closeWhenCancelled = true;
    m_session->run().requestStop();
}

void MainWindow::showRequestPreview()
{
    if (m_selectionPage->changedPagesChosen() && m_selectionPage->selection().selectedCount() > 0) {
        m_session->prepare(request(), SubmissionSession::Purpose::Preview); // the batches Submit would send
        showPreparationIfBusy();
        return;
    }
    QList<WorkItem> items;
    for (const qsizetype row : m_selectionPage->selection().selectedRows())
        items.append(WorkItem{m_catalogue.name(row), nullptr, row});
    showPreviewDialog(QString(), items, RunPlan());
}

void MainWindow::showPreviewDialog(const QString& summary, const QList<WorkItem>& items, const RunPlan& plan)
{
    // Each request composed when it is picked, by the code that sends it.
    auto* dialog = new RequestPreviewDialog(
        summary, items,
        [this, items, shown = profile()](int position) {
            QBuffer preview;
            preview.open(QIODevice::WriteOnly);
            RequestPreview::writeItems(m_catalogue, {items.at(position)}, shown, preview, position + 1);
            return QString::fromUtf8(preview.data()).trimmed();
        },
        plan, this);
    dialog->setWindowIcon(windowIcon());
    dialog->show();
}

void MainWindow::openScheduleDialog()
{
    // A scheduled run reads the profile from the settings, so only a saved one can have a schedule.
    const int slot = m_profilePage->currentSlot();
    if (slot == 0 || !m_profileStore->isOccupied(slot)) {
        m_context.dialogs.inform(u"Save the profile first: a schedule runs a saved profile."_s, u"Schedule"_s,
                                 Dialogs::Icon::Information);
        return;
    }
    QStringList selected;
    for (const qsizetype row : m_selectionPage->selection().selectedRows())
        selected << m_catalogue.name(row);
    auto editor =
        std::make_unique<ScheduleEditor>(m_context.settings, QCoreApplication::applicationFilePath(),
                                         m_context.home, slot, ScheduleKeeper::forThisMachine());
    auto* dialog = new ScheduleDialog(std::move(editor), selected, m_selectionPage->changedPagesChosen(),
                                      m_context.dialogs, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowIcon(windowIcon());
    dialog->open();
}

void MainWindow::openUpgradeWindow()
{
    auto* window = new UpgradeWindow(m_context.settings, m_context.dialogs,
                                     {Upgrade::defaultServer(), m_context.paths.upgradeFile()});
    window->setWindowIcon(windowIcon());
    connect(window, &UpgradeWindow::ended, this, &QWidget::show);
    hide();
    window->show();
}
