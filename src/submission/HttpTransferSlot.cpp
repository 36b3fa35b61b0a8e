#include "HttpTransferSlot.h"

#include "SubmissionRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 readBufferSize = 64 * 1024;
}

HttpTransferSlot::HttpTransferSlot(QNetworkAccessManager& network, std::chrono::milliseconds deadline,
                                   QObject* parent)
    : TransferSlot(parent), m_network(network), m_deadline(deadline), m_deadlineTimer(new QTimer(this))
{
    m_deadlineTimer->setSingleShot(true);
    m_deadlineTimer->setTimerType(Qt::PreciseTimer);
    connect(m_deadlineTimer, &QTimer::timeout, this, [this] {
        if (!m_reply)
            return;
        // Our flag, not the error code, tells a deadline from a cancel: both read "canceled".
        m_timedOut = true;
        m_reply->abort();
    });
}

HttpTransferSlot::~HttpTransferSlot()
{
    cancel();
}

bool HttpTransferSlot::stillExecuting() const
{
    return m_executing;
}

void HttpTransferSlot::execute(const TransferRequest& request)
{
    cancel();
    ++m_generation;
    m_executing = true;
    m_timedOut = false;
    m_errorDetail.clear();

    const QUrl url = QUrl::fromEncoded(request.url, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) {
        failWithoutTransfer(u"Invalid URL: %1"_s.arg(QString::fromUtf8(request.url)));
        return;
    }
    if (scheme != u"http"_s && scheme != u"https"_s) {
        failWithoutTransfer(
            u"Unsupported protocol \"%1\" in %2"_s.arg(url.scheme(), QString::fromUtf8(request.url)));
        return;
    }

    QNetworkRequest networkRequest(url);
    networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, TransferRequest::contentType);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = request.post ? m_network.post(networkRequest, request.body) : m_network.get(networkRequest);
    m_reply->setReadBufferSize(readBufferSize);
    connect(m_reply, &QIODevice::readyRead, this, [reply = m_reply] {
        if (reply)
            reply->readAll(); // the body is never used: drop it as it comes
    });
    connect(m_reply, &QNetworkReply::finished, this, &HttpTransferSlot::replyFinished);
    m_deadlineTimer->start(m_deadline);
}

void HttpTransferSlot::failWithoutTransfer(const QString& detail)
{
    // Reported from the event loop, like every other end, never from inside execute().
    QTimer::singleShot(0, this, [this, detail, generation = m_generation] {
        if (generation == m_generation && m_executing)
            end(icError, detail);
    });
}

void HttpTransferSlot::replyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    m_deadlineTimer->stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Codes below 201 are transport or proxy failures: no complete response arrived.
    const bool completeResponse = status.isValid() && (error == QNetworkReply::NoError || error >= 201);
    const int statusCode = status.toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QString errorText = reply->errorString();
    releaseReply();

    if (m_timedOut)
        end(icError, u"No complete response within %1 seconds"_s.arg(double(m_deadline.count()) / 1000.0));
    else if (!completeResponse)
        end(icError, errorText);
    else if (statusCode >= 400)
        end(icError, QString(u"HTTP %1 "_s.arg(statusCode) + reason).trimmed());
    else
        end(icResponseCompleted, QString());
}

void HttpTransferSlot::end(int state, const QString& detail)
{
    m_executing = false;
    m_errorDetail = detail;
    emit stateChanged(state);
}

void HttpTransferSlot::cancel()
{
    m_deadlineTimer->stop();
    ++m_generation;
    m_executing = false;
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        releaseReply(); // disconnected first: abort() reports synchronously
        reply->abort();
    }
}

void HttpTransferSlot::releaseReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->deleteLater();
    m_reply = nullptr;
}
