// The run log's header and rows with arbitrary values: whatever the values, the markup around
// them stays exactly as it is, because every value is escaped.
#include "SubmissionLog.h"

#include <QStringList>

#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList values =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    const QDateTime when(QDate(2026, 12, 6), QTime(9, 30, 0));
    static const qsizetype headerTags = SubmissionLog::headerText({}, when).count('<');

    const QByteArray header =
        SubmissionLog::headerText({int(size), values.value(0), values.value(1), values.value(2)}, when);
    if (header.count('<') != headerTags ||
        header.count('>') != SubmissionLog::headerText({}, when).count('>'))
        std::abort();
    const QByteArray success = SubmissionLog::successRow(values.value(3));
    const QByteArray failure = SubmissionLog::failureRow(values.value(3), values.value(4));
    for (const QByteArray& row : {success, failure}) {
        if (!row.startsWith("<tr><td>") || !row.endsWith("</td></tr>\r\n") || row.count('<') != 6 ||
            row.count('>') != 6 ||
            row.count('\n') !=
                values.value(3).count(u'\n') + values.value(4).count(u'\n') * (row == failure) + 1)
            std::abort();
    }
    return 0;
}
