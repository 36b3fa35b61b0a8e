#pragma once

#include <QString>

// Where the program finds its catalogue and writes its run log and upgrade download. With
// --home DIR, all three live in DIR. Otherwise the catalogue lies beside the executable, and so
// do the files the program writes when that directory is writable; when it is not (an
// installed package), they go to the user's own data directory.
class AppPaths
{
public:
    // Everything in one directory: --home, tests, the demo.
    explicit AppPaths(QString homeDirectory);
    AppPaths(QString catalogueDirectory, QString writableDirectory);

    static AppPaths besideExecutable();
    static QString executableDirectory();
    // The user's own directory for the program's files, created when missing.
    static QString userDataDirectory();

    // Joins with exactly one separator, so a root directory gives "/orvd.dll", not "//orvd.dll".
    static QString joinPath(const QString& directory, const QString& fileName);

    QString catalogueFile() const;
    QString runLogFile() const;
    QString upgradeFile() const;

private:
    QString m_catalogueDirectory;
    QString m_writableDirectory;
};
