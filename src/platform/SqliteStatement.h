#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class SqliteConnection;

// One prepared statement run through SQLite's own interface, on a QtSql connection's handle:
// the catalogue's large reads go at the speed SQLite reads, without a QVariant per value.
class SqliteStatement
{
public:
    SqliteStatement(SqliteConnection& connection, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isValid() const { return m_statement != nullptr; }
    // SQLite's result code and message for the last failure; 0 while all is well.
    int errorCode() const { return m_errorCode; }
    QString errorText() const { return m_errorText; }

    void bind(int index, qint64 value);
    void bind(int index, const QString& value);
    void bind(int index, QByteArrayView utf8);
    void bindNull(int index);
    void bindBlob(int index, QByteArrayView bytes);
    // The next row; false at the end or on a failure (errorCode() tells them apart).
    bool next();
    // Runs a statement that returns no rows; false on a failure.
    bool run();
    void reset();
    // The rowid the last insertion on this connection gave.
    qint64 lastInsertId() const;
    // The rows the last insertion, update or deletion on this connection changed.
    int changes() const;

    bool isNull(int column) const;
    qint64 integer(int column) const;
    // The column as text; a null reads as a null string.
    QString text(int column) const;
    // The column's UTF-8 bytes as SQLite holds them, valid until the next row.
    QByteArrayView utf8(int column) const;
    // The column's bytes as a blob, valid until the next row.
    QByteArrayView blob(int column) const;

private:
    void fail();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    int m_errorCode = 0;
    QString m_errorText;
};
