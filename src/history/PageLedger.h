#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class HistoryDatabase;
class PageList;

// The ledger: which pages of a website each endpoint accepted, when, and with which last change,
// so that the next run sends only what changed since. Keyed by what identifies an announcement,
// the page's address and the endpoint's address: renaming a profile or a catalogue row resends
// nothing, and two profiles of one website share what was sent. Each page is kept once. A
// website is its origin ("https://www.example.com"): its pages are those of its origin, and those
// of other origins its sitemaps listed at the last run.
class PageLedger
{
public:
    explicit PageLedger(HistoryDatabase& database);

    struct Sent
    {
        qint64 lastModified; // as the sitemap said when it was sent; PageList::unknownTime if it said none
        qint64 sentAt;
        bool removal = false;   // it was announced as removed
        qint64 fingerprint = 0; // ContentFingerprint::shortForm of the version accepted; 0: not known
    };
    using PageHandler = std::function<void(QByteArrayView url, qint64 page, const std::optional<Sent>& sent)>;

    // Every page of the website, with its id and how the endpoint last accepted it (nothing when
    // it never did), in the order of their ids. Without `fingerprints`, every Sent's fingerprint
    // is 0 (a walk that judges no page by its content reads a million fewer values). False, with
    // lastError(), when the ledger cannot be read.
    bool forEachPage(const QByteArray& website, const QString& endpoint, const PageHandler& each,
                     bool fingerprints = true);
    // Every page of the website, with its id and whether its sitemaps listed it at the last run, in
    // the order of their ids; `listedAt` receives when that was (0: never).
    using ListedPageHandler = std::function<void(qint64 page, QByteArrayView url, bool listed)>;
    bool forEachPage(const QByteArray& website, const ListedPageHandler& each, qint64* listedAt = nullptr);

    // A page of the website that an endpoint accepted: when it was last announced (0: only ever as
    // removed) and last announced as removed (0: never).
    struct Announced
    {
        qint64 page;
        QByteArrayView url;
        qint64 announcedAt;
        qint64 removedAt;
    };
    // Every page of the website an endpoint accepted, the oldest announcement first, until
    // `each` says to stop.
    bool forEachAnnounced(const QByteArray& website, const std::function<bool(const Announced&)>& each);

    // The ids of the pages at `indices`, adding those the ledger does not know yet (ids[i] is 0
    // for them and is filled in). Part of the caller's transaction.
    bool addPages(const PageList& pages, const QList<qsizetype>& indices, std::vector<qint64>& ids);
    // How pages came to count as announced: sent and accepted, announced as removed, or recorded
    // as announced by a baseline, which sent nothing.
    enum class Announcement { Accepted, Removal, Baseline };
    // Records the pages at `indices` (whose ids are known) as announced to the endpoint now, in
    // the order the ledger keeps them, with the short form of each one's fingerprint where
    // `fingerprints` (by index, 0: none) has one. Part of the caller's transaction.
    bool recordSent(const QString& endpoint, const PageList& pages, const QList<qsizetype>& indices,
                    const std::vector<qint64>& ids, qint64 sentAt,
                    Announcement announcement = Announcement::Accepted,
                    const std::vector<qint64>* fingerprints = nullptr);
    // Records the pages as refused by the endpoint, with the journal's request that says why.
    bool recordRefused(const QString& endpoint, const QList<qint64>& pages, qint64 run, int position,
                       qint64 at);

    // What a page's last check before it would have been announced found: empty `leftOut` for
    // a page that can be indexed; and of a page read whole, its fingerprint (64 hex digits) and
    // validators, kept with the time its content last changed until another version is read.
    struct Check
    {
        qint64 page = 0;
        QString leftOut;
        QString detail;
        QByteArray fingerprint = {};
        QByteArray etag = {};
        QByteArray lastModified = {};
        qint64 bytesHash = 0;
    };
    bool recordChecks(const QList<Check>& checks, qint64 at);
    // What the last recorded check of each page (0: not in the ledger) found, if one was, and
    // the last version of it read whole, if one was.
    struct LastCheck
    {
        bool checked = false;
        QString leftOut; // why it was left out; empty when it could be indexed
        qint64 checkedAt = 0;
        QByteArray fingerprint = {}; // 64 hex digits; empty: never read whole
        QByteArray etag = {};
        QByteArray lastModified = {};
        qint64 bytesHash = 0;
    };
    std::vector<LastCheck> lastChecks(const std::vector<qint64>& pages);
    // The pages the website's sitemaps list now, in place of the last such list.
    bool recordListing(const QByteArray& website, QList<qint64> pages, qint64 at);
    // The pages of that list, in the order of their ids; none when no run listed any.
    QList<qint64> listing(const QByteArray& website, qint64* listedAt = nullptr);

    // A file whose lists of listed pages were kept by host keeps them by website: the origin
    // of the pages each holds. Part of the caller's transaction.
    bool keyListingsByWebsite();

    QString lastError() const { return m_lastError; }

private:
    qint64 endpointId(const QString& address, bool add);

    HistoryDatabase& m_database;
    QString m_lastError;
};
