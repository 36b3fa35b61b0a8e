#pragma once

#include "GoogleEndpoints.h"
#include "SecretStore.h"

#include <QObject>
#include <QString>

#include <memory>

class GoogleAccount;
class QNetworkAccessManager;
class SearchConsole;
struct Profile;

// One profile's way to Google, put together in one place and replaced as a unit: its account
// (the sign-in the secret store holds, or the service account the profile names) and the Search
// Console client that uses it. Every answer asked for through it ends with it: a connection
// given up, or made again for another profile, calls nobody back.
class GoogleConnection final : public QObject
{
    Q_OBJECT

public:
    // The profile it was made for, which its callers compare with the one they show now.
    struct For
    {
        int slot = 0; // where the profile is stored; 0 while it is not
        QString title;
        bool operator==(const For&) const = default;
    };

    ~GoogleConnection() override;

    const For& madeFor() const { return m_for; }
    GoogleAccount& account() { return *m_account; }
    SearchConsole& console() { return *m_console; }
    SecretStore& secrets() { return m_secrets; }
    // Why Google cannot be reached at all (an unusable address in the environment); empty when it can.
    const QString& problem() const { return m_problem; }

private:
    friend class GoogleConnections;
    GoogleConnection(QNetworkAccessManager& network, SecretStore& secrets, const Profile& profile, int slot);

    For m_for;
    SecretStore& m_secrets;
    QString m_problem;
    GoogleAccount* m_account;
    SearchConsole* m_console;
};

// Makes the program's connections to Google: one network and one secret store for all of them.
class GoogleConnections
{
public:
    GoogleConnections(const QString& secretsDirectory, SecretStore::Answers answers);
    ~GoogleConnections();
    GoogleConnections(const GoogleConnections&) = delete;
    GoogleConnections& operator=(const GoogleConnections&) = delete;

    // For the profile as it stands, stored at `slot`.
    std::unique_ptr<GoogleConnection> connect(const Profile& profile, int slot = 0);
    SecretStore& secrets();
    QNetworkAccessManager& network() { return *m_network; }

private:
    QString m_secretsDirectory;
    SecretStore::Answers m_answers;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<SecretStore> m_secrets; // found when Google is first needed: it takes a moment
};
