#pragma once

#include "ProfileSource.h"

#include <array>

// A profile given value by value, for tests of what is built from a profile.
class FixedProfile final : public ProfileSource
{
public:
    QString profileName() const override { return name; }
    QString fieldText(ProfileField field) const override { return fields[size_t(field)]; }
    FixedProfile& set(ProfileField field, const QString& value)
    {
        fields[size_t(field)] = value;
        return *this;
    }

    QString name = QStringLiteral("Test profile");
    std::array<QString, profileFieldCount> fields;
};
