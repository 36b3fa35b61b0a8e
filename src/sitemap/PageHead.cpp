#include "PageHead.h"

#include "HtmlParsing.h"

#include <QByteArrayList>

#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/parserInternals.h>

namespace {

// Directives that carry a value after a colon; any other word before a colon names a crawler.
bool isValuedDirective(QByteArrayView word)
{
    return word == "unavailable_after" || word == "max-snippet" || word == "max-image-preview" ||
           word == "max-video-preview";
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
        const QByteArray nameAttribute = htmlAttribute(attributes, "name").trimmed().toLower();
        const QByteArray content = htmlAttribute(attributes, "content");
        const QByteArray rel = htmlAttribute(attributes, "rel").toLower();
        const QByteArray href = htmlAttribute(attributes, "href").trimmed();
        if (element == "meta" && !nameAttribute.isEmpty()) {
            // "robots" speaks for every crawler, any other name for the crawler of that name.
            IndexingBan::read(content, nameAttribute == "robots" ? QByteArray() : nameAttribute,
                              "meta " + nameAttribute, head.bans);
        } else if (element == "link" && head.canonical.isEmpty() &&
                   rel.simplified().split(' ').contains("canonical")) {
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

void IndexingBan::read(QByteArrayView directives, QByteArrayView crawler, const QByteArray& source,
                       QList<IndexingBan>& bans)
{
    QByteArray speaksFor = crawler.toByteArray().toLower();
    for (QByteArray directive : directives.toByteArray().toLower().split(',')) {
        directive = directive.trimmed();
        const qsizetype colon = directive.indexOf(':');
        if (colon > 0 && !isValuedDirective(directive.left(colon).trimmed())) {
            speaksFor = directive.left(colon).trimmed();
            directive = directive.mid(colon + 1).trimmed();
        }
        if (directive == "noindex" || directive == "none")
            bans.append({speaksFor, source});
    }
}

PageHead PageHead::read(QByteArrayView html, bool whole, QByteArrayView contentType)
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
    qsizetype mark = 0;
    xmlCharEncodingHandlerPtr encoding = htmlEncodingOf(html, contentType, mark);
    html = html.sliced(mark);
    reader.context = htmlCreatePushParserCtxt(&handler, &reader, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    if (encoding)
        xmlSwitchToEncoding(reader.context, encoding);
    htmlCtxtUseOptions(reader.context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(reader.context, html.data(), int(html.size()), whole ? 1 : 0);
    htmlFreeParserCtxt(reader.context);
    reader.head.complete = reader.head.complete || whole;
    return reader.head;
}
