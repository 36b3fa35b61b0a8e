#pragma once

#include "Profile.h"
#include "ProfileStore.h"

#include <QList>
#include <QString>

#include <optional>

// The rules of the profile page without its widgets: which slot the page shows, saves into and
// deletes, and what New, Save and Delete do with the store. The page shows the results.
class ProfileEditor
{
public:
    enum class Result {
        Done,
        Refused,             // silently: nothing to do, or nothing that may be done
        NothingStored,       // the current slot holds no stored profile: no section is touched
        StoreUnwritable,     // the settings file could not be written
        InvalidKey,          // the IndexNow key is not one engines take: nothing is saved
        InvalidFeed,         // the feed address is not a web address: nothing is saved
        InvalidChangeSignal, // not one of ChangeSignals::names: nothing is saved
        InvalidPattern,      // an include or exclude pattern is not a path: nothing is saved
    };

    explicit ProfileEditor(ProfileStore& store) : m_store(store) {}

    // The slot on show; 0 before one is chosen.
    int currentSlot() const { return m_currentSlot; }
    QString storeFile() const { return m_store.fileName(); }

    // The stored titles in slot order; the page shows the last of them first.
    QList<ProfileStore::TitledSlot> titles() const { return m_store.scanTitles(); }

    // The profile with exactly this title (the lowest slot when two share it) becomes current.
    std::optional<Profile> pick(const QString& title);

    // A new profile in the lowest free slot. Refused: an empty title, "none" (it would read as a
    // free slot), a title another profile has (it could never be picked), or no free slot.
    Result create(const QString& title);
    // Why create would refuse the title, in a sentence; empty when it would not.
    QString refusalOf(const QString& title) const;
    // Writes the fields and optional values into the current slot; the stored title stays as it
    // was created. An optional value that is set must be usable.
    Result save(const QString& chooserText, const Profile& fields);
    Result remove(const QString& chooserText);

    // What the user is told of an optional value save refused (InvalidKey, InvalidFeed, …); for
    // InvalidPattern, the profile that has it.
    static QString problemOf(Result result, const Profile& profile = {});

private:
    Result checkCurrent(const QString& chooserText) const;

    ProfileStore& m_store;
    int m_currentSlot = 0;
};
