#include "BenchCatalogue.h"

#include "BenchMemory.h"
#include "CatalogueTool.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

void BenchCatalogue::writeCsv(const QString& path, int rows)
{
    QFile csv(path);
    if (!csv.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    csv.write("sitename,sitetype,data,method,action,referer\r\n");
    for (int i = 0; i < rows; ++i) {
        const quint32 scrambled = quint32(i) * 2654435761u;
        csv.write(
            u"%1 Site %2,%3,url=[url]&title=[title]&email=[email]&name=[name]&description=[description]&"
            u"keywords=[keywords]&category=[major]&submit=Add+my+site+now,%4,"
            u"http://127.0.0.1:8080/directory/%5/add-url.cgi,http://127.0.0.1:8080/directory/%5/\r\n"_s
                .arg(QChar(u'A' + int(scrambled % 26)))
                .arg(scrambled, 8, 16, QChar(u'0'))
                .arg(i % 2 ? u"list"_s : u"engine"_s, i % 3 ? u"GET"_s : u"POST"_s)
                .arg(i)
                .toUtf8());
    }
}

void BenchCatalogue::generate(const QString& path, int rows)
{
    const QString csv = path + u".csv"_s;
    writeCsv(csv, rows);
    QString error;
    if (!CatalogueTool::build(csv, path, error))
        qFatal("%s", qPrintable(error));
    QFile::remove(csv);
}

double BenchCatalogue::floorSeconds(const QString& path, const char* query)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        QElapsedTimer timer;
        timer.start();
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, query, -1, &statement, nullptr);
        qint64 bytes = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                // Each value as what it is: an integer is not turned into text.
                if (sqlite3_column_type(statement, column) == SQLITE_INTEGER) {
                    bytes += sqlite3_column_int64(statement, column) & 1;
                } else {
                    sqlite3_column_text(statement, column);
                    bytes += sqlite3_column_bytes(statement, column);
                }
            }
        }
        sqlite3_finalize(statement);
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
        sqlite3_close(db);
        if (bytes == 0)
            qFatal("empty scan");
    }
    return best;
}

int BenchCatalogue::rowsArgument(const QStringList& arguments, int defaultRows)
{
    const qsizetype at = arguments.indexOf(u"--rows"_s);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : defaultRows;
}

qint64 BenchCatalogue::peakResidentKiB()
{
    return BenchMemory::residentKiB("VmHWM:");
}
