#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class HttpFetch;
class QNetworkAccessManager;
struct FetchResult;
struct Profile;

// Whether a site serves its profile's IndexNow key where the engines look for it, told in a
// sentence a user can act on: served, missing, the wrong content, an HTML page in its place, a
// redirect to another host, or not reachable at all.
class KeyFileCheck final : public QObject
{
    Q_OBJECT

public:
    enum class Finding {
        Served,
        NoKey,
        InvalidKey,
        NoAddress,
        Missing,
        WrongContent,
        HtmlPage,
        OtherHost,
        Unreachable,
        HttpError
    };

    struct Result
    {
        Finding finding = Finding::Unreachable;
        QString message;
        QUrl location; // where the key was looked for
    };

    explicit KeyFileCheck(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~KeyFileCheck() override;

    // Returns at once; finished() follows from the event loop, even when there is nothing to fetch.
    void start(const Profile& profile);
    void cancel();
    bool isBusy() const;

    // What a profile without a usable key or address gets at once; none when the file can be fetched.
    static std::optional<Result> unfetchable(const Profile& profile);
    // The finding from what the key's location answered.
    static Result judge(const QString& key, const QUrl& location, const FetchResult& fetched);

signals:
    void finished(const KeyFileCheck::Result& result);

private:
    HttpFetch* m_fetch;
    QString m_key;
    QUrl m_location;
    bool m_pending = false; // a result without a fetch, due from the event loop
};
