#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QThreadPool;

// Where the program keeps what must stay secret (a signed-in profile's tokens and its OAuth
// client's secret): the desktop's secret store (GNOME Keyring, KWallet, …) through QtKeychain
// when one answers within a few seconds, else a file only the user may read in the program's
// configuration directory. Which one holds them is told to the user. ORVANTA_SECRET_STORE=file
// asks for the file even where a secret store runs (a server whose keyring would prompt, and the
// tests). The file is never followed through a symbolic link, and one that cannot be read is
// reported and kept (as secrets.json.bak), never overwritten unseen. Every change is made under a
// lock shared by every process of the user, so that a sign-out is never undone by a token
// refreshed meanwhile.
class SecretStore
{
public:
    enum class Where { Keychain, File };
    // The command line answers each question at once; the window has the store answer on a thread
    // of its own, so that a keyring asking for a password holds up neither clicks nor runs.
    enum class Answers { AtOnce, OffThread };

    // `directory` is where the file and the lock go. With Answers::AtOnce the store is found
    // here; OffThread finds it with the first question.
    explicit SecretStore(const QString& directory, Answers answers = Answers::AtOnce);
    ~SecretStore();
    SecretStore(const SecretStore&) = delete;
    SecretStore& operator=(const SecretStore&) = delete;

    // Known once the store is found (after the first answer when it answers off the thread).
    Where where() const;
    // "the desktop's secret store" or "the file …, readable only by you".
    QString description() const;
    // Something the user should know about the store, once: the desktop's store gave no answer,
    // a damaged file was kept aside. Empty when there is nothing to say.
    QString takeNotice();
    QString fileName() const { return m_file; }

    // Each answer comes through its callback, on the caller's thread, and never once `context`
    // is gone. A value is empty when nothing is stored under the key; `error` says when the store
    // failed.
    using Read = std::function<void(const QByteArray& value, const QString& error)>;
    using Changed = std::function<void(bool changed, const QString& error)>;
    void read(const QString& key, QObject* context, const Read& done);
    void write(const QString& key, const QByteArray& value, QObject* context, const Changed& done);
    // Writes the value only when `stillCurrent` says yes of what the key holds now, both under the
    // lock remove() takes: not changed, with no error, when it says no.
    void replace(const QString& key, const QByteArray& value,
                 const std::function<bool(const QByteArray& stored)>& stillCurrent, QObject* context,
                 const Changed& done);
    void remove(const QString& key, QObject* context, const Changed& done);

private:
    class Storage;
    struct Answer
    {
        QByteArray value;
        bool changed = false;
        QString error;
    };
    // Runs the question on the store's thread, or at once, and hands its answer to `done`.
    void ask(std::function<Answer(Storage&)> question, QObject* context,
             std::function<void(const Answer&)> done);
    // The same for a change, which says whether it was made.
    void change(const std::function<bool(Storage&, QString& error)>& work, QObject* context,
                const Changed& done);
    Storage& storage();

    QString m_file;
    QString m_directory;
    std::unique_ptr<Storage> m_storage;
    std::unique_ptr<QThreadPool> m_thread; // one thread, kept: a keyring's jobs stay on it
};
