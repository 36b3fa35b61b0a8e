#include "SearchConsole.h"

#include "GoogleAccount.h"
#include "HttpFetch.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QDateTime timeOf(const QJsonValue& value)
{
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

// More pages than any sitemap tree can list (50,000 files of 50,000 pages) by far, and within
// what a double holds exactly.
constexpr qint64 largestCount = qint64(1) << 50;

// Google sends int64 counts as strings (some clients' imitations as numbers).
bool countOf(const QJsonValue& value, qint64& count)
{
    count = 0;
    if (value.isUndefined() || value.isNull())
        return true;
    if (value.isString()) {
        bool number = false;
        const qint64 read = value.toString().toLongLong(&number);
        if (!number || read < 0 || read > largestCount)
            return false;
        count = read;
        return true;
    }
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > double(largestCount) || number != std::floor(number))
        return false;
    count = qint64(number);
    return true;
}

} // namespace

QList<GoogleProperty> GoogleProperty::listFrom(const QJsonObject& body)
{
    QList<GoogleProperty> properties;
    for (const QJsonValue& entry : body.value(u"siteEntry"_s).toArray()) {
        const QJsonObject site = entry.toObject();
        properties.append({oneLine(site.value(u"siteUrl"_s).toString()),
                           oneLine(site.value(u"permissionLevel"_s).toString())});
    }
    return properties;
}

QString GoogleProperty::match(const QString& address, const QList<GoogleProperty>& properties)
{
    const QByteArray page = WebAddress::normalise(address.toUtf8()).address;
    if (page.isEmpty())
        return {};
    const QByteArray host = WebAddress::hostOf(page).toByteArray();
    QString best;
    qsizetype bestLength = 0;
    QString domain;
    qsizetype domainLength = 0;
    for (const GoogleProperty& property : properties) {
        if (property.permissionLevel == u"siteUnverifiedUser"_s)
            continue;
        if (property.siteUrl.startsWith(u"sc-domain:"_s)) {
            const QByteArray name = QUrl::toAce(property.siteUrl.mid(10).toLower());
            const bool covers = !name.isEmpty() && (host == name || host.endsWith(QByteArray('.' + name)));
            if (covers && name.size() > domainLength) {
                domain = property.siteUrl;
                domainLength = name.size();
            }
            continue;
        }
        QByteArray prefix = WebAddress::normalise(property.siteUrl.toUtf8()).address;
        if (prefix.isEmpty())
            continue;
        if (!prefix.endsWith('/'))
            prefix += '/';
        // "https://example.com" is the property "https://example.com/".
        const bool covers = page.startsWith(prefix) || page + '/' == prefix;
        if (covers && prefix.size() > bestLength) {
            best = property.siteUrl;
            bestLength = prefix.size();
        }
    }
    return best.isEmpty() ? domain : best;
}

GoogleSitemapStatus GoogleSitemapStatus::fromJson(const QJsonObject& entry, QString& problem)
{
    GoogleSitemapStatus status;
    status.path = oneLine(entry.value(u"path"_s).toString());
    status.lastSubmitted = timeOf(entry.value(u"lastSubmitted"_s));
    status.lastDownloaded = timeOf(entry.value(u"lastDownloaded"_s));
    status.pending = entry.value(u"isPending"_s).toBool();
    status.isIndex = entry.value(u"isSitemapsIndex"_s).toBool();
    const auto take = [&](const QString& name, const QJsonValue& value, qint64& count) {
        if (!countOf(value, count) && problem.isEmpty())
            problem = u"Google's status of the sitemap %1 holds a count that cannot be right (%2: %3)"_s.arg(
                status.path, name,
                oneLine(QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                            .mid(1)
                            .chopped(1)));
    };
    take(u"warnings"_s, entry.value(u"warnings"_s), status.warnings);
    take(u"errors"_s, entry.value(u"errors"_s), status.errors);
    for (const QJsonValue& content : entry.value(u"contents"_s).toArray()) {
        qint64 submitted = 0;
        take(u"submitted"_s, content.toObject().value(u"submitted"_s), submitted);
        // Each part is at most largestCount, so the capped sum cannot overflow however many parts come.
        status.submittedPages = std::min(status.submittedPages + submitted, largestCount + 1);
        if (status.submittedPages > largestCount)
            take(u"submitted"_s, QJsonValue(double(status.submittedPages)), submitted);
    }
    return status;
}

QList<GoogleSitemapStatus> GoogleSitemapStatus::listFrom(const QJsonObject& body, QString& problem)
{
    QList<GoogleSitemapStatus> list;
    for (const QJsonValue& entry : body.value(u"sitemap"_s).toArray())
        list.append(fromJson(entry.toObject(), problem));
    return list;
}

QString GoogleSitemapStatus::describe(QString (*time)(qint64)) const
{
    QStringList parts;
    if (lastDownloaded.isValid())
        parts << u"downloaded %1"_s.arg(time(lastDownloaded.toMSecsSinceEpoch()));
    else
        parts << u"not downloaded yet"_s;
    if (pending)
        parts << u"pending"_s;
    parts << counted(submittedPages, u"%1 page"_s, u"%1 pages"_s)
          << counted(errors, u"%1 error"_s, u"%1 errors"_s)
          << counted(warnings, u"%1 warning"_s, u"%1 warnings"_s);
    return parts.join(u", "_s);
}

GoogleIndexStatus GoogleIndexStatus::fromJson(const QJsonObject& body)
{
    const QJsonObject result =
        body.value(u"inspectionResult"_s).toObject().value(u"indexStatusResult"_s).toObject();
    GoogleIndexStatus status;
    status.verdict = oneLine(result.value(u"verdict"_s).toString());
    status.coverageState = oneLine(result.value(u"coverageState"_s).toString());
    status.lastCrawl = timeOf(result.value(u"lastCrawlTime"_s));
    status.robotsTxtState = oneLine(result.value(u"robotsTxtState"_s).toString());
    status.indexingState = oneLine(result.value(u"indexingState"_s).toString());
    status.pageFetchState = oneLine(result.value(u"pageFetchState"_s).toString());
    status.googleCanonical = oneLine(result.value(u"googleCanonical"_s).toString());
    return status;
}

QString GoogleIndexStatus::state() const
{
    if (isIndexed())
        return u"indexed"_s;
    return wasCrawled() ? u"crawled, not indexed"_s : u"not seen by Google"_s;
}

QString GoogleIndexStatus::describe(qint64 announcedAt, QString (*date)(qint64)) const
{
    QStringList parts;
    if (announcedAt != 0)
        parts << u"announced %1"_s.arg(date(announcedAt));
    if (wasCrawled())
        parts << u"crawled by Google %1"_s.arg(date(lastCrawl.toMSecsSinceEpoch()));
    QString verdictText = isIndexed() || wasCrawled() ? state() : u"Google has not seen it"_s;
    if (!coverageState.isEmpty() && coverageState != verdictText)
        verdictText += u" (%1)"_s.arg(coverageState);
    parts << verdictText;
    return parts.join(u", "_s);
}

SearchConsole::SearchConsole(QNetworkAccessManager& network, const GoogleEndpoints& endpoints,
                             GoogleAccount& account, QObject* parent)
    : QObject(parent), m_network(network), m_endpoints(endpoints), m_account(account)
{}

void SearchConsole::listProperties(const Callback& done)
{
    call("GET", m_endpoints.sites(), {}, true, done);
}

void SearchConsole::submitSitemap(const QString& property, const QString& sitemap, const Callback& done)
{
    call("PUT", m_endpoints.sitemap(property, sitemap), {}, false, done); // Google answers with no body
}

void SearchConsole::readSitemap(const QString& property, const QString& sitemap, const Callback& done)
{
    call("GET", m_endpoints.sitemap(property, sitemap), {}, true, done);
}

void SearchConsole::listSitemaps(const QString& property, const Callback& done)
{
    QUrl url = m_endpoints.sitemap(property, {});
    url.setPath(url.path(QUrl::FullyEncoded).chopped(1), QUrl::TolerantMode); // ".../sitemaps"
    call("GET", url, {}, true, done);
}

void SearchConsole::inspect(const QString& property, const QString& page, const Callback& done)
{
    const QJsonObject request{
        {u"inspectionUrl"_s, page}, {u"siteUrl"_s, property}, {u"languageCode"_s, u"en-US"_s}};
    call("POST", m_endpoints.inspection(), QJsonDocument(request).toJson(QJsonDocument::Compact), true, done);
}

GoogleAnswer SearchConsole::interpret(int status, const QByteArray& body, const QByteArray& retryAfter,
                                      bool expectsJson)
{
    GoogleAnswer answer;
    answer.status = status;
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parsed);
    const QJsonObject json = document.object();
    if (status >= 200 && status < 300) {
        if (expectsJson && (parsed.error != QJsonParseError::NoError || !document.isObject())) {
            // An empty page or a proxy's HTML is no "nothing to report".
            answer.outcome = GoogleAnswer::Outcome::Unreadable;
            const QString text = openingOf(body);
            answer.message = u"Google's answer (HTTP %1) is not the JSON it should be: %2"_s.arg(status).arg(
                body.trimmed().isEmpty() ? u"it is empty"_s : u"it begins \"%1\""_s.arg(text));
            return answer;
        }
        answer.outcome = GoogleAnswer::Outcome::Answered;
        answer.body = json;
        return answer;
    }
    const QJsonObject error = json.value(u"error"_s).toObject();
    answer.message = oneLine(error.value(u"message"_s).toString());
    if (answer.message.isEmpty())
        answer.message = u"HTTP %1"_s.arg(status);
    if (status == 429 || error.value(u"status"_s).toString() == u"RESOURCE_EXHAUSTED"_s) {
        // The day's quota and the minute's read alike but for their words: only a day's ends the day.
        const QString said = answer.message.toLower();
        const bool daily =
            said.contains(u"per day"_s) || said.contains(u"daily"_s) || said.contains(u"per-day"_s);
        bool seconds = false;
        const int wait = retryAfter.trimmed().toInt(&seconds);
        answer.outcome = daily ? GoogleAnswer::Outcome::QuotaExceeded : GoogleAnswer::Outcome::SlowDown;
        answer.retryAfterSeconds = seconds && wait >= 0 ? std::min(wait, 600) : 60;
    } else if (status == 401) {
        answer.outcome = GoogleAnswer::Outcome::SignInAgain;
    } else {
        answer.outcome = GoogleAnswer::Outcome::Refused;
    }
    return answer;
}

void SearchConsole::call(const QByteArray& method, const QUrl& url, const QByteArray& body, bool expectsJson,
                         const Callback& done, bool retried)
{
    m_account.withToken([=, this](const QString& token, const QString& error, bool signInAgain) {
        if (token.isEmpty()) {
            GoogleAnswer answer;
            answer.outcome =
                signInAgain ? GoogleAnswer::Outcome::SignInAgain : GoogleAnswer::Outcome::Unreachable;
            answer.message = error;
            done(answer);
            return;
        }
        FetchRequest request;
        request.url = url;
        request.method = method;
        request.body = body;
        if (method == "POST")
            request.contentType = "application/json";
        request.headers = {{"Authorization", "Bearer " + token.toLatin1()}};
        request.carriesCredentials = true;
        askGoogle(m_network, request, this, [=, this](const FetchResult& result) {
            if (!result.complete) {
                GoogleAnswer answer;
                answer.message = u"Google could not be reached: %1"_s.arg(result.error);
                done(answer);
                return;
            }
            GoogleAnswer answer =
                interpret(result.status, result.body, result.header("Retry-After"), expectsJson);
            // An access token may expire between two requests: one new token, one more try.
            if (result.status == 401 && !retried) {
                m_account.forgetAccessToken();
                call(method, url, body, expectsJson, done, true);
                return;
            }
            if (answer.outcome == GoogleAnswer::Outcome::SignInAgain)
                answer.message = u"Google refused the sign-in (%1): sign in again."_s.arg(answer.message);
            done(answer);
        });
    });
}
