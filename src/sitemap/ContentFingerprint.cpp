#include "ContentFingerprint.h"

#include "HtmlParsing.h"

#include <QByteArrayList>

#include <array>
#include <cstring>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <memory>
#include <openssl/evp.h>

namespace {

// SHA-256 as OpenSSL computes it: several times faster than a portable implementation, which
// counts when every page of a website is read at every run.
class Sha256
{
public:
    Sha256() : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
    }
    void addData(QByteArrayView bytes)
    {
        EVP_DigestUpdate(m_context.get(), bytes.data(), size_t(bytes.size()));
    }
    QByteArray result()
    {
        QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_context.get(), reinterpret_cast<unsigned char*>(digest.data()), &size);
        digest.truncate(int(size));
        return digest;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context;
};

// The candidates for the main content, the first found of each, in the order they are preferred.
enum Candidate { Main, Article, RoleMain, Body, candidates };

bool leftOut(QByteArrayView element)
{
    return element == "script" || element == "style" || element == "noscript" || element == "template" ||
           element == "nav" || element == "header" || element == "footer" || element == "aside";
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The text of one element, its white space collapsed, hashed as it comes: gathered a few
// kilobytes at a time, each run of text between blanks as it stands, a blank before it where
// one was.
struct TextOf
{
    Sha256 hash;
    std::array<char, 8192> gathered;
    qsizetype used = 0;
    int depth = -1; // the depth it was opened at; -1 before it was
    bool open = false;
    bool blank = false;   // a blank is due before the next text
    bool written = false; // some text was hashed already

    void take(QByteArrayView text)
    {
        const char* at = text.data();
        const char* const end = at + text.size();
        while (at < end) {
            if (isBlank(*at)) {
                blank = true;
                ++at;
                continue;
            }
            const char* word = at;
            while (at < end && !isBlank(*at))
                ++at;
            if (blank && written)
                gather(" ");
            blank = false;
            written = true;
            gather(QByteArrayView(word, at - word));
        }
    }
    void gather(QByteArrayView bytes)
    {
        if (used + bytes.size() > qsizetype(gathered.size()))
            flush();
        if (bytes.size() > qsizetype(gathered.size())) {
            hash.addData(bytes);
            return;
        }
        std::memcpy(gathered.data() + used, bytes.data(), size_t(bytes.size()));
        used += bytes.size();
    }
    void flush()
    {
        hash.addData(QByteArrayView(gathered.data(), used));
        used = 0;
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
        // Attributes are looked at only where they can count: most elements have none that do.
        if (element == "meta") {
            const QByteArray name = htmlAttribute(attributes, "name").trimmed().toLower();
            if (name == "description")
                description = htmlAttribute(attributes, "content").simplified();
            else if (name == "robots" || name == "googlebot" || name == "bingbot")
                robots.append(name)
                    .append(':')
                    .append(htmlAttribute(attributes, "content").simplified().toLower())
                    .append(';');
        } else if (element == "link" && canonical.isEmpty() &&
                   htmlAttribute(attributes, "rel").toLower().simplified().split(' ').contains("canonical")) {
            canonical = htmlAttribute(attributes, "href").trimmed();
        } else if (element == "title" && title.isEmpty()) {
            inTitle = true;
        }
        // An element with role="main" counts while no <main> or <article> (nor one before it) was found.
        const bool roleCounts = text[Main].depth < 0 && text[Article].depth < 0 && text[RoleMain].depth < 0;
        if (leftOutFrom < 0 && leftOut(element))
            leftOutFrom = depth;
        const Candidate opened =
            element == "main"                                                               ? Main
            : element == "article"                                                          ? Article
            : roleCounts && htmlAttribute(attributes, "role").trimmed().toLower() == "main" ? RoleMain
            : element == "body"                                                             ? Body
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
        // A candidate after one already found can no longer be the one that counts.
        for (TextOf& each : text) {
            if (each.open)
                each.take(characters);
            if (each.depth >= 0)
                break;
        }
    }

    QByteArray digest()
    {
        Sha256 whole;
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

qint64 ContentFingerprint::bytesHash(QByteArrayView body, QByteArrayView contentType)
{
    Sha256 hash;
    hash.addData(contentType);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(body);
    return shortForm(hash.result().toHex());
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
