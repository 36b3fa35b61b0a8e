#pragma once

#include "Profile.h"

#include <QWidget>

#include <memory>

class GoogleAccount;
class QLabel;
class QNetworkAccessManager;
class QPlainTextEdit;
class QPushButton;
class SearchConsole;
class SecretStore;

// The history's Google tab: what Search Console last said of the profile's sitemaps (downloaded
// when, pending, pages, errors, warnings), as the history keeps it, and "Refresh from Google" to
// ask again and keep the answer.
class GoogleStatusPage final : public QWidget
{
    Q_OBJECT

public:
    GoogleStatusPage(QString historyFile, QString secretsDirectory, QWidget* parent = nullptr);
    ~GoogleStatusPage() override;

    void showProfile(const Profile& profile);

private:
    void onRefreshClicked();
    void showStored();

    QString m_historyFile;
    QString m_secretsDirectory;
    Profile m_profile;
    QNetworkAccessManager* m_network;
    std::unique_ptr<SecretStore> m_secrets;
    std::unique_ptr<GoogleAccount> m_account;
    std::unique_ptr<SearchConsole> m_console;
    QLabel* m_status;
    QPlainTextEdit* m_sitemaps;
    QPushButton* m_refresh;
    bool m_asking = false; // Google is being asked, or its answer written
};
