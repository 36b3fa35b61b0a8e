#include "CatalogueFixture.h"

#include "SqliteConnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

PromoSite CatalogueFixture::site(const QString& name, const QString& type)
{
    return PromoSite{name,     type, u"url=[url]&email=[email]"_s, u"GET"_s, u"http://127.0.0.1:1/add"_s,
                     QString()};
}

void CatalogueFixture::writeSql(const QString& path, const QStringList& statements)
{
    SqliteConnection connection(path, SqliteConnection::Mode::ReadWrite);
    QString error;
    QVERIFY2(connection.open(error), qPrintable(error));
    QSqlQuery query(connection.database());
    for (const QString& statement : statements)
        QVERIFY2(query.exec(statement), qPrintable(statement + u": "_s + query.lastError().text()));
}

void CatalogueFixture::write(const QString& path, const QList<PromoSite>& rows)
{
    SqliteConnection connection(path, SqliteConnection::Mode::ReadWrite);
    QString error;
    QVERIFY2(connection.open(error), qPrintable(error));
    QSqlDatabase& db = connection.database();
    QSqlQuery query(db);
    QVERIFY(query.exec(
        u"CREATE TABLE promosites(sitename TEXT NOT NULL UNIQUE, sitetype TEXT, data TEXT NOT NULL, "
        u"method TEXT NOT NULL, action TEXT NOT NULL, referer TEXT)"_s));
    db.transaction();
    QVERIFY(query.prepare(u"INSERT INTO promosites VALUES (?, ?, ?, ?, ?, ?)"_s));
    for (const PromoSite& row : rows) {
        for (const QString& value :
             {row.sitename, row.sitetype, row.data, row.method, row.action, row.referer})
            query.addBindValue(value.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(value));
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
    query.finish();
    QVERIFY(db.commit());
}
