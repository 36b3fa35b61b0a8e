#pragma once

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QString>

#include <functional>

// The run log "sublog.htm": an HTML report with a fixed header, one row per finished submission
// and a footer. Readers of the file rely on its exact markup, quirks included (the table is
// never closed, line 13 ends in a second "<b>"); the values written into it are HTML-escaped.
class SubmissionLog
{
public:
    struct Header
    {
        int siteCount = 0;
        QString profileName;
        QString websiteTitle;
        QString websiteAddress;
    };

    using Clock = std::function<QDateTime()>;

    explicit SubmissionLog(QString path, Clock clock = &QDateTime::currentDateTime);

    QString path() const { return m_path; }
    bool isOpen() const { return m_file.isOpen(); }

    // Each returns whether it worked; the run goes on either way.
    bool remove();
    bool create(const Header& header);
    // Rows and footer written when no log is open do nothing.
    // A note is what a site said about an accepted submission, such as a check still pending.
    void appendSuccess(const QString& siteName, const QString& note = QString());
    void appendFailure(const QString& siteName, const QString& detail);
    void writeFooter();
    void close();

    // The exact markup, for the writer above and for tests.
    static QByteArray headerText(const Header& header, const QDateTime& when);
    static QByteArray successRow(const QString& siteName, const QString& note = QString());
    static QByteArray failureRow(const QString& siteName, const QString& detail);
    static QByteArray footerText();
    // Hours, minutes and seconds as the locale writes a time of day, without a time zone.
    static QString timeOfDay(const QLocale& locale, const QTime& time);

private:
    void write(const QByteArray& bytes);

    QString m_path;
    Clock m_clock;
    QFile m_file;
};
