#include "PageHead.h"

#include <QByteArrayList>

#include <libxml/HTMLparser.h>

namespace {

// The crawlers whose own meta tags count as much as "robots" does.
bool namesCrawler(QByteArrayView name)
{
    static const QByteArrayList crawlers = {"robots", "googlebot",   "googlebot-news", "bingbot",  "msnbot",
                                            "yandex", "yandexbot",   "seznambot",      "yeti",     "naverbot",
                                            "yep",    "baiduspider", "duckduckbot",    "applebot", "slurp"};
    return crawlers.contains(name.toByteArray().toLower());
}

struct Reader
{
    PageHead head;
    htmlParserCtxtPtr context = nullptr;
    bool ended = false;

    void start(const char* name, const xmlChar** attributes)
    {
        const QByteArrayView element(name);
        if (element == "body") {
            end();
            return;
        }
        QByteArray nameAttribute;
        QByteArray content;
        QByteArray rel;
        QByteArray href;
        for (const xmlChar** attribute = attributes; attribute && attribute[0]; attribute += 2) {
            const QByteArray key = QByteArray(reinterpret_cast<const char*>(attribute[0])).toLower();
            const QByteArray value =
                attribute[1] ? QByteArray(reinterpret_cast<const char*>(attribute[1])) : QByteArray();
            if (key == "name")
                nameAttribute = value.trimmed().toLower();
            else if (key == "content")
                content = value;
            else if (key == "rel")
                rel = value.toLower();
            else if (key == "href")
                href = value.trimmed();
        }
        if (element == "meta" && !head.noindex && namesCrawler(nameAttribute) &&
            PageHead::forbidsIndexing(content)) {
            head.noindex = true;
            head.noindexSource = "meta " + nameAttribute;
        } else if (element == "link" && head.canonical.isEmpty() && rel.split(' ').contains("canonical")) {
            head.canonical = href;
        }
    }

    void end()
    {
        head.complete = true;
        if (!ended) {
            ended = true;
            xmlStopParser(context);
        }
    }
};

} // namespace

bool PageHead::forbidsIndexing(QByteArrayView directives)
{
    for (QByteArray directive : directives.toByteArray().toLower().split(',')) {
        // "googlebot: noindex" speaks for one crawler, which counts as much as all of them.
        const qsizetype colon = directive.indexOf(':');
        if (colon >= 0 && namesCrawler(directive.left(colon).trimmed()))
            directive = directive.mid(colon + 1);
        directive = directive.trimmed();
        if (directive == "noindex" || directive == "none")
            return true;
    }
    return false;
}

PageHead PageHead::read(QByteArrayView html, bool whole)
{
    Reader reader;
    htmlSAXHandler handler{};
    handler.startElement = [](void* user, const xmlChar* name, const xmlChar** attributes) {
        static_cast<Reader*>(user)->start(reinterpret_cast<const char*>(name), attributes);
    };
    handler.endElement = [](void* user, const xmlChar* name) {
        if (QByteArrayView(reinterpret_cast<const char*>(name)) == "head")
            static_cast<Reader*>(user)->end();
    };
    reader.context = htmlCreatePushParserCtxt(&handler, &reader, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    htmlCtxtUseOptions(reader.context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(reader.context, html.data(), int(html.size()), whole ? 1 : 0);
    htmlFreeParserCtxt(reader.context);
    reader.head.complete = reader.head.complete || whole;
    return reader.head;
}
