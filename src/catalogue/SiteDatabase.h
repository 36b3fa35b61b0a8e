#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class SqliteConnection;

// The process-wide catalogue: the file opened read-only and its one recordset over
// `promosites`, every row in `sitename` order without regard to letter case, with one shared
// cursor. Whoever uses the cursor positions it first (moveFirst or findFirst).
//
// Only what the lists need (name, type and a row key) is kept in memory; the other columns of
// the current row are fetched from the file when first read.
class SiteDatabase
{
public:
    // A catalogue that cannot be used gives no object and a sentence naming the file and the fault.
    static std::unique_ptr<SiteDatabase> open(const QString& path, QString& error);
    ~SiteDatabase();
    SiteDatabase(const SiteDatabase&) = delete;
    SiteDatabase& operator=(const SiteDatabase&) = delete;

    QString path() const;

    void moveFirst();
    bool atEnd() const;
    void moveNext();

    // Positions the cursor on the first row, in recordset order, whose `sitename` is exactly
    // `sitename` (any character, apostrophes included). Without a match the cursor stands at
    // the end and the result is false.
    bool findFirst(const QString& sitename);

    // A column of the current row by name, matched without regard to case; null reads as empty,
    // and so does every column when the cursor stands at the end.
    QString field(const QString& column) const;

private:
    struct Row
    {
        QVariant key; // rowid, or the name for a table without rowids
        QString sitename;
        QString sitetype;
    };

    explicit SiteDatabase(std::unique_ptr<SqliteConnection> connection);
    bool load(QString& error);
    const QSqlRecord& currentRecord() const;

    std::unique_ptr<SqliteConnection> m_connection;
    std::vector<Row> m_rows;
    QHash<QString, qsizetype> m_firstRowByName;
    qsizetype m_cursor = 0;

    QString m_keyColumn;
    mutable QSqlQuery m_fetch;
    mutable QSqlRecord m_fetched;
    mutable qsizetype m_fetchedRow = -1;
};
