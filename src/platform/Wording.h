#pragma once

#include <QByteArray>
#include <QString>

// "1 page", "2 pages": a count with its noun, in the one way every message of the program says it.
inline QString counted(qint64 count, const QString& one, const QString& many)
{
    return (count == 1 ? one : many).arg(count);
}

// Text from outside (a server's message, a name it gave) as part of one line of the program's
// own: line breaks and other control characters shown as escapes ("\x0A"), so that it can
// neither begin a line that looks like the program's nor move the cursor.
inline QString oneLine(QStringView text)
{
    QString line;
    line.reserve(text.size());
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F)) {
            line += QLatin1String("\\x");
            line += QLatin1Char(hex[code >> 4]);
            line += QLatin1Char(hex[code & 0xF]);
        } else {
            line += c;
        }
    }
    return line;
}

// The beginning of an answer that is not what it should be, to quote on one line.
inline QString openingOf(const QByteArray& answer)
{
    return oneLine(QString::fromUtf8(answer.left(200)).simplified());
}
