#include "UpgradeWindow.h"

#include "Dialogs.h"
#include "ui_UpgradeWindow.h"

using namespace Qt::StringLiterals;

UpgradeWindow::UpgradeWindow(SettingsStore& settings, Dialogs& dialogs, Upgrade::Options options,
                             QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::UpgradeWindow>()), m_dialogs(dialogs),
      m_upgrade(new Upgrade(settings, std::move(options), this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->Command1, &QPushButton::clicked, this, &UpgradeWindow::onUpgradeClicked);
    connect(ui->Command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_upgrade, &Upgrade::statusChanged, this, &UpgradeWindow::onStatusChanged);
    connect(m_upgrade, &Upgrade::finished, this, &UpgradeWindow::onUpgradeFinished);
}

UpgradeWindow::~UpgradeWindow() = default;

void UpgradeWindow::onStatusChanged(const QString& status)
{
    ui->Status->setText(status);
}

void UpgradeWindow::onUpgradeClicked()
{
    ui->Command1->setEnabled(false);
    m_upgrade->start();
}

void UpgradeWindow::onUpgradeFinished(Upgrade::Ending ending)
{
    hide();
    switch (ending) {
    case Upgrade::Ending::Current:
        m_dialogs.inform(u"You have the most current version."_s, u"Orvanta"_s, Dialogs::Icon::Information);
        break;
    case Upgrade::Ending::Upgraded:
        m_dialogs.inform(u"The upgrade process has completed successfully!"_s, u"Orvanta Upgrade"_s,
                         Dialogs::Icon::Information);
        break;
    case Upgrade::Ending::CouldNotRegister:
        m_dialogs.inform(u"Could not register at this time, Please try again at another time."_s,
                         u"Orvanta Upgrade"_s, Dialogs::Icon::None);
        break;
    case Upgrade::Ending::Incomplete:
        break;
    }
    done(QDialog::Accepted);
}

void UpgradeWindow::done(int result)
{
    m_upgrade->cancel();
    if (!m_ended) {
        m_ended = true;
        emit ended();
    }
    QDialog::done(result);
}
