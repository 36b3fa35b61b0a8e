#pragma once

#include "Profile.h"

#include <QList>
#include <QString>

#include <optional>

class SettingsStore;

// The twenty profile slots in the settings store, sections "1" to "20".
// A slot is free when its title reads as "none"; every search runs from slot 1 upward and the
// lowest slot wins. Titles compare exactly.
class ProfileStore
{
public:
    static constexpr int firstSlot = 1;
    static constexpr int lastSlot = 20;

    struct TitledSlot
    {
        int slot;
        QString title;
    };

    explicit ProfileStore(SettingsStore& settings);

    QList<TitledSlot> scanTitles() const;
    std::optional<int> findByTitle(const QString& title) const;
    // The slot of a profile named on the command line, or none with a sentence that says why:
    // the settings file cannot be read, or no profile has that title (the known ones are listed).
    std::optional<int> findNamed(const QString& title, QString& error) const;
    std::optional<int> findFreeSlot() const;
    // The title of the profile in the slot; empty when the slot is free or no slot at all.
    QString titleIn(int slot) const;
    bool isOccupied(int slot) const;
    Profile read(int slot) const;

    // Empties the slot's section before writing the title, so a new profile never shows what
    // an earlier one in the slot had saved. False when the store could not be written.
    bool create(int slot, const QString& title);
    // Writes the seventeen fields and the optional values; the title is never rewritten.
    bool save(int slot, const Profile& profile);
    // Writes only the profile's Google property and service account: what signing in changes,
    // stored at once without the page's unsaved edits.
    bool saveGoogle(int slot, const QString& property, const QString& serviceAccount);
    bool remove(int slot);

    QString fileName() const;

private:
    QString titleOf(int slot) const;
    static bool isSlot(int slot) { return slot >= firstSlot && slot <= lastSlot; }

    SettingsStore& m_settings;
};
