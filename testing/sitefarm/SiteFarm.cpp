#include "SiteFarm.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::StringLiterals;

struct SiteFarm::Connection
{
    QByteArray received;
    bool answered = false;
    qint64 bodyLeft = 0; // bytes of a streamed body still to send
};

namespace {

QByteArray statusResponse(const QByteArray& status, const QByteArray& body,
                          const QByteArray& extraHeaders = {}, const QByteArray& type = "text/plain")
{
    // Headers of a route's own stand in place of the ones it would get by default.
    const QByteArray own = extraHeaders.toLower();
    return "HTTP/1.1 " + status + "\r\n" +
           (own.contains("content-type:") ? QByteArray() : "Content-Type: " + type + "\r\n") +
           (own.contains("content-length:") ? QByteArray()
                                            : "Content-Length: " + QByteArray::number(body.size()) + "\r\n") +
           extraHeaders + "Connection: close\r\n\r\n" + body;
}

QByteArray reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 410:
        return "Gone";
    case 422:
        return "Unprocessable Entity";
    case 429:
        return "Too Many Requests";
    default:
        return "Status";
    }
}

QByteArray statusLine(int status)
{
    return QByteArray::number(status) + ' ' + reasonOf(status);
}

bool isKey(const QString& key)
{
    static const QRegularExpression pattern(u"^[a-zA-Z0-9-]{8,128}$"_s);
    return pattern.match(key).hasMatch();
}

bool isWebAddress(const QUrl& url)
{
    return url.isValid() && (url.scheme() == u"http"_s || url.scheme() == u"https"_s) &&
           !url.host().isEmpty();
}

// The values of an XML-RPC call's parameters, as the text they hold.
std::optional<QStringList> xmlRpcParams(const QByteArray& body, QString& method)
{
    QXmlStreamReader xml(body);
    QStringList values;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"methodName"_s)
            method = xml.readElementText();
        else if (xml.name() == u"value"_s)
            values << xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    if (xml.hasError())
        return std::nullopt;
    return values;
}

QByteArray xmlRpcAnswer(bool error, const QString& message)
{
    return "<?xml version=\"1.0\"?>\n<methodResponse><params><param><value><struct>\n"
           "<member><name>flerror</name><value><boolean>" +
           QByteArray(error ? "1" : "0") +
           "</boolean></value></member>\n<member><name>message</name><value>" +
           message.toHtmlEscaped().toUtf8() +
           "</value></member>\n</struct></value></param></params></methodResponse>\n";
}

QByteArray headerValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

SiteFarm::SiteFarm(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_network(new QNetworkAccessManager(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SiteFarm::accept);
}

SiteFarm::~SiteFarm()
{
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        it.key()->disconnect(this);
        it.key()->abort();
        delete it.value();
    }
}

bool SiteFarm::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 SiteFarm::port() const
{
    return m_server->serverPort();
}

QString SiteFarm::url(const QString& path) const
{
    return u"http://127.0.0.1:%1%2"_s.arg(port()).arg(path);
}

QString SiteFarm::refusedUrl(const QString& path)
{
    // A port that was free a moment ago, closed again: nothing listens there.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return u"http://127.0.0.1:%1%2"_s.arg(port).arg(path);
}

void SiteFarm::route(const QString& path, const Route& route)
{
    m_routes.insert(path, route);
}

int SiteFarm::openConnections() const
{
    return int(m_connections.size());
}

int SiteFarm::openRequests() const
{
    return int(std::count_if(m_connections.cbegin(), m_connections.cend(),
                             [](const Connection* connection) { return connection->answered; }));
}

void SiteFarm::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_connections.take(socket);
            socket->deleteLater();
        });
    }
}

void SiteFarm::readFrom(QTcpSocket* socket)
{
    Connection* connection = m_connections.value(socket);
    if (!connection)
        return;
    connection->received += socket->readAll();
    if (connection->answered)
        return;
    const qsizetype headEnd = connection->received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    const QByteArray head = connection->received.left(headEnd);
    const qint64 bodyLength = headerValue(head, "content-length").toLongLong();
    if (connection->received.size() < headEnd + 4 + bodyLength)
        return;

    connection->answered = true;
    QByteArray request = connection->received.left(headEnd + 4 + bodyLength);
    request.squeeze(); // kept for the whole run: not with the read buffer's spare room
    m_requests.append(request);
    emit requestReceived(request);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    answer(socket, Request{requestLine.value(0), target,
                           target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')),
                           request.mid(headEnd + 4), head});
}

QByteArray SiteFarm::Request::header(const QByteArray& name) const
{
    return headerValue(head, name.toLower());
}

QByteArray SiteFarm::Request::host() const
{
    const QByteArray value = header("host");
    return value.left(value.lastIndexOf(':') < 0 ? value.size() : value.lastIndexOf(':'));
}

void SiteFarm::handle(const QString& prefix, Handler handler)
{
    m_handlers.prepend({prefix, std::move(handler)});
}

void SiteFarm::answer(QTcpSocket* socket, const Request& request)
{
    const QByteArray& path = request.path;
    for (const auto& [prefix, handler] : m_handlers) {
        if (path.startsWith(prefix.toUtf8())) {
            const Answer answer = handler(request);
            const QByteArray response =
                statusResponse(statusLine(answer.status), answer.body, answer.headers, answer.contentType);
            const auto send = [socket, response] {
                socket->write(response);
                socket->disconnectFromHost();
            };
            if (answer.delayMs > 0)
                QTimer::singleShot(answer.delayMs, socket, send);
            else
                send();
            return;
        }
    }
    const Route route = m_routes.value(QString::fromUtf8(path));
    Connection* connection = m_connections.value(socket);
    const auto reply = [socket](const QByteArray& response) {
        socket->write(response);
        socket->disconnectFromHost();
    };
    switch (route.behaviour) {
    case Behaviour::Status:
        reply(statusResponse(statusLine(route.status), route.body, route.headers));
        return;
    case Behaviour::Raw:
        reply(route.body);
        return;
    case Behaviour::IndexNow:
        answerIndexNow(socket, route, request);
        return;
    case Behaviour::XmlRpcPing: {
        QString method;
        const std::optional<QStringList> params = xmlRpcParams(request.body, method);
        const bool known = method == u"weblogUpdates.ping"_s || method == u"weblogUpdates.extendedPing"_s;
        QString refusal;
        if (!params || !known)
            refusal = u"Unknown method or malformed call"_s;
        else if (params->size() != (method == u"weblogUpdates.ping"_s ? 2 : 4))
            refusal = u"Wrong number of parameters"_s;
        else if (!isWebAddress(QUrl(params->at(1))))
            refusal = u"The weblog address \"%1\" is not a URL"_s.arg(params->at(1));
        reply(statusResponse(
            "200 OK",
            xmlRpcAnswer(!refusal.isEmpty(), refusal.isEmpty() ? u"Thanks for the ping."_s : refusal), {},
            "text/xml"));
        return;
    }
    case Behaviour::WebSubHub: {
        const QUrlQuery form(QString::fromUtf8(request.body));
        const QUrl feed(form.queryItemValue(u"hub.url"_s, QUrl::FullyDecoded));
        if (request.method != "POST" || form.queryItemValue(u"hub.mode"_s) != u"publish"_s)
            reply(statusResponse("400 Bad Request", "hub.mode must be publish"));
        else if (!isWebAddress(feed))
            reply(statusResponse("400 Bad Request", "hub.url is not a valid URL"));
        else
            reply("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
        return;
    }
    case Behaviour::Ok:
        socket->write(
            statusResponse("200 OK", route.body.isNull() ? "Thank you for your submission." : route.body));
        socket->disconnectFromHost();
        return;
    case Behaviour::NotFound:
        socket->write(statusResponse("404 Not Found", "No such page."));
        socket->disconnectFromHost();
        return;
    case Behaviour::ServerError:
        socket->write(statusResponse("500 Internal Server Error", "Something broke."));
        socket->disconnectFromHost();
        return;
    case Behaviour::Redirect:
        socket->write(statusResponse("302 Found", QByteArray(), "Location: " + route.location + "\r\n"));
        socket->disconnectFromHost();
        return;
    case Behaviour::RedirectLoop:
        socket->write(statusResponse("302 Found", QByteArray(), "Location: " + path + "\r\n"));
        socket->disconnectFromHost();
        return;
    case Behaviour::Hang:
        return;
    case Behaviour::Trickle: {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(route.bodySize) + "\r\nConnection: close\r\n\r\n");
        connection->bodyLeft = route.bodySize;
        auto* drip = new QTimer(socket);
        connect(drip, &QTimer::timeout, socket, [this, socket, drip] {
            Connection* open = m_connections.value(socket);
            if (!open || open->bodyLeft-- <= 0) {
                drip->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write("x");
        });
        drip->start(route.intervalMs);
        return;
    }
    case Behaviour::ResetMidBody:
        socket->write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\npartial body");
        socket->flush();
        socket->abort();
        return;
    case Behaviour::CutShort:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\n" +
                      QByteArray(100, 'c'));
        socket->disconnectFromHost();
        return;
    case Behaviour::NoContent:
        socket->write("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Behaviour::MalformedStatus:
        socket->write("THIS IS NOT HTTP\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Behaviour::HugeBody:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                      QByteArray::number(route.bodySize) + "\r\nConnection: close\r\n\r\n");
        connection->bodyLeft = route.bodySize;
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { streamBody(socket); });
        streamBody(socket);
        return;
    }
}

void SiteFarm::answerIndexNow(QTcpSocket* socket, const Route& route, const Request& request)
{
    const auto reply = [socket](int status, const QByteArray& body) {
        socket->write(statusResponse(statusLine(status), body, {}, "application/json"));
        socket->disconnectFromHost();
    };
    QString host;
    QString key;
    QString keyLocation;
    QStringList urls;
    if (request.method == "GET") {
        const QUrlQuery query(QUrl::fromEncoded(request.target).query());
        key = query.queryItemValue(u"key"_s, QUrl::FullyDecoded);
        keyLocation = query.queryItemValue(u"keyLocation"_s, QUrl::FullyDecoded);
        urls << query.queryItemValue(u"url"_s, QUrl::FullyDecoded);
        host = QUrl(urls.first()).host();
    } else {
        QJsonParseError error;
        const QJsonObject call = QJsonDocument::fromJson(request.body, &error).object();
        if (error.error != QJsonParseError::NoError)
            return reply(400, "{\"message\":\"Invalid JSON\"}");
        if (!call.value(u"urlList"_s).isArray())
            return reply(422, "{\"message\":\"Url list must be array\"}");
        host = call.value(u"host"_s).toString();
        key = call.value(u"key"_s).toString();
        keyLocation = call.value(u"keyLocation"_s).toString();
        for (const QJsonValue url : call.value(u"urlList"_s).toArray())
            urls << url.toString();
    }
    if (!isKey(key) || host.isEmpty() || urls.isEmpty())
        return reply(400, "{\"message\":\"Bad request\"}");
    for (const QString& url : std::as_const(urls)) {
        if (QUrl(url).host().compare(host, Qt::CaseInsensitive) != 0)
            return reply(422, "{\"message\":\"URLs don't belong to the host\"}");
    }
    const QUrl location(keyLocation.isEmpty() ? u"https://%1/%2.txt"_s.arg(host, key) : keyLocation);
    if (location.host().compare(host, Qt::CaseInsensitive) != 0)
        return reply(422, "{\"message\":\"The key location is not on the host\"}");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString notified = urls.join(u'\n');
    if (m_lastNotified.contains(notified) && now - m_lastNotified.value(notified) < route.intervalMs)
        return reply(429, "{\"message\":\"Too Many Requests\"}");

    // The engine reads the key file as any client would, and answers once it has.
    QNetworkReply* keyFile = m_network->get(QNetworkRequest(location));
    keyFile->setParent(socket);
    connect(keyFile, &QNetworkReply::finished, this,
            [this, reply, keyFile, key, notified, status = route.status ? route.status : 200] {
                keyFile->deleteLater();
                const bool served = keyFile->error() == QNetworkReply::NoError &&
                                    QString::fromUtf8(keyFile->readAll()).trimmed() == key;
                if (!served)
                    return reply(403, "{\"code\":\"UserForbiddedToAccessSite\",\"message\":\"The key file "
                                      "is missing or does not hold the key\"}");
                m_lastNotified.insert(notified, QDateTime::currentMSecsSinceEpoch());
                reply(status, QByteArray());
            });
}

void SiteFarm::streamBody(QTcpSocket* socket)
{
    static const QByteArray chunk(64 * 1024, 'z');
    Connection* connection = m_connections.value(socket);
    if (!connection)
        return;
    // Keep a little in flight and no more: the body is made as it is sent, never held whole.
    while (connection->bodyLeft > 0 && socket->bytesToWrite() < 4 * chunk.size()) {
        const qint64 size = qMin<qint64>(chunk.size(), connection->bodyLeft);
        socket->write(chunk.constData(), size);
        connection->bodyLeft -= size;
    }
    if (connection->bodyLeft == 0 && socket->bytesToWrite() == 0)
        socket->disconnectFromHost();
}
