#include "SitemapParser.h"

#include <QLocale>

#include <zlib.h>

using namespace Qt::StringLiterals;

struct SitemapParser::Inflater
{
    z_stream stream{};
    bool ended = false;

    Inflater() { inflateInit2(&stream, 16 + MAX_WBITS); } // a gzip header and trailer
    ~Inflater() { inflateEnd(&stream); }
};

SitemapParser::SitemapParser(EntryHandler onEntry, Limits limits)
    : m_onEntry(std::move(onEntry)), m_limits(limits)
{}

SitemapParser::~SitemapParser() = default;

bool SitemapParser::fail(const QString& error)
{
    if (m_error.isEmpty())
        m_error = error;
    return false;
}

bool SitemapParser::feed(QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_started && !bytes.isEmpty()) {
        m_started = true;
        if (bytes.size() >= 2 && quint8(bytes[0]) == 0x1f && quint8(bytes[1]) == 0x8b)
            m_inflater = std::make_unique<Inflater>();
    }
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

bool SitemapParser::parse(QByteArrayView xml)
{
    m_xmlBytes += xml.size();
    if (m_xmlBytes > m_limits.maxBytes)
        return fail(
            u"it is larger than %1 bytes uncompressed"_s.arg(QLocale::c().toString(m_limits.maxBytes)));
    m_xml.addData(xml.toByteArray());
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++m_depth;
            if (m_depth == 1) {
                if (m_xml.name() == u"urlset"_s)
                    m_kind = Kind::UrlSet;
                else if (m_xml.name() == u"sitemapindex"_s)
                    m_kind = Kind::Index;
                else
                    return fail(
                        u"it is neither a sitemap nor a sitemap index: its root element is <%1>"_s.arg(
                            m_xml.name()));
            } else if (m_depth == 2) {
                m_loc.clear();
                m_lastModified.clear();
            } else if (m_depth == 3) {
                m_field = m_xml.name() == u"loc"_s       ? Field::Loc
                          : m_xml.name() == u"lastmod"_s ? Field::LastModified
                                                         : Field::None;
            }
            break;
        case QXmlStreamReader::Characters:
            if (m_field == Field::Loc)
                m_loc += m_xml.text();
            else if (m_field == Field::LastModified)
                m_lastModified += m_xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (m_depth == 3)
                m_field = Field::None;
            if (m_depth == 2 && !m_loc.trimmed().isEmpty()) {
                if (++m_entries > m_limits.maxEntries)
                    return fail(
                        u"it holds more than %1 entries"_s.arg(QLocale::c().toString(m_limits.maxEntries)));
                m_onEntry(QStringView(m_loc).trimmed(), m_lastModified);
            }
            --m_depth;
            break;
        case QXmlStreamReader::Invalid:
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return true; // the rest is still to come
            return fail(u"line %1: %2"_s.arg(m_xml.lineNumber()).arg(m_xml.errorString()));
        default:
            break;
        }
    }
    return true;
}

bool SitemapParser::finish()
{
    if (!m_error.isEmpty())
        return false;
    if (m_inflater && !m_inflater->ended)
        return fail(u"the compressed file ends too soon"_s);
    if (m_kind == Kind::Unknown)
        return fail(u"it holds no XML document"_s);
    if (m_depth != 0 || (m_xml.hasError() && m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError))
        return fail(u"the XML ends before the document does (line %1)"_s.arg(m_xml.lineNumber()));
    return true;
}
