#include "SitemapReader.h"

#include "HttpFetch.h"
#include "OrvantaAgent.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QIODevice>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::seconds fileDeadline{20};

} // namespace

// Hands a sitemap's bytes to its parser as they arrive; a parser that gives up, or a limit the
// reader sees passed, ends the transfer.
class SitemapReader::ParserSink final : public QIODevice
{
public:
    ParserSink(SitemapParser& parser, const QString& stopReason) : m_parser(parser), m_stopReason(stopReason)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_parser.feed(QByteArrayView(data, size)) && m_stopReason.isEmpty())
            return size;
        setErrorString(m_stopReason.isEmpty() ? m_parser.error() : m_stopReason);
        return -1;
    }

private:
    SitemapParser& m_parser;
    const QString& m_stopReason;
};

SitemapReader::SitemapReader(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_fetch(new HttpFetch(network, this)), m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_fetch->cancel();
        end(u"Reading the sitemaps took longer than %1 seconds."_s.arg(
            std::chrono::duration_cast<std::chrono::seconds>(m_limits.deadline).count()));
    });
    connect(m_fetch, &HttpFetch::finished, this, [this](const FetchResult& fetched) {
        if (m_readingRobots)
            onRobots(fetched);
        else
            onSitemap(fetched);
    });
}

SitemapReader::~SitemapReader() = default;

QString SitemapReader::Result::summary() const
{
    if (!error.isEmpty())
        return error;
    QStringList leftOut;
    if (foreign > 0)
        leftOut << u"%1 on other hosts"_s.arg(foreign);
    if (duplicates > 0)
        leftOut << u"%1 listed twice"_s.arg(duplicates);
    for (auto reason = unusable.cbegin(); reason != unusable.cend(); ++reason)
        leftOut << u"%1 whose address %2"_s.arg(reason.value()).arg(reason.key());
    return counted(int(pages.size()), u"%1 page"_s, u"%1 pages"_s) + u" found in "_s +
           counted(int(files.size()), u"%1 sitemap"_s, u"%1 sitemaps"_s) +
           (leftOut.isEmpty() ? QString() : u"; left out: "_s + leftOut.join(u", "_s)) + u'.';
}

void SitemapReader::start(const QString& siteAddress, const QString& sitemapAddress, Limits limits)
{
    cancel();
    m_limits = limits;
    m_result = std::make_shared<Result>();
    m_queue.clear();
    m_listed.clear();
    m_stopReason.clear();
    m_busy = true;
    m_deadline->start(limits.deadline);
    const WebAddress::Normalised site = WebAddress::normalise(siteAddress.trimmed().toUtf8());
    if (site.address.isEmpty()) {
        QTimer::singleShot(0, this, [this, siteAddress] {
            end(u"The website address \"%1\" is not a web address with a host name."_s.arg(siteAddress));
        });
        return;
    }
    m_origin = WebAddress::originOf(site.address).toByteArray();
    m_result->origin = m_origin;
    m_result->host = WebAddress::hostOf(site.address).toByteArray();
    if (!sitemapAddress.isEmpty()) {
        const WebAddress::Normalised sitemap = WebAddress::normalise(sitemapAddress.trimmed().toUtf8());
        if (sitemap.address.isEmpty()) {
            QTimer::singleShot(0, this, [this, sitemapAddress] {
                end(u"The sitemap address \"%1\" is not a web address."_s.arg(sitemapAddress));
            });
            return;
        }
        enqueue(sitemap.address, 0);
    }
    // robots.txt is read either way: its rules say which pages may be fetched.
    m_readingRobots = true;
    m_fetch->start(RobotsRules::request(m_origin));
}

void SitemapReader::cancel()
{
    m_fetch->cancel();
    m_deadline->stop();
    m_busy = false;
}

void SitemapReader::enqueue(const QByteArray& address, int depth)
{
    if (m_listed.contains(address))
        return; // a file listed again is read once
    if (m_result->files.size() + m_queue.size() >= m_limits.maxFiles) {
        m_stopReason = u"The website lists more than %1 sitemap files."_s.arg(m_limits.maxFiles);
        return;
    }
    m_listed.insert(address);
    m_queue.append({QUrl::fromEncoded(address), depth});
}

void SitemapReader::onRobots(const FetchResult& fetched)
{
    m_readingRobots = false;
    m_result->robots = RobotsRules::fromAnswer(fetched);
    const bool named = !m_queue.isEmpty();
    for (const QString& address : named ? QStringList() : m_result->robots.sitemaps()) {
        const WebAddress::Normalised sitemap = WebAddress::normalise(address.toUtf8());
        if (!sitemap.address.isEmpty())
            enqueue(sitemap.address, 0);
    }
    if (m_queue.isEmpty() && m_stopReason.isEmpty()) // no robots.txt, or one that names no sitemap
        enqueue(m_origin + "/sitemap.xml", 0);
    fetchNext();
}

void SitemapReader::fetchNext()
{
    if (!m_busy)
        return;
    if (!m_stopReason.isEmpty())
        return end(m_stopReason);
    if (m_queue.isEmpty())
        return end();
    m_current = m_queue.takeFirst();
    m_result->files << m_current.url.toString();
    if (m_current.depth == 0)
        m_result->roots << m_current.url.toString();
    m_parser = std::make_unique<SitemapParser>([this](const SitemapParser::Entry& entry) { onEntry(entry); },
                                               m_limits.file);
    m_sink = std::make_unique<ParserSink>(*m_parser, m_stopReason);
    FetchRequest request;
    request.url = m_current.url;
    request.deadline = fileDeadline;
    request.sink = m_sink.get();
    request.userAgent = OrvantaAgent::productToken();
    // The protocol's limit bounds what a compressed answer may inflate to.
    request.maxBytes = m_limits.file.maxBytes;
    m_fetch->start(request);
}

void SitemapReader::onEntry(const SitemapParser::Entry& entry)
{
    if (!m_stopReason.isEmpty())
        return;
    QString problem = entry.unusable;
    const QByteArrayView address =
        problem.isEmpty() ? m_normaliser.normalise(entry.loc, problem) : QByteArrayView();
    if (address.isEmpty()) {
        ++m_result->unusable[problem];
    } else if (m_parser->kind() == SitemapParser::Kind::Index) {
        if (m_current.depth + 1 > m_limits.maxIndexDepth)
            m_stopReason =
                u"The sitemap %1 cannot be read: it lists sitemap indexes nested more than %2 deep."_s
                    .arg(m_current.url.toString())
                    .arg(m_limits.maxIndexDepth);
        else
            enqueue(address.toByteArray(), m_current.depth + 1);
    } else if (const QByteArrayView host = m_normaliser.host(); host != m_result->host) {
        if (m_result->foreign++ == 0)
            m_result->foreignHost = host.toByteArray();
    } else {
        m_result->pages.addSoon(address, PageList::parseTime(entry.lastModified));
    }
}

void SitemapReader::onSitemap(const FetchResult& fetched)
{
    const QString sitemap = m_current.url.toString();
    const auto failed = [&](const QString& why) {
        end(u"The sitemap %1 cannot be read: %2."_s.arg(sitemap, why));
    };
    if (!m_stopReason.isEmpty())
        return end(m_stopReason);
    if (fetched.complete && (fetched.status < 200 || fetched.status >= 300))
        return failed(QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed());
    if (!m_parser->error().isEmpty())
        return failed(m_parser->error());
    if (!fetched.complete)
        return failed(fetched.error);
    if (!m_parser->finish())
        return failed(m_parser->error());
    m_result->duplicates += m_result->pages.addPending();
    emit progressed(int(m_result->files.size()), m_result->pages.size());
    fetchNext();
}

void SitemapReader::end(const QString& error)
{
    if (!m_busy)
        return;
    m_busy = false;
    m_deadline->stop();
    m_fetch->cancel();
    m_result->duplicates += m_result->pages.addPending(); // a file cut short kept what it read
    m_result->error = error;
    if (error.isEmpty() && m_result->pages.isEmpty() && m_result->foreign > 0)
        m_result->error =
            u"None of the %1 pages the sitemaps list is on %2: they are on other hosts, such as "
            u"%3. Check the website address of the profile."_s.arg(m_result->foreign)
                .arg(QString::fromUtf8(m_result->host), QString::fromUtf8(m_result->foreignHost));
    emit finished(std::exchange(m_result, nullptr));
}
