#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>

// One sitemap file read as it arrives, plain or gzip-compressed (told by its first two bytes,
// however they arrive): a URL set or a sitemap index, each entry's <loc> and <lastmod> handed
// on as soon as it is read. Read with libxml2's streaming parser, which never expands an entity
// and loads nothing from the network. Limits a hostile or broken file cannot pass: the sitemap
// protocol's 50,000 entries and 50 MB uncompressed per file. Every failure is a sentence:
// malformed XML with its line, the limit passed, a file that ends too soon.
class SitemapParser
{
public:
    enum class Kind { Unknown, UrlSet, Index };

    struct Limits
    {
        qsizetype maxEntries = 50000;
        qint64 maxBytes = 50 * 1024 * 1024;
    };

    struct Entry
    {
        QByteArrayView loc; // UTF-8, blanks around it removed
        QByteArrayView lastModified;
        // Why the entry cannot be trusted (an entity reference that was not resolved would
        // leave a truncated address); empty for a usable entry.
        QString unusable;
    };
    using EntryHandler = std::function<void(const Entry& entry)>;

    SitemapParser(EntryHandler onEntry, Limits limits);
    ~SitemapParser();
    SitemapParser(const SitemapParser&) = delete;
    SitemapParser& operator=(const SitemapParser&) = delete;

    // The next piece of the file; false once the file is known to be unusable.
    bool feed(QByteArrayView bytes);
    // The end of the file; false when the document is not complete.
    bool finish();

    Kind kind() const { return m_kind; }
    QString error() const { return m_error; }

private:
    struct Inflater;
    struct Xml;
    bool feedPlain(QByteArrayView bytes);
    bool parse(QByteArrayView xml, bool last = false);
    bool fail(const QString& error);

    void onStart(const char* name);
    void onEnd();
    void onText(QByteArrayView text);
    void onReference();
    void onProblem(int code, int line, const QByteArray& message);

    EntryHandler m_onEntry;
    Limits m_limits;
    QByteArray m_head; // the first byte, until the second tells whether the file is compressed
    bool m_started = false;
    std::unique_ptr<Inflater> m_inflater; // for a compressed file
    std::unique_ptr<Xml> m_xml;
    qint64 m_xmlBytes = 0;
    Kind m_kind = Kind::Unknown;
    qsizetype m_entries = 0;
    int m_depth = 0; // of the element being read; 1 is the root
    enum class Field { None, Loc, LastModified } m_field = Field::None;
    QByteArray m_loc;
    QByteArray m_lastModified;
    QString m_unusable;
    bool m_finishing = false;
    QString m_finishProblem; // the first fatal error the last chunk brought, kept for finish()
    QString m_error;
};
