#include "MainWindow.h"

#include "ChangedPagesRun.h"
#include "DesktopOpener.h"
#include "Dialogs.h"
#include "EngineSelectionPage.h"
#include "HistoryPage.h"
#include "HistoryStore.h"
#include "HttpTransferSlot.h"
#include "InstalledVersion.h"
#include "MetaBuilderPage.h"
#include "ProfilePage.h"
#include "ProfileStore.h"
#include "QuickSearchPage.h"
#include "RequestPreview.h"
#include "RequestPreviewDialog.h"
#include "RunPanel.h"
#include "RunRecorder.h"
#include "SubmissionRun.h"
#include "UpgradeWindow.h"
#include "ui_MainWindow.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QStyle>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_context(std::move(context)),
      m_catalogue(catalogue), m_profileStore(std::make_unique<ProfileStore>(m_context.settings))
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
    m_selectionPage = new EngineSelectionPage(m_catalogue, ui->subform);
    ui->subform->layout()->addWidget(m_selectionPage);

    // One network manager for the five transfer slots.
    auto* network = new QNetworkAccessManager(this);
    std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
    for (TransferSlot*& transfer : transfers)
        transfer = new HttpTransferSlot(*network, m_context.transferDeadline, this);
    m_run = new SubmissionRun(m_catalogue, transfers, m_context.paths.runLogFile(), m_context.clock, this);
    ui->statsform->layout()->addWidget(new RunPanel(*m_run, ui->statsform));
    connect(m_selectionPage, &EngineSelectionPage::submitRequested, this, &MainWindow::onSubmitClicked);
    connect(m_selectionPage, &EngineSelectionPage::previewRequested, this, &MainWindow::showRequestPreview);
    connect(m_selectionPage, &EngineSelectionPage::resubmitFailedRequested, this,
            [this] { m_selectionPage->replaceSelection(m_run->lastFailures()); });
    connect(m_run, &SubmissionRun::stopQuestionDue, this, &MainWindow::onStopQuestionDue);
    connect(m_run, &SubmissionRun::completed, this, &MainWindow::onRunCompleted);
    connect(m_run, &SubmissionRun::cancelled, this, &MainWindow::onRunCancelled);

    // Every run is recorded, from this window as from the command line.
    m_history = HistoryStore::open(m_context.paths.historyFile(), m_historyError);
    if (m_history)
        new RunRecorder(*m_run, *m_history, u"window"_s, m_context.clock, this);
    m_historyPage = new HistoryPage(m_history.get(), m_context.dialogs, ui->historyform);
    ui->historyform->layout()->addWidget(m_historyPage);
    connect(ui->Bhistory, &QAbstractButton::clicked, this, &MainWindow::openHistory);

    m_sitemapReader = new SitemapReader(*network, this);
    connect(m_sitemapReader, &SitemapReader::finished, this, &MainWindow::onSitemapsRead);
    m_summaryDue = new QTimer(this);
    m_summaryDue->setSingleShot(true);
    m_summaryDue->setInterval(250);
    connect(m_summaryDue, &QTimer::timeout, this, &MainWindow::showPagesSummary);
    connect(m_selectionPage, &EngineSelectionPage::pagesModeChanged, this, &MainWindow::onPagesModeChanged);
    connect(m_selectionPage, &EngineSelectionPage::selectionChanged, this, [this] {
        if (m_selectionPage->changedPagesChosen() && m_sitemaps)
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
    connect(ui->upgrade, &QAction::triggered, this, &MainWindow::openUpgradeWindow);
    connect(ui->exit, &QAction::triggered, this, &QWidget::close);

    showPage(ui->proform, u" Website and User Profile"_s);
    m_profilePage->loadProfiles();
    ui->Label27->setText(u"Orvanta Version "_s + InstalledVersion(m_context.settings).readOrRecordFirst());
}

MainWindow::~MainWindow() = default;

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
            showPage(ui->subform, u"Submission"_s);
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
    showPage(ui->subform, u" Submission"_s);
    m_selectionPage->showTotals();
}

void MainWindow::setNavigationLocked(bool locked)
{
    ui->fileMenu->menuAction()->setEnabled(!locked);
    ui->aboutMenu->menuAction()->setEnabled(!locked);
    for (QWidget* button : {ui->Bprofile, ui->Bsubmission, ui->Bmeta, ui->Bsearch, ui->Babout, ui->Bhistory})
        button->setEnabled(!locked);
}

void MainWindow::onSubmitClicked()
{
    if (!m_selectionPage->changedPagesChosen() || m_selectionPage->selection().selected().isEmpty()) {
        startRun(m_run->start(m_selectionPage->selection().selected(), profile()));
        return;
    }
    const QString title = u"Changed Pages"_s;
    const auto tell = [this, &title](const QString& text) {
        m_context.dialogs.inform(text, title, Dialogs::Icon::Information);
    };
    if (!m_history)
        return tell(m_historyError + u" Without it, what changed is not known."_s);
    if (m_sitemapReader->isRunning())
        return tell(
            u"The sitemaps are still being read. Submit again once the count shows under the choice."_s);
    if (!m_sitemaps || m_sitemapsAddress != profile().value(ProfileField::Url)) {
        readSitemaps();
        return tell(
            u"The sitemaps of the profile's address are being read. Submit again once the count shows "
            u"under the choice."_s);
    }
    if (!m_sitemaps->error.isEmpty())
        return tell(m_sitemaps->error);
    const auto pages = std::shared_ptr<const PageList>(m_sitemaps, &m_sitemaps->pages);
    const ChangedPagesRun plan =
        ChangedPagesRun::make(m_catalogue, m_selectionPage->selection().selectedRows(), pages, *m_history,
                              profile().title, m_context.clock().toMSecsSinceEpoch());
    if (plan.items.isEmpty())
        return tell(u"No page changed since the last run: there is nothing to send."_s);
    startRun(m_run->start(plan.items, profile()));
}

void MainWindow::startRun(bool started)
{
    if (!started) {
        m_context.dialogs.inform(u"Please select some engines to submit first."_s, u"No engines selected"_s,
                                 Dialogs::Icon::Warning);
        return;
    }
    m_selectionPage->replaceSelection({}); // the run has taken them
    setNavigationLocked(true);
    showPage(ui->statsform, QString()); // the title strip stays as it is
}

void MainWindow::onPagesModeChanged(bool changedPages)
{
    if (changedPages)
        readSitemaps();
    else
        m_selectionPage->showPagesSummary(QString());
}

void MainWindow::readSitemaps()
{
    m_sitemaps.reset();
    m_sitemapsAddress = profile().value(ProfileField::Url);
    m_selectionPage->showPagesSummary(u"Reading the sitemaps of %1…"_s.arg(m_sitemapsAddress));
    m_sitemapReader->start(m_sitemapsAddress);
}

void MainWindow::onSitemapsRead(const std::shared_ptr<SitemapReader::Result>& result)
{
    m_sitemaps = result;
    showPagesSummary();
}

void MainWindow::showPagesSummary()
{
    if (!m_sitemaps || !m_selectionPage->changedPagesChosen())
        return;
    const QString text = m_sitemaps->summary();
    if (!m_sitemaps->error.isEmpty()) {
        m_selectionPage->showPagesSummary(text);
        return;
    }
    if (!m_history) {
        m_selectionPage->showPagesSummary(text + u'\n' + m_historyError);
        return;
    }
    const auto pages = std::shared_ptr<const PageList>(m_sitemaps, &m_sitemaps->pages);
    const ChangedPagesRun plan =
        ChangedPagesRun::make(m_catalogue, m_selectionPage->selection().selectedRows(), pages, *m_history,
                              profile().title, m_context.clock().toMSecsSinceEpoch());
    const QStringList lines = plan.summary();
    m_selectionPage->showPagesSummary(text + u'\n' +
                                      (lines.isEmpty()
                                           ? u"Select an IndexNow site: only IndexNow sites take the pages."_s
                                           : lines.join(u'\n')));
}

void MainWindow::openHistory()
{
    if (!m_history)
        m_context.dialogs.inform(m_historyError, u"Run History"_s, Dialogs::Icon::Warning);
    m_historyPage->reload();
    showPage(ui->historyform, u" Run History"_s);
}

void MainWindow::onStopQuestionDue()
{
    const bool cancel = m_context.dialogs.askYesNo(u"Are you sure you want to cancel?"_s,
                                                   u"Cancel Submission"_s, Dialogs::Icon::Question);
    if (!cancel)
        m_closeWhenCancelled = false;
    m_run->answerStopQuestion(cancel);
}

void MainWindow::onRunCancelled()
{
    setNavigationLocked(false);
    showPagesSummary(); // what was sent is no longer changed
    openSelectionFromToolbar();
    m_selectionPage->setResubmitAvailable(!m_run->lastFailures().isEmpty());
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
    if (view)
        m_context.desktop.open(QUrl::fromLocalFile(m_run->logFile()));
    else
        m_run->discardLog();
    openSelectionFromToolbar();
    m_selectionPage->setResubmitAvailable(!m_run->lastFailures().isEmpty());
    showPagesSummary(); // what was sent is no longer changed
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_run->isRunning()) {
        event->accept();
        return;
    }
    // Closing during a run asks the run's own cancel question first, on its next tick; on Yes
    // the run is cancelled as Stop does it, and then the window closes.
    event->ignore();
    m_closeWhenCancelled = true;
    m_run->requestStop();
}

void MainWindow::showRequestPreview()
{
    QBuffer preview;
    preview.open(QIODevice::WriteOnly);
    RequestPreview::write(m_catalogue, m_selectionPage->selection().selectedRows(), profile(), preview);
    auto* dialog = new RequestPreviewDialog(QString::fromUtf8(preview.data()), this);
    dialog->setWindowIcon(windowIcon());
    dialog->show();
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
