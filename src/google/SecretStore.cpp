#include "SecretStore.h"

#include "BlockingWait.h"
#include "RegularFile.h"
#include "SessionBusProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString service = u"Orvanta"_s;
const QString probeKey = u"orvanta-probe"_s;
constexpr qint64 largestSecretsFile = 16 * 1024 * 1024;
// A store that does not answer its first question in this time is taken for none.
constexpr auto probePatience = 3s;
// Later questions may wait for the user to unlock the store, but not for ever.
constexpr auto jobPatience = 2min;
constexpr auto lockPatience = 10s;

// Runs a keychain job to its end, or for as long as `patience`; its error, or NoError. Waited for
// on the store's own thread, or on the command line's, which has nothing else to do.
QKeychain::Error finish(QKeychain::Job& job, std::chrono::milliseconds patience, QString& error)
{
    job.setAutoDelete(false);
    if (!waitFor(
            &job, &QKeychain::Job::finished, [&job] { job.start(); }, patience)) {
        error = u"The desktop's secret store gave no answer within %1 seconds."_s.arg(
            std::chrono::duration_cast<std::chrono::seconds>(patience).count());
        return QKeychain::OtherError;
    }
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
        error = u"The desktop's secret store refused: %1"_s.arg(job.errorString());
    return job.error();
}

// What the file holds; false when it holds something else than the program wrote.
bool parse(const QByteArray& bytes, QJsonObject& secrets, QString& why)
{
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        why = parsed.error != QJsonParseError::NoError ? parsed.errorString() : u"it is not a JSON object"_s;
        return false;
    }
    secrets = document.object();
    return true;
}

} // namespace

// The store itself, answering each question before it returns.
class SecretStore::Storage
{
public:
    explicit Storage(const QString& directory);

    Where where() const { return m_where; }
    QString description() const;
    QString takeNotice() { return std::exchange(m_notice, QString()); }

    QByteArray read(const QString& key, QString& error) const { return readStored(key, error); }
    bool write(const QString& key, const QByteArray& value, QString& error);
    bool replace(const QString& key, const QByteArray& value,
                 const std::function<bool(const QByteArray& stored)>& stillCurrent, QString& error);
    bool remove(const QString& key, QString& error);

private:
    // Runs the change while this user's every Orvanta is kept from changing the store.
    bool underLock(const std::function<bool()>& change, QString& error);
    QByteArray readStored(const QString& key, QString& error) const;
    bool writeStored(const QString& key, const QByteArray* value, QString& error);
    QByteArray readFile(const QString& key, QString& error) const;
    bool writeFile(const QString& key, const QByteArray* value, QString& error);

    Where m_where = Where::File;
    QString m_file;
    QString m_lockFile;
    QString m_notice;
};

SecretStore::Storage::Storage(const QString& directory)
    : m_file(QDir(directory).filePath(u"secrets.json"_s)),
      m_lockFile(QDir(directory).filePath(u"secrets.lock"_s))
{
    if (qEnvironmentVariable("ORVANTA_SECRET_STORE") == u"file"_s)
        return;
    if (!SessionBusProbe::answers(probePatience)) {
        if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            m_notice =
                u"The session bus gave no answer within %1 seconds, so the desktop's secret store cannot "
                u"be reached; sign-ins are kept instead in %2."_s
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(probePatience).count())
                    .arg(description());
        return;
    }
    // A store that answers a read, found or not, is there and unlocked.
    QKeychain::ReadPasswordJob probe(service);
    probe.setKey(probeKey);
    QString problem;
    const QKeychain::Error error = finish(probe, probePatience, problem);
    if (error == QKeychain::NoError || error == QKeychain::EntryNotFound)
        m_where = Where::Keychain;
    else if (problem.contains(u"no answer"_s))
        m_notice = problem + u" Sign-ins are kept in %1 instead."_s.arg(description());
}

QString SecretStore::Storage::description() const
{
    return m_where == Where::Keychain
               ? u"the desktop's secret store"_s
               : u"the file %1, readable only by you"_s.arg(QDir::toNativeSeparators(m_file));
}

bool SecretStore::Storage::write(const QString& key, const QByteArray& value, QString& error)
{
    return underLock([&] { return writeStored(key, &value, error); }, error);
}

bool SecretStore::Storage::replace(const QString& key, const QByteArray& value,
                                   const std::function<bool(const QByteArray& stored)>& stillCurrent,
                                   QString& error)
{
    return underLock(
        [&] {
            const QByteArray stored = readStored(key, error);
            return error.isEmpty() && stillCurrent(stored) && writeStored(key, &value, error);
        },
        error);
}

bool SecretStore::Storage::remove(const QString& key, QString& error)
{
    return underLock([&] { return writeStored(key, nullptr, error); }, error);
}

bool SecretStore::Storage::underLock(const std::function<bool()>& change, QString& error)
{
    QDir().mkpath(QFileInfo(m_lockFile).absolutePath());
    QLockFile lock(m_lockFile);
    if (!lock.tryLock(std::chrono::milliseconds(lockPatience).count())) {
        error = u"The sign-ins are being changed by another Orvanta; try again."_s;
        return false;
    }
    return change();
}

QByteArray SecretStore::Storage::readStored(const QString& key, QString& error) const
{
    if (m_where == Where::File)
        return readFile(key, error);
    QKeychain::ReadPasswordJob job(service);
    job.setKey(key);
    return finish(job, jobPatience, error) == QKeychain::NoError ? job.binaryData() : QByteArray();
}

bool SecretStore::Storage::writeStored(const QString& key, const QByteArray* value, QString& error)
{
    if (m_where == Where::File)
        return writeFile(key, value, error);
    if (!value) {
        QKeychain::DeletePasswordJob job(service);
        job.setKey(key);
        const QKeychain::Error result = finish(job, jobPatience, error);
        return result == QKeychain::NoError || result == QKeychain::EntryNotFound;
    }
    QKeychain::WritePasswordJob job(service);
    job.setKey(key);
    job.setBinaryData(*value);
    return finish(job, jobPatience, error) == QKeychain::NoError;
}

QByteArray SecretStore::Storage::readFile(const QString& key, QString& error) const
{
    QByteArray bytes;
    QJsonObject secrets;
    QString why;
    if (!RegularFile::read(m_file, u"The secrets file"_s, largestSecretsFile, RegularFile::Links::Refuse,
                           true, bytes, error))
        return {};
    if (!parse(bytes, secrets, why)) {
        error = u"The secrets file \"%1\" is damaged (%2); the next sign-in keeps it as %3 and starts a new "
                u"one."_s.arg(m_file, why, m_file + u".bak"_s);
        return {};
    }
    return QByteArray::fromBase64(secrets.value(key).toString().toLatin1());
}

bool SecretStore::Storage::writeFile(const QString& key, const QByteArray* value, QString& error)
{
    QByteArray bytes;
    QJsonObject secrets;
    QString why;
    if (!RegularFile::read(m_file, u"The secrets file"_s, largestSecretsFile, RegularFile::Links::Refuse,
                           true, bytes, error))
        return false;
    if (!parse(bytes, secrets, why)) {
        // What cannot be read is kept aside, never dropped unseen with every other profile's entry.
        const QString kept = m_file + u".bak"_s;
        QFile::remove(kept);
        if (!QFile::rename(m_file, kept)) {
            error = u"The secrets file \"%1\" is damaged (%2) and cannot be kept aside as %3."_s.arg(
                m_file, why, kept);
            return false;
        }
        m_notice = u"The secrets file \"%1\" was damaged (%2); it is kept as %3."_s.arg(m_file, why, kept);
    }
    if (value)
        secrets.insert(key, QString::fromLatin1(value->toBase64()));
    else if (!secrets.contains(key))
        return true; // nothing to forget
    else
        secrets.remove(key);
    // A symbolic link in the file's place was refused by the read above: QSaveFile would write
    // its target.
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

SecretStore::SecretStore(const QString& directory, Answers answers)
    : m_file(QDir(directory).filePath(u"secrets.json"_s)), m_directory(directory)
{
    if (answers == Answers::AtOnce) {
        m_storage = std::make_unique<Storage>(m_directory);
        return;
    }
    m_thread = std::make_unique<QThreadPool>();
    m_thread->setMaxThreadCount(1);
    m_thread->setExpiryTimeout(-1);
}

SecretStore::~SecretStore()
{
    if (m_thread)
        m_thread->waitForDone(); // its questions use the storage
}

SecretStore::Storage& SecretStore::storage()
{
    // In the window, made by the first question, on the store's own thread: finding the
    // desktop's store may take seconds.
    if (!m_storage)
        m_storage = std::make_unique<Storage>(m_directory);
    return *m_storage;
}

SecretStore::Where SecretStore::where() const
{
    return m_storage ? m_storage->where() : Where::File;
}

QString SecretStore::description() const
{
    return m_storage ? m_storage->description() : u"the desktop's secret store or a file"_s;
}

QString SecretStore::takeNotice()
{
    return m_storage ? m_storage->takeNotice() : QString();
}

void SecretStore::ask(std::function<Answer(Storage&)> question, QObject* context,
                      std::function<void(const Answer&)> done)
{
    if (!m_thread) {
        done(question(*m_storage));
        return;
    }
    // The watcher goes with the context, and its answer with it.
    auto* watcher = new QFutureWatcher<Answer>(context);
    QObject::connect(watcher, &QFutureWatcher<Answer>::finished, watcher, [watcher, done] {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(m_thread.get(), [this, question] { return question(storage()); }));
}

void SecretStore::read(const QString& key, QObject* context, const Read& done)
{
    ask(
        [key](Storage& storage) {
            Answer answer;
            answer.value = storage.read(key, answer.error);
            return answer;
        },
        context, [done](const Answer& answer) { done(answer.value, answer.error); });
}

void SecretStore::change(const std::function<bool(Storage&, QString& error)>& work, QObject* context,
                         const Changed& done)
{
    ask(
        [work](Storage& storage) {
            Answer answer;
            answer.changed = work(storage, answer.error);
            return answer;
        },
        context, [done](const Answer& answer) { done(answer.changed, answer.error); });
}

void SecretStore::write(const QString& key, const QByteArray& value, QObject* context, const Changed& done)
{
    change([key, value](Storage& storage, QString& error) { return storage.write(key, value, error); },
           context, done);
}

void SecretStore::replace(const QString& key, const QByteArray& value,
                          const std::function<bool(const QByteArray& stored)>& stillCurrent, QObject* context,
                          const Changed& done)
{
    change([key, value, stillCurrent](
               Storage& storage, QString& error) { return storage.replace(key, value, stillCurrent, error); },
           context, done);
}

void SecretStore::remove(const QString& key, QObject* context, const Changed& done)
{
    change([key](Storage& storage, QString& error) { return storage.remove(key, error); }, context, done);
}
