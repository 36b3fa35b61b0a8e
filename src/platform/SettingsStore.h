#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <utility>

class QSettings;

// The per-user settings store: string values by section and key, kept across restarts in the
// file SettingsKeys names. Key names are matched without regard to case. A file that cannot be
// parsed is copied to "<file>.bak" before the first write changes it, so the lines that could
// not be read are never lost for good.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString value(const QString& section, const QString& key, const QString& defaultValue = QString()) const;
    bool contains(const QString& section, const QString& key) const;

    // These return false when the store could not be written (no permission, a directory in the
    // file's place): the caller must not report success then.
    bool setValue(const QString& section, const QString& key, const QString& value);
    bool setValues(const QString& section, const QList<std::pair<QString, QString>>& keysAndValues);
    bool removeSection(const QString& section);

    QString fileName() const;
    // Empty when the file is missing or readable; otherwise a sentence naming it and the fault.
    QString readProblem() const;

private:
    void keepUnreadableFile();
    bool commit();

    std::unique_ptr<QSettings> m_settings;
    bool m_backupChecked = false;
};
