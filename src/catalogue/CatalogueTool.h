#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;

// The catalogue tool's operations. Each reports a failure as a sentence; none leaves a
// half-written catalogue behind.
namespace CatalogueTool {

// Builds the catalogue at dbPath from the CSV at csvPath, read as it goes: the six columns of
// `promosites` with their constraints, every further CSV column as an extra text column, rows in
// CSV order. Written to a temporary file beside the target and renamed over it only when
// complete; a new file gets the user's umask, a replaced one keeps its mode.
bool build(const QString& csvPath, const QString& dbPath, QString& error, int* rowCount = nullptr);

struct Finding
{
    int row = 0; // position in the table's stored order, counting from 1
    QString sitename;
    QString problem;

    QString toString() const;
};

// Every broken invariant of the catalogue the program relies on. False when the file is not a
// usable catalogue at all (error says why).
bool check(const QString& dbPath, QList<Finding>& findings, QString& error, int* rowCount = nullptr);

// The catalogue as CSV that build reads back to an identical table.
bool exportCsv(const QString& dbPath, QTextStream& out, QString& error);

// Name and type of every site, in the order the program lists them.
bool list(const QString& dbPath, QTextStream& out, QString& error);

// The command line: build CSV DB | check DB | list DB | export DB | --help | --version.
// Returns the exit status: 0 done, 1 failed or (check) problems found, 2 bad usage.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace CatalogueTool
