#include "ProfileStore.h"

#include "ChangeSignal.h"
#include "SettingsKeys.h"
#include "SettingsStore.h"

using namespace Qt::StringLiterals;

namespace {
QString sectionOf(int slot)
{
    return QString::number(slot);
}
} // namespace

ProfileStore::ProfileStore(SettingsStore& settings) : m_settings(settings) {}

QString ProfileStore::titleOf(int slot) const
{
    return m_settings.value(sectionOf(slot), SettingsKeys::profileTitle, SettingsKeys::freeSlotTitle);
}

QString ProfileStore::titleIn(int slot) const
{
    const QString title = isSlot(slot) ? titleOf(slot) : SettingsKeys::freeSlotTitle;
    return title == SettingsKeys::freeSlotTitle ? QString() : title;
}

QList<ProfileStore::TitledSlot> ProfileStore::scanTitles() const
{
    QList<TitledSlot> titles;
    for (int slot = firstSlot; slot <= lastSlot; ++slot) {
        const QString title = titleOf(slot);
        if (title != SettingsKeys::freeSlotTitle)
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

std::optional<int> ProfileStore::findNamed(const QString& title, QString& error) const
{
    error = m_settings.readProblem();
    if (!error.isEmpty())
        return std::nullopt;
    const std::optional<int> slot = title == SettingsKeys::freeSlotTitle ? std::nullopt : findByTitle(title);
    if (slot)
        return slot;
    QStringList known;
    for (const TitledSlot& titled : scanTitles())
        known << u"\"%1\""_s.arg(titled.title);
    // With none at all, the way to make one: a first run on a server lands here.
    error = known.isEmpty()
                ? u"Unknown profile \"%1\". Known profiles: none in %2; make one with orvanta "
                  u"profile new --profile TITLE."_s.arg(title, m_settings.fileName())
                : u"Unknown profile \"%1\". Known profiles: %2."_s.arg(title, known.join(u", "_s));
    return std::nullopt;
}

std::optional<int> ProfileStore::findFreeSlot() const
{
    return findByTitle(SettingsKeys::freeSlotTitle);
}

bool ProfileStore::isOccupied(int slot) const
{
    return isSlot(slot) && titleOf(slot) != SettingsKeys::freeSlotTitle;
}

Profile ProfileStore::read(int slot) const
{
    Profile profile;
    profile.title = titleOf(slot);
    for (int i = 0; i < profileFieldCount; ++i)
        profile.fields[size_t(i)] = m_settings.value(sectionOf(slot), Profile::key(ProfileField(i)));
    profile.indexNowKey = m_settings.value(sectionOf(slot), SettingsKeys::profileIndexNowKey);
    profile.feed = m_settings.value(sectionOf(slot), SettingsKeys::profileFeed);
    profile.googleProperty = m_settings.value(sectionOf(slot), SettingsKeys::profileGoogleProperty);
    profile.googleServiceAccount =
        m_settings.value(sectionOf(slot), SettingsKeys::profileGoogleServiceAccount);
    profile.changeSignal = m_settings.value(sectionOf(slot), SettingsKeys::profileChangeSignal);
    profile.include = m_settings.value(sectionOf(slot), SettingsKeys::profileInclude);
    profile.exclude = m_settings.value(sectionOf(slot), SettingsKeys::profileExclude);
    return profile;
}

bool ProfileStore::create(int slot, const QString& title)
{
    // A new profile judges pages without a lastmod by their content; older ones keep lastmod.
    return isSlot(slot) && m_settings.removeSection(sectionOf(slot)) &&
           m_settings.setValues(sectionOf(slot), {{SettingsKeys::profileTitle, title},
                                                  {SettingsKeys::profileChangeSignal,
                                                   ChangeSignals::nameOf(ChangeSignal::Auto)}});
}

bool ProfileStore::save(int slot, const Profile& profile)
{
    if (!isSlot(slot))
        return false;
    QList<std::pair<QString, QString>> keysAndValues;
    for (int i = 0; i < profileFieldCount; ++i)
        keysAndValues.append({Profile::key(ProfileField(i)), profile.fields[size_t(i)]});
    // The optional values are written once they have been set, so a profile that never used
    // them is saved exactly as before they existed.
    for (const auto& [key, value] :
         {std::pair{SettingsKeys::profileIndexNowKey, profile.indexNowKey},
          std::pair{SettingsKeys::profileFeed, profile.feed},
          std::pair{SettingsKeys::profileGoogleProperty, profile.googleProperty},
          std::pair{SettingsKeys::profileGoogleServiceAccount, profile.googleServiceAccount},
          std::pair{SettingsKeys::profileChangeSignal, profile.changeSignal},
          std::pair{SettingsKeys::profileInclude, profile.include},
          std::pair{SettingsKeys::profileExclude, profile.exclude}}) {
        if (!value.isEmpty() || m_settings.contains(sectionOf(slot), key))
            keysAndValues.append({key, value});
    }
    return m_settings.setValues(sectionOf(slot), keysAndValues);
}

bool ProfileStore::saveGoogle(int slot, const QString& property, const QString& serviceAccount)
{
    return isSlot(slot) &&
           m_settings.setValues(sectionOf(slot),
                                {{SettingsKeys::profileGoogleProperty, property},
                                 {SettingsKeys::profileGoogleServiceAccount, serviceAccount}});
}

bool ProfileStore::remove(int slot)
{
    return isSlot(slot) && m_settings.removeSection(sectionOf(slot));
}

QString ProfileStore::fileName() const
{
    return m_settings.fileName();
}
