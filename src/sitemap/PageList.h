#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>
#include <limits>
#include <string>
#include <vector>

// The pages of a website's sitemaps: each address once, in the order first read, with the time
// it last changed. Kept compactly (the addresses' UTF-8 in one buffer, found again through a
// table of their positions), so a million pages take tens of megabytes, not hundreds.
class PageList
{
public:
    static constexpr qint64 unknownTime = std::numeric_limits<qint64>::min();

    // Adds a page; false, with nothing added, when the address is already there.
    bool add(QByteArrayView url, qint64 lastModified);
    // The same for a stream of pages (a sitemap's): each is added a few pages later, once the
    // part of the lookup table it goes to has been fetched from memory, so that the reader does
    // not wait on a cache miss for every page. Pages keep their order; addPending() adds those
    // still waiting, and says how many of all added so were there already.
    void addSoon(QByteArrayView url, qint64 lastModified);
    qsizetype addPending();
    // The page with that address, or -1.
    qsizetype find(QByteArrayView url) const;
    // The same, looking first at `likely`: walking a list kept in the same order (the ledger's
    // pages, added in the order the sitemaps listed them), the next page is usually the one after
    // the last found, and comparing it costs no random read of the lookup table.
    qsizetype find(QByteArrayView url, qsizetype likely) const
    {
        return likely >= 0 && likely < size() && this->url(likely) == url ? likely : find(url);
    }

    qsizetype size() const { return qsizetype(m_times.size()); }
    bool isEmpty() const { return m_times.empty(); }
    QByteArrayView url(qsizetype index) const;
    QString urlText(qsizetype index) const { return QString::fromUtf8(url(index)); }
    qint64 lastModified(qsizetype index) const { return m_times[size_t(index)]; }

    // A sitemap's W3C date and time ("2026-05-01", "2026-05-01T10:20:30+02:00", …) in
    // milliseconds since 1970, or unknownTime. A date, or a time without a zone, is read as UTC,
    // so that the same file means the same moment wherever it is read.
    static qint64 parseTime(QByteArrayView text);

private:
    void grow();
    qsizetype slotOf(QByteArrayView url, quint32 hash) const;
    bool add(QByteArrayView url, qint64 lastModified, quint32 hash);
    void addOldestPending();

    struct Pending
    {
        std::string url;
        qint64 lastModified = 0;
        quint32 hash = 0;
    };
    static constexpr size_t pendingCount = 8;
    std::array<Pending, pendingCount> m_pending;
    size_t m_pendingFirst = 0;
    size_t m_pendingSize = 0;
    qsizetype m_pendingDuplicates = 0;

    std::string m_text;          // every address, one after the other
    std::vector<quint32> m_ends; // where each address ends in m_text
    std::vector<qint64> m_times; // each page's last change
    // Open addressing, a slot each: the address's hash in the high half and the page's index + 1
    // in the low one, 0 for a free slot. A probe compares hashes and reads an address only when
    // they agree, so a million additions seldom leave the table.
    std::vector<quint64> m_lookup;
};
