#include "SiteFarm.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

struct SiteFarm::Connection
{
    QByteArray received;
    bool answered = false;
    qint64 bodyLeft = 0; // bytes of a streamed body still to send
};

namespace {

QByteArray statusResponse(const QByteArray& status, const QByteArray& body,
                          const QByteArray& extraHeaders = {})
{
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
           extraHeaders + "Connection: close\r\n\r\n" + body;
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

SiteFarm::SiteFarm(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
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
    const QByteArray request = connection->received.left(headEnd + 4 + bodyLength);
    m_requests.append(request);
    emit requestReceived(request);
    const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
    answer(socket, target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')));
}

void SiteFarm::answer(QTcpSocket* socket, const QByteArray& path)
{
    const Route route = m_routes.value(QString::fromUtf8(path));
    Connection* connection = m_connections.value(socket);
    switch (route.behaviour) {
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
