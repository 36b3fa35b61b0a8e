#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the per-user settings store at a fresh temporary directory for the life of this
// object, so no test reads or writes the user's real profiles.
class TempSettings
{
public:
    TempSettings();

    QString directory() const { return m_dir.path(); }
    // The file the store keeps for an application ("orv" gives <dir>/orv/orv.conf).
    QString fileOf(const QString& application) const;

private:
    QTemporaryDir m_dir;
};
