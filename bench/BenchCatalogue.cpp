#include "BenchCatalogue.h"

#include "SqliteConnection.h"

#include <QElapsedTimer>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

void BenchCatalogue::generate(const QString& path, int rows)
{
    SqliteConnection connection(path, SqliteConnection::Mode::ReadWrite);
    QString error;
    if (!connection.open(error))
        qFatal("cannot create %s: %s", qPrintable(path), qPrintable(error));
    QSqlDatabase& db = connection.database();
    QSqlQuery query(db);
    query.exec(u"CREATE TABLE promosites(sitename TEXT NOT NULL UNIQUE, sitetype TEXT, data TEXT NOT NULL, "
               u"method TEXT NOT NULL, action TEXT NOT NULL, referer TEXT)"_s);
    db.transaction();
    query.prepare(u"INSERT INTO promosites VALUES (?, ?, ?, ?, ?, ?)"_s);
    for (int i = 0; i < rows; ++i) {
        // Scrambled names, so the sort has real work to do; half engines, half lists.
        const quint32 scrambled = quint32(i) * 2654435761u;
        query.addBindValue(
            u"%1 Site %2"_s.arg(QChar(u'A' + int(scrambled % 26))).arg(scrambled, 8, 16, QChar(u'0')));
        query.addBindValue(i % 2 ? u"list"_s : u"engine"_s);
        query.addBindValue(u"url=[url]&title=[title]&email=[email]&name=[name]&description=[description]&"
                           u"keywords=[keywords]&category=[major]&submit=Add+my+site+now"_s);
        query.addBindValue(i % 3 ? u"GET"_s : u"POST"_s);
        query.addBindValue(u"http://127.0.0.1:8080/directory/%1/add-url.cgi"_s.arg(i));
        query.addBindValue(u"http://127.0.0.1:8080/directory/%1/"_s.arg(i));
        query.exec();
    }
    db.commit();
}

double BenchCatalogue::bareScanSeconds(const QString& path)
{
    SqliteConnection connection(path, SqliteConnection::Mode::ReadOnly);
    QString error;
    connection.open(error);
    QElapsedTimer timer;
    timer.start();
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    query.exec(u"SELECT * FROM promosites ORDER BY sitename COLLATE NOCASE"_s);
    qint64 characters = 0;
    while (query.next())
        characters += query.value(0).toString().size();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (characters == 0)
        qFatal("empty scan");
    return seconds;
}

int BenchCatalogue::rowsArgument(const QStringList& arguments, int defaultRows)
{
    const qsizetype at = arguments.indexOf(u"--rows"_s);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : defaultRows;
}
