#include "ProfileStore.h"

#include "SettingsStore.h"

using namespace Qt::StringLiterals;

namespace {
const QString application = u"orv"_s;

QString sectionOf(int slot)
{
    return QString::number(slot);
}
} // namespace

ProfileStore::ProfileStore(SettingsStore& settings) : m_settings(settings) {}

QString ProfileStore::titleOf(int slot) const
{
    return m_settings.value(application, sectionOf(slot), Profile::titleKey, Profile::freeMarker);
}

QList<ProfileStore::TitledSlot> ProfileStore::scanTitles() const
{
    QList<TitledSlot> titles;
    for (int slot = firstSlot; slot <= lastSlot; ++slot) {
        const QString title = titleOf(slot);
        if (title != Profile::freeMarker)
            titles.append({slot, title});
    }
    return titles;
}

std::optional<int> ProfileStore::findByTitle(const QString& title) const
{
    for (int slot = firstSlot; slot <= lastSlot; ++slot) {
        if (titleOf(slot) == title)
            return slot;
    }
    return std::nullopt;
}

std::optional<int> ProfileStore::findFreeSlot() const
{
    return findByTitle(Profile::freeMarker);
}

bool ProfileStore::isOccupied(int slot) const
{
    return isSlot(slot) && titleOf(slot) != Profile::freeMarker;
}

Profile ProfileStore::read(int slot) const
{
    Profile profile;
    profile.title = titleOf(slot);
    for (const ProfileFieldKey& field : profileFieldKeys)
        profile.value(field.field) =
            m_settings.value(application, sectionOf(slot), QString::fromUtf16(field.key));
    return profile;
}

bool ProfileStore::create(int slot, const QString& title)
{
    if (!isSlot(slot))
        return false;
    return m_settings.removeSection(application, sectionOf(slot)) &&
           m_settings.setValue(application, sectionOf(slot), Profile::titleKey, title);
}

bool ProfileStore::save(int slot, const Profile& profile)
{
    if (!isSlot(slot))
        return false;
    QList<std::pair<QString, QString>> keysAndValues;
    for (const ProfileFieldKey& field : profileFieldKeys)
        keysAndValues.append({QString::fromUtf16(field.key), profile.value(field.field)});
    return m_settings.setValues(application, sectionOf(slot), keysAndValues);
}

bool ProfileStore::remove(int slot)
{
    return isSlot(slot) && m_settings.removeSection(application, sectionOf(slot));
}

QString ProfileStore::fileName() const
{
    return m_settings.fileName(application);
}
