#pragma once

#include <QString>
#include <QUrl>

// The key by which a site proves to IndexNow engines that a notification comes from its owner:
// 8 to 128 of a-z, A-Z, 0-9 and "-", served by the site as the text file "<key>.txt".
namespace IndexNowKey {

bool isValid(const QString& key);
// 32 hexadecimal digits from the system's secure random generator.
QString generate();
QString fileName(const QString& key);
// Where engines look for the key: "<scheme>://<host>[:port]/<key>.txt" of the site's address,
// in the normal form of WebAddress; an empty URL when the address has no host.
QUrl location(const QString& siteAddress, const QString& key);

} // namespace IndexNowKey
