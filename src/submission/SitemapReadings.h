#pragma once

#include "SitemapReader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

// The sitemaps of the website a request names, read on the session's fetching thread and kept
// for the next request: a summary, its preview and its run read them once. A reading under way
// serves every request for the same sitemaps that comes meanwhile; a failed one is not kept.
class SitemapReadings final : public QObject
{
    Q_OBJECT

public:
    using Reading = std::shared_ptr<const SitemapReader::Result>;
    using Ready = std::function<void(const Reading& reading)>;

    SitemapReadings(QThread& fetchingThread, QObject* parent = nullptr);
    ~SitemapReadings() override;

    // Calls `ready` once: at once with the reading kept for these sitemaps when it is younger
    // than `oldest` (any age when `oldest` is zero), else when a reading ends. Never once
    // `context` is gone. A reading of other sitemaps still under way is given up.
    void read(const QString& site, const QString& sitemap, std::chrono::milliseconds oldest, QObject* context,
              const Ready& ready);
    // Gives up the reading under way; those waiting for it are not called.
    void cancel();

signals:
    void progressed(int files, qsizetype pages);

private:
    class UnderWay;

    void onRead(const std::shared_ptr<SitemapReader::Result>& result);

    QThread& m_fetchingThread;
    UnderWay* m_underWay = nullptr;
    Reading m_kept;
    QString m_keptFor;
    QElapsedTimer m_keptAge;
};
