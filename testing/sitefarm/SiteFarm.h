#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QTcpServer;
class QTcpSocket;

// A farm of promotion sites on 127.0.0.1, on a port the system picks: an HTTP server that
// records every request's exact bytes and answers each path in its own way, well or badly.
// Every misbehaviour is bounded in time and bytes, so nothing it does runs on by itself.
class SiteFarm final : public QObject
{
    Q_OBJECT

public:
    enum class Behaviour {
        Ok,              // 200 with a short body
        NotFound,        // 404
        ServerError,     // 500
        Redirect,        // 302 to the path in Route::location
        RedirectLoop,    // 302 to itself, for ever
        Hang,            // reads the request and never answers
        Trickle,         // 200, then the body one byte every Route::intervalMs
        ResetMidBody,    // 200 announcing a body, part of it, then a reset
        CutShort,        // 200 announcing 1000 bytes, 100 of them, then an orderly close
        NoContent,       // 204 with no body
        MalformedStatus, // a status line that is not HTTP
        HugeBody,        // 200 with Route::bodySize bytes, streamed, never held
        Status,          // Route::status with Route::body
        Raw,             // Route::body as the whole answer, status line and all, then a close
        // Notification services, as their operators document them:
        IndexNow,   // reads the key file the request names; 200 (Route::status if set) when it
                    // holds the key, 403 when not, 400 or 422 for a bad request, 429 for a URL
                    // notified again within Route::intervalMs
        XmlRpcPing, // weblogUpdates.ping and extendedPing: always 200, flerror in the body
        WebSubHub,  // hub.mode=publish with a web address in hub.url: 204, else 400
    };

    struct Route
    {
        Route(Behaviour behaviour = Behaviour::Ok, QByteArray location = {}, qint64 bodySize = 100,
              int intervalMs = 300, QByteArray body = {}, int status = 0)
            : behaviour(behaviour), location(std::move(location)), bodySize(bodySize), intervalMs(intervalMs),
              body(std::move(body)), status(status)
        {}
        static Route answering(int status, QByteArray body, QByteArray headers = {})
        {
            Route route(Behaviour::Status, {}, 0, 0, std::move(body), status);
            route.headers = std::move(headers);
            return route;
        }
        static Route raw(QByteArray response) { return Route(Behaviour::Raw, {}, 0, 0, std::move(response)); }

        Behaviour behaviour;
        QByteArray location; // Redirect
        qint64 bodySize;     // Trickle, HugeBody
        int intervalMs;      // Trickle, IndexNow
        QByteArray body;     // Ok, Status: the body to answer with (an empty one too), unless null
        int status;          // Status, IndexNow
        QByteArray headers;  // Status: header lines to add, each ending in CRLF
    };

    // A request as a handler sees it.
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QByteArray path;
        QByteArray body;
        QByteArray head; // the request line and the headers

        // The first header of that name, matched without regard to case.
        QByteArray header(const QByteArray& name) const;
        // The host it was sent to, as its Host header names it, without the port.
        QByteArray host() const;
    };
    struct Answer
    {
        Answer(int status = 200, QByteArray body = {}, QByteArray contentType = "application/json",
               QByteArray headers = {})
            : status(status), body(std::move(body)), contentType(std::move(contentType)),
              headers(std::move(headers))
        {}
        int status;
        QByteArray body;
        QByteArray contentType;
        QByteArray headers; // header lines to add, each ending in CRLF
        int delayMs = 0;    // sent this long after the request came, as a distant server answers
    };
    // Every path that starts with `prefix` is answered by the handler (a service imitated in
    // code, such as Google's), before the routes; the handler given last first, so that a test
    // can make a service misbehave.
    using Handler = std::function<Answer(const Request&)>;
    void handle(const QString& prefix, Handler handler);

    explicit SiteFarm(QObject* parent = nullptr);
    ~SiteFarm() override;

    bool listen();
    quint16 port() const;
    QString url(const QString& path) const;
    // An address on 127.0.0.1 where nothing listens: connections are refused.
    static QString refusedUrl(const QString& path = QStringLiteral("/"));

    // Paths are matched without their query; a path without a route answers 200.
    void route(const QString& path, const Route& route);
    void route(const QString& path, Behaviour behaviour) { route(path, Route(behaviour)); }

    const QList<QByteArray>& requests() const { return m_requests; }
    int openConnections() const;
    // Open connections that carry a whole request. A client may open a spare connection ahead
    // of need and keep it idle; such a connection does not count here.
    int openRequests() const;

signals:
    void requestReceived(const QByteArray& request);

private:
    struct Connection;
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);
    void answerIndexNow(QTcpSocket* socket, const Route& route, const Request& request);
    void streamBody(QTcpSocket* socket);

    QTcpServer* m_server;
    QNetworkAccessManager* m_network; // what the IndexNow endpoint reads key files with
    QHash<QString, Route> m_routes;
    QList<std::pair<QString, Handler>> m_handlers;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, Connection*> m_connections;
    QHash<QString, qint64> m_lastNotified; // IndexNow: when each URL was last taken, in ms
};
