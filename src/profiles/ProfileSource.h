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

    // True when the chooser and all seventeen fields hold text; a single blank counts as text.
    bool isComplete() const
    {
        if (profileName().isEmpty())
            return false;
        for (int i = 0; i < profileFieldCount; ++i) {
            if (fieldText(ProfileField(i)).isEmpty())
                return false;
        }
        return true;
    }
};
