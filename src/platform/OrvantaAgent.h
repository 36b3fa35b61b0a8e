#pragma once

#include "InstalledVersion.h"

#include <QByteArray>

// How the program names itself to the websites whose sitemaps, robots.txt, pages and key files it
// reads ("Orvanta/2.001"), so that their owners can tell it apart in their logs. Submissions to
// the catalogue's sites keep the bytes they always had.
namespace OrvantaAgent {

inline QByteArray productToken()
{
    return "Orvanta/" + InstalledVersion::firstVersion.toLatin1();
}

} // namespace OrvantaAgent
