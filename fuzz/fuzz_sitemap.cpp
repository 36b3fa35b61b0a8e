// The sitemap parser on arbitrary files, plain or gzip-compressed: within its limits whatever
// arrives, every failure with its reason, and the same verdict (for a sound file the same
// entries) whether the file comes whole or in two pieces.
#include "SitemapParser.h"

#include <QStringList>

#include <cstdlib>

namespace {

struct Outcome
{
    QStringList entries;
    bool fed = false;
    bool finished = false;
    SitemapParser::Kind kind = SitemapParser::Kind::Unknown;
};

Outcome parse(QByteArrayView file, qsizetype split)
{
    Outcome outcome;
    const SitemapParser::Limits limits{100, 64 * 1024};
    SitemapParser parser(
        [&](const SitemapParser::Entry& entry) {
            outcome.entries << QString::fromUtf8(entry.loc) + u'|' + QString::fromUtf8(entry.lastModified) +
                                   u'|' + entry.unusable;
        },
        limits);
    outcome.fed = parser.feed(file.first(split)) && parser.feed(file.sliced(split));
    outcome.finished = outcome.fed && parser.finish();
    outcome.kind = parser.kind();
    if (outcome.entries.size() > limits.maxEntries || (!outcome.finished && parser.error().isEmpty()))
        std::abort();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char*>(data), qsizetype(size));
    const Outcome whole = parse(file, file.size());
    const Outcome pieces = parse(file, size ? data[0] % file.size() : 0);
    // A broken file may fail at different places (and so after different kinds were seen);
    // it must fail either way.
    if (whole.finished != pieces.finished ||
        (whole.finished && (whole.kind != pieces.kind || whole.entries != pieces.entries)))
        std::abort();
    return 0;
}
