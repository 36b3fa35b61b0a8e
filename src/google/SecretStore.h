#pragma once

#include <QByteArray>
#include <QString>

// Where the program keeps what must stay secret (a signed-in profile's tokens and its OAuth
// client's secret): the desktop's secret store (GNOME Keyring, KWallet, …) through QtKeychain
// when one answers, else a file only the user may read in the program's configuration
// directory. Which one holds them is told to the user. ORVANTA_SECRET_STORE=file asks for the
// file even where a secret store runs (a server whose keyring would prompt, and the tests).
class SecretStore
{
public:
    enum class Where { Keychain, File };

    // `directory` is where the file goes when it is used.
    explicit SecretStore(const QString& directory);

    Where where() const { return m_where; }
    // "the desktop's secret store" or "the file …, readable only by you".
    QString description() const;

    // An empty value when nothing is stored under the key; `error` says when the store failed.
    QByteArray read(const QString& key, QString& error) const;
    bool write(const QString& key, const QByteArray& value, QString& error);
    bool remove(const QString& key, QString& error);

    QString fileName() const { return m_file; }

private:
    QByteArray readFile(const QString& key, QString& error) const;
    bool writeFile(const QString& key, const QByteArray* value, QString& error);

    Where m_where = Where::File;
    QString m_file;
};
