// The catalogue's CSV reader on arbitrary text: what it accepts, it reads back the same after
// writing it out again.
#include "Csv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    Csv::Table table;
    QString error;
    if (!Csv::parse(text, table, error)) {
        if (!error.startsWith(QStringLiteral("line ")))
            std::abort();
        return 0;
    }
    QList<Csv::Field> header;
    for (const QString& name : table.header)
        header << name;
    QString written = Csv::formatRecord(header);
    for (const Csv::Record& record : table.records)
        written += Csv::formatRecord(record.fields);

    Csv::Table again;
    if (!Csv::parse(written, again, error) || again.header != table.header ||
        again.records.size() != table.records.size())
        std::abort();
    for (qsizetype i = 0; i < table.records.size(); ++i) {
        if (again.records.at(i).fields != table.records.at(i).fields)
            std::abort();
    }
    return 0;
}
