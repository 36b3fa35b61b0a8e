#pragma once

#include "ProfileSource.h"

#include <QStringList>

// A profile whose seventeen values are the lines of the fuzzer's input after the first.
class FuzzProfile final : public ProfileSource
{
public:
    explicit FuzzProfile(QStringList values) : m_values(std::move(values)) {}
    QString profileName() const override { return m_values.value(profileFieldCount); }
    QString fieldText(ProfileField field) const override { return m_values.value(int(field)); }

private:
    QStringList m_values;
};
