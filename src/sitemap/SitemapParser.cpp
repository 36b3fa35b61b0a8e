#include "SitemapParser.h"

#include "WebAddress.h"

#include <QLocale>

#include <cstring>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

// A message of libxml2's as part of our sentence: without its line end and final full stop.
QString sentencePart(const char* message)
{
    QString text = QString::fromUtf8(message).trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

} // namespace

struct SitemapParser::Inflater
{
    z_stream stream{};
    bool ended = false;

    Inflater() { inflateInit2(&stream, 16 + MAX_WBITS); } // a gzip header and trailer
    ~Inflater() { inflateEnd(&stream); }
};

// libxml2's push parser with our handlers: elements, text and entity references come back to
// the SitemapParser that owns it. Declarations are not kept, so no entity is ever expanded.
struct SitemapParser::Xml
{
    xmlSAXHandler handler{};
    xmlParserCtxtPtr context = nullptr;

    explicit Xml(SitemapParser* owner)
    {
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = [](void* user, const xmlChar* name, const xmlChar*, const xmlChar*, int,
                                    const xmlChar**, int, int, const xmlChar**) {
            static_cast<SitemapParser*>(user)->onStart(reinterpret_cast<const char*>(name));
        };
        handler.endElementNs = [](void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
            static_cast<SitemapParser*>(user)->onEnd();
        };
        handler.characters = [](void* user, const xmlChar* text, int length) {
            static_cast<SitemapParser*>(user)->onText(
                QByteArrayView(reinterpret_cast<const char*>(text), length));
        };
        handler.cdataBlock = handler.characters;
        handler.reference = [](void* user, const xmlChar*) {
            static_cast<SitemapParser*>(user)->onReference();
        };
        handler.serror = [](void* user, xmlErrorPtr problem) {
            static_cast<SitemapParser*>(user)->onProblem(
                problem->level == XML_ERR_FATAL ? problem->code : 0, problem->line,
                QByteArray(problem->message ? problem->message : ""));
        };
        xmlInitParser();
        context = xmlCreatePushParserCtxt(&handler, owner, nullptr, 0, nullptr);
        // Recovery lets a file go on past an entity it cannot resolve (that entry is left out);
        // every other fatal error still ends it, from onProblem().
        xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_RECOVER);
    }
    ~Xml() { xmlFreeParserCtxt(context); }
};

SitemapParser::SitemapParser(EntryHandler onEntry, Limits limits)
    : m_onEntry(std::move(onEntry)), m_limits(limits)
{}

SitemapParser::~SitemapParser() = default;

bool SitemapParser::fail(const QString& error)
{
    if (m_error.isEmpty())
        m_error = error;
    if (m_xml)
        xmlStopParser(m_xml->context);
    return false;
}

bool SitemapParser::feed(QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_started) {
        // Whether the file is compressed shows in its first two bytes, which may come apart.
        m_head += bytes;
        if (m_head.size() < 2)
            return true;
        m_started = true;
        if (quint8(m_head[0]) == 0x1f && quint8(m_head[1]) == 0x8b)
            m_inflater = std::make_unique<Inflater>();
        const QByteArray head = std::exchange(m_head, QByteArray());
        return feedPlain(head);
    }
    return feedPlain(bytes);
}

bool SitemapParser::feedPlain(QByteArrayView bytes)
{
    if (!m_inflater)
        return parse(bytes);
    z_stream& stream = m_inflater->stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    char out[64 * 1024];
    while (stream.avail_in > 0 && !m_inflater->ended) {
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            return fail(u"the compressed file is damaged (%1)"_s.arg(
                QString::fromLatin1(stream.msg ? stream.msg : "")));
        m_inflater->ended = status == Z_STREAM_END;
        if (!parse(QByteArrayView(out, qsizetype(sizeof out - stream.avail_out))))
            return false;
    }
    return true;
}

bool SitemapParser::parse(QByteArrayView xml, bool last)
{
    m_xmlBytes += xml.size();
    if (m_xmlBytes > m_limits.maxBytes)
        return fail(
            u"it is larger than %1 bytes uncompressed"_s.arg(QLocale::c().toString(m_limits.maxBytes)));
    if (xml.isEmpty() && !last)
        return true;
    if (!m_xml)
        m_xml = std::make_unique<Xml>(this);
    xmlParseChunk(m_xml->context, xml.data(), int(xml.size()), last ? 1 : 0);
    return m_error.isEmpty();
}

void SitemapParser::onStart(const char* name)
{
    if (!m_error.isEmpty())
        return;
    ++m_depth;
    if (m_depth == 1) {
        if (std::strcmp(name, "urlset") == 0)
            m_kind = Kind::UrlSet;
        else if (std::strcmp(name, "sitemapindex") == 0)
            m_kind = Kind::Index;
        else
            fail(u"it is neither a sitemap nor a sitemap index: its root element is <%1>"_s.arg(
                QString::fromUtf8(name)));
    } else if (m_depth == 2) {
        m_loc.resize(0); // keeping their room: no allocation an entry
        m_lastModified.resize(0);
        m_unusable.clear();
    } else if (m_depth == 3) {
        m_field = std::strcmp(name, "loc") == 0       ? Field::Loc
                  : std::strcmp(name, "lastmod") == 0 ? Field::LastModified
                                                      : Field::None;
    }
}

void SitemapParser::onText(QByteArrayView text)
{
    // An address longer than the protocol allows is refused later; more of it is not kept.
    // Copied in place: a million entries make QByteArray's general append count.
    const auto keep = [](QByteArray& kept, QByteArrayView more) {
        const qsizetype size = kept.size();
        kept.resize(size + more.size());
        std::memcpy(kept.data() + size, more.data(), size_t(more.size()));
    };
    if (m_field == Field::Loc && m_loc.size() <= WebAddress::longest + 64)
        keep(m_loc, text.first(std::min<qsizetype>(text.size(), WebAddress::longest + 65 - m_loc.size())));
    else if (m_field == Field::LastModified && m_lastModified.size() < 64)
        keep(m_lastModified, text.first(std::min<qsizetype>(text.size(), 64)));
}

void SitemapParser::onReference()
{
    if (m_field == Field::Loc)
        m_unusable = u"holds an entity reference that is not resolved"_s;
    else if (m_field == Field::LastModified)
        m_lastModified = "?"; // the date is not known
}

void SitemapParser::onProblem(int code, int line, const QByteArray& message)
{
    const bool entity = code == XML_ERR_UNDECLARED_ENTITY || code == XML_WAR_UNDECLARED_ENTITY;
    if (entity && m_depth >= 2) {
        onReference();
        return;
    }
    if (code == 0 || entity)
        return;
    const QString said = u"line %1: %2"_s.arg(line).arg(sentencePart(message.constData()));
    // A file cut short is said in finish(), in words of our own. What else the last chunk held
    // is kept: recovery may close every element after it, as a file fed in other pieces would
    // not have been.
    if (m_finishing && m_depth != 0) {
        if (m_finishProblem.isEmpty())
            m_finishProblem = said;
        return;
    }
    fail(said);
}

void SitemapParser::onEnd()
{
    if (!m_error.isEmpty())
        return;
    if (m_depth == 3)
        m_field = Field::None;
    if (m_depth == 2) {
        const QByteArrayView loc = QByteArrayView(m_loc).trimmed();
        if (!loc.isEmpty()) {
            if (++m_entries > m_limits.maxEntries) {
                fail(u"it holds more than %1 entries"_s.arg(QLocale::c().toString(m_limits.maxEntries)));
            } else {
                m_onEntry(Entry{loc, QByteArrayView(m_lastModified).trimmed(), m_unusable});
            }
        }
    }
    --m_depth;
}

bool SitemapParser::finish()
{
    if (!m_error.isEmpty())
        return false;
    if (!m_started && !m_head.isEmpty()) { // a one-byte file
        m_started = true;
        if (!feedPlain(std::exchange(m_head, QByteArray())))
            return false;
    }
    if (m_inflater && !m_inflater->ended)
        return fail(u"the compressed file ends too soon"_s);
    if (m_kind == Kind::Unknown)
        return fail(u"it holds no XML document"_s);
    m_finishing = true;
    parse({}, true);
    if (m_depth != 0)
        return fail(
            u"the XML ends before the document does (line %1)"_s.arg(xmlSAX2GetLineNumber(m_xml->context)));
    if (!m_finishProblem.isEmpty())
        return fail(m_finishProblem);
    return m_error.isEmpty();
}
