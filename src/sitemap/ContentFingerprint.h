#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// What an engine would index of an HTML page, reduced to a SHA-256, so that a page counts as
// changed when its content changed and not when its bytes did. It covers the text of the page's
// main content (the first <main>, else the first <article>, else the first element with
// role="main", else <body>), without script, style, noscript, template, nav, header, footer and
// aside, with runs of white space as one blank; and the title, the meta description, the
// canonical link and the robots directives. Markup, attributes (a form's token, an asset's file
// name), comments and the generator tag change nothing. Read with libxml2's HTML parser as the
// bytes arrive, decoded as PageHead decodes them; at most `mostBytes` are read.
class ContentFingerprint
{
public:
    static constexpr qint64 mostBytes = 5 * 1024 * 1024;

    // `contentType`: the answer's header, whose charset counts unless a byte-order mark says otherwise.
    explicit ContentFingerprint(QByteArrayView contentType = {});
    ~ContentFingerprint();
    ContentFingerprint(const ContentFingerprint&) = delete;
    ContentFingerprint& operator=(const ContentFingerprint&) = delete;

    // The next bytes of the page; those past `mostBytes` are not read.
    void add(QByteArrayView bytes);
    // Ends the page: the fingerprint, 64 hex digits.
    QByteArray finish();
    // Whether the page was longer than `mostBytes` and only its beginning counted.
    bool truncated() const { return m_truncated; }

    static QByteArray of(QByteArrayView html, QByteArrayView contentType = {});
    // A fingerprint's first eight bytes, which tell the versions of one page apart as well as all
    // of it does: what the ledger keeps of each version an engine accepted. 0 for none.
    static qint64 shortForm(QByteArrayView fingerprint);
    // The first eight bytes of a SHA-256 over the page's bytes as they came, with their
    // Content-Type: the same bytes again have the same fingerprint, without reading them.
    static qint64 bytesHash(QByteArrayView body, QByteArrayView contentType);

private:
    struct Reader;

    void startParser(QByteArrayView first);

    std::unique_ptr<Reader> m_reader;
    QByteArray m_contentType;
    QByteArray m_start; // the first bytes, until there are enough to look for a byte-order mark
    qint64 m_read = 0;
    bool m_truncated = false;
};
