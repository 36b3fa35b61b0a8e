#pragma once

#include "Upgrade.h"

#include <QDialog>

#include <memory>

class Dialogs;
class SettingsStore;

namespace Ui {
class UpgradeWindow;
}

// The upgrade window: shows the steps of an Upgrade and its ending. Cancel, Escape and the close
// control end it at any time, a request in flight included; every ending reports ended() once,
// on which the main window shows itself again.
class UpgradeWindow final : public QDialog
{
    Q_OBJECT

public:
    UpgradeWindow(SettingsStore& settings, Dialogs& dialogs, Upgrade::Options options,
                  QWidget* parent = nullptr);
    ~UpgradeWindow() override;

    void done(int result) override;

signals:
    void ended();

private:
    void onUpgradeClicked();
    void onStatusChanged(const QString& status);
    void onUpgradeFinished(Upgrade::Ending ending);

    std::unique_ptr<Ui::UpgradeWindow> ui;
    Dialogs& m_dialogs;
    Upgrade* m_upgrade;
    bool m_ended = false;
};
