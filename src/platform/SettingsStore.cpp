#include "SettingsStore.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

struct SettingsStore::File
{
    explicit File(const QString& application)
        : settings(QSettings::NativeFormat, QSettings::UserScope, u"orv"_s, application)
    {}

    QSettings settings;
    bool backupChecked = false;
};

namespace {

// The stored spelling of a key in a section, or the key itself when none matches.
QString storedKeyName(QSettings& settings, const QString& section, const QString& key)
{
    settings.beginGroup(section);
    const QStringList keys = settings.childKeys();
    settings.endGroup();
    for (const QString& candidate : keys) {
        if (candidate.compare(key, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return key;
}

QString sectionKey(const QString& section, const QString& key)
{
    return section + u'/' + key;
}

} // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

SettingsStore::File& SettingsStore::fileFor(const QString& application) const
{
    auto& file = m_files[application];
    if (!file)
        file = std::make_unique<File>(application);
    return *file;
}

QString SettingsStore::value(const QString& application, const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    QSettings& settings = fileFor(application).settings;
    const QString path = sectionKey(section, storedKeyName(settings, section, key));
    if (!settings.contains(path))
        return defaultValue;
    const QVariant stored = settings.value(path);
    // A hand-edited value with an unquoted comma comes back as a list; give the text back.
    if (stored.userType() == QMetaType::QStringList)
        return stored.toStringList().join(u',');
    return stored.toString();
}

bool SettingsStore::setValue(const QString& application, const QString& section, const QString& key,
                             const QString& value)
{
    return setValues(application, section, {{key, value}});
}

bool SettingsStore::setValues(const QString& application, const QString& section,
                              const QList<std::pair<QString, QString>>& keysAndValues)
{
    File& file = fileFor(application);
    keepUnreadableFile(file);
    for (const auto& [key, value] : keysAndValues)
        file.settings.setValue(sectionKey(section, storedKeyName(file.settings, section, key)), value);
    return commit(file);
}

bool SettingsStore::removeSection(const QString& application, const QString& section)
{
    File& file = fileFor(application);
    keepUnreadableFile(file);
    file.settings.remove(section);
    return commit(file);
}

QString SettingsStore::fileName(const QString& application) const
{
    return fileFor(application).settings.fileName();
}

void SettingsStore::keepUnreadableFile(File& file)
{
    if (file.backupChecked)
        return;
    file.backupChecked = true;
    // Parsing is lazy: only a full read tells whether some lines were unreadable.
    file.settings.allKeys();
    if (file.settings.status() == QSettings::FormatError) {
        const QString original = file.settings.fileName();
        const QString backup = original + u".bak"_s;
        QFile::remove(backup);
        QFile::copy(original, backup);
    }
}

bool SettingsStore::commit(File& file)
{
    file.settings.sync();
    return file.settings.status() != QSettings::AccessError && file.settings.isWritable();
}
