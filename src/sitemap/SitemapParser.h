#pragma once

#include <QByteArrayView>
#include <QString>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

// One sitemap file read as it arrives, plain or gzip-compressed (told by its first bytes): a
// URL set or a sitemap index, each entry's <loc> and <lastmod> handed on as soon as it is read.
// Limits a hostile or broken file cannot pass: the sitemap protocol's 50,000 entries and 50 MB
// uncompressed per file. Every failure is a sentence: malformed XML with its line, the limit
// passed, a file that ends too soon.
class SitemapParser
{
public:
    enum class Kind { Unknown, UrlSet, Index };

    struct Limits
    {
        qsizetype maxEntries = 50000;
        qint64 maxBytes = 50 * 1024 * 1024;
    };

    using EntryHandler = std::function<void(QStringView loc, QStringView lastModified)>;

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
    qsizetype entries() const { return m_entries; }

private:
    struct Inflater;
    bool parse(QByteArrayView xml);
    bool fail(const QString& error);

    EntryHandler m_onEntry;
    Limits m_limits;
    std::unique_ptr<Inflater> m_inflater; // for a compressed file
    bool m_started = false;
    qint64 m_xmlBytes = 0;
    QXmlStreamReader m_xml;
    Kind m_kind = Kind::Unknown;
    qsizetype m_entries = 0;
    int m_depth = 0; // of the element being read; 1 is the root
    enum class Field { None, Loc, LastModified } m_field = Field::None;
    QString m_loc;
    QString m_lastModified;
    QString m_error;
};
