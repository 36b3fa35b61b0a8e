#pragma once

#include "Profile.h"

#include <QGroupBox>

#include <functional>
#include <memory>

class DesktopOpener;
class Dialogs;
class GoogleAccount;
class GoogleSignIn;
class ProfileStore;
class QComboBox;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class SearchConsole;
class SecretStore;

// The profile page's "Google Search Console" group: sign the stored profile in (with the
// user's own OAuth client in the browser, or with a service account's key file), sign it out,
// pick the Search Console property that covers its website, and a line that says how it stands
// and where its tokens are kept. What it changes is stored at once, like the tokens themselves.
class GoogleAccountPanel final : public QGroupBox
{
    Q_OBJECT

public:
    explicit GoogleAccountPanel(QWidget* parent = nullptr);
    ~GoogleAccountPanel() override;

    struct Context
    {
        Dialogs& dialogs;
        DesktopOpener& desktop;
        ProfileStore& store;
        QString secretsDirectory;
        std::function<Profile()> workingCopy; // its title names the profile
        std::function<int()> slot;            // where it is stored; 0 while it is not
    };
    // Set once by the page before the group is used.
    void setUp(const Context& context);
    // Shows how the profile stands with Google.
    void showProfile(const Profile& profile);

signals:
    // The property or the service account changed, and is stored.
    void googleChanged(const QString& property, const QString& serviceAccount);

private:
    void onSignInClicked();
    void onServiceAccountClicked();
    void onSignOutClicked();
    void onPropertyPicked(int index);
    // Lists the account's properties, picks the one that covers the website, and keeps it.
    void findProperty();
    bool keep(const QString& property, const QString& serviceAccount);
    void say(const QString& status);
    // Sign out and the property list as the profile's sign-in allows them.
    void showSignedIn();
    SecretStore& secrets();
    std::unique_ptr<GoogleAccount> account(const Profile& profile);

    std::unique_ptr<Context> m_context;
    QNetworkAccessManager* m_network;
    std::unique_ptr<SecretStore> m_secrets;
    std::unique_ptr<GoogleAccount> m_account;
    std::unique_ptr<SearchConsole> m_console;
    GoogleSignIn* m_signIn = nullptr;
    QLabel* m_status;
    QPushButton* m_signInButton;
    QPushButton* m_serviceAccountButton;
    QPushButton* m_signOutButton;
    QComboBox* m_property;
    Profile m_profile; // as last shown
};
