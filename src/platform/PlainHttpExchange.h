#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

class QTcpSocket;

// One HTTP/1.1 request and its answer over a connection of its own, for the answers Qt 6.4
// cannot read: it takes an interim answer (103 Early Hints, 102 Processing) for the final one
// and drops what follows. Here interim answers are skipped, as RFC 9110 §15.2 has every client
// do, and the final answer's head and body are handed on as they arrive. It follows no
// redirect and asks for no content coding; the caller bounds it in time and can abort it.
class PlainHttpExchange final : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    PlainHttpExchange(const QUrl& url, const QByteArray& method, const Headers& headers,
                      const QByteArray& body, QObject* parent = nullptr);
    ~PlainHttpExchange() override;
    Q_DISABLE_COPY_MOVE(PlainHttpExchange)

    void start();
    // Ends it quietly: nothing more is reported.
    void abort();

signals:
    void headReceived(int status, const QString& reason, const PlainHttpExchange::Headers& headers);
    void bodyReceived(const QByteArray& chunk);
    // The whole answer arrived (empty error), or it cannot: why.
    void ended(const QString& error);

private:
    enum class State { Head, Length, Chunked, UntilClose, Done };

    void onReadyRead();
    void onClosed();
    // Reads what the buffer holds; false when the answer cannot be read.
    bool consume();
    bool readHead();
    bool readChunked();
    void finish(const QString& error);

    QUrl m_url;
    QByteArray m_request;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    State m_state = State::Head;
    qint64 m_left = 0; // of the body, or of the chunk being read
    bool m_chunkData = false;
    bool m_finished = false;
};
