#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSqlError;
class SqliteConnection;

// Opening a catalogue file for reading, for the program and its catalogue tool alike: the file
// must exist, be an SQLite database that is not locked, and hold a table `promosites` with the
// required columns. Every failure is a sentence naming the file and what is wrong with it.
namespace CatalogueFile {

std::unique_ptr<SqliteConnection> open(const QString& path, QString& error);

// What a failed query on an opened catalogue means: locked, not a database, or unreadable.
QString readFailure(const QString& path, int sqliteCode, const QString& message);
QString readFailure(const QString& path, const QSqlError& failure);

// The required columns missing from a list of column names (compared without regard to case).
QStringList missingColumns(const QStringList& present);
// "<subject> lacks the required column(s) a, b." for a list of missing columns.
QString lacksColumns(const QString& subject, const QStringList& missing);

} // namespace CatalogueFile
