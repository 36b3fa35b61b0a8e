#pragma once

#include "Profile.h"

#include <QWidget>

#include <memory>

class GoogleConnection;
class GoogleConnections;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The history's Google tab: what Search Console last said of the profile's sitemaps (downloaded
// when, pending, pages, errors, warnings), as the history keeps it, and "Refresh from Google" to
// ask again and keep the answer.
class GoogleStatusPage final : public QWidget
{
    Q_OBJECT

public:
    GoogleStatusPage(QString historyFile, GoogleConnections& google, QWidget* parent = nullptr);
    ~GoogleStatusPage() override;

    // What Google still answers for a profile shown before is dropped, never kept as this one's.
    void showProfile(const Profile& profile);

private:
    void onRefreshClicked();
    void showStored();

    QString m_historyFile;
    GoogleConnections& m_google;
    Profile m_profile;
    std::unique_ptr<GoogleConnection> m_connection; // made for m_profile by Refresh
    QLabel* m_status;
    QPlainTextEdit* m_sitemaps;
    QPushButton* m_refresh;
    bool m_asking = false; // Google is being asked, or its answer written (for m_profile)
};
