#pragma once

#include <QUrl>
#include <QWidget>

#include <chrono>
#include <memory>

class Dialogs;
class QNetworkAccessManager;
class SettingsStore;

namespace Ui {
class UpgradeWindow;
}

// The upgrade window: asks the update server whether a newer version exists and, if so,
// downloads it as "orvd.upg" and records the new version number. Every ending closes the
// window and emits finished(), on which the main window shows itself again.
class UpgradeWindow final : public QWidget
{
    Q_OBJECT

public:
    struct Options
    {
        QUrl server;
        QString downloadFile; // "orvd.upg" in the program's home directory
        std::chrono::milliseconds timeout = std::chrono::seconds(60);
    };

    UpgradeWindow(SettingsStore& settings, Dialogs& dialogs, Options options, QWidget* parent = nullptr);
    ~UpgradeWindow() override;

    void Command1_Click();
    void Command2_Click();

signals:
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setStatus(const QString& status);
    void endWith(const QString& message, const QString& title, int icon);
    void couldNotRegister();
    bool download(const QString& address);

    std::unique_ptr<Ui::UpgradeWindow> ui;
    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    Options m_options;
    QNetworkAccessManager* m_network;
    bool m_finished = false;
};
