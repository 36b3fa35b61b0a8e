#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A service account's key file as Google Cloud Console downloads it ("type": "service_account",
// "client_email", "private_key", "token_uri"), and the signed assertion (a JWT, RS256) that
// Google's token endpoint exchanges for an access token. The key is read when needed and never
// kept anywhere else.
class ServiceAccount
{
public:
    // No account and a sentence naming the file when it cannot be used.
    static ServiceAccount read(const QString& path, QString& error);
    static ServiceAccount parse(const QByteArray& json, QString& error);

    bool isValid() const { return !m_email.isEmpty(); }
    const QString& email() const { return m_email; }

    // header.claims.signature, each in base64url, valid for an hour from `now`; empty with a
    // sentence when the key cannot sign.
    QByteArray assertion(const QString& scope, const QString& audience, const QDateTime& now,
                         QString& error) const;

private:
    QString m_email;
    QByteArray m_privateKeyPem;
};
