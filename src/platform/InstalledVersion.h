#pragma once

#include <QString>

class SettingsStore;

// The installed version number, kept in the settings store. The first start records "2.001".
class InstalledVersion
{
public:
    static inline const QString firstVersion = QStringLiteral("2.001");

    explicit InstalledVersion(SettingsStore& store);

    QString read() const;
    bool store(const QString& version);

    // The stored number; when none is stored yet, records the first version and returns it.
    QString readOrRecordFirst();

private:
    SettingsStore& m_store;
};
