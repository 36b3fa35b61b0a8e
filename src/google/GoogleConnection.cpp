#include "GoogleConnection.h"

#include "GoogleAccount.h"
#include "Profile.h"
#include "SearchConsole.h"

#include <QNetworkAccessManager>

GoogleConnection::GoogleConnection(QNetworkAccessManager& network, SecretStore& secrets,
                                   const Profile& profile, int slot)
    : m_for{slot, profile.title}, m_secrets(secrets)
{
    const GoogleEndpoints endpoints = GoogleEndpoints::fromEnvironment(m_problem);
    m_account =
        new GoogleAccount(network, endpoints, secrets, profile.title, profile.googleServiceAccount, this);
    m_console = new SearchConsole(network, endpoints, *m_account, this);
}

// The client goes before the account it uses.
GoogleConnection::~GoogleConnection()
{
    delete m_console;
}

GoogleConnections::GoogleConnections(const QString& secretsDirectory, SecretStore::Answers answers)
    : m_secretsDirectory(secretsDirectory), m_answers(answers),
      m_network(std::make_unique<QNetworkAccessManager>())
{}

GoogleConnections::~GoogleConnections() = default;

SecretStore& GoogleConnections::secrets()
{
    if (!m_secrets)
        m_secrets = std::make_unique<SecretStore>(m_secretsDirectory, m_answers);
    return *m_secrets;
}

std::unique_ptr<GoogleConnection> GoogleConnections::connect(const Profile& profile, int slot)
{
    return std::unique_ptr<GoogleConnection>(new GoogleConnection(*m_network, secrets(), profile, slot));
}
