#include "HttpFetch.h"

#include "PlainHttpExchange.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// What Qt's HTTP thread may hold of a body before we read it.
constexpr qint64 readBufferSize = 64 * 1024;

// Qt's error codes fall in families; 1-99 are the transport's: the connection failed, so no
// whole response arrived even when a status line did.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error > QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError;
}

// Answers HTTP defines without a body, whatever their headers say.
bool hasNoBody(int status)
{
    return status < 200 || status == 204 || status == 304;
}

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0);
}

} // namespace

QString HttpFetch::redirectRefused(const QUrl& from, const QByteArray& location)
{
    const QUrl target = from.resolved(QUrl::fromEncoded(location));
    const QString scheme = target.scheme().toLower();
    if (scheme != u"http"_s && scheme != u"https"_s)
        return u"Redirected to \"%1\", which is not a web address"_s.arg(QString::fromUtf8(location));
    if (from.scheme().toLower() == u"https"_s && scheme == u"http"_s)
        return u"Redirected from https to http: %1"_s.arg(target.toString());
    return u"Redirected to another host (%1); the credentials the request carries are not sent there"_s.arg(
        target.host().isEmpty() ? QString::fromUtf8(location) : target.host());
}

QByteArray FetchResult::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

HttpFetch::HttpFetch(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_network(network), m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_result.timedOut = true;
        stopWith(u"No complete response within %1 seconds"_s.arg(seconds(m_request.deadline)));
    });
}

HttpFetch::~HttpFetch()
{
    cancel();
}

void HttpFetch::start(const FetchRequest& request)
{
    cancel();
    m_request = request;
    m_result = FetchResult();
    m_stopReason.clear();
    m_busy = true;

    const QUrl& url = request.url;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid()) {
        failWithoutTransfer(u"Invalid URL: %1"_s.arg(url.errorString()));
        return;
    }
    if (scheme != u"http"_s && scheme != u"https"_s) {
        failWithoutTransfer(u"Unsupported protocol \"%1\" in %2"_s.arg(url.scheme(), url.toString()));
        return;
    }
    if (url.host().isEmpty()) {
        failWithoutTransfer(u"Invalid URL: %1"_s.arg(url.toString()));
        return;
    }
    m_deadline->start(request.deadline);
    startReply(url);
}

void HttpFetch::startReply(const QUrl& url)
{
    const FetchRequest& request = m_request;
    QNetworkRequest networkRequest(url);
    if (!request.contentType.isEmpty())
        networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    if (!request.userAgent.isEmpty())
        networkRequest.setHeader(QNetworkRequest::UserAgentHeader, request.userAgent);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                request.carriesCredentials ? QNetworkRequest::SameOriginRedirectPolicy
                                                           : QNetworkRequest::NoLessSafeRedirectPolicy);
    // With a limit of our own, a compressed answer is bounded by it: Qt's check would refuse
    // files the protocol allows (a 10 MiB sitemap that compresses well).
    if (request.maxBytes >= 0)
        networkRequest.setDecompressedSafetyCheckThreshold(-1);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    if (!request.method.isEmpty())
        m_reply = m_network.sendCustomRequest(networkRequest, request.method, request.body);
    else
        m_reply = request.post ? m_network.post(networkRequest, request.body) : m_network.get(networkRequest);
    // Qt's HTTP thread takes the limit only once it knows the request, which for a POST happens in
    // a call post() queues: give it again from a call queued behind that one, so the limit reaches
    // the HTTP thread right after the request and before any of the answer.
    m_reply->setReadBufferSize(readBufferSize);
    QMetaObject::invokeMethod(
        this,
        [reply = m_reply] {
            if (reply)
                reply->setReadBufferSize(readBufferSize);
        },
        Qt::QueuedConnection);
    connect(m_reply, &QIODevice::readyRead, this, &HttpFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &HttpFetch::onReplyFinished);
}

void HttpFetch::onReadyRead()
{
    if (m_reply && m_stopReason.isEmpty() && !m_result.truncated)
        consume(m_reply->readAll(), m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
}

void HttpFetch::consume(const QByteArray& chunk, int status)
{
    m_result.bodySize += chunk.size();
    if (m_result.body.size() < m_request.keepBytes)
        m_result.body += chunk.left(m_request.keepBytes - m_result.body.size());
    if (m_request.stopWhenKept && m_request.keepBytes > 0 && m_result.body.size() >= m_request.keepBytes) {
        m_result.truncated = true; // what was asked for arrived: the rest is not needed
        abortTransfer();
        return;
    }
    // A sink takes the body of a success only: an error page is no download and no document.
    if (m_request.sink && status >= 200 && status < 300 && m_request.sink->write(chunk) != chunk.size())
        stopWith(u"Cannot write the answer: %1"_s.arg(m_request.sink->errorString()));
    else if (m_request.maxBytes >= 0 && m_result.bodySize > m_request.maxBytes)
        stopWith(u"The answer is longer than %1 bytes"_s.arg(m_request.maxBytes));
}

void HttpFetch::stopWith(const QString& reason)
{
    m_stopReason = reason;
    abortTransfer();
}

void HttpFetch::abortTransfer()
{
    if (m_exchange) {
        m_exchange->abort();
        onExchangeEnded(QString());
    } else if (m_reply) {
        m_reply->abort(); // reports finished() at once, inside this call
    }
}

void HttpFetch::onReplyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    onReadyRead(); // whatever arrived with the end
    m_deadline->stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    m_result.status = status.toInt();
    m_result.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    m_result.headers = reply->rawHeaderPairs();
    m_result.url = reply->url();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const QUrl landed = reply->url();
    releaseReply();
    // Qt 6.4 takes an interim answer (103 Early Hints) for the final one: ask again on a
    // connection that reads past it.
    if (m_result.status >= 102 && m_result.status < 200 && m_stopReason.isEmpty() && !m_result.truncated &&
        m_interimRetries++ < maxInterimRetries)
        return readPastInterimAnswers(landed);

    if (m_result.truncated)
        m_result.error.clear();
    else
        m_result.error = m_stopReason.isEmpty() ? whyIncomplete(m_result, status.isValid(), error, errorText)
                                                : m_stopReason;
    m_result.complete = m_result.error.isEmpty();
    end();
}

QString HttpFetch::whyIncomplete(const FetchResult& ended, bool statusReceived,
                                 QNetworkReply::NetworkError error, const QString& errorText)
{
    const QByteArray location = ended.header("Location");
    if ((error == QNetworkReply::ProtocolUnknownError && !location.isEmpty()) ||
        error == QNetworkReply::InsecureRedirectError)
        return redirectRefused(ended.url, location);
    if (!statusReceived || isTransportError(error))
        return errorText;
    // Qt reports an error status (400, 403, 422, 500 …) as an error of its own: that is the
    // site's answer. Below 400 an error means the answer did not come whole, such as a body that
    // could not be decoded.
    if (ended.status < 400 && error != QNetworkReply::NoError)
        return errorText;
    if (hasNoBody(ended.status))
        return QString();
    // Qt can report a body cut short by the server as a clean end: count the bytes ourselves.
    // A coded body arrives decoded, so its length cannot be compared.
    bool lengthKnown = false;
    const qint64 length = ended.header("Content-Length").trimmed().toLongLong(&lengthKnown);
    const QByteArray coding = ended.header("Content-Encoding").trimmed().toLower();
    if (lengthKnown && (coding.isEmpty() || coding == "identity") && ended.bodySize < length)
        return u"Connection closed after %1 of %2 bytes"_s.arg(ended.bodySize).arg(length);
    return QString();
}

void HttpFetch::readPastInterimAnswers(const QUrl& url)
{
    m_result = FetchResult();
    PlainHttpExchange::Headers headers = m_request.headers;
    headers.append(
        {"User-Agent", m_request.userAgent.isEmpty() ? QByteArray("Mozilla/5.0") : m_request.userAgent});
    if (!m_request.contentType.isEmpty())
        headers.append({"Content-Type", m_request.contentType});
    const QByteArray method = !m_request.method.isEmpty()
                                  ? m_request.method
                                  : (m_request.post ? QByteArray("POST") : QByteArray("GET"));
    m_exchange = new PlainHttpExchange(url, method, headers, m_request.body, this);
    connect(m_exchange, &PlainHttpExchange::headReceived, this,
            [this, url](int status, const QString& reason, const PlainHttpExchange::Headers& headers) {
                m_result.status = status;
                m_result.reason = reason;
                m_result.headers = headers;
                m_result.url = url;
                const QByteArray location = m_result.header("Location");
                if (status < 300 || status >= 400 || location.isEmpty())
                    return;
                // A redirect goes back to Qt, which follows it as it follows every other, under the
                // same policy as Qt's own redirects.
                const QUrl target = url.resolved(QUrl::fromEncoded(location));
                const QString scheme = target.scheme().toLower();
                const bool otherOrigin = scheme != url.scheme().toLower() || target.host() != url.host() ||
                                         target.port() != url.port();
                releaseExchange();
                if ((scheme != u"http"_s && scheme != u"https"_s) ||
                    (url.scheme() == u"https"_s && scheme == u"http"_s) ||
                    (m_request.carriesCredentials && otherOrigin))
                    return failWithoutTransfer(redirectRefused(url, location));
                m_result = FetchResult();
                startReply(target);
            });
    connect(m_exchange, &PlainHttpExchange::bodyReceived, this,
            [this](const QByteArray& chunk) { consume(chunk, m_result.status); });
    connect(m_exchange, &PlainHttpExchange::ended, this, &HttpFetch::onExchangeEnded);
    m_exchange->start();
}

void HttpFetch::onExchangeEnded(const QString& error)
{
    releaseExchange();
    m_deadline->stop();
    if (m_result.truncated)
        m_result.error.clear();
    else
        m_result.error = m_stopReason.isEmpty() ? error : m_stopReason;
    m_result.complete = m_result.error.isEmpty();
    end();
}

void HttpFetch::releaseExchange()
{
    if (!m_exchange)
        return;
    m_exchange->abort();
    m_exchange->deleteLater();
    m_exchange = nullptr;
}

void HttpFetch::failWithoutTransfer(const QString& error)
{
    QTimer::singleShot(0, this, [this, error, generation = m_generation] {
        if (generation != m_generation || !m_busy)
            return;
        m_result.error = error;
        end();
    });
}

void HttpFetch::end()
{
    m_busy = false;
    m_deadline->stop();
    const FetchResult result = std::move(m_result);
    m_result = FetchResult();
    emit finished(result);
}

void HttpFetch::cancel()
{
    ++m_generation;
    m_busy = false;
    m_deadline->stop();
    releaseExchange();
    m_interimRetries = 0;
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        releaseReply(); // disconnected first: abort() reports synchronously
        reply->abort();
    }
}

void HttpFetch::releaseReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
}

void HttpFetch::once(QNetworkAccessManager& network, const FetchRequest& request, QObject* context,
                     const std::function<void(const FetchResult&)>& done)
{
    auto* fetch = new HttpFetch(network, context);
    connect(fetch, &HttpFetch::finished, context, [fetch, done](const FetchResult& result) {
        fetch->deleteLater();
        done(result);
    });
    fetch->start(request);
}
