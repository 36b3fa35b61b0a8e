#pragma once

#include <QString>

// Where the program finds its catalogue and writes its run log, history and upgrade download.
// With --home DIR, all of them live in DIR. Otherwise the catalogue lies beside the executable; the
// files the program writes go beside it too only in a portable copy (a directory marked by the
// file "orvanta.portable", as the build tree is) that can be written. An installed program never
// writes under its installation prefix, even as root: its files go to the user's data directory.
class AppPaths
{
public:
    static inline const QString portableMarker = QStringLiteral("orvanta.portable");

    // Everything in one directory: --home, tests, the demo.
    explicit AppPaths(QString homeDirectory);
    AppPaths(QString catalogueDirectory, QString writableDirectory);

    static AppPaths forProgramIn(const QString& programDirectory);
    // --home DIR: every file in DIR, but the catalogue the program came with when DIR holds none
    // (a home made for the history and log alone).
    static AppPaths forHome(const QString& homeDirectory, const QString& programDirectory);
    static AppPaths besideExecutable();
    // The user's own directory for the program's files, created when missing.
    static QString userDataDirectory();

    // Joins with exactly one separator, so a root directory gives "/orvd.dll", not "//orvd.dll".
    static QString joinPath(const QString& directory, const QString& fileName);

    QString catalogueFile() const;
    // The home holds no catalogue of its own: the program's is read, never written.
    bool usesBundledCatalogue() const { return m_bundledCatalogue; }
    QString runLogFile() const;
    QString upgradeFile() const;
    // The record of what was sent and of every run, beside the run log.
    QString historyFile() const;
    // Held by the run of this home, so that two never run at once.
    QString runLockFile() const;

private:
    QString m_catalogueDirectory;
    QString m_writableDirectory;
    bool m_bundledCatalogue = false;
};
