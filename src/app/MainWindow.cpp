#include "MainWindow.h"

#include "Dispatcher.h"
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
#include "UpdateServer.h"
#include "UpgradeWindow.h"
#include "ui_MainWindow.h"

#include <QIcon>
#include <QNetworkAccessManager>
#include <QStyle>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(AppContext context, SiteDatabase& catalogue, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_context(std::move(context)),
      m_catalogue(catalogue), m_profileStore(std::make_unique<ProfileStore>(m_context.settings))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    m_profilePage = new ProfilePage(*m_profileStore, m_context.dialogs, ui->proform);
    ui->proform->layout()->addWidget(m_profilePage);
    // Both top-level menus answer to one name and are told apart by their position.
    ui->fileMenu->setObjectName(u"about"_s);
    ui->aboutMenu->setObjectName(u"about"_s);

    ui->Bprofile->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui->Bsubmission->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ui->Bmeta->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui->Bsearch->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    ui->Babout->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));

    m_selectionPage = new EngineSelectionPage(m_catalogue, *m_profilePage, m_context.dialogs, ui->subform);
    ui->subform->layout()->addWidget(m_selectionPage);

    // One network manager for the five transfer slots, each named as its control always was.
    m_network = new QNetworkAccessManager(this);
    std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
    for (int k = 0; k < SubmissionRun::slotCount; ++k) {
        auto* transfer = new HttpTransferSlot(*m_network, m_context.transferDeadline, this);
        transfer->setObjectName(u"Inet%1"_s.arg(k + 2));
        transfers[size_t(k)] = transfer;
    }
    m_run = new SubmissionRun(
        {m_catalogue, *m_profilePage, *m_selectionPage, m_context.dialogs, m_context.desktop, *this},
        transfers, m_context.paths.runLogFile(), m_context.clock, this);
    m_dispatcher = new Dispatcher(*m_run, this);
    ui->statsform->layout()->addWidget(new RunPanel(*m_run, ui->statsform));
    connect(m_selectionPage, &EngineSelectionPage::submitRequested, m_run, &SubmissionRun::Submit);
    connect(m_selectionPage, &EngineSelectionPage::previewRequested, this, &MainWindow::showRequestPreview);
    connect(m_run, &SubmissionRun::completed, this,
            [this] { m_selectionPage->setResubmitAvailable(!m_run->lastRunFailures().isEmpty()); });
    connect(m_selectionPage, &EngineSelectionPage::resubmitFailedRequested, this,
            [this] { m_selectionPage->replaceSelection(m_run->lastRunFailures()); });

    ui->metaform->layout()->addWidget(new MetaBuilderPage(m_context.dialogs, ui->metaform));
    ui->searchform->layout()->addWidget(new QuickSearchPage(m_context.desktop, ui->searchform));

    connectPageSwitches();
    connect(ui->upgrade, &QAction::triggered, this, &MainWindow::openUpgradeWindow);
    connect(ui->exit, &QAction::triggered, this, &QWidget::close);
    Form_Load();
}

MainWindow::~MainWindow() = default;

const ProfileSource& MainWindow::profile() const
{
    return *m_profilePage;
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
    connect(ui->Bsubmission, &QAbstractButton::clicked, this, &MainWindow::reopenSelectionPage);
    connect(ui->sub, &QAction::triggered, this, [this] {
        if (m_selectionPage->checkProfile())
            showPage(ui->subform, u"Submission"_s);
    });
}

void MainWindow::hideform()
{
    for (QWidget* page :
         {ui->statsform, ui->proform, ui->subform, ui->metaform, ui->aboutform, ui->searchform})
        page->hide();
}

void MainWindow::showPage(QWidget* page, const QString& title)
{
    hideform();
    page->show();
    ui->Label47->setText(title);
}

void MainWindow::reopenSelectionPage()
{
    if (!m_selectionPage->prepareToolbarOpening())
        return;
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

void MainWindow::showRunPanel()
{
    hideform();
    ui->statsform->show();
}

void MainWindow::showSelectionPage()
{
    hideform();
    ui->subform->show();
}

void MainWindow::uncheckTypeFilters()
{
    m_selectionPage->uncheckTypeFilters();
}

void MainWindow::showRequestPreview()
{
    const QList<RequestPreview::Entry> entries =
        RequestPreview::build(m_catalogue, m_selectionPage->selection().selected(), *m_profilePage);
    auto* dialog = new RequestPreviewDialog(RequestPreview::format(entries), this);
    dialog->setWindowIcon(windowIcon());
    dialog->show();
}

void MainWindow::openUpgradeWindow()
{
    auto* window = new UpgradeWindow(m_context.settings, m_context.dialogs,
                                     {UpdateServer::defaultBase(), m_context.paths.upgradeFile()});
    window->setWindowIcon(windowIcon());
    connect(window, &UpgradeWindow::finished, this, &QWidget::show);
    hide();
    window->show();
}

void MainWindow::Form_Load()
{
    showPage(ui->proform, u" Website and User Profile"_s);
    m_profilePage->loadprofiles();
    ui->Label27->setText(u"Orvanta Version "_s + InstalledVersion(m_context.settings).readOrRecordFirst());
}
