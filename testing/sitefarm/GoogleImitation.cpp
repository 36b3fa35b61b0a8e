#include "GoogleImitation.h"

#include "SiteFarm.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

using namespace Qt::StringLiterals;

struct GoogleImitation::Grant
{
    QString clientId;
    QString redirectUri;
    QByteArray challenge;
};

namespace {

const QString clientId = u"1234-orvanta.apps.googleusercontent.com"_s;
const QString clientSecret = u"GOCSPX-imitation-secret"_s;
constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

SiteFarm::Answer json(int status, const QJsonObject& object)
{
    return {status, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

// Google's API error body.
SiteFarm::Answer apiError(int status, const QString& message, const QString& code)
{
    return json(status, {{u"error"_s,
                          QJsonObject{{u"code"_s, status}, {u"message"_s, message}, {u"status"_s, code}}}});
}

// The token endpoint's error body.
SiteFarm::Answer oauthError(const QString& error, const QString& description)
{
    return json(400, {{u"error"_s, error}, {u"error_description"_s, description}});
}

QUrlQuery formOf(const SiteFarm::Request& request)
{
    return QUrlQuery(QString::fromUtf8(QByteArray(request.body).replace('+', ' ')));
}

QString decoded(const QUrlQuery& query, const QString& key)
{
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

bool isLoopbackRedirect(const QUrl& url)
{
    return url.scheme() == u"http"_s && (url.host() == u"127.0.0.1"_s || url.host() == u"localhost"_s) &&
           url.port() > 0;
}

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

struct KeyPair
{
    QByteArray privatePem;
    QByteArray publicPem;
};

KeyPair generateKeyPair()
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(2048), EVP_PKEY_free);
    KeyPair pair;
    for (const bool isPrivate : {true, false}) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
        if (isPrivate)
            PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        else
            PEM_write_bio_PUBKEY(bio.get(), key.get());
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio.get(), &data);
        (isPrivate ? pair.privatePem : pair.publicPem) = QByteArray(data, length);
    }
    return pair;
}

} // namespace

GoogleImitation::GoogleImitation(SiteFarm& farm, QObject* parent)
    : QObject(parent), m_base(farm.url(u"/google/"_s))
{
    const KeyPair pair = generateKeyPair();
    m_privateKeyPem = pair.privatePem;
    m_publicKeyPem = pair.publicPem;

    farm.handle(u"/google/auth"_s, [this](const SiteFarm::Request& request) -> SiteFarm::Answer {
        const QUrlQuery query(QUrl::fromEncoded(request.target).query());
        const QUrl redirect(decoded(query, u"redirect_uri"_s));
        // Google shows an error page for these rather than redirecting with an error.
        if (decoded(query, u"client_id"_s) != clientId)
            return {401, "Error 401: invalid_client", "text/html"};
        if (!isLoopbackRedirect(redirect))
            return {400, "Error 400: redirect_uri_mismatch", "text/html"};
        if (decoded(query, u"response_type"_s) != u"code"_s ||
            decoded(query, u"code_challenge_method"_s) != u"S256"_s ||
            decoded(query, u"code_challenge"_s).size() < 43 ||
            !decoded(query, u"scope"_s).split(u' ').contains(u"https://www.googleapis.com/auth/webmasters"_s))
            return {400, "Error 400: invalid_request", "text/html"};
        // Google's codes carry a slash, which the redirect escapes.
        const QByteArray code = "4/0Ab" + QByteArray::number(++m_sequence) + "-imitation";
        m_codes.insert(
            code, new Grant{clientId, redirect.toString(), decoded(query, u"code_challenge"_s).toLatin1()});
        QUrlQuery back;
        back.addQueryItem(u"state"_s, QString::fromUtf8(QUrl::toPercentEncoding(decoded(query, u"state"_s))));
        back.addQueryItem(u"code"_s, QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(code))));
        back.addQueryItem(u"scope"_s, u"https://www.googleapis.com/auth/webmasters"_s);
        QUrl location = redirect;
        location.setQuery(back.query(QUrl::FullyEncoded), QUrl::StrictMode);
        return {302, {}, "text/html", "Location: " + location.toEncoded() + "\r\n"};
    });

    farm.handle(u"/google/token"_s, [this](const SiteFarm::Request& request) -> SiteFarm::Answer {
        const QUrlQuery form = formOf(request);
        const QString grant = decoded(form, u"grant_type"_s);
        const auto issue = [this](bool withRefresh) {
            QJsonObject answer{{u"access_token"_s, QString::fromLatin1(newToken("ya29."))},
                               {u"expires_in"_s, 3599},
                               {u"scope"_s, u"https://www.googleapis.com/auth/webmasters"_s},
                               {u"token_type"_s, u"Bearer"_s}};
            if (withRefresh) {
                const QByteArray refresh = newToken("1//0g");
                m_refreshTokens.insert(refresh);
                answer.insert(u"refresh_token"_s, QString::fromLatin1(refresh));
            }
            return json(200, answer);
        };
        if (grant == u"urn:ietf:params:oauth:grant-type:jwt-bearer"_s) {
            QString why;
            if (!verifyAssertion(decoded(form, u"assertion"_s).toLatin1(), why))
                return oauthError(u"invalid_grant"_s, why);
            return issue(false);
        }
        if (decoded(form, u"client_id"_s) != clientId || decoded(form, u"client_secret"_s) != clientSecret)
            return json(401,
                        {{u"error"_s, u"invalid_client"_s}, {u"error_description"_s, u"Unauthorized"_s}});
        if (grant == u"refresh_token"_s) {
            if (!m_refreshTokens.contains(decoded(form, u"refresh_token"_s).toLatin1()))
                return oauthError(u"invalid_grant"_s, u"Token has been expired or revoked."_s);
            return issue(false);
        }
        if (grant != u"authorization_code"_s)
            return oauthError(u"unsupported_grant_type"_s, u"Invalid grant_type: %1"_s.arg(grant));
        // A code is good once.
        std::unique_ptr<Grant> issued(m_codes.take(decoded(form, u"code"_s).toLatin1()));
        if (!issued)
            return oauthError(u"invalid_grant"_s, u"Malformed auth code."_s);
        if (decoded(form, u"redirect_uri"_s) != issued->redirectUri)
            return oauthError(u"redirect_uri_mismatch"_s, u"Bad Request"_s);
        const QByteArray verifier = decoded(form, u"code_verifier"_s).toLatin1();
        if (QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(base64url) !=
            issued->challenge)
            return oauthError(u"invalid_grant"_s, u"Invalid code verifier."_s);
        return issue(true);
    });

    farm.handle(u"/google/revoke"_s, [this](const SiteFarm::Request& request) -> SiteFarm::Answer {
        const QByteArray token = decoded(formOf(request), u"token"_s).toLatin1();
        // Revoking a refresh token revokes the access tokens made from it too.
        if (!m_refreshTokens.remove(token) && !m_accessTokens.remove(token))
            return json(400, {{u"error"_s, u"invalid_token"_s},
                              {u"error_description"_s, u"Token expired or revoked"_s}});
        m_accessTokens.clear();
        ++m_revocations;
        return {200, "{}"};
    });

    const auto authorised = [this](const SiteFarm::Request& request) {
        const QByteArray authorization = request.header("authorization");
        if (std::exchange(m_refuseNextApiCall, false)) {
            m_accessTokens.remove(authorization.mid(7));
            return false;
        }
        return authorization.startsWith("Bearer ") && m_accessTokens.contains(authorization.mid(7));
    };
    const SiteFarm::Answer unauthenticated = apiError(
        401,
        u"Request had invalid authentication credentials. Expected OAuth 2 access token, login cookie or "
        u"other "
        u"valid authentication credential. See https://developers.google.com/identity/sign-in/web/devconsole-project."_s,
        u"UNAUTHENTICATED"_s);

    farm.handle(
        u"/google/webmasters/v3/sites"_s, [=, this](const SiteFarm::Request& request) -> SiteFarm::Answer {
            if (!authorised(request))
                return unauthenticated;
            const QList<QByteArray> parts =
                request.path.mid(QByteArrayLiteral("/google/webmasters/v3/sites").size()).split('/');
            if (parts.size() == 1 && request.method == "GET") {
                QJsonArray entries;
                for (auto it = m_properties.cbegin(); it != m_properties.cend(); ++it)
                    entries.append(QJsonObject{{u"siteUrl"_s, it.key()}, {u"permissionLevel"_s, it.value()}});
                return json(200, entries.isEmpty() ? QJsonObject() : QJsonObject{{u"siteEntry"_s, entries}});
            }
            // "/{siteUrl}/sitemaps[/{feedpath}]", each part escaped whole.
            if ((parts.size() != 3 && parts.size() != 4) || parts.value(2) != "sitemaps")
                return apiError(404, u"Requested entity was not found."_s, u"NOT_FOUND"_s);
            const QString property = QUrl::fromPercentEncoding(parts[1]);
            if (const QString denied = propertyDenied(property); !denied.isEmpty())
                return apiError(403, denied, u"PERMISSION_DENIED"_s);
            QHash<QString, Sitemap>& sitemaps = m_sitemaps[property];
            const auto entry = [](const QString& path, const Sitemap& sitemap) {
                QJsonObject object{{u"path"_s, path},
                                   {u"lastSubmitted"_s, sitemap.lastSubmitted},
                                   {u"isPending"_s, sitemap.pending},
                                   {u"isSitemapsIndex"_s, false},
                                   {u"type"_s, u"sitemap"_s},
                                   {u"warnings"_s, u"0"_s},
                                   {u"errors"_s, u"0"_s}};
                if (!sitemap.lastDownloaded.isEmpty()) {
                    object.insert(u"lastDownloaded"_s, sitemap.lastDownloaded);
                    object.insert(u"contents"_s,
                                  QJsonArray{QJsonObject{{u"type"_s, u"web"_s},
                                                         {u"submitted"_s, QString::number(sitemap.pages)}}});
                }
                return object;
            };
            if (parts.size() == 3) {
                QJsonArray list;
                for (auto it = sitemaps.cbegin(); it != sitemaps.cend(); ++it)
                    list.append(entry(it.key(), it.value()));
                return json(200, list.isEmpty() ? QJsonObject() : QJsonObject{{u"sitemap"_s, list}});
            }
            const QString path = QUrl::fromPercentEncoding(parts[3]);
            if (request.method == "PUT") {
                if (request.header("content-length").isEmpty())
                    return {411, "Length Required", "text/html"};
                if (!path.startsWith(property) && !property.startsWith(u"sc-domain:"_s))
                    return apiError(400, u"Sitemap URL must be within the property."_s,
                                    u"INVALID_ARGUMENT"_s);
                sitemaps[path].lastSubmitted = now();
                return {200, {}};
            }
            if (!sitemaps.contains(path))
                return apiError(404, u"Requested entity was not found."_s, u"NOT_FOUND"_s);
            return json(200, entry(path, sitemaps.value(path)));
        });

    farm.handle(
        u"/google/v1/urlInspection/index:inspect"_s,
        [=, this](const SiteFarm::Request& request) -> SiteFarm::Answer {
            if (!authorised(request))
                return unauthenticated;
            const QJsonObject asked = QJsonDocument::fromJson(request.body).object();
            const QString property = asked.value(u"siteUrl"_s).toString();
            const QString page = asked.value(u"inspectionUrl"_s).toString();
            if (!propertyDenied(property).isEmpty() ||
                (!property.startsWith(u"sc-domain:"_s) && !page.startsWith(property)))
                return apiError(
                    403, u"You do not own this site, or the inspected URL is not part of this property."_s,
                    u"PERMISSION_DENIED"_s);
            if (m_inspectionsToday >= m_dailyInspections)
                return apiError(
                    429,
                    u"Quota exceeded for quota metric 'Inspection requests' and limit 'Inspection requests per day' of service 'searchconsole.googleapis.com'."_s,
                    u"RESOURCE_EXHAUSTED"_s);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            m_inspectedAt.removeIf([now](qint64 at) { return now - at >= 1000; });
            if (m_inspectedAt.size() >= m_inspectionsPerMinute) {
                SiteFarm::Answer slowDown = apiError(
                    429,
                    u"Quota exceeded for quota metric 'Inspection requests' and limit 'Inspection requests per minute' of service 'searchconsole.googleapis.com'."_s,
                    u"RESOURCE_EXHAUSTED"_s);
                slowDown.headers = "Retry-After: 1\r\n";
                return slowDown;
            }
            m_inspectedAt.append(now);
            ++m_inspectionsToday;
            const QJsonObject status = m_indexStatus.value(
                page, QJsonObject{{u"verdict"_s, u"NEUTRAL"_s},
                                  {u"coverageState"_s, u"URL is unknown to Google"_s},
                                  {u"robotsTxtState"_s, u"ROBOTS_TXT_STATE_UNSPECIFIED"_s},
                                  {u"indexingState"_s, u"INDEXING_STATE_UNSPECIFIED"_s},
                                  {u"pageFetchState"_s, u"PAGE_FETCH_STATE_UNSPECIFIED"_s}});
            return json(200, {{u"inspectionResult"_s,
                               QJsonObject{{u"inspectionResultLink"_s,
                                            u"https://search.google.com/search-console/inspect"_s},
                                           {u"indexStatusResult"_s, status}}}});
        });
}

GoogleImitation::~GoogleImitation()
{
    qDeleteAll(m_codes);
}

void GoogleImitation::setEnvironment() const
{
    qputenv("ORVANTA_GOOGLE_AUTH_URL", (m_base + u"auth"_s).toUtf8());
    qputenv("ORVANTA_GOOGLE_TOKEN_URL", (m_base + u"token"_s).toUtf8());
    qputenv("ORVANTA_GOOGLE_REVOKE_URL", (m_base + u"revoke"_s).toUtf8());
    qputenv("ORVANTA_GOOGLE_API_URL", m_base.toUtf8());
}

QByteArray GoogleImitation::clientFile() const
{
    const QJsonObject installed{{u"client_id"_s, clientId},
                                {u"project_id"_s, u"orvanta-test"_s},
                                {u"auth_uri"_s, QString(m_base + u"auth"_s)},
                                {u"token_uri"_s, QString(m_base + u"token"_s)},
                                {u"client_secret"_s, clientSecret},
                                {u"redirect_uris"_s, QJsonArray{QJsonValue(u"http://localhost"_s)}}};
    return QJsonDocument(QJsonObject{{u"installed"_s, installed}}).toJson();
}

QByteArray GoogleImitation::serviceAccountFile() const
{
    return QJsonDocument(QJsonObject{{u"type"_s, u"service_account"_s},
                                     {u"project_id"_s, u"orvanta-test"_s},
                                     {u"private_key_id"_s, u"0123abcd"_s},
                                     {u"private_key"_s, QString::fromLatin1(m_privateKeyPem)},
                                     {u"client_email"_s, serviceAccountEmail},
                                     {u"token_uri"_s, QString(m_base + u"token"_s)}})
        .toJson();
}

void GoogleImitation::addProperty(const QString& siteUrl, const QString& permission)
{
    m_properties.insert(siteUrl, permission);
}

void GoogleImitation::setIndexStatus(const QString& page, const QJsonObject& indexStatusResult)
{
    m_indexStatus.insert(page, indexStatusResult);
}

void GoogleImitation::addSitemap(const QString& property, const QString& path, int pages)
{
    m_sitemaps[property][path] = Sitemap{now(), now(), false, pages};
}

void GoogleImitation::downloadSitemaps(int pages)
{
    for (QHash<QString, Sitemap>& sitemaps : m_sitemaps) {
        for (Sitemap& sitemap : sitemaps) {
            sitemap.lastDownloaded = now();
            sitemap.pending = false;
            sitemap.pages = pages;
        }
    }
}

QByteArray GoogleImitation::newToken(const QByteArray& kind)
{
    QByteArray token =
        kind + QCryptographicHash::hash(QByteArray(QByteArray::number(++m_sequence) + m_privateKeyPem),
                                        QCryptographicHash::Sha256)
                   .toBase64(base64url);
    if (kind == "ya29.")
        m_accessTokens.insert(token);
    m_issued.append(token);
    return token;
}

QString GoogleImitation::propertyDenied(const QString& property) const
{
    if (m_properties.contains(property) && m_properties.value(property) != u"siteUnverifiedUser"_s)
        return {};
    return u"User does not have sufficient permission for site '%1'. See also: "
           u"https://support.google.com/webmasters/answer/2451999."_s.arg(property);
}

bool GoogleImitation::verifyAssertion(const QByteArray& assertion, QString& why) const
{
    const QList<QByteArray> parts = assertion.split('.');
    if (parts.size() != 3) {
        why = u"Invalid JWT: the assertion has not three parts."_s;
        return false;
    }
    const QJsonObject header = QJsonDocument::fromJson(QByteArray::fromBase64(parts[0], base64url)).object();
    const QJsonObject claims = QJsonDocument::fromJson(QByteArray::fromBase64(parts[1], base64url)).object();
    const QByteArray signature = QByteArray::fromBase64(parts[2], base64url);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(m_publicKeyPem.constData(), int(m_publicKeyPem.size())), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const QByteArray signedPart = parts[0] + '.' + parts[1];
    const bool verified =
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         size_t(signature.size()),
                         reinterpret_cast<const unsigned char*>(signedPart.constData()),
                         size_t(signedPart.size())) == 1;
    const qint64 issued = claims.value(u"iat"_s).toInteger();
    const qint64 expires = claims.value(u"exp"_s).toInteger();
    const qint64 current = QDateTime::currentSecsSinceEpoch();
    if (header.value(u"alg"_s).toString() != u"RS256"_s || !verified)
        why = u"Invalid JWT Signature."_s;
    else if (claims.value(u"iss"_s).toString() != serviceAccountEmail)
        why = u"Invalid JWT: the issuer is not the service account."_s;
    else if (claims.value(u"aud"_s).toString() != m_base + u"token"_s)
        why = u"Invalid JWT: the audience is not the token endpoint."_s;
    else if (!claims.value(u"scope"_s)
                  .toString()
                  .split(u' ')
                  .contains(u"https://www.googleapis.com/auth/webmasters"_s))
        why = u"Invalid JWT: the scope is missing."_s;
    else if (expires - issued > 3600 || expires < current || issued > current + 300)
        why = u"Invalid JWT: Token must be a short-lived token (60 minutes) and in a reasonable timeframe."_s;
    return why.isEmpty();
}
