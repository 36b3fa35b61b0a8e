#pragma once

#include <QString>

#include <array>

// The seventeen values of a profile besides its title, in the order of the store's keys.
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

inline constexpr int profileFieldCount = 17;

// The seventeen fields, each with its settings key; written down here and nowhere else.
struct ProfileFieldKey
{
    ProfileField field;
    const char16_t* key;
};

inline constexpr std::array<ProfileFieldKey, profileFieldCount> profileFieldKeys = {{
    {ProfileField::Name, u"name"},
    {ProfileField::Company, u"company"},
    {ProfileField::Address, u"address"},
    {ProfileField::City, u"city"},
    {ProfileField::State, u"state"},
    {ProfileField::Zip, u"zip"},
    {ProfileField::Country, u"country"},
    {ProfileField::Phone, u"phone"},
    {ProfileField::Fax, u"fax"},
    {ProfileField::Email, u"email"},
    {ProfileField::WebsiteTitle, u"wtitle"},
    {ProfileField::Url, u"url"},
    {ProfileField::Keywords, u"keywords"},
    {ProfileField::Description, u"description"},
    {ProfileField::FfaCategory, u"ffa"},
    {ProfileField::SiteType, u"type"},
    {ProfileField::MajorCategory, u"major"},
}};

// A profile's stored values: its title (the key "title") and the seventeen fields.
struct Profile
{
    static inline const QString titleKey = QStringLiteral("title");
    // What a free slot's title reads as; also the title of no stored profile.
    static inline const QString freeMarker = QStringLiteral("none");

    QString title;
    std::array<QString, profileFieldCount> fields;

    const QString& value(ProfileField field) const { return fields[size_t(field)]; }
    QString& value(ProfileField field) { return fields[size_t(field)]; }
};
