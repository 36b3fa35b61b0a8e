#include "SitemapReader.h"

#include "HttpFetch.h"
#include "WebAddress.h"

#include <QEventLoop>
#include <QIODevice>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::seconds fileDeadline{20};
constexpr qint64 robotsBytesRead = 512 * 1024; // as much as search engines read of one
constexpr qsizetype longestAddress = 2048;     // the sitemap protocol's limit

// The host of an http or https address, in lower case; empty when it is no such address. Read
// by hand: a million pages would pay for a QUrl each.
QByteArray hostOf(QByteArrayView url)
{
    qsizetype start = 0;
    for (const QByteArrayView scheme : {QByteArrayView("http://"), QByteArrayView("https://")}) {
        if (url.size() > scheme.size() && url.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) == 0)
            start = scheme.size();
    }
    if (start == 0)
        return QByteArray();
    qsizetype end = start;
    while (end < url.size() && url[end] != '/' && url[end] != '?' && url[end] != '#')
        ++end;
    QByteArrayView authority = url.sliced(start, end - start);
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0)
        authority = authority.sliced(at + 1);
    if (authority.startsWith('[')) { // an IPv6 address
        const qsizetype close = authority.indexOf(']');
        authority = close < 0 ? QByteArrayView() : authority.first(close + 1);
    } else if (const qsizetype colon = authority.indexOf(':'); colon >= 0) {
        authority = authority.first(colon);
    }
    return authority.toByteArray().toLower();
}

} // namespace

// Hands a sitemap's bytes to its parser as they arrive; a parser that gives up ends the transfer.
class SitemapReader::ParserSink final : public QIODevice
{
public:
    explicit ParserSink(SitemapParser& parser) : m_parser(parser) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_parser.feed(QByteArrayView(data, size)))
            return size;
        setErrorString(m_parser.error());
        return -1;
    }

private:
    SitemapParser& m_parser;
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
    if (invalid > 0)
        leftOut << u"%1 not web addresses"_s.arg(invalid);
    return u"%1 pages found in %2 sitemaps"_s.arg(pages.size()).arg(files.size()) +
           (leftOut.isEmpty() ? QString() : u"; left out: "_s + leftOut.join(u", "_s)) + u'.';
}

QStringList SitemapReader::sitemapsInRobots(const QByteArray& robots)
{
    QStringList sitemaps;
    for (const QByteArray& rawLine : robots.split('\n')) {
        const QByteArray line =
            rawLine.left(rawLine.indexOf('#') < 0 ? rawLine.size() : rawLine.indexOf('#')).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("sitemap", Qt::CaseInsensitive) == 0) {
            const QString address = QString::fromUtf8(line.mid(colon + 1).trimmed());
            if (!address.isEmpty())
                sitemaps << address;
        }
    }
    return sitemaps;
}

std::shared_ptr<SitemapReader::Result> SitemapReader::readNow(QNetworkAccessManager& network,
                                                              const QString& siteAddress,
                                                              const QString& sitemapAddress, Limits limits)
{
    SitemapReader reader(network);
    std::shared_ptr<Result> result;
    QEventLoop loop;
    connect(&reader, &SitemapReader::finished, &loop, [&](const std::shared_ptr<Result>& read) {
        result = read;
        loop.quit();
    });
    reader.start(siteAddress, sitemapAddress, limits);
    loop.exec();
    return result;
}

void SitemapReader::start(const QString& siteAddress, const QString& sitemapAddress, Limits limits)
{
    cancel();
    m_limits = limits;
    m_result = std::make_shared<Result>();
    m_queue.clear();
    m_running = true;
    m_deadline->start(limits.deadline);
    m_site = QUrl(siteAddress.trimmed());
    if (!WebAddress::isValid(siteAddress.trimmed())) {
        QTimer::singleShot(0, this, [this, siteAddress] {
            end(u"The website address \"%1\" is not a web address with a host name."_s.arg(siteAddress));
        });
        return;
    }
    m_host = m_site.host().toLower().toUtf8();
    if (!sitemapAddress.isEmpty()) {
        if (!WebAddress::isValid(sitemapAddress)) {
            QTimer::singleShot(0, this, [this, sitemapAddress] {
                end(u"The sitemap address \"%1\" is not a web address."_s.arg(sitemapAddress));
            });
            return;
        }
        m_queue.append({QUrl(sitemapAddress), 0});
        QTimer::singleShot(0, this, [this] { fetchNext(); });
        return;
    }
    QUrl robots = m_site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    robots.setPath(u"/robots.txt"_s);
    FetchRequest request;
    request.url = robots;
    request.deadline = fileDeadline;
    request.keepBytes = robotsBytesRead;
    m_readingRobots = true;
    m_fetch->start(request);
}

void SitemapReader::cancel()
{
    m_fetch->cancel();
    m_deadline->stop();
    m_running = false;
}

void SitemapReader::onRobots(const FetchResult& fetched)
{
    m_readingRobots = false;
    const bool readable = fetched.complete && fetched.status == 200;
    for (const QString& address : readable ? sitemapsInRobots(fetched.body) : QStringList()) {
        if (WebAddress::isValid(address))
            m_queue.append({QUrl(address), 0});
    }
    if (m_queue.isEmpty()) { // no robots.txt, or one that names no sitemap
        QUrl fallback = m_site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
        fallback.setPath(u"/sitemap.xml"_s);
        m_queue.append({fallback, 0});
    }
    fetchNext();
}

void SitemapReader::fetchNext()
{
    if (!m_running)
        return;
    if (m_queue.isEmpty()) {
        end();
        return;
    }
    if (m_result->files.size() >= m_limits.maxFiles) {
        end(u"The website lists more than %1 sitemap files."_s.arg(m_limits.maxFiles));
        return;
    }
    m_current = m_queue.takeFirst();
    m_nestedTooDeep = false;
    m_result->files << m_current.url.toString();
    m_parser = std::make_unique<SitemapParser>(
        [this](QStringView loc, QStringView lastModified) { onEntry(loc, lastModified); }, m_limits.file);
    m_sink = std::make_unique<ParserSink>(*m_parser);
    FetchRequest request;
    request.url = m_current.url;
    request.deadline = fileDeadline;
    request.sink = m_sink.get();
    m_fetch->start(request);
}

void SitemapReader::onEntry(QStringView loc, QStringView lastModified)
{
    const QByteArray url = loc.toUtf8();
    const QByteArray host = url.size() > longestAddress ? QByteArray() : hostOf(url);
    if (host.isEmpty()) {
        ++m_result->invalid;
    } else if (m_parser->kind() == SitemapParser::Kind::Index) {
        if (m_current.depth + 1 > m_limits.maxIndexDepth)
            m_nestedTooDeep = true;
        else
            m_queue.append({QUrl::fromEncoded(url), m_current.depth + 1});
    } else if (host != m_host) {
        ++m_result->foreign;
    } else if (!m_result->pages.add(url, PageList::parseTime(lastModified))) {
        ++m_result->duplicates;
    }
}

void SitemapReader::onSitemap(const FetchResult& fetched)
{
    const QString sitemap = m_current.url.toString();
    const auto failed = [&](const QString& why) {
        end(u"The sitemap %1 cannot be read: %2."_s.arg(sitemap, why));
    };
    if (fetched.complete && (fetched.status < 200 || fetched.status >= 300))
        return failed(QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed());
    if (!m_parser->error().isEmpty())
        return failed(m_parser->error());
    if (!fetched.complete)
        return failed(fetched.error);
    if (!m_parser->finish())
        return failed(m_parser->error());
    if (m_nestedTooDeep)
        return failed(u"it lists sitemap indexes nested more than %1 deep"_s.arg(m_limits.maxIndexDepth));
    fetchNext();
}

void SitemapReader::end(const QString& error)
{
    if (!m_running)
        return;
    m_running = false;
    m_deadline->stop();
    m_fetch->cancel();
    m_result->error = error;
    emit finished(std::exchange(m_result, nullptr));
}
