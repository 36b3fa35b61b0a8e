#include "GoogleAccountPanel.h"

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "GoogleAccount.h"
#include "GoogleConnection.h"
#include "GoogleSignIn.h"
#include "ProfileStore.h"
#include "SearchConsole.h"
#include "ServiceAccount.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

GoogleAccountPanel::GoogleAccountPanel(QWidget* parent)
    : QGroupBox(u"Google Search Console"_s, parent), m_status(new QLabel(this)),
      m_signInButton(new QPushButton(u"Sign &in to Google\u2026"_s, this)),
      m_serviceAccountButton(new QPushButton(u"Service account &key\u2026"_s, this)),
      m_signOutButton(new QPushButton(u"Sign &out"_s, this)), m_property(new QComboBox(this))
{
    m_status->setObjectName(u"googleStatus"_s);
    m_status->setWordWrap(true);
    m_signInButton->setObjectName(u"googleSignIn"_s);
    m_signInButton->setToolTip(u"Sign in in your browser with your own OAuth client (a \"Desktop app\" "
                               u"client's JSON file from Google Cloud Console)"_s);
    m_serviceAccountButton->setObjectName(u"googleServiceAccount"_s);
    m_serviceAccountButton->setToolTip(u"Use a service account's JSON key file, for runs nobody watches"_s);
    m_signOutButton->setObjectName(u"googleSignOut"_s);
    m_property->setObjectName(u"googleProperty"_s);
    m_property->setAccessibleName(u"Search Console property"_s);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_status, 0, 0, 1, 3);
    layout->addWidget(m_signInButton, 1, 0);
    layout->addWidget(m_serviceAccountButton, 1, 1);
    layout->addWidget(m_signOutButton, 1, 2);
    auto* propertyLabel = new QLabel(u"P&roperty"_s, this);
    propertyLabel->setBuddy(m_property);
    layout->addWidget(propertyLabel, 2, 0);
    layout->addWidget(m_property, 2, 1, 1, 2);
    connect(m_signInButton, &QPushButton::clicked, this, &GoogleAccountPanel::onSignInClicked);
    connect(m_serviceAccountButton, &QPushButton::clicked, this,
            &GoogleAccountPanel::onServiceAccountClicked);
    connect(m_signOutButton, &QPushButton::clicked, this, &GoogleAccountPanel::onSignOutClicked);
    connect(m_property, &QComboBox::activated, this, &GoogleAccountPanel::onPropertyPicked);
}

GoogleAccountPanel::~GoogleAccountPanel() = default;

void GoogleAccountPanel::setUp(const Context& context)
{
    m_context = std::make_unique<Context>(context);
}

GoogleConnection::For GoogleAccountPanel::shown() const
{
    return {m_context->slot(), m_context->workingCopy().title};
}

GoogleConnection& GoogleAccountPanel::connectAgain()
{
    m_connection = m_context->google.connect(m_profile, m_context->slot());
    if (!m_connection->problem().isEmpty())
        say(m_connection->problem());
    return *m_connection;
}

void GoogleAccountPanel::showProfile(const Profile& profile)
{
    if (m_context && (!m_connection || m_connection->madeFor() != shown())) {
        // Another profile: nothing asked for the one before may land in this one's place.
        m_connection.reset();
        delete m_signIn;
        m_signIn = nullptr;
    }
    m_profile = profile;
    m_property->clear();
    if (!profile.googleProperty.isEmpty())
        m_property->addItem(profile.googleProperty);
    const bool stored = m_context && m_context->slot() != 0;
    m_signInButton->setEnabled(stored);
    m_serviceAccountButton->setEnabled(stored);
    showSignedIn();
    if (!stored) {
        say(u"Save the profile to sign it in to Google."_s);
        return;
    }
    // The secret store is asked only once the user works with Google, not for every profile shown.
    if (!profile.googleServiceAccount.isEmpty())
        say(u"Uses the service account key %1."_s.arg(profile.googleServiceAccount));
    else if (!profile.googleProperty.isEmpty())
        say(u"Signed in to Google."_s);
    else
        say(u"Not signed in to Google."_s);
}

void GoogleAccountPanel::showSignedIn()
{
    // Known from the profile, without asking the secret store: a sign-in leaves a property or a key.
    const bool stored = m_context && m_context->slot() != 0;
    m_signOutButton->setEnabled(
        stored && (!m_profile.googleProperty.isEmpty() || !m_profile.googleServiceAccount.isEmpty()));
    m_property->setEnabled(stored && m_property->count() > 0);
}

void GoogleAccountPanel::say(const QString& status)
{
    m_status->setText(status);
}

bool GoogleAccountPanel::keep(const QString& property, const QString& serviceAccount)
{
    if (!m_context->store.saveGoogle(m_context->slot(), property, serviceAccount)) {
        m_context->dialogs.inform(
            u"The settings file \"%1\" cannot be written."_s.arg(m_context->store.fileName()),
            u"Google Search Console"_s, Dialogs::Icon::Critical);
        return false;
    }
    m_profile.googleProperty = property;
    m_profile.googleServiceAccount = serviceAccount;
    showSignedIn();
    emit googleChanged(property, serviceAccount);
    return true;
}

void GoogleAccountPanel::onSignInClicked()
{
    const QString path =
        m_context->dialogs.openFileName(u"Your OAuth client's JSON file"_s, u"JSON files (*.json)"_s);
    if (path.isEmpty())
        return;
    QString error;
    const OAuthClientFile client = OAuthClientFile::read(path, error);
    const GoogleEndpoints endpoints = GoogleEndpoints::fromEnvironment(error);
    if (!error.isEmpty()) {
        m_context->dialogs.inform(error, u"Google Search Console"_s, Dialogs::Icon::Warning);
        return;
    }
    delete m_signIn;
    m_signIn = new GoogleSignIn(m_context->google.network(), endpoints, client, this);
    connect(m_signIn, &GoogleSignIn::openBrowser, this, [this](const QUrl& address) {
        say(u"Sign in in your browser; Orvanta waits for Google's answer."_s);
        m_context->desktop.open(address);
    });
    connect(m_signIn, &GoogleSignIn::finished, this,
            [this](const GoogleCredentials& credentials, const QString& why) {
                m_signIn->deleteLater();
                m_signIn = nullptr;
                if (!why.isEmpty())
                    return say(why);
                // Kept as a person's sign-in: a service account named before gives way to it.
                m_profile.googleServiceAccount.clear();
                GoogleConnection& connection = connectAgain();
                connection.account().keep(credentials, [this](const QString& error) {
                    if (!error.isEmpty())
                        return say(error);
                    if (keep(m_profile.googleProperty, QString()))
                        findProperty();
                });
            });
    if (!m_signIn->start(error))
        say(error);
}

void GoogleAccountPanel::onServiceAccountClicked()
{
    const QString path =
        m_context->dialogs.openFileName(u"A service account's JSON key file"_s, u"JSON files (*.json)"_s);
    if (path.isEmpty())
        return;
    QString error;
    if (!ServiceAccount::read(path, error).isValid()) {
        m_context->dialogs.inform(error, u"Google Search Console"_s, Dialogs::Icon::Warning);
        return;
    }
    // One way in at a time: a person's sign-in gives way to the service account.
    const GoogleConnection::For made = shown();
    m_context->google.secrets().remove(
        GoogleAccount::secretKey(m_profile.title), this,
        [this, made, key = QFileInfo(path).absoluteFilePath()](bool, const QString&) {
            if (made != shown() || !keep(m_profile.googleProperty, key))
                return; // another profile is shown now
            connectAgain();
            findProperty();
        });
}

void GoogleAccountPanel::findProperty()
{
    say(u"Asking Google for the account's Search Console properties\u2026"_s);
    const QString website = m_context->workingCopy().value(ProfileField::Url);
    m_connection->console().listProperties([this, website](const GoogleAnswer& answer) {
        if (!answer.ok()) {
            say(answer.message);
            return;
        }
        const QList<GoogleProperty> properties = GoogleProperty::listFrom(answer.body);
        const QString matched = GoogleProperty::match(website, properties);
        m_property->clear();
        for (const GoogleProperty& property : properties)
            m_property->addItem(property.siteUrl);
        m_property->setCurrentIndex(m_property->findText(matched));
        showSignedIn();
        if (matched.isEmpty()) {
            say(u"%1. None of the account's properties covers the website: pick one, or add the website in "
                u"Search Console."_s.arg(m_connection->account().describe()));
            return;
        }
        if (keep(matched, m_profile.googleServiceAccount))
            say(u"%1; property %2. Tokens are kept in %3."_s.arg(m_connection->account().describe(), matched,
                                                                 m_connection->secrets().description()));
    });
}

void GoogleAccountPanel::onPropertyPicked(int index)
{
    if (index >= 0)
        keep(m_property->itemText(index), m_profile.googleServiceAccount);
}

void GoogleAccountPanel::onSignOutClicked()
{
    GoogleAccount& account = connectAgain().account();
    account.load([this, &account](const QString& error) {
        if (!error.isEmpty())
            return say(error);
        if (!account.isSignedIn())
            return say(u"Not signed in to Google."_s);
        account.signOut([this](const QString& error) {
            keep(QString(), QString());
            m_property->clear();
            say(error.isEmpty() ? u"Signed out of Google."_s
                                : u"The sign-in is forgotten, but %1"_s.arg(error));
        });
    });
}
