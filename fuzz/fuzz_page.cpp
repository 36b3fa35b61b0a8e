// What a website says about its pages, from arbitrary bytes: a robots.txt and a page's head.
// Within bounds whatever arrives; a verdict that does not depend on how much of a page after
// its head was read; and robots.txt rules that answer every path, the same twice.
#include "PageHead.h"
#include "RobotsRules.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first line is a path to ask about; the rest is the file.
    const qsizetype newline = input.indexOf('\n');
    const QByteArrayView path = newline < 0 ? QByteArrayView("/") : input.first(newline);
    const QByteArrayView file = newline < 0 ? input : input.sliced(newline + 1);

    const RobotsRules robots = RobotsRules::fromText(file);
    const QByteArray url = "http://example.com/" + path.toByteArray();
    if (robots.allows(url) != robots.allows(url))
        std::abort();

    const PageHead head = PageHead::read(file, true);
    for (const IndexingBan& ban : head.bans) {
        if (ban.source.isEmpty())
            std::abort();
    }
    // A head that ended before the bytes did reads the same with more of the page behind it.
    if (PageHead::read(file, false).complete) {
        const QByteArray page = file.toByteArray() + QByteArrayLiteral("<p>more</p>");
        const PageHead longer = PageHead::read(page, true);
        if (longer.bans.size() != head.bans.size() || longer.canonical != head.canonical)
            std::abort();
    }
    return 0;
}
