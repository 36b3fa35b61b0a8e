#include "UpdateReply.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

using Kind = UpdateReply::Kind;

class TestUpdateReply : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parse_arbitraryTextNeverBreaksItsRules();
};

void TestUpdateReply::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("version");
    QTest::newRow("current") << u"status=0001"_s << Kind::Current << false << QString() << QString();
    QTest::newRow("newer") << u"0011 path[http://h/f.upg] version[2.100]"_s << Kind::NewerAvailable << true
                           << u"http://h/f.upg"_s << u"2.100"_s;
    QTest::newRow("neither code") << u"<html>error</html>"_s << Kind::Unrecognised << false << QString()
                                  << QString();
    QTest::newRow("empty") << QString() << Kind::Unrecognised << false << QString() << QString();
    QTest::newRow("both codes: current wins")
        << u"0011 0001 path[x] version[y]"_s << Kind::Current << false << QString() << QString();
    QTest::newRow("0001 only inside the path")
        << u"0011 path[http://h/0001.upg] version[3]"_s << Kind::Current << false << QString() << QString();
    QTest::newRow("version before path") << u"0011 version[2.5] path[http://h/a]"_s << Kind::NewerAvailable
                                         << true << u"http://h/a"_s << u"2.5"_s;
    QTest::newRow("version[ inside the path is cut out first")
        << u"0011 path[http://h/x?version[9] version[2.7]"_s << Kind::NewerAvailable << true
        << u"http://h/x?version[9"_s << u"2.7"_s;
    QTest::newRow("no path") << u"0011 version[2]"_s << Kind::NewerAvailable << false << QString()
                             << QString();
    QTest::newRow("path never closed")
        << u"0011 version[2] path[http://h"_s << Kind::NewerAvailable << false << QString() << QString();
    QTest::newRow("no version") << u"0011 path[http://h/a]"_s << Kind::NewerAvailable << false
                                << u"http://h/a"_s << QString();
    QTest::newRow("version never closed") << u"0011 path[http://h/a] version[2"_s << Kind::NewerAvailable
                                          << false << u"http://h/a"_s << QString();
    QTest::newRow("markers are case-sensitive")
        << u"0011 PATH[a] Version[b]"_s << Kind::NewerAvailable << false << QString() << QString();
    QTest::newRow("empty fields") << u"0011path[]version[]"_s << Kind::NewerAvailable << true << QString()
                                  << QString();
}

void TestUpdateReply::parse()
{
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(bool, complete);
    QFETCH(QString, path);
    QFETCH(QString, version);
    const UpdateReply reply = UpdateReply::parse(text);
    QCOMPARE(reply.kind, kind);
    QCOMPARE(reply.complete, complete);
    QCOMPARE(reply.path, path);
    QCOMPARE(reply.version, version);
}

void TestUpdateReply::parse_arbitraryTextNeverBreaksItsRules()
{
    // Texts made of the pieces that matter, in any order and amount, with a fixed seed.
    const QStringList pieces = {u"0001"_s, u"0011"_s, u"0"_s, u"1"_s, u"path["_s, u"version["_s,
                                u"]"_s,    u"["_s,    u"x"_s, u" "_s, u"é"_s};
    QRandomGenerator random(20261206);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = int(random.bounded(12));
        for (int i = 0; i < length; ++i)
            text += pieces.at(random.bounded(pieces.size()));
        const UpdateReply reply = UpdateReply::parse(text);
        if (text.contains(u"0001"_s))
            QCOMPARE(reply.kind, Kind::Current);
        else if (text.contains(u"0011"_s))
            QCOMPARE(reply.kind, Kind::NewerAvailable);
        else
            QCOMPARE(reply.kind, Kind::Unrecognised);
        QVERIFY(!reply.path.contains(u']'));
        QVERIFY(!reply.version.contains(u']'));
        if (reply.complete)
            QVERIFY(text.contains(u"path["_s + reply.path + u']') && text.contains(u"version["_s));
    }
}

QTEST_GUILESS_MAIN(TestUpdateReply)
#include "tst_updatereply.moc"
