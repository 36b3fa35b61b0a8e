#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What the program takes for a web address, and the one form in which it compares, records and
// sends page addresses. Every part that asks "is this page on the site?" asks here.
namespace WebAddress {

// The longest page address the program handles: what the sitemap protocol allows.
constexpr qsizetype longest = 2048;

// An absolute http or https URL with a host: what a site's address, a feed or a request's
// target must be.
bool isValid(const QString& text);

struct Normalised
{
    QByteArray address; // the normal form; empty when the address cannot be used
    QString problem;    // why it cannot, in a few words ("holds a space")
};

// A page address in its normal form: scheme and host in lower case, an international host in
// its ASCII (punycode) form, no default port, no fragment, escapes of unreserved characters
// decoded and the others in capitals, and every byte a URL cannot carry escaped. Addresses that
// name the same page come out equal. A space, a user name or password, a control character, a
// scheme other than http and https, or a missing host make it unusable. Fast enough for a
// million pages: QUrl is consulted only for an international host.
Normalised normalise(QByteArrayView url);

// normalise() for the many addresses of one sitemap: each is written into the same buffer, and
// an origin written as the last one's was is not worked out again.
class Normaliser
{
public:
    // As normalise(): the normal form, valid until the next call; empty, with `problem` said,
    // when the address cannot be used.
    QByteArrayView normalise(QByteArrayView url, QString& problem);
    // hostOf() the address last normalised, when it could be used.
    QByteArrayView host() const { return m_host; }

private:
    QByteArray m_out;
    QByteArray m_writtenOrigin; // "scheme://authority" as the last usable address wrote it
    qsizetype m_originSize = 0; // m_out begins with its normal form
    QByteArray m_host;
};

// The path and query of an address in the same normal form (escapes of unreserved characters
// decoded, the others in capitals, bytes a URL cannot carry escaped), for comparing paths with
// patterns such as robots.txt's.
QByteArray normalPath(QByteArrayView pathAndQuery);
void appendNormalPath(QByteArray& out, QByteArrayView pathAndQuery);

// The host of a normalised address ("www.example.com", "[::1]").
QByteArrayView hostOf(QByteArrayView normalised);
// "scheme://host[:port]" of a normalised address.
QByteArrayView originOf(QByteArrayView normalised);

// The host of a website's address as the rest of the program compares it, in the normal form
// above; empty when the address is no usable web address.
QByteArray siteHost(const QString& address);
// The website an address belongs to, as the history keeps websites apart: its origin
// ("https://www.example.com", "http://127.0.0.1:8080"); empty when it is no usable web address.
// www.example.com and example.com are two websites, as they are two hosts.
QByteArray siteOrigin(const QString& address);

} // namespace WebAddress
