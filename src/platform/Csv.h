#pragma once

#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

class QIODevice;

// RFC 4180 CSV with a header row, the text form of the catalogue and of exported history. An
// unquoted empty field stands for SQL NULL and a quoted one ("") for an empty text, so a table
// survives export and build.
namespace Csv {

using Field = std::optional<QString>;

struct Record
{
    int line = 0; // where the record starts in the file, counting from 1
    QList<Field> fields;
};

// Reads UTF-8 CSV record by record from a device, so a file of any size takes little memory.
// Every failure is "line N: what is wrong".
class Reader
{
public:
    explicit Reader(QIODevice& device);

    // The header row: names that are neither empty nor repeated (compared without case).
    bool readHeader(QStringList& header, QString& error);
    // The next record with as many fields as the header; false at the end of the input (error
    // stays empty) or on malformed input. Blank lines are skipped.
    bool next(Record& record, QString& error);

private:
    bool readRecord(QList<Field>& fields, QString& error);
    bool readField(Field& field, QString& error);
    bool readQuotedField(Field& field, QString& error);
    bool atEnd();
    QChar peek() { return m_buffer.at(m_pos); }
    void consumeLineEnd();
    QString unreadable() const;

    QIODevice& m_device;
    // An invalid sequence comes out as U+0000, which no catalogue text holds: its line is reported.
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInvalidToNull};
    QString m_buffer;
    qsizetype m_pos = 0;
    int m_line = 1;
    qsizetype m_columns = 0;
    bool m_chunkHoldsNul = false;
};

struct Table
{
    QStringList header;
    QList<Record> records;
};

// The whole text at once, for small inputs.
bool parse(const QString& text, Table& table, QString& error);

// One record with its CRLF line end.
QString formatRecord(const QList<Field>& fields);

// A text as a spreadsheet shows it: one that begins like a formula (=, +, -, @, a tab or a
// carriage return) gets a leading apostrophe, so that opening an export never runs it.
QString spreadsheetText(const QString& text);

// Appends a field of UTF-8 text as formatRecord writes a spreadsheet text: the apostrophe before
// a formula, quotes where the field needs them, nothing for an empty text (the writer of a large
// export builds its rows in bytes, without a QString per field).
void appendSpreadsheetField(QByteArray& row, QByteArrayView text);

} // namespace Csv
