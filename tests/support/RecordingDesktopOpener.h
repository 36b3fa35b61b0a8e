#pragma once

#include "DesktopOpener.h"

#include <QList>
#include <QUrl>

// Records what the program asks the desktop to open, and opens nothing.
class RecordingDesktopOpener final : public DesktopOpener
{
public:
    bool open(const QUrl& url) override
    {
        opened << url;
        return true;
    }

    QList<QUrl> opened;
};
