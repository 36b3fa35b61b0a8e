#pragma once

#include "Profile.h"

#include <QString>

// The profile as it stands on the profile page, saved or not: what the engine selection and
// a submission run read. Nothing but the page implements it in the program.
class ProfileSource
{
public:
    virtual ~ProfileSource() = default;

    // The chooser's text, exactly as shown (it may be typed text that names no stored profile).
    virtual QString profileName() const = 0;
    virtual QString fieldText(ProfileField field) const = 0;
};
