#pragma once

#include <QSqlDatabase>
#include <QString>

// One named QtSql connection to an SQLite file, removed again when this object goes.
// Every user gets its own name, so any number of catalogues can be open at once.
class SqliteConnection
{
public:
    enum class Mode { ReadOnly, ReadWrite };

    SqliteConnection(const QString& path, Mode mode);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Read-only opening never creates a file: a missing one is an error.
    bool open(QString& error);
    void close();

    QSqlDatabase& database() { return m_database; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_name;
    QSqlDatabase m_database;
};
