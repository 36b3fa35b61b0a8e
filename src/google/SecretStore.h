#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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

    // `directory` is where the file and the lock go.
    explicit SecretStore(const QString& directory);

    Where where() const { return m_where; }
    // "the desktop's secret store" or "the file …, readable only by you".
    QString description() const;
    // Something the user should know about the store, once: the desktop's store gave no answer,
    // a damaged file was kept aside. Empty when there is nothing to say.
    QString takeNotice();

    // An empty value when nothing is stored under the key; `error` says when the store failed.
    QByteArray read(const QString& key, QString& error) const;
    bool write(const QString& key, const QByteArray& value, QString& error);
    // Writes the value only when `stillCurrent` says yes of what the key holds now, both under the
    // lock remove() takes: false, with no error, when it says no.
    bool replace(const QString& key, const QByteArray& value,
                 const std::function<bool(const QByteArray& stored)>& stillCurrent, QString& error);
    bool remove(const QString& key, QString& error);

    QString fileName() const { return m_file; }

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
