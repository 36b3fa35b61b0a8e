#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The catalogue's text form: RFC 4180 CSV with a header row. An unquoted empty field stands
// for SQL NULL and a quoted one ("") for an empty text, so a table survives export and build.
namespace CatalogueCsv {

using Field = std::optional<QString>;

struct Record
{
    int line = 0; // where the record starts in the file, counting from 1
    QList<Field> fields;
};

struct Table
{
    QStringList header;
    QList<Record> records;
};

// Parses the whole text; on a malformed file returns false with "line N: what is wrong".
bool parse(const QString& text, Table& table, QString& error);

// One record with its CRLF line end.
QString formatRecord(const QList<Field>& fields);

} // namespace CatalogueCsv
