#pragma once

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <utility>

class QSettings;

// The per-user settings store: string values by application, section and key, kept across
// restarts (QSettings, organisation "orv"). Key names are matched without regard to case.
// A file that cannot be parsed is copied to "<file>.bak" before the first write changes it,
// so the lines QSettings could not read are never lost for good.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString value(const QString& application, const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const;

    // Both return false when the store could not be written (no permission, a directory in
    // the file's place): the caller must not report success then.
    bool setValue(const QString& application, const QString& section, const QString& key,
                  const QString& value);
    // Several keys of one section, written to the file once.
    bool setValues(const QString& application, const QString& section,
                   const QList<std::pair<QString, QString>>& keysAndValues);
    bool removeSection(const QString& application, const QString& section);

    QString fileName(const QString& application) const;

private:
    struct File;
    File& fileFor(const QString& application) const;
    void keepUnreadableFile(File& file);
    bool commit(File& file);

    mutable std::map<QString, std::unique_ptr<File>> m_files;
};
