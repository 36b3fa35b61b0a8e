#include "TempSettings.h"

#include <QSettings>

using namespace Qt::StringLiterals;

TempSettings::TempSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

QString TempSettings::fileOf(const QString& application) const
{
    return m_dir.filePath(u"orv/"_s + application + u".conf"_s);
}
