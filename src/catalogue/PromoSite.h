#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One row of the catalogue table `promosites`: a promotion site and how a submission to it is made.
struct PromoSite
{
    QString sitename; // shown in the lists; the key by which a site is found again
    QString sitetype; // "engine" or "list", compared exactly
    QString data;     // the request template with its bracketed placeholders
    QString method;   // "post" in any case selects a POST, anything else a GET
    QString action;   // the target URL

    // Optional columns; a catalogue without them, or a row that leaves them empty, submits a
    // form and takes any status below 400 as success.
    QString encoding{}; // "form" (or empty), "json", "xml" or "text": how values are inserted
    QString accept{};   // the statuses that mean accepted, comma-separated
    QString reject{};   // a regular expression: a match in the answer's body means rejected

    // The statuses of `accept` (empty: every status below 400), or none when it is not a
    // comma-separated list of HTTP statuses.
    std::optional<QList<int>> acceptedStatuses() const;
};

namespace PromoSiteColumns {
inline const QString table = QStringLiteral("promosites");
inline const QString sitename = QStringLiteral("sitename");
inline const QString sitetype = QStringLiteral("sitetype");
inline const QString data = QStringLiteral("data");
inline const QString method = QStringLiteral("method");
inline const QString action = QStringLiteral("action");
inline const QString referer = QStringLiteral("referer");
inline const QString encoding = QStringLiteral("encoding");
inline const QString accept = QStringLiteral("accept");
inline const QString reject = QStringLiteral("reject");

// The columns every catalogue has, in the order of the table's schema. The referer is part of
// the format but plays no part in a request.
inline const QStringList required = {sitename, sitetype, data, method, action, referer};
// Columns a catalogue may add; any others (such as a row's `source`) are kept and ignored.
inline const QStringList optional = {encoding, accept, reject};
} // namespace PromoSiteColumns
