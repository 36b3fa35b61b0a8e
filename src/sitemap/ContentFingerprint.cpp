#include "ContentFingerprint.h"

#include "HtmlParsing.h"

#include <QByteArrayList>
#include <QCryptographicHash>

#include <array>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

namespace {

// The candidates for the main content, the first found of each, in the order they are preferred.
enum Candidate { Main, Article, RoleMain, Body, candidates };

bool leftOut(QByteArrayView element)
{
    return element == "script" || element == "style" || element == "noscript" || element == "template" ||
           element == "nav" || element == "header" || element == "footer" || element == "aside";
}

// The text of one element, its white space collapsed, hashed as it comes.
struct TextOf
{
    QCryptographicHash hash{QCryptographicHash::Sha256};
    QByteArray pending; // hashed in pieces
    int depth = -1;     // the depth it was opened at; -1 before it was
    bool open = false;
    bool blank = false;   // a blank is due before the next text
    bool written = false; // some text was hashed already

    void take(QByteArrayView text)
    {
        for (const char c : text) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                blank = true;
                continue;
            }
            if (blank && (written || !pending.isEmpty()))
                pending += ' ';
            blank = false;
            pending += c;
        }
        if (pending.size() >= 64 * 1024)
            flush();
    }
    void flush()
    {
        hash.addData(pending);
        written = written || !pending.isEmpty();
        pending.clear();
    }
};

} // namespace

struct ContentFingerprint::Reader
{
    htmlParserCtxtPtr context = nullptr;
    int depth = 0;
    int leftOutFrom = -1; // depth of the outermost left-out element open, -1 when none
    std::array<TextOf, candidates> text;
    bool inTitle = false;
    QByteArray title;
    QByteArray description;
    QByteArray canonical;
    QByteArray robots;

    ~Reader()
    {
        if (context)
            htmlFreeParserCtxt(context);
    }

    void start(QByteArrayView element, const xmlChar** attributes)
    {
        ++depth;
        const QByteArray name = htmlAttribute(attributes, "name").trimmed().toLower();
        const QByteArray content = htmlAttribute(attributes, "content").simplified();
        const QByteArray rel = htmlAttribute(attributes, "rel").toLower();
        const QByteArray href = htmlAttribute(attributes, "href").trimmed();
        const QByteArray role = htmlAttribute(attributes, "role").trimmed().toLower();
        if (element == "meta" && name == "description")
            description = content;
        else if (element == "meta" && (name == "robots" || name == "googlebot" || name == "bingbot"))
            robots.append(name).append(':').append(content.toLower()).append(';');
        else if (element == "link" && canonical.isEmpty() &&
                 rel.simplified().split(' ').contains("canonical"))
            canonical = href;
        else if (element == "title" && title.isEmpty())
            inTitle = true;
        if (leftOutFrom < 0 && leftOut(element))
            leftOutFrom = depth;
        const Candidate opened = element == "main"      ? Main
                                 : element == "article" ? Article
                                 : role == "main"       ? RoleMain
                                 : element == "body"    ? Body
                                                        : candidates;
        if (opened != candidates && text[opened].depth < 0) {
            text[opened].depth = depth;
            text[opened].open = true;
        }
        for (TextOf& each : text)
            each.blank = each.blank || each.open; // an element's edge parts words
    }

    void end(QByteArrayView element)
    {
        if (element == "title")
            inTitle = false;
        for (TextOf& each : text) {
            if (each.open && each.depth == depth)
                each.open = false;
            each.blank = each.blank || each.open;
        }
        if (leftOutFrom == depth)
            leftOutFrom = -1;
        depth = std::max(0, depth - 1);
    }

    void characters(QByteArrayView characters)
    {
        if (inTitle)
            title += characters;
        if (leftOutFrom >= 0)
            return;
        for (TextOf& each : text) {
            if (each.open)
                each.take(characters);
        }
    }

    QByteArray digest()
    {
        QCryptographicHash whole(QCryptographicHash::Sha256);
        for (const QByteArray& part : {title.simplified(), description, canonical, robots}) {
            whole.addData(part);
            whole.addData(QByteArrayView("\0", 1));
        }
        for (TextOf& each : text) {
            if (each.depth >= 0) {
                each.flush();
                whole.addData(each.hash.result());
                break;
            }
        }
        return whole.result().toHex();
    }
};

ContentFingerprint::ContentFingerprint(QByteArrayView contentType)
    : m_reader(std::make_unique<Reader>()), m_contentType(contentType.toByteArray())
{}

ContentFingerprint::~ContentFingerprint() = default;

void ContentFingerprint::add(QByteArrayView bytes)
{
    if (m_read + bytes.size() > mostBytes) {
        bytes = bytes.first(std::max<qint64>(0, mostBytes - m_read));
        m_truncated = true;
    }
    m_read += bytes.size();
    if (bytes.isEmpty())
        return;
    if (!m_reader->context) {
        // A byte-order mark is three bytes at most: the parser starts once it can be told.
        m_start += bytes;
        if (m_start.size() >= 3)
            startParser(std::exchange(m_start, {}));
        return;
    }
    htmlParseChunk(m_reader->context, bytes.data(), int(bytes.size()), 0);
}

void ContentFingerprint::startParser(QByteArrayView first)
{
    htmlSAXHandler handler{};
    handler.startElement = [](void* user, const xmlChar* name, const xmlChar** attributes) {
        static_cast<Reader*>(user)->start(reinterpret_cast<const char*>(name), attributes);
    };
    handler.endElement = [](void* user, const xmlChar* name) {
        static_cast<Reader*>(user)->end(reinterpret_cast<const char*>(name));
    };
    handler.characters = [](void* user, const xmlChar* characters, int length) {
        static_cast<Reader*>(user)->characters(
            QByteArrayView(reinterpret_cast<const char*>(characters), length));
    };
    qsizetype mark = 0;
    xmlCharEncodingHandlerPtr encoding = htmlEncodingOf(first, m_contentType, mark);
    first = first.sliced(mark);
    m_reader->context =
        htmlCreatePushParserCtxt(&handler, m_reader.get(), nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    if (encoding)
        xmlSwitchToEncoding(m_reader->context, encoding);
    htmlCtxtUseOptions(m_reader->context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(m_reader->context, first.data(), int(first.size()), 0);
}

QByteArray ContentFingerprint::finish()
{
    if (!m_reader->context)
        startParser(std::exchange(m_start, {}));
    htmlParseChunk(m_reader->context, nullptr, 0, 1);
    return m_reader->digest();
}

QByteArray ContentFingerprint::of(QByteArrayView html, QByteArrayView contentType)
{
    ContentFingerprint fingerprint(contentType);
    fingerprint.add(html);
    return fingerprint.finish();
}

qint64 ContentFingerprint::shortForm(QByteArrayView fingerprint)
{
    if (fingerprint.size() < 16)
        return 0;
    bool ok = false;
    const quint64 start = fingerprint.first(16).toULongLong(&ok, 16);
    // 0 stands for no fingerprint; the one version in 2^64 that starts so is taken as 1.
    return !ok ? 0 : start == 0 ? 1 : qint64(start);
}
