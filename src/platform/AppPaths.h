#pragma once

#include <QString>

// Where the program finds its catalogue and writes its run log and upgrade download:
// the executable's directory, or the directory given with --home.
class AppPaths
{
public:
    explicit AppPaths(QString homeDirectory);

    static AppPaths besideExecutable();
    static QString executableDirectory();

    // Joins with exactly one separator, so a root directory gives "/orvd.dll", not "//orvd.dll".
    static QString joinPath(const QString& directory, const QString& fileName);

    QString homeDirectory() const { return m_home; }
    QString catalogueFile() const;
    QString runLogFile() const;
    QString upgradeFile() const;

private:
    QString m_home;
};
