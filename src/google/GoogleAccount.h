#pragma once

#include "GoogleCredentials.h"
#include "GoogleEndpoints.h"

#include <QObject>
#include <QString>

#include <functional>

class QJsonObject;
class QNetworkAccessManager;
class SecretStore;
struct FetchRequest;
struct FetchResult;

// One profile's way into Search Console: its credentials (a person's tokens from the secret
// store, or the service account whose key file the profile names) and fresh access tokens made
// from them when needed: a refresh token exchanged, or a new signed assertion. Tokens stay in
// this object and the secret store; messages never carry one.
class GoogleAccount final : public QObject
{
    Q_OBJECT

public:
    GoogleAccount(QNetworkAccessManager& network, const GoogleEndpoints& endpoints, SecretStore& secrets,
                  const QString& profileTitle, const QString& serviceAccountFile, QObject* parent = nullptr);

    static inline const QString scope = QStringLiteral("https://www.googleapis.com/auth/webmasters");

    using Done = std::function<void(const QString& error)>;
    // Reads what the secret store holds for the profile; `error` says when it failed. Every
    // callback of this object ends with it.
    void load(const Done& done);
    const GoogleCredentials& credentials() const { return m_credentials; }
    bool isSignedIn() const { return m_credentials.isSignedIn(); }
    // "signed in with its own OAuth client" or "as the service account x@y".
    QString describe() const;

    // Keeps a person's sign-in in the secret store (replacing the profile's earlier one).
    void keep(const GoogleCredentials& credentials, const Done& done);
    // Uses these credentials for now, whatever the store holds, without keeping them anywhere
    // (a new sign-in, tried first).
    void use(const GoogleCredentials& credentials)
    {
        m_credentials = credentials;
        m_loaded = true;
    }

    using TokenCallback = std::function<void(const QString& token, const QString& error, bool signInAgain)>;
    // A token that is good for a while, fetched first when the one held has expired (and the
    // sign-in read from the store first when it has not been).
    void withToken(const TokenCallback& callback);
    // The held token was refused (401): the next withToken() fetches a new one.
    void forgetAccessToken() { m_credentials.accessToken.clear(); }

    // Revokes the token at Google and forgets the sign-in; the forgetting happens whatever
    // Google answers, and `error` says when the revocation failed.
    void signOut(const Done& callback);
    // Revokes the token at Google only: a sign-in tried and not kept.
    void revoke(const Done& callback);

    static QString secretKey(const QString& profileTitle) { return QStringLiteral("google:") + profileTitle; }

private:
    void fetchToken(const QByteArray& form, const TokenCallback& callback);

    QNetworkAccessManager& m_network;
    GoogleEndpoints m_endpoints;
    SecretStore& m_secrets;
    QString m_profileTitle;
    GoogleCredentials m_credentials;
    bool m_loaded = false;
};

// One request to Google, bounded as its answers are, run to its end without blocking; the
// callback gets the result, and never once `context` is gone.
void askGoogle(QNetworkAccessManager& network, const FetchRequest& request, QObject* context,
               const std::function<void(const FetchResult&)>& done);
// The same for a form posted to one of Google's OAuth services, and a value written into it.
void postForm(QNetworkAccessManager& network, const QUrl& url, const QByteArray& form, QObject* context,
              const std::function<void(const FetchResult&)>& done);
QByteArray formValue(const QString& value);
// Why an OAuth service refused (its answer and status), in its own words, on one line.
QString oauthRefusal(const QJsonObject& answer, int status);
