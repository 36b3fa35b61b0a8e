#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class PlainHttpExchange;
class QIODevice;
class QNetworkAccessManager;
class QTimer;

struct FetchRequest
{
    QUrl url;
    bool post = false;
    QByteArray method; // another verb, such as PUT; empty: POST when post, else GET
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // sent as they are (an Authorization, say)
    QByteArray contentType;                       // sent when not empty
    QByteArray userAgent;                         // sent when not empty, else Qt's own
    // The request carries credentials (a token, a client secret): a redirect to another origin
    // is not followed, so they go nowhere but where they were meant for.
    bool carriesCredentials = false;
    std::chrono::milliseconds deadline{20000};
    qint64 keepBytes = 0;      // the first this-many bytes of the body are kept for the caller
    bool stopWhenKept = false; // those bytes are all that is wanted: the transfer ends there
    qint64 maxBytes = -1;      // a longer body fails the fetch; -1 takes any length
    QIODevice* sink = nullptr; // receives the whole body of a 2xx answer as it arrives
};

struct FetchResult
{
    bool complete = false;  // a whole HTTP response arrived, of any status (or all that was asked for)
    bool truncated = false; // ended once keepBytes had arrived, as asked
    int status = 0;
    QString reason;
    QByteArray body; // at most keepBytes of it
    qint64 bodySize = 0;
    QString error; // when not complete: why, in a few words
    QUrl url;      // where the response came from, after redirects
    QList<QPair<QByteArray, QByteArray>> headers;
    bool timedOut = false; // the deadline ended it

    // The first header of that name, matched without regard to case.
    QByteArray header(const QByteArray& name) const;
};

// One HTTP request within bounds a misbehaving server cannot push: a hard deadline (not only an
// inactivity time-out), a cap on the body, and memory that stays small whatever is sent. A
// response counts as complete only when all of it arrived: a body shorter than its declared
// length, or a redirect to something other than a web address, is a failure.
class HttpFetch final : public QObject
{
    Q_OBJECT

public:
    explicit HttpFetch(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~HttpFetch() override;
    Q_DISABLE_COPY_MOVE(HttpFetch)

    // Returns at once; finished() follows from the event loop, never from inside start().
    void start(const FetchRequest& request);
    // One request run to its end by a fetch of its own; `done` gets the result, and never once
    // `context` is gone (the fetch goes with it).
    static void once(QNetworkAccessManager& network, const FetchRequest& request, QObject* context,
                     const std::function<void(const FetchResult&)>& done);
    // Ends the running fetch quietly: no finished() for it.
    void cancel();
    bool isBusy() const { return m_busy; }

    // Why a reply Qt has ended is not a complete response, from its status, headers, the bytes
    // received and Qt's error; empty when it is complete.
    static QString whyIncomplete(const FetchResult& ended, bool statusReceived,
                                 QNetworkReply::NetworkError error, const QString& errorText);
    // Why a redirect was not followed: to no web address, from https to http, or, for a request
    // that carries credentials, to another origin.
    static QString redirectRefused(const QUrl& from, const QByteArray& location);

signals:
    void finished(const FetchResult& result);

private:
    // Interim answers read past on a connection of our own, at most this often per fetch.
    static constexpr int maxInterimRetries = 5;

    void startReply(const QUrl& url);
    void onReadyRead();
    void consume(const QByteArray& chunk, int status);
    void onReplyFinished();
    void readPastInterimAnswers(const QUrl& url);
    void onExchangeEnded(const QString& error);
    void failWithoutTransfer(const QString& error);
    void stopWith(const QString& reason);
    void abortTransfer();
    void end();
    void releaseReply();
    void releaseExchange();

    QNetworkAccessManager& m_network;
    FetchRequest m_request;
    FetchResult m_result;
    QPointer<QNetworkReply> m_reply;
    PlainHttpExchange* m_exchange = nullptr;
    int m_interimRetries = 0;
    QTimer* m_deadline;
    QString m_stopReason; // why we aborted the reply ourselves
    quint64 m_generation = 0;
    bool m_busy = false;
};
