#pragma once

#include "GoogleCredentials.h"
#include "GoogleEndpoints.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

class QNetworkAccessManager;
class QOAuthHttpServerReplyHandler;

// A person signs in to Google in their browser: the authorisation-code flow with PKCE (S256) and
// a loopback redirect to 127.0.0.1 on a port chosen now (Qt's listener), the `state` checked, the
// code exchanged for tokens within the bounds every answer from Google has. Google blocked the
// copy-and-paste flow in 2023; this is the flow it asks desktop programs to use.
class GoogleSignIn final : public QObject
{
    Q_OBJECT

public:
    // `port` 0: one the system picks; else that one (a tunnel from another machine expects it).
    GoogleSignIn(QNetworkAccessManager& network, const GoogleEndpoints& endpoints,
                 const OAuthClientFile& client, QObject* parent = nullptr, quint16 port = 0);
    ~GoogleSignIn() override;

    // Starts listening and asks for the browser; false with a sentence when no port could be had.
    bool start(QString& error);
    // Where Google's answer is awaited on 127.0.0.1, once started.
    quint16 port() const;
    // How long the browser step may take before the sign-in gives up.
    void setPatience(std::chrono::milliseconds patience) { m_patience.setInterval(patience); }

    // What finished() says when the browser step took longer than the patience allows.
    static inline const QString nobodyInTime =
        QStringLiteral("Nobody finished signing in to Google in time.");

    // Base64url of a SHA-256 of the verifier, as RFC 7636 has it.
    static QByteArray challengeOf(const QByteArray& verifier);

signals:
    // The address to open in a browser (it carries no secret: the challenge, not the verifier).
    void openBrowser(const QUrl& address);
    // Credentials that hold tokens, or an error in a sentence.
    void finished(const GoogleCredentials& credentials, const QString& error);

private:
    void onRedirected(const QVariantMap& values);
    void exchange(const QString& code);
    void finish(const GoogleCredentials& credentials, const QString& error);

    QNetworkAccessManager& m_network;
    GoogleEndpoints m_endpoints;
    OAuthClientFile m_client;
    QOAuthHttpServerReplyHandler* m_listener;
    QByteArray m_verifier;
    QByteArray m_state;
    QTimer m_patience;
    bool m_exchanging = false;
    bool m_finished = false;
};
