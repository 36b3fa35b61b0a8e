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
    QString referer;  // read, empty when null, but not sent
};

namespace PromoSiteColumns {
inline const QString table = QStringLiteral("promosites");
inline const QString sitename = QStringLiteral("sitename");
inline const QString sitetype = QStringLiteral("sitetype");
inline const QString data = QStringLiteral("data");
inline const QString method = QStringLiteral("method");
inline const QString action = QStringLiteral("action");
inline const QString referer = QStringLiteral("referer");

// The columns the program reads, in the order of the catalogue's schema.
inline const QStringList all = {sitename, sitetype, data, method, action, referer};
} // namespace PromoSiteColumns
