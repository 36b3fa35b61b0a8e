#include "Csv.h"

#include <QBuffer>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Csv {

namespace {

constexpr qint64 chunkSize = 64 * 1024;

bool isDelimiter(QChar c)
{
    return c == u',' || c == u'\r' || c == u'\n';
}

bool isBlankLine(const QList<Field>& fields)
{
    return fields.size() == 1 && !fields.first().has_value();
}

} // namespace

Reader::Reader(QIODevice& device) : m_device(device) {}

bool Reader::atEnd()
{
    if (m_pos < m_buffer.size())
        return false;
    m_buffer.clear();
    m_pos = 0;
    // The decoder keeps a sequence split between two chunks, and skips a byte order mark.
    while (m_buffer.isEmpty() && !m_device.atEnd()) {
        const QByteArray chunk = m_device.read(chunkSize);
        m_chunkHoldsNul = chunk.contains('\0');
        m_buffer = m_decoder.decode(chunk);
    }
    return m_pos >= m_buffer.size();
}

QString Reader::unreadable() const
{
    // Both a byte that is no UTF-8 and a NUL come out of the decoder as U+0000.
    return m_chunkHoldsNul ? u"line %1: the text holds a NUL character"_s.arg(m_line)
                           : u"line %1: the text is not UTF-8"_s.arg(m_line);
}

bool Reader::readHeader(QStringList& header, QString& error)
{
    header.clear();
    QList<Field> fields;
    int line = 0;
    do {
        if (atEnd()) {
            error = u"line 1: the file has no header row"_s;
            return false;
        }
        line = m_line;
        if (!readRecord(fields, error))
            return false;
    } while (isBlankLine(fields));
    QSet<QString> seen;
    for (const Field& name : std::as_const(fields)) {
        if (!name || name->trimmed().isEmpty()) {
            error = u"line %1: the header has an empty column name"_s.arg(line);
            return false;
        }
        if (seen.contains(name->toLower())) {
            error = u"line %1: the header names the column \"%2\" twice"_s.arg(line).arg(*name);
            return false;
        }
        seen.insert(name->toLower());
        header << *name;
    }
    m_columns = header.size();
    return true;
}

bool Reader::next(Record& record, QString& error)
{
    do {
        if (atEnd())
            return false;
        record.line = m_line;
        if (!readRecord(record.fields, error))
            return false;
    } while (isBlankLine(record.fields));
    if (record.fields.size() != m_columns) {
        error = u"line %1: %2 fields where the header has %3"_s.arg(record.line)
                    .arg(record.fields.size())
                    .arg(m_columns);
        return false;
    }
    return true;
}

bool Reader::readRecord(QList<Field>& fields, QString& error)
{
    fields.clear();
    for (;;) {
        Field field;
        if (!readField(field, error))
            return false;
        fields << field;
        if (atEnd())
            return true;
        if (peek() == u',') {
            ++m_pos;
            continue;
        }
        consumeLineEnd();
        return true;
    }
}

bool Reader::readField(Field& field, QString& error)
{
    if (!atEnd() && peek() == u'"')
        return readQuotedField(field, error);
    QString value;
    while (!atEnd()) {
        // A run of plain characters goes across in one piece: a million rows are mostly that.
        const QChar* text = m_buffer.constData();
        const qsizetype start = m_pos;
        while (m_pos < m_buffer.size() && !isDelimiter(text[m_pos]) && text[m_pos] != u'"' &&
               !text[m_pos].isNull())
            ++m_pos;
        value.append(text + start, m_pos - start);
        if (m_pos == m_buffer.size())
            continue; // the field goes on in the next chunk
        if (isDelimiter(text[m_pos]))
            break;
        if (text[m_pos].isNull()) {
            error = unreadable();
            return false;
        }
        error = u"line %1: a quote inside a field that does not begin with a quote"_s.arg(m_line);
        return false;
    }
    if (value.isEmpty())
        field.reset();
    else
        field = value;
    return true;
}

bool Reader::readQuotedField(Field& field, QString& error)
{
    const int startLine = m_line;
    ++m_pos;
    QString value = u""_s; // an empty text, never a null one: "" is not NULL
    for (;;) {
        if (atEnd()) {
            error = u"line %1: a quoted field is never closed"_s.arg(startLine);
            return false;
        }
        const QChar* text = m_buffer.constData();
        const qsizetype start = m_pos;
        while (m_pos < m_buffer.size() && text[m_pos] != u'"' && text[m_pos] != u'\r' &&
               text[m_pos] != u'\n' && !text[m_pos].isNull())
            ++m_pos;
        value.append(text + start, m_pos - start);
        if (m_pos == m_buffer.size())
            continue;
        const QChar c = m_buffer.at(m_pos++);
        if (c.isNull()) {
            error = unreadable();
            return false;
        }
        if (c == u'"') {
            if (!atEnd() && peek() == u'"') {
                value += u'"';
                ++m_pos;
                continue;
            }
            break;
        }
        if (c == u'\n' || (c == u'\r' && (atEnd() || peek() != u'\n')))
            ++m_line;
        value += c;
    }
    if (!atEnd() && !isDelimiter(peek())) {
        error = u"line %1: text after the closing quote of a field"_s.arg(m_line);
        return false;
    }
    field = value;
    return true;
}

void Reader::consumeLineEnd()
{
    if (peek() == u'\r')
        ++m_pos;
    if (!atEnd() && peek() == u'\n')
        ++m_pos;
    ++m_line;
}

bool parse(const QString& text, Table& table, QString& error)
{
    table = Table();
    QByteArray bytes = text.toUtf8();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Reader reader(buffer);
    if (!reader.readHeader(table.header, error))
        return false;
    Record record;
    while (reader.next(record, error))
        table.records << record;
    return error.isEmpty();
}

QString formatRecord(const QList<Field>& fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        const Field& field = fields.at(i);
        if (!field)
            continue;
        const QString& value = *field;
        const bool needsQuotes = value.isEmpty() || value.contains(u',') || value.contains(u'"') ||
                                 value.contains(u'\r') || value.contains(u'\n');
        if (needsQuotes)
            line += u'"' + QString(value).replace(u"\""_s, u"\"\""_s) + u'"';
        else
            line += value;
    }
    return line + u"\r\n"_s;
}

QString spreadsheetText(const QString& text)
{
    static const QString formulaStarts = u"=+-@\t\r"_s;
    return !text.isEmpty() && formulaStarts.contains(text.front()) ? u'\'' + text : text;
}

void appendSpreadsheetField(QByteArray& row, QByteArrayView text)
{
    if (text.isEmpty())
        return;
    const bool formula = QByteArrayView("=+-@\t\r").contains(text.front());
    bool needsQuotes = false;
    for (const char c : text)
        needsQuotes = needsQuotes || c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!needsQuotes) {
        if (formula)
            row += '\'';
        row += text;
        return;
    }
    row += formula ? "\"'" : "\"";
    for (const char c : text) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}

} // namespace Csv
