#pragma once

#include <QString>

class SettingsStore;

namespace ProfileFixture {

// Stores a profile whose seventeen fields all hold text (the field's key followed by " value"),
// so the submission page opens for it.
void storeComplete(SettingsStore& settings, int slot, const QString& title);

} // namespace ProfileFixture
