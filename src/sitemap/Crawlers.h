#pragma once

#include <QByteArrayList>

namespace Crawlers {

// The product tokens of the crawlers of the engines one IndexNow notification reaches (Bing,
// Yandex, Seznam, Naver, Yep): the names their robots.txt groups and their own meta tags go by.
// A page is worth announcing when at least one of them may index it.
inline const QByteArrayList indexNow{"bingbot", "yandex", "seznambot", "yeti", "yep"};

} // namespace Crawlers
