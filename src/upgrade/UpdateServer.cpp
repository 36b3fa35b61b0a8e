#include "UpdateServer.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

using namespace Qt::StringLiterals;

QUrl UpdateServer::defaultBase()
{
    const QString overridden = qEnvironmentVariable("ORVANTA_UPDATE_URL");
    return QUrl(overridden.isEmpty() ? u"https://updates.belvedyne.example"_s : overridden);
}

UpdateServer::UpdateServer(QNetworkAccessManager& network, QUrl base, std::chrono::milliseconds timeout)
    : m_network(network), m_base(std::move(base)), m_timeout(timeout)
{}

QUrl UpdateServer::checkUrl(const QString& installedVersion) const
{
    QUrl url = m_base;
    QString path = url.path();
    if (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + u"/registration/orv.asp"_s);
    url.setQuery(u"version="_s + QString::fromLatin1(QUrl::toPercentEncoding(installedVersion)),
                 QUrl::StrictMode);
    return url;
}

UpdateServer::Result UpdateServer::fetch(const QUrl& url, QIODevice* sink) const
{
    Result result;
    if (!url.isValid() || url.host().isEmpty()) {
        result.error = u"Invalid address \"%1\""_s.arg(url.toString());
        return result;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network.get(request);
    bool timedOut = false;
    bool sinkFailed = false;

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QIODevice::readyRead, &loop, [&] {
        const QByteArray chunk = reply->readAll();
        if (!sink)
            result.body += chunk;
        else if (sink->write(chunk) != chunk.size() && !sinkFailed) {
            sinkFailed = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(m_timeout);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (timedOut)
        result.error = u"No answer within %1 seconds"_s.arg(double(m_timeout.count()) / 1000.0);
    else if (sinkFailed)
        result.error = u"Cannot write the download: %1"_s.arg(sink->errorString());
    else if (reply->error() != QNetworkReply::NoError && status < 400)
        result.error = reply->errorString();
    else if (status >= 400)
        result.error = u"HTTP %1"_s.arg(status);
    else
        result.ok = true;
    reply->deleteLater();
    return result;
}
