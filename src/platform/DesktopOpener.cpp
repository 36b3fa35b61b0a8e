#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

DesktopOpener::~DesktopOpener() = default;

bool SystemDesktopOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
