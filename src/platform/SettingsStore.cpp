#include "SettingsStore.h"

#include "SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

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

QString path(const QString& section, const QString& key)
{
    return section + u'/' + key;
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             SettingsKeys::organisation, SettingsKeys::application))
{}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::value(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QString stored = path(section, storedKeyName(*m_settings, section, key));
    if (!m_settings->contains(stored))
        return defaultValue;
    const QVariant value = m_settings->value(stored);
    // A hand-edited value with an unquoted comma comes back as a list; give the text back.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    return m_settings->contains(path(section, storedKeyName(*m_settings, section, key)));
}

bool SettingsStore::setValue(const QString& section, const QString& key, const QString& value)
{
    return setValues(section, {{key, value}});
}

bool SettingsStore::setValues(const QString& section, const QList<std::pair<QString, QString>>& keysAndValues)
{
    keepUnreadableFile();
    for (const auto& [key, value] : keysAndValues)
        m_settings->setValue(path(section, storedKeyName(*m_settings, section, key)), value);
    return commit();
}

bool SettingsStore::removeSection(const QString& section)
{
    keepUnreadableFile();
    m_settings->remove(section);
    return commit();
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

QString SettingsStore::readProblem() const
{
    const QFileInfo file(fileName());
    if (!file.exists())
        return QString();
    if (file.isDir())
        return u"The settings file \"%1\" is a directory."_s.arg(fileName());
    if (!file.isReadable())
        return u"The settings file \"%1\" cannot be read: permission denied."_s.arg(fileName());
    return QString();
}

void SettingsStore::keepUnreadableFile()
{
    if (m_backupChecked)
        return;
    m_backupChecked = true;
    // Parsing is lazy: only a full read tells whether some lines were unreadable.
    m_settings->allKeys();
    if (m_settings->status() == QSettings::FormatError) {
        const QString backup = fileName() + u".bak"_s;
        QFile::remove(backup);
        QFile::copy(fileName(), backup);
    }
}

bool SettingsStore::commit()
{
    m_settings->sync();
    return m_settings->status() != QSettings::AccessError && m_settings->isWritable();
}
