#include "MainWindow.h"

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "EngineSelectionPage.h"
#include "HttpTransferSlot.h"
#include "InstalledVersion.h"
#include "MetaBuilderPage.h"
#include "ProfilePage.h"
#include "ProfileStore.h"
#include "QuickSearchPage.h"
#include "RequestPreview.h"
#include "RequestPreviewDialog.h"
#include "RunPanel.h"
#include "SubmissionRun.h"
#include "UpgradeWindow.h"
#include "ui_MainWindow.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QStyle>
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
    for (QWidget* page :
         {ui->statsform, ui->proform, ui->subform, ui->metaform, ui->aboutform, ui->searchform})
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
    for (QWidget* button : {ui->Bprofile, ui->Bsubmission, ui->Bmeta, ui->Bsearch, ui->Babout})
        button->setEnabled(!locked);
}

void MainWindow::onSubmitClicked()
{
    if (!m_run->start(m_selectionPage->selection().selected(), profile())) {
        m_context.dialogs.inform(u"Please select some engines to submit first."_s, u"No engines selected"_s,
                                 Dialogs::Icon::Warning);
        return;
    }
    m_selectionPage->replaceSelection({}); // the run has taken them
    setNavigationLocked(true);
    showPage(ui->statsform, QString()); // the title strip stays as it is
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
