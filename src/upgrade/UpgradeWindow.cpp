#include "UpgradeWindow.h"

#include "Dialogs.h"
#include "InstalledVersion.h"
#include "UpdateReply.h"
#include "UpdateServer.h"
#include "ui_UpgradeWindow.h"

#include <QCloseEvent>
#include <QNetworkAccessManager>
#include <QSaveFile>

using namespace Qt::StringLiterals;

UpgradeWindow::UpgradeWindow(SettingsStore& settings, Dialogs& dialogs, Options options, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::UpgradeWindow>()), m_settings(settings),
      m_dialogs(dialogs), m_options(std::move(options)), m_network(new QNetworkAccessManager(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->Command1, &QPushButton::clicked, this, &UpgradeWindow::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &UpgradeWindow::Command2_Click);
}

UpgradeWindow::~UpgradeWindow() = default;

void UpgradeWindow::setStatus(const QString& status)
{
    ui->Status->setText(status);
    ui->Status->repaint();
}

void UpgradeWindow::Command2_Click()
{
    close();
}

void UpgradeWindow::closeEvent(QCloseEvent* event)
{
    // The close control leaves the window as Cancel does: the main window comes back.
    if (!m_finished) {
        m_finished = true;
        emit finished();
    }
    event->accept();
}

void UpgradeWindow::endWith(const QString& message, const QString& title, int icon)
{
    hide();
    m_dialogs.inform(message, title, Dialogs::Icon(icon));
    close();
}

void UpgradeWindow::couldNotRegister()
{
    endWith(u"Could not register at this time, Please try again at another time."_s, u"Orvanta Upgrade"_s,
            int(Dialogs::Icon::None));
}

void UpgradeWindow::Command1_Click()
{
    ui->Command1->setEnabled(false);
    const UpdateServer server(*m_network, m_options.server, m_options.timeout);
    setStatus(u"Upgrade Status: connecting to "_s + server.host());

    const UpdateServer::Result answer = server.fetch(server.checkUrl(InstalledVersion(m_settings).read()));
    if (!answer.ok) {
        couldNotRegister();
        return;
    }
    ui->returndata->setText(QString::fromUtf8(answer.body));
    const UpdateReply reply = UpdateReply::parse(ui->returndata->text());
    switch (reply.kind) {
    case UpdateReply::Kind::Current:
        endWith(u"You have the most current version."_s, u"Orvanta"_s, int(Dialogs::Icon::Information));
        return;
    case UpdateReply::Kind::Unrecognised:
        couldNotRegister();
        return;
    case UpdateReply::Kind::NewerAvailable:
        break;
    }

    setStatus(u"Upgrade Status: incoming data"_s);
    if (!reply.complete) {
        close(); // a reply without its fields ends quietly
        return;
    }
    setStatus(u"Downloading upgrade (One moment please)"_s);
    if (!download(reply.path)) {
        couldNotRegister();
        return;
    }
    setStatus(u"Patching"_s);
    setStatus(u"Done"_s);
    // Only once the file is complete does the new number count as installed.
    InstalledVersion(m_settings).store(reply.version);
    endWith(u"The upgrade process has completed successfully!"_s, u"Orvanta Upgrade"_s,
            int(Dialogs::Icon::Information));
}

bool UpgradeWindow::download(const QString& address)
{
    const QUrl url(address); // tolerant: characters a URL cannot carry are escaped
    if (address.isEmpty() || !url.isValid())
        return false;
    // Written beside the old file and put in its place only when complete.
    QSaveFile file(m_options.downloadFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const UpdateServer server(*m_network, m_options.server, m_options.timeout);
    if (!server.fetch(url, &file).ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
