#include "GoogleSignIn.h"

#include "GoogleAccount.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray randomVerifier()
{
    // 64 random bytes: 86 characters, within the 43 to 128 RFC 7636 allows.
    QByteArray bytes(64, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes.toBase64(base64url);
}

} // namespace

GoogleSignIn::GoogleSignIn(QNetworkAccessManager& network, const GoogleEndpoints& endpoints,
                           const OAuthClientFile& client, QObject* parent)
    : QObject(parent), m_client(client), m_flow(new QOAuth2AuthorizationCodeFlow(&network, this)),
      m_handler(new QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0, this)),
      m_verifier(randomVerifier())
{
    m_flow->setAuthorizationUrl(endpoints.authorization);
    m_flow->setAccessTokenUrl(endpoints.token);
    m_flow->setClientIdentifier(client.clientId);
    m_flow->setClientIdentifierSharedKey(client.clientSecret);
    m_flow->setScope(GoogleAccount::scope);
    m_flow->setReplyHandler(m_handler);
    m_handler->setCallbackText(u"Orvanta is signed in to Google. You may close this page."_s);
    m_flow->setModifyParametersFunction(
        [this](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
            if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
                parameters->insert(u"code_challenge"_s, QString::fromLatin1(challengeOf(m_verifier)));
                parameters->insert(u"code_challenge_method"_s, u"S256"_s);
            } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
                parameters->insert(u"code_verifier"_s, QString::fromLatin1(m_verifier));
                // Qt hands the code on still escaped as the redirect carried it ("4%2F0A…"); the token
                // endpoint wants the code itself, and the form encoding escapes it once.
                const QString code = parameters->value(u"code"_s).toString();
                parameters->replace(u"code"_s, QUrl::fromPercentEncoding(code.toLatin1()));
            }
        });
    connect(m_flow, &QAbstractOAuth::authorizeWithBrowser, this, &GoogleSignIn::openBrowser);
    connect(m_flow, &QAbstractOAuth::granted, this, [this] {
        GoogleCredentials credentials;
        credentials.kind = GoogleCredentials::Kind::User;
        credentials.clientId = m_client.clientId;
        credentials.clientSecret = m_client.clientSecret;
        credentials.accessToken = m_flow->token();
        credentials.refreshToken = m_flow->refreshToken();
        credentials.accessTokenExpires = m_flow->expirationAt().toUTC();
        finish(credentials, {});
    });
    connect(m_flow, &QAbstractOAuth2::error, this, [this](const QString& error, const QString& description) {
        finish({}, u"Google did not sign you in: %1."_s.arg(description.isEmpty() ? error : description));
    });
    connect(m_flow, &QAbstractOAuth::requestFailed, this,
            [this] { finish({}, u"Google's token service did not give a token for the sign-in."_s); });
    // Qt only warns when the token endpoint refuses the code; the refusal must end the sign-in,
    // in Google's words, rather than leave it waiting.
    const QUrl tokenUrl = endpoints.token;
    connect(&network, &QNetworkAccessManager::finished, this, [this, tokenUrl](QNetworkReply* reply) {
        if (reply->url() != tokenUrl || reply->error() == QNetworkReply::NoError)
            return;
        const QJsonObject answer = QJsonDocument::fromJson(reply->read(64 * 1024)).object();
        QString reason = answer.value(u"error_description"_s).toString();
        if (reason.isEmpty())
            reason = reply->errorString();
        if (reason.endsWith(u'.'))
            reason.chop(1);
        finish({}, u"Google refused the sign-in: %1."_s.arg(reason));
    });
    m_patience.setSingleShot(true);
    m_patience.setInterval(5min);
    connect(&m_patience, &QTimer::timeout, this,
            [this] { finish({}, u"Nobody finished signing in to Google in time."_s); });
}

GoogleSignIn::~GoogleSignIn() = default;

bool GoogleSignIn::start(QString& error)
{
    // Only this machine may deliver the code: a loopback address, a port the system picks.
    if (!m_handler->isListening()) {
        error = u"No port on 127.0.0.1 could be opened for Google's answer."_s;
        return false;
    }
    m_patience.start();
    m_flow->grant();
    return true;
}

QByteArray GoogleSignIn::challengeOf(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(base64url);
}

void GoogleSignIn::finish(const GoogleCredentials& credentials, const QString& error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    m_handler->close();
    emit finished(credentials, error);
}
