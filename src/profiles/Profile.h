#pragma once

#include "ChangeSignal.h"
#include "PathPatterns.h"
#include "SettingsKeys.h"

#include <QString>
#include <QStringList>

#include <array>

// The seventeen values of a profile besides its title, in the order of their settings keys.
enum class ProfileField {
    Name,
    Company,
    Address,
    City,
    State,
    Zip,
    Country,
    Phone,
    Fax,
    Email,
    WebsiteTitle,
    Url,
    Keywords,
    Description,
    FfaCategory,
    SiteType,
    MajorCategory,
};

inline constexpr int profileFieldCount = int(SettingsKeys::profileFields.size());

// A profile: its title, the seventeen fields, and the optional values that notification
// protocols need. The profile page's working copy, a stored profile and what a run submits are
// all values of this one type.
struct Profile
{
    QString title;
    std::array<QString, profileFieldCount> fields;
    QString indexNowKey;          // proves to IndexNow engines that the site is the user's
    QString feed;                 // the address of the site's RSS or Atom feed
    QString googleProperty;       // the Search Console property that covers the website
    QString googleServiceAccount; // a service account's key file, for runs nobody watches
    QString changeSignal;         // a name of ChangeSignals; empty: lastmod, as before there was a choice
    QString include;              // path patterns, blank-separated: only pages matching one are announced
    QString exclude;              // path patterns: pages matching one are not announced

    static QString key(ProfileField field)
    {
        return QString::fromUtf16(SettingsKeys::profileFields[size_t(field)]);
    }

    const QString& value(ProfileField field) const { return fields[size_t(field)]; }
    QString& value(ProfileField field) { return fields[size_t(field)]; }

    // The keys of the fields that hold no text, in key order. A single blank counts as text.
    QStringList emptyFields() const
    {
        QStringList empty;
        for (int i = 0; i < profileFieldCount; ++i) {
            if (fields[size_t(i)].isEmpty())
                empty << key(ProfileField(i));
        }
        return empty;
    }

    // What tells its changed pages; lastmod when the name is not one (a run refuses such a profile).
    ChangeSignal signal() const
    {
        return ChangeSignals::fromName(changeSignal).value_or(ChangeSignal::LastModified);
    }
    // Which pages of the website it announces; every page when its patterns are not usable
    // (a run refuses such a profile and says why).
    PathPatterns patterns() const { return PathPatterns::parse(include, exclude).value_or(PathPatterns()); }

    // What a submission needs: a title and text in every field. The optional values are
    // checked by the sites that need them.
    bool isComplete() const { return !title.isEmpty() && emptyFields().isEmpty(); }
};
