#pragma once

#include "UpdateReply.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

class HttpFetch;
class QNetworkAccessManager;
class QSaveFile;
class SettingsStore;
struct FetchResult;

// The steps of an online upgrade: ask the update server whether a newer version exists and,
// if so, download its file and record its version number. Each step is reported as a status
// text, and the upgrade as one ending; the window only shows them. Nothing blocks: a request in
// flight can be cancelled, and then nothing is stored.
class Upgrade final : public QObject
{
    Q_OBJECT

public:
    enum class Ending {
        Current,          // the installed version is the newest
        Upgraded,         // the file is in place and the new version recorded
        CouldNotRegister, // no usable answer, or no complete download: nothing stored
        Incomplete,       // a newer version without its address or number: ends quietly
    };

    struct Options
    {
        QUrl server;
        QString downloadFile; // "orvd.upg" in the program's writable directory
        std::chrono::milliseconds timeout = std::chrono::seconds(60);
    };

    // A longer answer to the check is no answer the server would give.
    static constexpr qint64 maxReplyBytes = 1024 * 1024;

    // The base address: $ORVANTA_UPDATE_URL when set, otherwise the maker's server over HTTPS.
    static QUrl defaultServer();
    static QUrl checkUrl(const QUrl& server, const QString& installedVersion);

    Upgrade(SettingsStore& settings, Options options, QObject* parent = nullptr);
    ~Upgrade() override;
    Q_DISABLE_COPY_MOVE(Upgrade)

    void start();
    // Ends a request in flight quietly: no ending is reported, nothing is stored.
    void cancel();
    bool isBusy() const;

signals:
    void statusChanged(const QString& status);
    void finished(Upgrade::Ending ending);

private:
    void onChecked(const FetchResult& result);
    void onDownloaded(const FetchResult& result);
    void download(const QString& address);

    SettingsStore& m_settings;
    Options m_options;
    QNetworkAccessManager* m_network;
    HttpFetch* m_fetch;
    std::unique_ptr<QSaveFile> m_file;
    UpdateReply m_reply;
};
