#include "GoogleAccount.h"

#include "HttpFetch.h"
#include "SecretStore.h"
#include "ServiceAccount.h"
#include "Wording.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

// Google's answers are small JSON documents; anything larger is not one of them.
constexpr qint64 largestAnswer = 4 * 1024 * 1024;

} // namespace

QByteArray formValue(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

void postForm(QNetworkAccessManager& network, const QUrl& url, const QByteArray& form, QObject* context,
              const std::function<void(const FetchResult&)>& done)
{
    FetchRequest request;
    request.url = url;
    request.post = true;
    request.body = form;
    request.contentType = "application/x-www-form-urlencoded";
    askGoogle(network, request, context, done);
}

QString oauthRefusal(const QJsonObject& answer, int status)
{
    // invalid_grant and the like come with a description; the code alone, or the status, else.
    QString reason = oneLine(answer.value(u"error_description"_s).toString());
    if (reason.isEmpty())
        reason = oneLine(answer.value(u"error"_s).toString());
    return reason.isEmpty() ? u"HTTP %1"_s.arg(status) : reason;
}

void askGoogle(QNetworkAccessManager& network, const FetchRequest& request, QObject* context,
               const std::function<void(const FetchResult&)>& done)
{
    FetchRequest bounded = request;
    bounded.keepBytes = largestAnswer;
    bounded.maxBytes = largestAnswer;
    bounded.carriesCredentials = true; // every request to Google carries a token, a code or a secret
    HttpFetch::once(network, bounded, context, done);
}

GoogleAccount::GoogleAccount(QNetworkAccessManager& network, const GoogleEndpoints& endpoints,
                             SecretStore& secrets, const QString& profileTitle,
                             const QString& serviceAccountFile, QObject* parent)
    : QObject(parent), m_network(network), m_endpoints(endpoints), m_secrets(secrets),
      m_profileTitle(profileTitle)
{
    if (!serviceAccountFile.isEmpty()) {
        m_credentials.kind = GoogleCredentials::Kind::ServiceAccount;
        m_credentials.serviceAccountFile = serviceAccountFile;
    }
}

void GoogleAccount::load(const Done& done)
{
    m_secrets.read(secretKey(m_profileTitle), this,
                   [this, done](const QByteArray& stored, const QString& error) {
                       if (!error.isEmpty())
                           return done(error);
                       m_loaded = true;
                       // A person's sign-in counts before a service account named in the profile.
                       const GoogleCredentials user = GoogleCredentials::fromJson(stored);
                       if (user.kind == GoogleCredentials::Kind::User)
                           m_credentials = user;
                       done({});
                   });
}

QString GoogleAccount::describe() const
{
    switch (m_credentials.kind) {
    case GoogleCredentials::Kind::User:
        return u"signed in to Google with your own OAuth client"_s;
    case GoogleCredentials::Kind::ServiceAccount:
        return u"using the service account key %1"_s.arg(m_credentials.serviceAccountFile);
    case GoogleCredentials::Kind::None:
        break;
    }
    return u"not signed in to Google"_s;
}

void GoogleAccount::keep(const GoogleCredentials& credentials, const Done& done)
{
    m_secrets.write(secretKey(m_profileTitle), credentials.toJson(), this,
                    [this, credentials, done](bool written, const QString& error) {
                        if (written) {
                            m_credentials = credentials;
                            m_loaded = true;
                        }
                        done(written ? QString() : error);
                    });
}

void GoogleAccount::withToken(const TokenCallback& callback)
{
    if (!m_loaded && !m_credentials.hasFreshAccessToken(QDateTime::currentDateTimeUtc())) {
        load([this, callback](const QString& error) {
            if (!error.isEmpty())
                callback({}, error, true);
            else
                withToken(callback);
        });
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_credentials.hasFreshAccessToken(now)) {
        callback(m_credentials.accessToken, {}, false);
        return;
    }
    switch (m_credentials.kind) {
    case GoogleCredentials::Kind::None:
        callback({}, u"Nobody is signed in to Google for the profile \"%1\"."_s.arg(m_profileTitle), true);
        return;
    case GoogleCredentials::Kind::User:
        fetchToken("grant_type=refresh_token&refresh_token=" + formValue(m_credentials.refreshToken) +
                       "&client_id=" + formValue(m_credentials.clientId) +
                       "&client_secret=" + formValue(m_credentials.clientSecret),
                   callback);
        return;
    case GoogleCredentials::Kind::ServiceAccount: {
        QString error;
        const ServiceAccount account = ServiceAccount::read(m_credentials.serviceAccountFile, error);
        const QByteArray assertion = account.isValid()
                                         ? account.assertion(scope, m_endpoints.token.toString(), now, error)
                                         : QByteArray();
        if (assertion.isEmpty()) {
            callback({}, error, true);
            return;
        }
        fetchToken("grant_type=" + formValue(u"urn:ietf:params:oauth:grant-type:jwt-bearer"_s) +
                       "&assertion=" + assertion,
                   callback);
        return;
    }
    }
}

void GoogleAccount::fetchToken(const QByteArray& form, const TokenCallback& callback)
{
    postForm(m_network, m_endpoints.token, form, this, [this, callback](const FetchResult& result) {
        const QJsonObject answer = QJsonDocument::fromJson(result.body).object();
        const QString token = answer.value(u"access_token"_s).toString();
        if (!result.complete) {
            callback({}, u"Google's token service could not be reached: %1"_s.arg(result.error), false);
            return;
        }
        if (result.status != 200 || token.isEmpty()) {
            // invalid_grant: the refresh token was revoked or expired, or the key was deleted.
            callback({},
                     u"Google no longer accepts this sign-in (%1): sign in again."_s.arg(
                         oauthRefusal(answer, result.status)),
                     true);
            return;
        }
        m_credentials.accessToken = token;
        m_credentials.accessTokenExpires =
            QDateTime::currentDateTimeUtc().addSecs(answer.value(u"expires_in"_s).toInteger(3600));
        // A person's fresh token is kept, so the next command need not fetch one; a service
        // account's is made again from its key each time. Kept only while the same sign-in is
        // stored: a sign-out that came meanwhile wins.
        if (m_credentials.kind != GoogleCredentials::Kind::User)
            return callback(token, {}, false);
        m_secrets.replace(
            secretKey(m_profileTitle), m_credentials.toJson(),
            [refresh = m_credentials.refreshToken](const QByteArray& stored) {
                return GoogleCredentials::fromJson(stored).refreshToken == refresh;
            },
            this, [callback, token](bool, const QString&) { callback(token, {}, false); });
    });
}

void GoogleAccount::signOut(const Done& callback)
{
    if (m_credentials.kind != GoogleCredentials::Kind::User)
        return revoke(callback);
    m_secrets.remove(secretKey(m_profileTitle), this, [this, callback](bool, const QString& error) {
        revoke([callback, error](const QString& revocationError) {
            callback(error.isEmpty() ? revocationError : error);
        });
    });
}

void GoogleAccount::revoke(const Done& callback)
{
    const QString token =
        m_credentials.refreshToken.isEmpty() ? m_credentials.accessToken : m_credentials.refreshToken;
    m_credentials = GoogleCredentials();
    if (token.isEmpty()) {
        callback({});
        return;
    }
    postForm(m_network, m_endpoints.revocation, "token=" + formValue(token), this,
             [callback](const FetchResult& result) {
                 if (!result.complete)
                     callback(u"Google's revocation service could not be reached: %1"_s.arg(result.error));
                 else if (result.status != 200)
                     callback(u"Google did not revoke the token (HTTP %1)."_s.arg(result.status));
                 else
                     callback({});
             });
}
