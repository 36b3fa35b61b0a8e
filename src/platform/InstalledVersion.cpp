#include "InstalledVersion.h"

#include "SettingsStore.h"

using namespace Qt::StringLiterals;

namespace {
const QString application = u"orv"_s;
const QString section = u"version"_s;
const QString key = u"information"_s;
} // namespace

InstalledVersion::InstalledVersion(SettingsStore& store) : m_store(store) {}

QString InstalledVersion::read() const
{
    return m_store.value(application, section, key);
}

bool InstalledVersion::store(const QString& version)
{
    return m_store.setValue(application, section, key, version);
}

QString InstalledVersion::readOrRecordFirst()
{
    const QString stored = read();
    if (!stored.isEmpty())
        return stored;
    store(firstVersion);
    return firstVersion;
}
