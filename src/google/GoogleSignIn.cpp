#include "GoogleSignIn.h"

#include "GoogleAccount.h"
#include "HttpFetch.h"
#include "Wording.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray randomText(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(random.begin(), random.end());
    return random.toBase64(base64url);
}

// The redirect's parameters arrive as the query carried them, escapes and all.
QString parameter(const QVariantMap& values, const QString& name)
{
    return QUrl::fromPercentEncoding(values.value(name).toString().toUtf8());
}

} // namespace

GoogleSignIn::GoogleSignIn(QNetworkAccessManager& network, const GoogleEndpoints& endpoints,
                           const OAuthClientFile& client, QObject* parent, quint16 port)
    : QObject(parent), m_network(network), m_endpoints(endpoints), m_client(client),
      m_listener(new QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, port, this)),
      // 64 random bytes: 86 characters, within the 43 to 128 RFC 7636 allows.
      m_verifier(randomText(64)), m_state(randomText(24))
{
    m_listener->setCallbackText(u"Orvanta received Google's answer. You may close this page."_s);
    connect(m_listener, &QOAuthHttpServerReplyHandler::callbackReceived, this, &GoogleSignIn::onRedirected);
    m_patience.setSingleShot(true);
    m_patience.setInterval(5min);
    connect(&m_patience, &QTimer::timeout, this, [this] { finish({}, nobodyInTime); });
}

GoogleSignIn::~GoogleSignIn() = default;

quint16 GoogleSignIn::port() const
{
    return m_listener->port();
}

bool GoogleSignIn::start(QString& error)
{
    // Only this machine may deliver the code: a loopback address, a port the system picks.
    if (!m_listener->isListening()) {
        error = u"No port on 127.0.0.1 could be opened for Google's answer."_s;
        return false;
    }
    const QByteArray query = "response_type=code&client_id=" + formValue(m_client.clientId) +
                             "&redirect_uri=" + QUrl::toPercentEncoding(m_listener->callback(), ":/") +
                             "&scope=" + formValue(GoogleAccount::scope) + "&state=" + m_state +
                             "&code_challenge=" + challengeOf(m_verifier) + "&code_challenge_method=S256";
    QUrl address = m_endpoints.authorization;
    address.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    m_patience.start();
    emit openBrowser(address);
    return true;
}

QByteArray GoogleSignIn::challengeOf(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(base64url);
}

void GoogleSignIn::onRedirected(const QVariantMap& values)
{
    // A redirect with another state is another site's forgery: it signs nobody in.
    if (m_finished || m_exchanging || parameter(values, u"state"_s).toLatin1() != m_state)
        return;
    if (const QString refusal = parameter(values, u"error"_s); !refusal.isEmpty())
        return finish({}, u"Google did not sign you in: %1."_s.arg(oneLine(refusal)));
    const QString code = parameter(values, u"code"_s);
    if (code.isEmpty())
        return finish({}, u"Google's answer in the browser carried no code to sign in with."_s);
    exchange(code);
}

void GoogleSignIn::exchange(const QString& code)
{
    m_exchanging = true;
    const QByteArray form =
        "grant_type=authorization_code&code=" + formValue(code) +
        "&redirect_uri=" + formValue(m_listener->callback()) + "&client_id=" + formValue(m_client.clientId) +
        "&client_secret=" + formValue(m_client.clientSecret) + "&code_verifier=" + m_verifier;
    // Bounded and carrying credentials as every request to Google is; any answer ends the
    // sign-in at once, with what Google sent.
    postForm(m_network, m_endpoints.token, form, this, [this](const FetchResult& result) {
        if (!result.complete)
            return finish({}, u"Google's token service gave no usable answer: %1."_s.arg(result.error));
        QJsonParseError parsed;
        const QJsonDocument document = QJsonDocument::fromJson(result.body, &parsed);
        const QJsonObject answer = document.object();
        if (result.status != 200) {
            QString reason = oauthRefusal(answer, result.status);
            if (reason.endsWith(u'.'))
                reason.chop(1);
            return finish({}, u"Google refused the sign-in: %1."_s.arg(reason));
        }
        const QString token = answer.value(u"access_token"_s).toString();
        if (parsed.error != QJsonParseError::NoError || !document.isObject() || token.isEmpty()) {
            const QString text = openingOf(result.body);
            return finish({}, u"Google's token service answered without a token (%1)."_s.arg(
                                  text.isEmpty() ? u"an empty answer"_s : u"it said \"%1\""_s.arg(text)));
        }
        GoogleCredentials credentials;
        credentials.kind = GoogleCredentials::Kind::User;
        credentials.clientId = m_client.clientId;
        credentials.clientSecret = m_client.clientSecret;
        credentials.accessToken = token;
        credentials.refreshToken = answer.value(u"refresh_token"_s).toString();
        credentials.accessTokenExpires =
            QDateTime::currentDateTimeUtc().addSecs(answer.value(u"expires_in"_s).toInteger(3600));
        finish(credentials, {});
    });
}

void GoogleSignIn::finish(const GoogleCredentials& credentials, const QString& error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    m_listener->close();
    emit finished(credentials, error);
}
