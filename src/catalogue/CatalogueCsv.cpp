#include "CatalogueCsv.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

class Parser
{
public:
    explicit Parser(const QString& text) : m_text(text)
    {
        if (m_text.startsWith(QChar(0xFEFF)))
            m_pos = 1;
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    int line() const { return m_line; }

    // Reads one record; false with an error on malformed input.
    bool readRecord(QList<CatalogueCsv::Field>& fields, QString& error)
    {
        fields.clear();
        for (;;) {
            CatalogueCsv::Field field;
            if (!readField(field, error))
                return false;
            fields << field;
            if (atEnd())
                return true;
            const QChar c = m_text.at(m_pos);
            if (c == u',') {
                ++m_pos;
                continue;
            }
            consumeLineEnd();
            return true;
        }
    }

private:
    bool readField(CatalogueCsv::Field& field, QString& error)
    {
        if (!atEnd() && m_text.at(m_pos) == u'"')
            return readQuotedField(field, error);
        const qsizetype start = m_pos;
        while (!atEnd() && !isDelimiter(m_text.at(m_pos))) {
            if (m_text.at(m_pos) == u'"') {
                error = u"line %1: a quote inside a field that does not begin with a quote"_s.arg(m_line);
                return false;
            }
            ++m_pos;
        }
        if (m_pos == start)
            field.reset();
        else
            field = m_text.mid(start, m_pos - start);
        return true;
    }

    bool readQuotedField(CatalogueCsv::Field& field, QString& error)
    {
        const int startLine = m_line;
        ++m_pos;
        QString value = u""_s; // an empty text, never a null one: "" is not NULL
        for (;;) {
            if (atEnd()) {
                error = u"line %1: a quoted field is never closed"_s.arg(startLine);
                return false;
            }
            const QChar c = m_text.at(m_pos++);
            if (c == u'"') {
                if (!atEnd() && m_text.at(m_pos) == u'"') {
                    value += u'"';
                    ++m_pos;
                    continue;
                }
                break;
            }
            if (c == u'\n' || (c == u'\r' && (atEnd() || m_text.at(m_pos) != u'\n')))
                ++m_line;
            value += c;
        }
        if (!atEnd() && !isDelimiter(m_text.at(m_pos))) {
            error = u"line %1: text after the closing quote of a field"_s.arg(m_line);
            return false;
        }
        field = value;
        return true;
    }

    static bool isDelimiter(QChar c) { return c == u',' || c == u'\r' || c == u'\n'; }

    void consumeLineEnd()
    {
        if (m_text.at(m_pos) == u'\r')
            ++m_pos;
        if (!atEnd() && m_text.at(m_pos) == u'\n')
            ++m_pos;
        ++m_line;
    }

    const QString& m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

bool isBlankLine(const QList<CatalogueCsv::Field>& fields)
{
    return fields.size() == 1 && !fields.first().has_value();
}

} // namespace

bool CatalogueCsv::parse(const QString& text, Table& table, QString& error)
{
    table = Table();
    Parser parser(text);
    bool haveHeader = false;
    while (!parser.atEnd()) {
        Record record;
        record.line = parser.line();
        if (!parser.readRecord(record.fields, error))
            return false;
        if (isBlankLine(record.fields))
            continue;
        if (!haveHeader) {
            QSet<QString> seen;
            for (const Field& name : std::as_const(record.fields)) {
                if (!name || name->trimmed().isEmpty()) {
                    error = u"line %1: the header has an empty column name"_s.arg(record.line);
                    return false;
                }
                if (seen.contains(name->toLower())) {
                    error =
                        u"line %1: the header names the column \"%2\" twice"_s.arg(record.line).arg(*name);
                    return false;
                }
                seen.insert(name->toLower());
                table.header << *name;
            }
            haveHeader = true;
            continue;
        }
        if (record.fields.size() != table.header.size()) {
            error = u"line %1: %2 fields where the header has %3"_s.arg(record.line)
                        .arg(record.fields.size())
                        .arg(table.header.size());
            return false;
        }
        table.records << record;
    }
    if (!haveHeader) {
        error = u"line 1: the file has no header row"_s;
        return false;
    }
    return true;
}

QString CatalogueCsv::formatRecord(const QList<Field>& fields)
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
