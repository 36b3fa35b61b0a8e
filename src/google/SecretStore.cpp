#include "SecretStore.h"

#include "BlockingWait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"Orvanta"_s;
const QString probeKey = u"orvanta-probe"_s;
constexpr qint64 largestSecretsFile = 16 * 1024 * 1024;

// Runs a keychain job to its end; its error, or NoError.
QKeychain::Error finish(QKeychain::Job& job, QString& error)
{
    job.setAutoDelete(false);
    waitFor(&job, &QKeychain::Job::finished, [&job] { job.start(); });
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
        error = u"The desktop's secret store refused: %1"_s.arg(job.errorString());
    return job.error();
}

} // namespace

SecretStore::SecretStore(const QString& directory) : m_file(QDir(directory).filePath(u"secrets.json"_s))
{
    if (qEnvironmentVariable("ORVANTA_SECRET_STORE") == u"file"_s)
        return;
    // A store that answers a read, found or not, is there and unlocked.
    QKeychain::ReadPasswordJob probe(service);
    probe.setKey(probeKey);
    QString ignored;
    const QKeychain::Error error = finish(probe, ignored);
    if (error == QKeychain::NoError || error == QKeychain::EntryNotFound)
        m_where = Where::Keychain;
}

QString SecretStore::description() const
{
    return m_where == Where::Keychain
               ? u"the desktop's secret store"_s
               : u"the file %1, readable only by you"_s.arg(QDir::toNativeSeparators(m_file));
}

QByteArray SecretStore::read(const QString& key, QString& error) const
{
    if (m_where == Where::File)
        return readFile(key, error);
    QKeychain::ReadPasswordJob job(service);
    job.setKey(key);
    return finish(job, error) == QKeychain::NoError ? job.binaryData() : QByteArray();
}

bool SecretStore::write(const QString& key, const QByteArray& value, QString& error)
{
    if (m_where == Where::File)
        return writeFile(key, &value, error);
    QKeychain::WritePasswordJob job(service);
    job.setKey(key);
    job.setBinaryData(value);
    return finish(job, error) == QKeychain::NoError;
}

bool SecretStore::remove(const QString& key, QString& error)
{
    if (m_where == Where::File)
        return writeFile(key, nullptr, error);
    QKeychain::DeletePasswordJob job(service);
    job.setKey(key);
    const QKeychain::Error result = finish(job, error);
    return result == QKeychain::NoError || result == QKeychain::EntryNotFound;
}

QByteArray SecretStore::readFile(const QString& key, QString& error) const
{
    QFile file(m_file);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        error = u"The secrets file \"%1\" cannot be read: %2."_s.arg(m_file, file.errorString());
        return {};
    }
    const QJsonObject secrets = QJsonDocument::fromJson(file.read(largestSecretsFile)).object();
    return QByteArray::fromBase64(secrets.value(key).toString().toLatin1());
}

bool SecretStore::writeFile(const QString& key, const QByteArray* value, QString& error)
{
    QJsonObject secrets;
    if (QFile existing(m_file); existing.open(QIODevice::ReadOnly))
        secrets = QJsonDocument::fromJson(existing.read(largestSecretsFile)).object();
    if (value)
        secrets.insert(key, QString::fromLatin1(value->toBase64()));
    else
        secrets.remove(key);
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile file(m_file);
    // The permissions are set on the new file before anything secret is in it.
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(QJsonDocument(secrets).toJson()) >= 0 && file.commit();
    if (!written)
        error = u"The secrets file \"%1\" cannot be written: %2."_s.arg(m_file, file.errorString());
    return written;
}
