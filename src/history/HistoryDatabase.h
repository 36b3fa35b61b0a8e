#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class SqliteConnection;

// The file history.db, which holds the journal of runs and the ledger of pages sent. Its layout
// carries its version (SQLite's user_version): an older file is brought up to date in one
// transaction when opened, a newer one or one of another program is refused and never written
// to, and a damaged one is refused, never replaced or emptied. One object per thread.
class HistoryDatabase
{
public:
    static constexpr int layout = 9;

    enum class Mode {
        OpenOrCreate, // a run: the file and its directory are made when missing
        OpenExisting, // a reader: a missing file is no error, and nothing is created
    };

    // What an older layout needs from outside to be brought up to date: the address of a
    // catalogue site that layout 1 recorded by name (empty when the catalogue lacks it).
    struct Upgrade
    {
        std::function<QString(const QString& siteName)> endpointOf;
    };

    // A part of the program above the history that keeps tables of its own in the file says
    // how to make them, once, before the file is first opened (a static of its own does): they
    // are made, in the transaction that brings a file up to date, in every file that lacks the
    // first of them. The part brings its own tables up to date.
    static bool keepTables(const QString& firstTable, const QStringList& statements);

    // No object and a sentence naming the file when it cannot be used; no object and no
    // sentence when an OpenExisting file is missing.
    static std::unique_ptr<HistoryDatabase> open(const QString& path, Mode mode, QString& error,
                                                 const Upgrade& upgrade = {});
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    SqliteConnection& connection() { return *m_connection; }
    QString path() const;

    bool exec(const QString& sql);
    // A write transaction, taken at once, so that it cannot fail half-way for want of a lock.
    bool begin();
    bool commit();
    void rollback();

    // The store's last complaint, in SQLite's words.
    QString lastError() const { return m_lastError; }
    void setLastError(const QString& error) { m_lastError = error; }

private:
    explicit HistoryDatabase(std::unique_ptr<SqliteConnection> connection);
    bool prepareLayout(const QString& path, const Upgrade& upgrade, QString& error);
    bool copyFromFirstLayout(const Upgrade& upgrade);
    static bool lacksKeptTables(const QSet<QString>& tables);
    bool addKeptTables(const QSet<QString>& tables);
    bool dropFirstLayout();
    bool packResultPages();

    std::unique_ptr<SqliteConnection> m_connection;
    QString m_lastError;
};
