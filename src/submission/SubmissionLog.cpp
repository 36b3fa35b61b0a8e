#include "SubmissionLog.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

const QString makerAddress = u"https://belvedyne.example/orvanta"_s;
const QString makerHost = u"belvedyne.example"_s;

QByteArray escaped(const QString& value)
{
    return value.toHtmlEscaped().toUtf8();
}

} // namespace

QString SubmissionLog::timeOfDay(const QLocale& locale, const QTime& time)
{
    // The locale's short time of day with the seconds after the minutes, in its own separator.
    // The long format is no help: some locales put the time zone in it, in brackets.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's')) {
        const qsizetype minutes = format.indexOf(u"mm"_s);
        const QChar separator = minutes > 0 ? format.at(minutes - 1) : QChar();
        if (separator == u':' || separator == u'.')
            format.insert(minutes + 2, separator + u"ss"_s);
        else
            format = u"HH:mm:ss"_s;
    }
    return locale.toString(time, format);
}

SubmissionLog::SubmissionLog(QString path, Clock clock) : m_path(std::move(path)), m_clock(std::move(clock))
{}

QByteArray SubmissionLog::headerText(const Header& header, const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QByteArray text;
    text += "<html>\r\n";
    text += "<head>\r\n";
    text += "<title>New Page 1</title>\r\n";
    text += "</head>\r\n";
    text += "<body bgcolor=\"#FFFFFF\">\r\n";
    text += "<p><strong><big><big>Site Submission Statistics</big></big></strong><br>\r\n";
    text += "<small>Orvanta</small><br>\r\n";
    text += "<a href=\"" + makerAddress.toUtf8() + "\"><small>" + makerHost.toUtf8() + "</small></a><br>\r\n";
    text += "<small>Total Engines: " + QByteArray::number(header.siteCount) + "</small><br>\r\n";
    text += "<small>Date of Submission: " + escaped(locale.toString(when.date(), QLocale::ShortFormat)) +
            "</small><br>\r\n";
    text += "<small>Time of Submission: " + escaped(timeOfDay(locale, when.time())) + "</small></p>\r\n";
    text += "<small>Profile: " + escaped(header.profileName) + "</small><br><br>" +
            "<small>Website Title: " + escaped(header.websiteTitle) + "</small><br>" +
            "<small>Website Address: " + escaped(header.websiteAddress) + "</small>" + "<br>" +
            "<table border=\"1\"cellspacing=\"0\" cellpadding=\"5\"> <tr>\r\n";
    text +=
        "<tr><td width=\"75%\"><b>Promotional Website Title</b></td><td width=\"25%\"><b>Status<b></td></tr>";
    return text;
}

QByteArray SubmissionLog::successRow(const QString& siteName, const QString& note)
{
    return "<tr><td>" + escaped(siteName) + "</td><td>Submission Successful" +
           (note.isEmpty() ? QByteArray() : ": " + escaped(note)) + "</td></tr>\r\n";
}

QByteArray SubmissionLog::failureRow(const QString& siteName, const QString& detail)
{
    return "<tr><td>" + escaped(siteName) + "</td><td>Connection Error: " + escaped(detail) +
           "</td></tr>\r\n";
}

QByteArray SubmissionLog::footerText()
{
    return "</body></html>";
}

bool SubmissionLog::remove()
{
    close();
    return !QFile::exists(m_path) || QFile::remove(m_path);
}

bool SubmissionLog::create(const Header& header)
{
    close();
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    write(headerText(header, m_clock()));
    return true;
}

void SubmissionLog::appendSuccess(const QString& siteName, const QString& note)
{
    write(successRow(siteName, note));
}

void SubmissionLog::appendFailure(const QString& siteName, const QString& detail)
{
    write(failureRow(siteName, detail));
}

void SubmissionLog::writeFooter()
{
    write(footerText());
}

void SubmissionLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

void SubmissionLog::write(const QByteArray& bytes)
{
    if (!m_file.isOpen())
        return;
    m_file.write(bytes);
    m_file.flush(); // each piece reaches the file whole, as it happens
}
