#include "AnswerRule.h"

#include "PromoSite.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype excerptLength = 160;

// Text as a person reads it: from markup, the tags dropped and the common entities decoded;
// blanks collapsed; shortened.
QString readable(QString text, bool markup)
{
    if (markup) {
        static const QRegularExpression tag(u"<[^>]*>?"_s);
        text.replace(tag, u" "_s);
        text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
        text.replace(u"&apos;"_s, u"'"_s).replace(u"&#39;"_s, u"'"_s).replace(u"&amp;"_s, u"&"_s);
    }
    text = text.simplified();
    return text.size() <= excerptLength ? text : text.left(excerptLength - 1) + u'…';
}

bool isMarkup(const QByteArray& body)
{
    return body.left(AnswerRule::bodyBytesRead).contains('<');
}

} // namespace

QString AnswerRule::retryAfter(QByteArrayView header)
{
    const QByteArrayView value = header.trimmed();
    if (!value.isEmpty() && value.size() <= 10 &&
        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return QString::number(value.toULongLong());
    // The three forms HTTP dates come in, read without their day's name (which Qt would hold
    // against a two-digit year); anything longer is no date.
    if (value.size() > 40)
        return QString();
    const QString text = QString::fromLatin1(value).simplified();
    const QString withoutDay = text.mid(text.indexOf(u' ') + 1);
    const QLocale c = QLocale::c();
    for (const QString& format :
         {u"dd MMM yyyy HH:mm:ss 'GMT'"_s, u"dd-MMM-yy HH:mm:ss 'GMT'"_s, u"MMM d HH:mm:ss yyyy"_s}) {
        QDateTime when = c.toDateTime(withoutDay, format);
        if (when.isValid()) {
            if (when.date().year() < 1970)
                when = when.addYears(100);
            when.setTimeZone(QTimeZone::utc());
            return c.toString(when, u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s);
        }
    }
    return QString();
}

QString AnswerRule::whenAgain(const QString& retryAfter)
{
    return !retryAfter.isEmpty() && retryAfter.front().isDigit() ? retryAfter + u" seconds"_s : retryAfter;
}

bool AnswerRule::isIndexNowEndpoint(QStringView action)
{
    // Looked at without parsing the URL, which a preview of many sites would pay for each.
    QStringView path = action;
    for (const QChar end : {u'#', u'?'}) {
        if (const qsizetype at = path.indexOf(end); at >= 0)
            path = path.first(at);
    }
    return path.endsWith(u"/indexnow"_s, Qt::CaseInsensitive);
}

AnswerRule AnswerRule::forSite(const PromoSite& site, const QString& keyFile)
{
    AnswerRule rule;
    rule.m_keyFile = keyFile;
    rule.m_indexNow = isIndexNowEndpoint(site.action);
    rule.m_explains =
        rule.m_indexNow || !site.encoding.isEmpty() || !site.accept.isEmpty() || !site.reject.isEmpty();
    const std::optional<QList<int>> accepted = site.acceptedStatuses();
    if (!accepted) {
        rule.m_problem =
            u"the catalogue's accept column \"%1\" is not a list of HTTP statuses"_s.arg(site.accept);
        return rule;
    }
    rule.m_accepted = *accepted;
    if (!site.reject.isEmpty()) {
        rule.m_reject.emplace(site.reject);
        if (!rule.m_reject->isValid())
            rule.m_problem =
                u"the catalogue's reject pattern is not valid: %1"_s.arg(rule.m_reject->errorString());
    }
    return rule;
}

QString AnswerRule::excerpt(const QByteArray& body)
{
    return readable(QString::fromUtf8(body.left(4096)), isMarkup(body));
}

QString AnswerRule::meaning(int status) const
{
    if (status == 429)
        return u"notify less often"_s;
    if (status == 410)
        return u"the service is gone"_s;
    if (!m_indexNow)
        return QString();
    switch (status) {
    case 400:
        return u"the request is not in the IndexNow format"_s;
    case 403:
        return m_keyFile.isEmpty() ? u"the key is not valid"_s
                                   : u"the site does not serve the IndexNow key file %1"_s.arg(m_keyFile);
    case 405:
        return u"this endpoint does not take this method"_s;
    case 422:
        return u"the address is not on the key's host, or the key does not match it"_s;
    default:
        return QString();
    }
}

Verdict AnswerRule::judge(int status, const QString& reason, const QByteArray& body,
                          const QByteArray& retryAfter) const
{
    const bool accepted = m_accepted.isEmpty() ? status < 400 : m_accepted.contains(status);
    if (!accepted) {
        QString detail = QString(u"HTTP %1 "_s.arg(status) + reason).trimmed();
        const QString again = status == 429 ? AnswerRule::retryAfter(retryAfter) : QString();
        if (!m_explains)
            return {Outcome::Failed, detail, status, again};
        if (const QString means = meaning(status); !means.isEmpty())
            detail += u": "_s + means;
        if (!again.isEmpty())
            detail += u"; try again after "_s + whenAgain(again);
        if (const QString said = excerpt(body); !said.isEmpty())
            detail += u" (the site said: "_s + said + u')';
        return {Outcome::Failed, detail, status, again};
    }
    if (m_reject) {
        const QRegularExpressionMatch match = m_reject->match(QString::fromUtf8(body.left(bodyBytesRead)));
        if (match.hasMatch()) {
            QString message = readable(match.captured(1), isMarkup(body));
            if (message.isEmpty())
                message = excerpt(body);
            return {
                Outcome::Failed, message.isEmpty() ? u"Rejected"_s : u"Rejected: "_s + message, status, {}};
        }
    }
    if (m_indexNow && status == 202)
        return {Outcome::Succeeded, u"Accepted; the key is still being checked (202)"_s, status, {}};
    return {Outcome::Succeeded, QString(), status, {}};
}
