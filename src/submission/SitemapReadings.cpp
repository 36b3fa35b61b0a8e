#include "SitemapReadings.h"

#include "WebsiteFetcher.h"

#include <QList>

// A reading on the fetching thread and those waiting for it. Its fetcher's signals come to this
// object, so that what a given-up reading still sends is dropped with it.
class SitemapReadings::UnderWay final : public QObject
{
public:
    UnderWay(QThread& thread, QString key, QObject* parent)
        : QObject(parent), key(std::move(key)), fetcher(WebsiteFetcher::on(thread))
    {}
    ~UnderWay() override { fetcher->release(); }

    const QString key;
    WebsiteFetcher* const fetcher;
    QList<std::pair<QPointer<QObject>, Ready>> waiting;
};

namespace {

QString keyOf(const QString& site, const QString& sitemap)
{
    return site + u'\n' + sitemap;
}

} // namespace

SitemapReadings::SitemapReadings(QThread& fetchingThread, QObject* parent)
    : QObject(parent), m_fetchingThread(fetchingThread)
{}

SitemapReadings::~SitemapReadings() = default;

void SitemapReadings::read(const QString& site, const QString& sitemap, std::chrono::milliseconds oldest,
                           QObject* context, const Ready& ready)
{
    const QString key = keyOf(site, sitemap);
    if (m_kept && m_keptFor == key && (oldest.count() == 0 || m_keptAge.elapsed() < oldest.count())) {
        ready(m_kept);
        return;
    }
    if (m_underWay && m_underWay->key != key)
        cancel();
    if (!m_underWay) {
        m_underWay = new UnderWay(m_fetchingThread, key, this);
        connect(m_underWay->fetcher, &WebsiteFetcher::readingProgressed, m_underWay,
                [this](int files, qsizetype pages) { emit progressed(files, pages); });
        connect(m_underWay->fetcher, &WebsiteFetcher::sitemapsRead, m_underWay,
                [this](const auto& result) { onRead(result); });
        m_underWay->fetcher->read(site, sitemap);
    }
    m_underWay->waiting.append({QPointer<QObject>(context), ready});
}

void SitemapReadings::cancel()
{
    // Deleted now, and with it whatever its fetcher has sent that is not delivered yet.
    delete std::exchange(m_underWay, nullptr);
}

void SitemapReadings::onRead(const std::shared_ptr<SitemapReader::Result>& result)
{
    UnderWay* done = std::exchange(m_underWay, nullptr);
    done->deleteLater();           // it is the one calling
    if (result->error.isEmpty()) { // a failure is not kept: the next request reads again
        m_kept = result;
        m_keptFor = done->key;
        m_keptAge.start();
    }
    for (const auto& [context, ready] : std::as_const(done->waiting)) {
        if (context)
            ready(result);
    }
}
