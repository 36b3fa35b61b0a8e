#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>

class QIODevice;
class QNetworkAccessManager;

// The maker's update server and the two blocking fetches of an upgrade. A fetch waits in a
// local event loop that takes no user input, so the window still repaints, and ends at the
// latest when its time-out runs out.
class UpdateServer
{
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};

    struct Result
    {
        bool ok = false;
        QByteArray body; // only when no sink was given
        QString error;
    };

    // The base address: $ORVANTA_UPDATE_URL when set, otherwise the maker's server over HTTPS.
    static QUrl defaultBase();

    UpdateServer(QNetworkAccessManager& network, QUrl base,
                 std::chrono::milliseconds timeout = defaultTimeout);

    QString host() const { return m_base.host(); }
    QUrl checkUrl(const QString& installedVersion) const;

    // Any HTTP status of 400 or above, a transport error or the time-out is a failure.
    // With a sink, the body goes there as it arrives instead of into the result.
    Result fetch(const QUrl& url, QIODevice* sink = nullptr) const;

private:
    QNetworkAccessManager& m_network;
    QUrl m_base;
    std::chrono::milliseconds m_timeout;
};
