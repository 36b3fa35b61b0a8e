#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

AppPaths::AppPaths(QString homeDirectory) : m_home(std::move(homeDirectory)) {}

AppPaths AppPaths::besideExecutable()
{
    return AppPaths(executableDirectory());
}

QString AppPaths::executableDirectory()
{
    return QCoreApplication::applicationDirPath();
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
    return joinPath(m_home, u"orvd.dll"_s);
}

QString AppPaths::runLogFile() const
{
    return joinPath(m_home, u"sublog.htm"_s);
}

QString AppPaths::upgradeFile() const
{
    return joinPath(m_home, u"orvd.upg"_s);
}
