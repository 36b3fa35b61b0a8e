#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

AppPaths::AppPaths(QString homeDirectory)
    : m_catalogueDirectory(homeDirectory), m_writableDirectory(homeDirectory)
{}

AppPaths::AppPaths(QString catalogueDirectory, QString writableDirectory)
    : m_catalogueDirectory(std::move(catalogueDirectory)), m_writableDirectory(std::move(writableDirectory))
{}

AppPaths AppPaths::forProgramIn(const QString& programDirectory)
{
    const bool portable = QFileInfo::exists(joinPath(programDirectory, portableMarker)) &&
                          QFileInfo(programDirectory).isWritable();
    return AppPaths(programDirectory, portable ? programDirectory : userDataDirectory());
}

AppPaths AppPaths::forHome(const QString& homeDirectory, const QString& programDirectory)
{
    if (QFileInfo::exists(joinPath(homeDirectory, u"orvd.dll"_s)) ||
        !QFileInfo::exists(joinPath(programDirectory, u"orvd.dll"_s)))
        return AppPaths(homeDirectory);
    AppPaths paths(programDirectory, homeDirectory);
    paths.m_bundledCatalogue = true;
    return paths;
}

AppPaths AppPaths::besideExecutable()
{
    return forProgramIn(QCoreApplication::applicationDirPath());
}

QString AppPaths::userDataDirectory()
{
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(directory);
    return directory;
}

QString AppPaths::joinPath(const QString& directory, const QString& fileName)
{
    const QString dir = QDir::fromNativeSeparators(directory);
    if (dir.isEmpty() || dir.endsWith(u'/'))
        return dir + fileName;
    return dir + u'/' + fileName;
}

QString AppPaths::catalogueFile() const
{
    return joinPath(m_catalogueDirectory, u"orvd.dll"_s);
}

QString AppPaths::runLogFile() const
{
    return joinPath(m_writableDirectory, u"sublog.htm"_s);
}

QString AppPaths::historyFile() const
{
    return joinPath(m_writableDirectory, u"history.db"_s);
}

QString AppPaths::runLockFile() const
{
    return joinPath(m_writableDirectory, u"orvanta.lock"_s);
}

QString AppPaths::upgradeFile() const
{
    return joinPath(m_writableDirectory, u"orvd.upg"_s);
}
