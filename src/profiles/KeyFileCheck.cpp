#include "KeyFileCheck.h"

#include "HttpFetch.h"
#include "IndexNowKey.h"
#include "OrvantaAgent.h"
#include "Profile.h"
#include "WebAddress.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// A key is at most 128 characters: a file that holds it alone, with blanks and a line end
// around it, fits in far less than this; one longer holds something else too.
constexpr qint64 bytesRead = 1024;
constexpr std::chrono::seconds deadline{15};

QString shown(const QUrl& url)
{
    return url.toDisplayString();
}

} // namespace

KeyFileCheck::KeyFileCheck(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_fetch(new HttpFetch(network, this))
{
    connect(m_fetch, &HttpFetch::finished, this,
            [this](const FetchResult& fetched) { emit finished(judge(m_key, m_location, fetched)); });
}

KeyFileCheck::~KeyFileCheck() = default;

std::optional<KeyFileCheck::Result> KeyFileCheck::unfetchable(const Profile& profile)
{
    const QString& key = profile.indexNowKey;
    if (key.isEmpty())
        return Result{Finding::NoKey,
                      u"The profile has no IndexNow key yet: generate one (Generate beside the key on the "
                      u"profile page, "
                      u"or orvanta key generate)."_s,
                      {}};
    if (!IndexNowKey::isValid(key))
        return Result{Finding::InvalidKey,
                      u"The IndexNow key must be 8 to 128 letters (a-z, A-Z), digits or hyphens."_s,
                      {}};
    if (IndexNowKey::location(profile.value(ProfileField::Url), key).isEmpty())
        return Result{Finding::NoAddress,
                      u"The profile's URL is not a web address with a host name, so there is no site to "
                      u"look for the key file on."_s,
                      {}};
    return std::nullopt;
}

void KeyFileCheck::start(const Profile& profile)
{
    cancel();
    m_key = profile.indexNowKey;
    m_location = IndexNowKey::location(profile.value(ProfileField::Url), m_key);
    if (const std::optional<Result> result = unfetchable(profile)) {
        m_pending = true;
        QTimer::singleShot(0, this, [this, result = *result] {
            if (!m_pending)
                return;
            m_pending = false;
            emit finished(result);
        });
        return;
    }
    FetchRequest request;
    request.url = m_location;
    request.deadline = deadline;
    request.keepBytes = bytesRead + 1; // a byte more tells a file that goes on
    request.userAgent = OrvantaAgent::productToken();
    m_fetch->start(request);
}

void KeyFileCheck::cancel()
{
    m_pending = false;
    m_fetch->cancel();
}

bool KeyFileCheck::isBusy() const
{
    return m_pending || m_fetch->isBusy();
}

KeyFileCheck::Result KeyFileCheck::judge(const QString& key, const QUrl& location, const FetchResult& fetched)
{
    const QString where = shown(location);
    if (!fetched.complete)
        return {Finding::Unreachable, u"%1 cannot be reached: %2."_s.arg(where, fetched.error), location};
    const QByteArray servedFrom = WebAddress::siteHost(fetched.url.toString(QUrl::FullyEncoded));
    if (servedFrom != WebAddress::siteHost(location.toString(QUrl::FullyEncoded)))
        return {
            Finding::OtherHost,
            u"%1 redirects to another host (%2); engines read the key only from the site's own host."_s.arg(
                where, QString::fromUtf8(servedFrom)),
            location};
    const QString status = QString(u"HTTP %1 "_s.arg(fetched.status) + fetched.reason).trimmed();
    if (fetched.status == 404 || fetched.status == 410)
        return {Finding::Missing,
                u"The site does not serve the key file: %1 answers %2. Save the key file and upload it to "
                u"the site's root folder."_s.arg(where, status),
                location};
    if (fetched.status >= 300)
        return {Finding::HttpError, u"%1 answers %2, so engines cannot read the key."_s.arg(where, status),
                location};
    QString content = QString::fromUtf8(fetched.body).trimmed();
    if (content.startsWith(QChar(0xFEFF)))
        content = content.mid(1).trimmed();
    if (content == key && fetched.bodySize <= bytesRead)
        return {Finding::Served, u"The site serves the key: %1 holds exactly the key."_s.arg(where),
                location};
    if (fetched.header("Content-Type").toLower().contains("html") || content.startsWith(u'<'))
        return {Finding::HtmlPage,
                u"%1 answers with an HTML page instead of the key; upload the key file as plain text."_s.arg(
                    where),
                location};
    if (content.startsWith(key) && (fetched.bodySize > bytesRead || content.size() > key.size()))
        return {Finding::WrongContent,
                u"%1 holds more than the key: engines take the file only when it holds the key alone."_s.arg(
                    where),
                location};
    const QString excerpt = content.simplified();
    return {Finding::WrongContent,
            u"%1 does not hold the key: it holds \"%2\"."_s.arg(
                where, excerpt.size() > 80 ? excerpt.left(79) + u'…' : excerpt),
            location};
}
