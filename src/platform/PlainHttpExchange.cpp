#include "PlainHttpExchange.h"

#include <QSslSocket>

using namespace Qt::StringLiterals;

namespace {

// A head larger than this is no answer a client should keep reading.
constexpr qsizetype longestHead = 64 * 1024;

} // namespace

PlainHttpExchange::PlainHttpExchange(const QUrl& url, const QByteArray& method, const Headers& headers,
                                     const QByteArray& body, QObject* parent)
    : QObject(parent), m_url(url),
      m_socket(url.scheme() == u"https"_s ? new QSslSocket(this) : new QTcpSocket(this))
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    m_request = method + ' ' + target + " HTTP/1.1\r\nHost: " + url.authority(QUrl::FullyEncoded).toLatin1() +
                "\r\nConnection: close\r\nAccept-Encoding: identity\r\n";
    for (const auto& [name, value] : headers)
        m_request += name + ": " + value + "\r\n";
    if (!body.isEmpty() || method == "POST" || method == "PUT")
        m_request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    m_request += "\r\n" + body;
    connect(m_socket, &QTcpSocket::readyRead, this, &PlainHttpExchange::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &PlainHttpExchange::onClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return onClosed();
        finish(m_socket->errorString());
    });
}

PlainHttpExchange::~PlainHttpExchange()
{
    abort();
}

void PlainHttpExchange::start()
{
    const quint16 port = quint16(m_url.port(m_url.scheme() == u"https"_s ? 443 : 80));
    if (auto* secure = qobject_cast<QSslSocket*>(m_socket)) {
        connect(secure, &QSslSocket::encrypted, this, [this] { m_socket->write(m_request); });
        secure->connectToHostEncrypted(m_url.host(), port);
    } else {
        connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
        m_socket->connectToHost(m_url.host(), port);
    }
}

void PlainHttpExchange::abort()
{
    m_finished = true;
    m_socket->disconnect(this);
    m_socket->abort();
}

void PlainHttpExchange::onReadyRead()
{
    m_buffer += m_socket->readAll();
    if (!consume())
        return;
    if (m_state == State::Done)
        finish({});
}

void PlainHttpExchange::onClosed()
{
    if (m_finished)
        return;
    m_buffer += m_socket->readAll();
    if (!consume())
        return;
    switch (m_state) {
    case State::Done:
    case State::UntilClose:
        return finish({});
    case State::Head:
        return finish(u"Connection closed before the answer's head ended"_s);
    case State::Length:
        return finish(u"Connection closed %1 bytes before the end of the answer"_s.arg(m_left));
    case State::Chunked:
        return finish(u"Connection closed before the last chunk of the answer"_s);
    }
}

bool PlainHttpExchange::consume()
{
    while (!m_finished && !m_buffer.isEmpty()) {
        switch (m_state) {
        case State::Head:
            if (!readHead())
                return !m_finished;
            break;
        case State::Length: {
            const QByteArray chunk = m_buffer.left(m_left);
            m_buffer.remove(0, chunk.size());
            m_left -= chunk.size();
            if (m_left == 0)
                m_state = State::Done;
            emit bodyReceived(chunk);
            break;
        }
        case State::UntilClose:
            emit bodyReceived(std::exchange(m_buffer, QByteArray()));
            break;
        case State::Chunked:
            if (!readChunked())
                return !m_finished;
            break;
        case State::Done:
            m_buffer.clear();
            break;
        }
    }
    return !m_finished;
}

bool PlainHttpExchange::readHead()
{
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_buffer.size() > longestHead)
            finish(u"The answer's head is longer than %1 bytes"_s.arg(longestHead));
        return false;
    }
    const QList<QByteArray> lines = m_buffer.left(end).split('\n');
    m_buffer.remove(0, end + 4);
    const QByteArray statusLine = lines.first().trimmed();
    const QList<QByteArray> words = statusLine.split(' ');
    bool number = false;
    const int status = words.value(1).toInt(&number);
    if (!statusLine.startsWith("HTTP/1.") || !number || status < 100 || status > 999) {
        finish(u"The answer does not begin with an HTTP status line"_s);
        return false;
    }
    if (status < 200 && status != 101)
        return true; // an interim answer: the final one follows
    Headers headers;
    bool chunked = false;
    qint64 length = -1;
    for (qsizetype line = 1; line < lines.size(); ++line) {
        const qsizetype colon = lines[line].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[line].left(colon).trimmed();
        const QByteArray value = lines[line].mid(colon + 1).trimmed();
        headers.append({name, value});
        if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
            chunked = value.toLower().contains("chunked");
        else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = value.toLongLong();
    }
    const qsizetype reasonStart = statusLine.indexOf(' ', statusLine.indexOf(' ') + 1);
    emit headReceived(
        status, reasonStart < 0 ? QString() : QString::fromLatin1(statusLine.mid(reasonStart + 1)), headers);
    if (status == 204 || status == 304 || status == 101)
        m_state = State::Done;
    else if (chunked)
        m_state = State::Chunked;
    else if (length >= 0)
        m_state = length == 0 ? State::Done : State::Length;
    else
        m_state = State::UntilClose;
    m_left = length;
    m_chunkData = false;
    return true;
}

bool PlainHttpExchange::readChunked()
{
    if (m_chunkData) {
        const QByteArray chunk = m_buffer.left(m_left);
        m_buffer.remove(0, chunk.size());
        m_left -= chunk.size();
        if (!chunk.isEmpty())
            emit bodyReceived(chunk);
        if (m_left > 0)
            return false;
        if (m_buffer.size() < 2)
            return false; // the line end after the data
        m_buffer.remove(0, 2);
        m_chunkData = false;
        return true;
    }
    const qsizetype lineEnd = m_buffer.indexOf("\r\n");
    if (lineEnd < 0)
        return false;
    QByteArray sizeText = m_buffer.left(lineEnd);
    sizeText.truncate(sizeText.indexOf(';') < 0 ? sizeText.size() : sizeText.indexOf(';'));
    bool number = false;
    const qint64 size = sizeText.trimmed().toLongLong(&number, 16);
    if (!number || size < 0) {
        finish(u"The answer's chunked body cannot be read"_s);
        return false;
    }
    if (size == 0) { // the last chunk; the trailer that may follow does not matter
        m_buffer.clear();
        m_state = State::Done;
        return true;
    }
    m_buffer.remove(0, lineEnd + 2);
    m_left = size;
    m_chunkData = true;
    return true;
}

void PlainHttpExchange::finish(const QString& error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_socket->disconnect(this);
    m_socket->abort();
    emit ended(error);
}
