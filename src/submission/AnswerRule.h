#pragma once

#include "TransferSlot.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <optional>

struct PromoSite;

// How a site's answer is read. By default any status below 400 is a success and the body is
// not looked at. A catalogue row may name the statuses that mean accepted and a pattern whose
// match in the body means rejected; such rows, and the IndexNow protocol, also get failures
// explained in words, with what the site said.
class AnswerRule
{
public:
    // The most of a body that is read for a verdict; the rest is thrown away unread.
    static constexpr qint64 bodyBytesRead = 64 * 1024;

    AnswerRule() = default;
    // `keyFile` is where the profile's IndexNow key should be served, for the explanation of a 403.
    static AnswerRule forSite(const PromoSite& site, const QString& keyFile = QString());

    // Empty, or why the row's rule cannot be used (such a site is not sent at all).
    QString problem() const { return m_problem; }
    bool readsBody() const { return m_explains || m_reject.has_value(); }

    // The verdict on a complete response, from its status line, its Retry-After header and the
    // first bodyBytesRead bytes of its body.
    Verdict judge(int status, const QString& reason, const QByteArray& body,
                  const QByteArray& retryAfter = QByteArray()) const;

    // A Retry-After header as the program keeps it: its delta-seconds, or its HTTP date in the
    // standard form; empty for anything else, which is ignored.
    static QString retryAfter(QByteArrayView header);
    // A kept Retry-After value as words: "120 seconds", or the date it names.
    static QString whenAgain(const QString& retryAfter);

    // Whether a target URL is an IndexNow endpoint: its path ends in "/indexnow".
    static bool isIndexNowEndpoint(QStringView action);

    // A few words of what a body says, as text: markup dropped, blanks collapsed, shortened.
    static QString excerpt(const QByteArray& body);

private:
    QString meaning(int status) const;

    QList<int> m_accepted;                      // empty: every status below 400
    std::optional<QRegularExpression> m_reject; // none for most rows, which then cost nothing
    bool m_indexNow = false;
    bool m_explains = false;
    QString m_keyFile;
    QString m_problem;
};
