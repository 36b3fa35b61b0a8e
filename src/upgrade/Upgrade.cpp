#include "Upgrade.h"

#include "HttpFetch.h"
#include "InstalledVersion.h"

#include <QNetworkAccessManager>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QUrl Upgrade::defaultServer()
{
    const QString overridden = qEnvironmentVariable("ORVANTA_UPDATE_URL");
    return QUrl(overridden.isEmpty() ? u"https://updates.belvedyne.example"_s : overridden);
}

QUrl Upgrade::checkUrl(const QUrl& server, const QString& installedVersion)
{
    QUrl url = server;
    QString path = url.path();
    if (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + u"/registration/orv.asp"_s);
    url.setQuery(u"version="_s + QString::fromLatin1(QUrl::toPercentEncoding(installedVersion)),
                 QUrl::StrictMode);
    return url;
}

Upgrade::Upgrade(SettingsStore& settings, Options options, QObject* parent)
    : QObject(parent), m_settings(settings), m_options(std::move(options)),
      m_network(new QNetworkAccessManager(this)), m_fetch(new HttpFetch(*m_network, this))
{}

Upgrade::~Upgrade()
{
    cancel();
}

bool Upgrade::isBusy() const
{
    return m_fetch->isBusy();
}

void Upgrade::start()
{
    emit statusChanged(u"Upgrade Status: connecting to "_s + m_options.server.host());
    disconnect(m_fetch, nullptr, this, nullptr);
    connect(m_fetch, &HttpFetch::finished, this, &Upgrade::onChecked);
    FetchRequest request;
    request.url = checkUrl(m_options.server, InstalledVersion(m_settings).read());
    request.deadline = m_options.timeout;
    request.keepBytes = maxReplyBytes;
    request.maxBytes = maxReplyBytes;
    m_fetch->start(request);
}

void Upgrade::cancel()
{
    m_fetch->cancel();
    if (m_file)
        m_file->cancelWriting();
    m_file.reset();
}

void Upgrade::onChecked(const FetchResult& result)
{
    if (!result.complete || result.status >= 400) {
        emit finished(Ending::CouldNotRegister);
        return;
    }
    // The codes are looked for in the whole answer, however long, up to the cap.
    m_reply = UpdateReply::parse(QString::fromUtf8(result.body));
    switch (m_reply.kind) {
    case UpdateReply::Kind::Current:
        emit finished(Ending::Current);
        return;
    case UpdateReply::Kind::Unrecognised:
        emit finished(Ending::CouldNotRegister);
        return;
    case UpdateReply::Kind::NewerAvailable:
        break;
    }
    emit statusChanged(u"Upgrade Status: incoming data"_s);
    if (!m_reply.complete) {
        emit finished(Ending::Incomplete);
        return;
    }
    emit statusChanged(u"Downloading upgrade (One moment please)"_s);
    download(m_reply.path);
}

void Upgrade::download(const QString& address)
{
    const QUrl url(address); // tolerant: characters a URL cannot carry are escaped
    // Written beside the old file and put in its place only when complete; it keeps the old
    // file's mode, and a new one gets the user's umask.
    m_file = std::make_unique<QSaveFile>(m_options.downloadFile);
    if (address.isEmpty() || !url.isValid() || !m_file->open(QIODevice::WriteOnly)) {
        m_file.reset();
        emit finished(Ending::CouldNotRegister);
        return;
    }
    disconnect(m_fetch, nullptr, this, nullptr);
    connect(m_fetch, &HttpFetch::finished, this, &Upgrade::onDownloaded);
    FetchRequest request;
    request.url = url;
    request.deadline = m_options.timeout;
    request.sink = m_file.get();
    m_fetch->start(request);
}

void Upgrade::onDownloaded(const FetchResult& result)
{
    const std::unique_ptr<QSaveFile> file = std::move(m_file);
    // An empty answer (204, or 200 with no body) is no upgrade either.
    if (!result.complete || result.status >= 400 || result.bodySize == 0 || !file->commit()) {
        file->cancelWriting();
        emit finished(Ending::CouldNotRegister);
        return;
    }
    emit statusChanged(u"Patching"_s);
    emit statusChanged(u"Done"_s);
    // Only once the file is complete does the new number count as installed.
    InstalledVersion(m_settings).store(m_reply.version);
    emit finished(Ending::Upgraded);
}
