#pragma once

#include <QString>
#include <QStringList>

// One row of the catalogue table `promosites`: a promotion site and how a submission to it is made.
struct PromoSite
{
    QString sitename; // shown in the lists; the key by which a site is found again
    QString sitetype; // "engine" or "list", compared exactly
    QString data;     // the request template with its bracketed placeholders
    QString method;   // "post" in any case selects a POST, anything else a GET
    QString action;   // the target URL
};

namespace PromoSiteColumns {
inline const QString table = QStringLiteral("promosites");
inline const QString sitename = QStringLiteral("sitename");
inline const QString sitetype = QStringLiteral("sitetype");
inline const QString data = QStringLiteral("data");
inline const QString method = QStringLiteral("method");
inline const QString action = QStringLiteral("action");
inline const QString referer = QStringLiteral("referer");

// The columns every catalogue has, in the order of the table's schema. The referer is part of
// the format but plays no part in a request.
inline const QStringList required = {sitename, sitetype, data, method, action, referer};
} // namespace PromoSiteColumns
