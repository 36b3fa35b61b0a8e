#include "RecordingDesktopOpener.h"
#include "SubmissionLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QDateTime fixedMoment(QDate(2026, 3, 7), QTime(14, 5, 9));

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestSubmissionLog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void wholeRun_writesTheExactBytes();
    void writesWithoutAnOpenLog_doNothing();
    void remove_andView();
    void uncreatableFile_isReportedAndLaterWritesDoNothing();

private:
    QString logPath() const { return m_dir->filePath(u"sublog.htm"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSubmissionLog::wholeRun_writesTheExactBytes()
{
    SubmissionLog log(logPath(), [] { return fixedMoment; });
    QVERIFY(log.create({2, u"R&D <Shop>"_s, u"Ann's \"Best\" Site"_s, u"http://127.0.0.1/?a=1&b=2"_s}));
    log.appendFailure(u"x<y & z"_s, u"HTTP 404 Not Found"_s);
    log.appendSuccess(u"blo.gs"_s);
    log.writeFooter();
    log.close();

    const QByteArray date = QLocale::system().toString(fixedMoment.date(), QLocale::ShortFormat).toUtf8();
    const QByteArray expectedBefore =
        "<html>\r\n"
        "<head>\r\n"
        "<title>New Page 1</title>\r\n"
        "</head>\r\n"
        "<body bgcolor=\"#FFFFFF\">\r\n"
        "<p><strong><big><big>Site Submission Statistics</big></big></strong><br>\r\n"
        "<small>Orvanta</small><br>\r\n"
        "<a href=\"https://belvedyne.example/orvanta\"><small>belvedyne.example</small></a><br>\r\n"
        "<small>Total Engines: 2</small><br>\r\n"
        "<small>Date of Submission: " +
        date + "</small><br>\r\n";
    const QByteArray expectedAfter =
        "</small></p>\r\n"
        "<small>Profile: R&amp;D &lt;Shop&gt;</small><br><br><small>Website Title: Ann's &quot;Best&quot; "
        "Site"
        "</small><br><small>Website Address: http://127.0.0.1/?a=1&amp;b=2</small><br>"
        "<table border=\"1\"cellspacing=\"0\" cellpadding=\"5\"> <tr>\r\n"
        "<tr><td width=\"75%\"><b>Promotional Website Title</b></td><td width=\"25%\"><b>Status<b></td></tr>"
        "<tr><td>x&lt;y &amp; z</td><td>Connection Error: HTTP 404 Not Found</td></tr>\r\n"
        "<tr><td>blo.gs</td><td>Submission Successful</td></tr>\r\n"
        "</body></html>";

    const QByteArray written = readAll(logPath());
    const QByteArray timePrefix = "<small>Time of Submission: ";
    QVERIFY2(written.startsWith(QByteArray(expectedBefore + timePrefix)), written.constData());
    QVERIFY2(written.endsWith(expectedAfter), written.constData());
    const QByteArray time =
        written.mid(expectedBefore.size() + timePrefix.size(),
                    written.size() - expectedBefore.size() - timePrefix.size() - expectedAfter.size());
    // The locale decides the form of the time of day; hours, minutes and seconds are all there.
    QVERIFY2(QRegularExpression(u"^(14|2):05:09( PM)?$"_s).match(QString::fromUtf8(time)).hasMatch(),
             time.constData());
}

void TestSubmissionLog::writesWithoutAnOpenLog_doNothing()
{
    SubmissionLog log(logPath());
    log.appendSuccess(u"never open"_s);
    log.writeFooter();
    QVERIFY(!QFile::exists(logPath()));

    QVERIFY(log.create({1, u"p"_s, u"t"_s, u"u"_s}));
    log.close();
    const QByteArray closed = readAll(logPath());
    log.appendFailure(u"late"_s, u"ended after the run was cancelled"_s);
    log.writeFooter();
    QCOMPARE(readAll(logPath()), closed);
}

void TestSubmissionLog::remove_andView()
{
    SubmissionLog log(logPath());
    QVERIFY(log.remove()); // nothing there: no error
    QVERIFY(log.create({1, u"p"_s, u"t"_s, u"u"_s}));
    log.close();
    RecordingDesktopOpener desktop;
    log.view(desktop);
    QCOMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(logPath())});
    QVERIFY(log.remove());
    QVERIFY(!QFile::exists(logPath()));
}

void TestSubmissionLog::uncreatableFile_isReportedAndLaterWritesDoNothing()
{
    QVERIFY(QDir().mkpath(logPath())); // a directory where the file should go
    SubmissionLog log(logPath());
    QVERIFY(!log.create({1, u"p"_s, u"t"_s, u"u"_s}));
    QVERIFY(!log.isOpen());
    log.appendSuccess(u"x"_s);
    log.writeFooter();
    QVERIFY(QFileInfo(logPath()).isDir());
}

QTEST_GUILESS_MAIN(TestSubmissionLog)
#include "tst_submissionlog.moc"
