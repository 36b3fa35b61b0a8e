#pragma once

#include <QString>

#include <array>

// Every name the program uses in the per-user settings store, written down here and nowhere
// else. On Linux the store is the file <config>/orv/orv.conf: organisation and application are
// both "orv".
namespace SettingsKeys {

inline const QString organisation = QStringLiteral("orv");
inline const QString application = QStringLiteral("orv");

// The installed version number.
inline const QString versionSection = QStringLiteral("version");
inline const QString versionKey = QStringLiteral("information");

// Profiles live in sections "1" to "20"; a free slot's title reads as "none".
inline const QString profileTitle = QStringLiteral("title");
inline const QString freeSlotTitle = QStringLiteral("none");

// The keys of a profile's seventeen fields, in the order of ProfileField.
inline constexpr std::array<const char16_t*, 17> profileFields = {
    u"name",  u"company", u"address", u"city",     u"state",       u"zip", u"country", u"phone", u"fax",
    u"email", u"wtitle",  u"url",     u"keywords", u"description", u"ffa", u"type",    u"major",
};

// Where the main window stood and how large it was when it last closed (Qt's own encoding,
// in base64), so that the next start opens it there.
inline const QString windowSection = QStringLiteral("window");
inline const QString windowGeometry = QStringLiteral("geometry");

// Two optional values of a profile for today's notification protocols; files written before
// they existed simply lack them.
inline const QString profileIndexNowKey = QStringLiteral("indexnowkey");
inline const QString profileFeed = QStringLiteral("feed");
// The Search Console property matched to the profile's website, and the path of a service
// account's key file for runs without a person signed in (the key stays in that file).
inline const QString profileGoogleProperty = QStringLiteral("googleproperty");
inline const QString profileGoogleServiceAccount = QStringLiteral("googleserviceaccount");

// What tells a changed page of the website's sitemaps (ChangeSignal): a profile kept without it
// goes by lastmod, a new one is made with "auto"; and which of the pages are announced at all,
// as patterns of robots.txt's path syntax separated by blanks.
inline const QString profileChangeSignal = QStringLiteral("changesignal");
inline const QString profileInclude = QStringLiteral("include");
inline const QString profileExclude = QStringLiteral("exclude");

} // namespace SettingsKeys
