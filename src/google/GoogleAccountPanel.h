#pragma once

#include "GoogleConnection.h"
#include "Profile.h"

#include <QGroupBox>

#include <functional>
#include <memory>

class DesktopOpener;
class Dialogs;
class GoogleConnections;
class GoogleSignIn;
class ProfileStore;
class QComboBox;
class QLabel;
class QPushButton;

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
        GoogleConnections& google;
        std::function<Profile()> workingCopy; // its title names the profile
        std::function<int()> slot;            // where it is stored; 0 while it is not
    };
    // Set once by the page before the group is used.
    void setUp(const Context& context);
    // Shows how the profile stands with Google. What Google still answers for a profile shown
    // before is dropped.
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
    // The profile shown now, as a connection to Google is made for it.
    GoogleConnection::For shown() const;
    // A new connection for the profile shown, in place of the one before and its answers.
    GoogleConnection& connectAgain();

    std::unique_ptr<Context> m_context;
    std::unique_ptr<GoogleConnection> m_connection;
    GoogleSignIn* m_signIn = nullptr;
    QLabel* m_status;
    QPushButton* m_signInButton;
    QPushButton* m_serviceAccountButton;
    QPushButton* m_signOutButton;
    QComboBox* m_property;
    Profile m_profile; // as last shown
};
