#include "InstalledVersion.h"

#include "SettingsKeys.h"
#include "SettingsStore.h"

InstalledVersion::InstalledVersion(SettingsStore& store) : m_store(store) {}

QString InstalledVersion::read() const
{
    return m_store.value(SettingsKeys::versionSection, SettingsKeys::versionKey);
}

bool InstalledVersion::store(const QString& version)
{
    return m_store.setValue(SettingsKeys::versionSection, SettingsKeys::versionKey, version);
}

QString InstalledVersion::readOrRecordFirst()
{
    const QString stored = read();
    if (!stored.isEmpty())
        return stored;
    store(firstVersion);
    return firstVersion;
}
