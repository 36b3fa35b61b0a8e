#include "WebAddress.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// The bytes a path keeps only as an escape: those outside ASCII, the controls that never get
// this far, and the ones RFC 3986 leaves out of a path.
constexpr std::array<bool, 256> escapedInPaths = [] {
    std::array<bool, 256> escaped{};
    for (int byte = 0x80; byte < 256; ++byte)
        escaped[size_t(byte)] = true;
    for (const char c : std::string_view("\"<>\\^`{|}"))
        escaped[static_cast<unsigned char>(c)] = true;
    return escaped;
}();

void appendEscape(QByteArray& out, unsigned char byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

WebAddress::Normalised refused(const QString& problem)
{
    return {QByteArray(), problem};
}

// Appends the host in lower case, an international one in its ASCII form; false (and nothing
// appended) when it is no host name.
bool appendNormalHost(QByteArray& out, QByteArrayView host)
{
    if (host.startsWith('[')) { // an IPv6 address
        if (!host.endsWith(']'))
            return false;
        out += host.toByteArray().toLower();
        return true;
    }
    const auto isHostCharacter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
    };
    bool plain = true;
    for (const char c : host)
        plain = plain && static_cast<unsigned char>(c) < 0x80 && c != '%';
    if (plain) { // the usual case, lowered on the way in
        const qsizetype start = out.size();
        for (char c : host) {
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (!isHostCharacter(c)) {
                out.truncate(start);
                return false;
            }
            out += c;
        }
        return !host.isEmpty();
    }
    const QByteArray ace =
        QUrl::toAce(QUrl::fromPercentEncoding(host.toByteArray()), QUrl::AceTransitionalProcessing);
    if (ace.isEmpty() || !std::all_of(ace.cbegin(), ace.cend(), isHostCharacter))
        return false;
    out += ace;
    return true;
}

} // namespace

bool WebAddress::isValid(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !url.host().isEmpty();
}

namespace {

// Why bytes cannot be in an address, or nothing.
QString unsafeBytes(QByteArrayView bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ')
            return u"holds a space"_s;
        if (byte < 0x20 || byte == 0x7F)
            return u"holds a control character"_s;
    }
    return {};
}

// "scheme://host[:port]" of an address in its normal form, once every byte of the address is
// known to be safe; `authorityEnd` receives where the written authority ends. The origin depends
// on the address's bytes before that alone. Why the address cannot be used, or nothing.
QString appendNormalOrigin(QByteArray& out, QByteArrayView url, qsizetype& authorityEnd)
{
    if (QString problem = unsafeBytes(url); !problem.isEmpty())
        return problem;
    qsizetype at = 0;
    if (url.size() > 8 && url.first(8).compare("https://", Qt::CaseInsensitive) == 0) {
        out += "https://";
        at = 8;
    } else if (url.size() > 7 && url.first(7).compare("http://", Qt::CaseInsensitive) == 0) {
        out += "http://";
        at = 7;
    } else {
        return u"is not an http or https address"_s;
    }
    authorityEnd = at;
    while (authorityEnd < url.size() && url[authorityEnd] != '/' && url[authorityEnd] != '?' &&
           url[authorityEnd] != '#')
        ++authorityEnd;
    const QByteArrayView authority = url.sliced(at, authorityEnd - at);
    if (authority.contains('@'))
        return u"holds a user name or password"_s;
    const qsizetype portColon = authority.lastIndexOf(':');
    const bool hasPort = portColon >= 0 && !authority.sliced(portColon).contains(']');
    if (!appendNormalHost(out, hasPort ? authority.first(portColon) : authority))
        return u"has no valid host name"_s;
    if (hasPort) {
        const QByteArrayView digits = authority.sliced(portColon + 1);
        uint port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9' || port > 65535)
                return u"has a port that is not valid"_s;
            port = port * 10 + uint(c - '0');
        }
        const bool defaultPort = digits.isEmpty() || (port == 80 && out.startsWith("http:")) ||
                                 (port == 443 && out.startsWith("https:"));
        if (port > 65535 || (port == 0 && !digits.isEmpty()))
            return u"has a port that is not valid"_s;
        if (!defaultPort) {
            out += ':';
            const qsizetype zeros =
                std::find_if(digits.begin(), digits.end(), [](char c) { return c != '0'; }) - digits.begin();
            out += digits.sliced(zeros); // the number as written, without leading zeros
        }
    }
    return {};
}

// What a byte asks of an address: nothing, its refusal (a space or a control character), an
// escape or a decoding in a path, or the end of the path and query (a fragment).
enum ByteKind : quint8 { Plain = 0, Unsafe = 1, Reworked = 2, Fragment = 4 };
constexpr std::array<quint8, 256> byteKinds = [] {
    std::array<quint8, 256> kinds{};
    for (int byte = 0; byte < 256; ++byte) {
        if (byte <= 0x20 || byte == 0x7F)
            kinds[size_t(byte)] = Unsafe;
        else if (byte == '%' || escapedInPaths[size_t(byte)])
            kinds[size_t(byte)] = Reworked;
    }
    kinds['#'] = Fragment;
    return kinds;
}();

// The path and query after the written authority, without the fragment. The bytes are looked
// at once: most pages' paths go across as they stand.
QString appendNormalRest(QByteArray& out, QByteArrayView url, qsizetype authorityEnd)
{
    const QByteArrayView rest = url.sliced(authorityEnd);
    quint8 kinds = Plain;
    for (const char c : rest)
        kinds |= byteKinds[static_cast<unsigned char>(c)];
    if (kinds & Unsafe)
        return unsafeBytes(rest);
    const QByteArrayView pathAndQuery = kinds & Fragment ? rest.first(rest.indexOf('#')) : rest;
    if (pathAndQuery.isEmpty() || pathAndQuery.front() != '/')
        out += '/';
    if (kinds & Reworked)
        WebAddress::appendNormalPath(out, pathAndQuery);
    else
        out += pathAndQuery;
    if (out.size() > WebAddress::longest)
        return u"is longer than 2,048 characters"_s;
    return {};
}

} // namespace

WebAddress::Normalised WebAddress::normalise(QByteArrayView url)
{
    QByteArray out;
    out.reserve(url.size() + 8);
    qsizetype authorityEnd = 0;
    if (QString problem = appendNormalOrigin(out, url, authorityEnd); !problem.isEmpty())
        return refused(problem);
    if (QString problem = appendNormalRest(out, url, authorityEnd); !problem.isEmpty())
        return refused(problem);
    return {out, QString()};
}

QByteArrayView WebAddress::Normaliser::normalise(QByteArrayView url, QString& problem)
{
    const qsizetype written = m_writtenOrigin.size();
    const bool sameOrigin =
        written > 0 && url.startsWith(m_writtenOrigin) &&
        (url.size() == written || url[written] == '/' || url[written] == '?' || url[written] == '#');
    if (sameOrigin) { // the rest's bytes are looked at with the rest
        m_out.truncate(m_originSize);
    } else {
        m_writtenOrigin.resize(0);
        m_out.resize(0);
        qsizetype authorityEnd = 0;
        problem = appendNormalOrigin(m_out, url, authorityEnd);
        if (!problem.isEmpty())
            return {};
        m_writtenOrigin = url.first(authorityEnd).toByteArray();
        m_originSize = m_out.size();
        m_host = WebAddress::hostOf(m_out).toByteArray();
    }
    problem = appendNormalRest(m_out, url, m_writtenOrigin.size());
    return problem.isEmpty() ? QByteArrayView(m_out) : QByteArrayView();
}

QByteArray WebAddress::normalPath(QByteArrayView path)
{
    QByteArray out;
    appendNormalPath(out, path);
    return out;
}

void WebAddress::appendNormalPath(QByteArray& out, QByteArrayView path)
{
    // Most paths are normal already: they go across in one piece.
    const auto needsWork = [](char c) { return c == '%' || escapedInPaths[static_cast<unsigned char>(c)]; };
    if (std::none_of(path.begin(), path.end(), needsWork)) {
        out.append(path);
        return;
    }
    out.reserve(out.size() + path.size() + 16);
    for (qsizetype i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte == '%') {
            const int high = i + 2 < path.size() ? hexValue(path[i + 1]) : -1;
            const int low = i + 2 < path.size() ? hexValue(path[i + 2]) : -1;
            if (high < 0 || low < 0) {
                out += "%25"; // a stray percent sign stands for itself
                continue;
            }
            const auto decoded = static_cast<unsigned char>(high * 16 + low);
            if (isUnreserved(decoded))
                out += char(decoded);
            else
                appendEscape(out, decoded);
            i += 2;
        } else if (escapedInPaths[byte]) {
            appendEscape(out, byte);
        } else {
            out += char(byte);
        }
    }
}

QByteArrayView WebAddress::originOf(QByteArrayView normalised)
{
    const qsizetype hostStart = normalised.indexOf("://") + 3;
    const qsizetype pathStart = normalised.indexOf('/', hostStart);
    return pathStart < 0 ? normalised : normalised.first(pathStart);
}

QByteArrayView WebAddress::hostOf(QByteArrayView normalised)
{
    const qsizetype hostStart = normalised.indexOf("://") + 3;
    QByteArrayView authority = originOf(normalised).sliced(hostStart);
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon >= 0 && !authority.sliced(colon).contains(']'))
        authority = authority.first(colon);
    return authority;
}

QByteArray WebAddress::siteHost(const QString& address)
{
    const Normalised site = normalise(address.trimmed().toUtf8());
    return site.address.isEmpty() ? QByteArray() : hostOf(site.address).toByteArray();
}

QByteArray WebAddress::siteOrigin(const QString& address)
{
    const Normalised site = normalise(address.trimmed().toUtf8());
    return site.address.isEmpty() ? QByteArray() : originOf(site.address).toByteArray();
}
