#include "PageLedger.h"

#include "HistoryDatabase.h"
#include "PackedIds.h"
#include "PageList.h"
#include "SqliteStatement.h"
#include "WebAddress.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

PageLedger::PageLedger(HistoryDatabase& database) : m_database(database) {}

qint64 PageLedger::endpointId(const QString& address, bool add)
{
    if (add) {
        SqliteStatement insert(m_database.connection(),
                               u"INSERT OR IGNORE INTO endpoints(address) VALUES (?)"_s);
        insert.bind(1, address);
        if (!insert.run()) {
            m_lastError = insert.errorText();
            return -1;
        }
    }
    SqliteStatement find(m_database.connection(), u"SELECT id FROM endpoints WHERE address = ?"_s);
    find.bind(1, address);
    if (find.next())
        return find.integer(0);
    m_lastError = find.errorText();
    return find.errorCode() == 0 ? 0 : -1;
}

bool PageLedger::forEachPage(const QByteArray& website, const ListedPageHandler& each, qint64* listedAt)
{
    QHash<qint64, QByteArray> origins;
    qint64 own = 0;
    SqliteStatement findOrigins(m_database.connection(), u"SELECT id, origin FROM origins"_s);
    while (findOrigins.next()) {
        origins.insert(findOrigins.integer(0), findOrigins.utf8(1).toByteArray());
        if (findOrigins.utf8(1) == QByteArrayView(website))
            own = findOrigins.integer(0);
    }
    if (findOrigins.errorCode() != 0) {
        m_lastError = findOrigins.errorText();
        return false;
    }
    m_lastError.clear();
    const QList<qint64> listed = listing(website, listedAt);
    if (!m_lastError.isEmpty())
        return false;
    if (own == 0 && listed.isEmpty())
        return true;
    SqliteStatement pages(m_database.connection(), u"SELECT id, origin, path FROM pages ORDER BY id"_s);
    auto next = listed.cbegin();
    // Written into one buffer that keeps its room and the origin of the page before: a million
    // pages, no allocation and mostly one origin.
    QByteArray url;
    url.reserve(256);
    qint64 urlOrigin = -1;
    qsizetype originSize = 0;
    while (pages.next()) {
        const qint64 id = pages.integer(0);
        while (next != listed.cend() && *next < id)
            ++next;
        const qint64 origin = pages.integer(1);
        const bool isListed = next != listed.cend() && *next == id;
        if (origin != own && !isListed)
            continue;
        if (origin != urlOrigin) {
            url.resize(0);
            if (const auto found = origins.constFind(origin); found != origins.cend())
                url += *found;
            urlOrigin = origin;
            originSize = url.size();
        }
        const QByteArrayView path = pages.utf8(2);
        url.resize(originSize + path.size());
        if (!path.isEmpty())
            std::memcpy(url.data() + originSize, path.data(), size_t(path.size()));
        each(id, url, isListed);
    }
    if (pages.errorCode() != 0) {
        m_lastError = pages.errorText();
        return false;
    }
    return true;
}

bool PageLedger::forEachPage(const QByteArray& website, const QString& endpoint, const PageHandler& each,
                             bool fingerprints)
{
    const qint64 endpointKey = endpointId(endpoint, false);
    if (endpointKey < 0)
        return false;
    // Both come in the order of the page ids and are walked side by side. A row's page is read
    // once: a million pages make every column call count.
    SqliteStatement sent(
        m_database.connection(),
        u"SELECT page, lastmod, accepted_at, removal, %1 FROM announcements WHERE endpoint = ? AND "
        u"accepted_at IS NOT NULL ORDER BY page"_s.arg(fingerprints ? u"fingerprint"_s : u"0"_s));
    sent.bind(1, endpointKey);
    const auto nextSentPage = [&sent] {
        return sent.next() ? sent.integer(0) : std::numeric_limits<qint64>::max();
    };
    qint64 sentPage = nextSentPage();
    const bool read = forEachPage(website, [&](qint64 page, QByteArrayView url, bool) {
        while (sentPage < page)
            sentPage = nextSentPage();
        std::optional<Sent> accepted;
        if (sentPage == page)
            accepted = Sent{sent.isNull(1) ? PageList::unknownTime : sent.integer(1), sent.integer(2),
                            sent.integer(3) != 0, sent.integer(4)};
        each(url, page, accepted);
    });
    if (read && sent.errorCode() != 0) {
        m_lastError = sent.errorText();
        return false;
    }
    return read;
}

bool PageLedger::forEachAnnounced(const QByteArray& website,
                                  const std::function<bool(const Announced&)>& each)
{
    SqliteStatement read(
        m_database.connection(),
        u"SELECT p.id, o.origin || p.path, max(CASE WHEN a.removal = 0 THEN a.accepted_at END) AS announced, "
        u"max(CASE WHEN a.removal = 1 THEN a.accepted_at END) FROM origins o JOIN pages p ON p.origin = o.id "
        u"JOIN announcements a ON a.page = p.id WHERE o.origin = ? AND a.accepted_at IS NOT NULL "
        u"GROUP BY p.id ORDER BY announced, p.id"_s);
    read.bind(1, QByteArrayView(website));
    while (read.next()) {
        if (!each({read.integer(0), read.utf8(1), read.integer(2), read.integer(3)}))
            return true;
    }
    if (read.errorCode() == 0)
        return true;
    m_lastError = read.errorText();
    return false;
}

bool PageLedger::addPages(const PageList& pages, const QList<qsizetype>& indices, std::vector<qint64>& ids)
{
    SqliteStatement addOrigin(m_database.connection(),
                              u"INSERT OR IGNORE INTO origins(origin, host) VALUES (?, ?)"_s);
    SqliteStatement findOrigin(m_database.connection(), u"SELECT id FROM origins WHERE origin = ?"_s);
    // Each page once, whoever wrote it first: one that is there already is found.
    SqliteStatement addPage(
        m_database.connection(),
        u"INSERT INTO pages(origin, path) VALUES (?, ?) ON CONFLICT(origin, path) DO NOTHING"_s);
    SqliteStatement findPage(m_database.connection(),
                             u"SELECT id FROM pages WHERE origin = ? AND path = ?"_s);
    QHash<QByteArray, qint64> originIds; // a batch's pages share one or two
    for (const qsizetype index : indices) {
        if (ids[size_t(index)] != 0)
            continue;
        const QByteArrayView url = pages.url(index);
        const QByteArrayView origin = WebAddress::originOf(url);
        qint64 originId = originIds.value(origin.toByteArray());
        if (originId == 0) {
            addOrigin.reset();
            addOrigin.bind(1, origin);
            addOrigin.bind(2, WebAddress::hostOf(url));
            findOrigin.reset();
            findOrigin.bind(1, origin);
            if (!addOrigin.run() || !findOrigin.next()) {
                m_lastError = addOrigin.errorCode() != 0 ? addOrigin.errorText() : findOrigin.errorText();
                return false;
            }
            originId = findOrigin.integer(0);
            originIds.insert(origin.toByteArray(), originId);
        }
        addPage.reset();
        addPage.bind(1, originId);
        addPage.bind(2, url.sliced(origin.size()));
        if (!addPage.run()) {
            m_lastError = addPage.errorText();
            return false;
        }
        if (addPage.changes() == 1) {
            ids[size_t(index)] = addPage.lastInsertId();
            continue;
        }
        findPage.reset();
        findPage.bind(1, originId);
        findPage.bind(2, url.sliced(origin.size()));
        if (!findPage.next()) {
            m_lastError = findPage.errorCode() != 0 ? findPage.errorText() : u"a page vanished"_s;
            return false;
        }
        ids[size_t(index)] = findPage.integer(0);
    }
    return true;
}

bool PageLedger::recordSent(const QString& endpoint, const PageList& pages, const QList<qsizetype>& indices,
                            const std::vector<qint64>& ids, qint64 sentAt, Announcement announcement,
                            const std::vector<qint64>* fingerprints)
{
    const qint64 endpointKey = endpointId(endpoint, true);
    if (endpointKey <= 0)
        return false;
    // In the ledger's own order: each row lands next to the one before, never in between.
    QList<qsizetype> byId = indices;
    std::sort(byId.begin(), byId.end(),
              [&ids](qsizetype a, qsizetype b) { return ids[size_t(a)] < ids[size_t(b)]; });
    SqliteStatement insert(
        m_database.connection(),
        u"INSERT INTO announcements(endpoint, page, lastmod, accepted_at, removal, baseline, fingerprint) "
        u"VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT(endpoint, page) DO UPDATE SET lastmod = excluded.lastmod, "
        u"accepted_at = excluded.accepted_at, removal = excluded.removal, baseline = excluded.baseline, "
        u"fingerprint = excluded.fingerprint"_s);
    for (const qsizetype index : std::as_const(byId)) {
        insert.reset();
        insert.bind(1, endpointKey);
        insert.bind(2, ids[size_t(index)]);
        if (pages.lastModified(index) == PageList::unknownTime)
            insert.bindNull(3);
        else
            insert.bind(3, pages.lastModified(index));
        insert.bind(4, sentAt);
        insert.bind(5, qint64(announcement == Announcement::Removal ? 1 : 0));
        insert.bind(6, qint64(announcement == Announcement::Baseline ? 1 : 0));
        if (const qint64 fingerprint = fingerprints ? (*fingerprints)[size_t(index)] : 0; fingerprint != 0)
            insert.bind(7, fingerprint);
        else
            insert.bindNull(7);
        if (!insert.run()) {
            m_lastError = insert.errorText();
            return false;
        }
    }
    return true;
}

bool PageLedger::recordRefused(const QString& endpoint, const QList<qint64>& pages, qint64 run, int position,
                               qint64 at)
{
    const qint64 endpointKey = endpointId(endpoint, true);
    if (endpointKey <= 0)
        return false;
    SqliteStatement insert(
        m_database.connection(),
        u"INSERT INTO announcements(endpoint, page, refused_at, refused_run, refused_position) "
        u"VALUES (?, ?, ?, ?, ?) ON CONFLICT(endpoint, page) DO UPDATE SET refused_at = "
        u"excluded.refused_at, refused_run = excluded.refused_run, refused_position = "
        u"excluded.refused_position"_s);
    for (const qint64 page : pages) {
        insert.reset();
        insert.bind(1, endpointKey);
        insert.bind(2, page);
        insert.bind(3, at);
        insert.bind(4, run);
        insert.bind(5, qint64(position));
        if (!insert.run()) {
            m_lastError = insert.errorText();
            return false;
        }
    }
    return true;
}

std::vector<PageLedger::LastCheck> PageLedger::lastChecks(const std::vector<qint64>& pages)
{
    std::vector<LastCheck> checks(pages.size());
    SqliteStatement find(m_database.connection(),
                         u"SELECT c.left_out, c.checked_at, t.fingerprint, t.etag, t.last_modified, "
                         u"t.bytes_hash FROM checks c "
                         u"LEFT JOIN contents t ON t.page = c.page WHERE c.page = ?"_s);
    for (size_t page = 0; page < pages.size(); ++page) {
        if (pages[page] == 0)
            continue;
        find.reset();
        find.bind(1, pages[page]);
        if (find.next())
            checks[page] = {true,
                            find.text(0),
                            find.integer(1),
                            find.blob(2).toByteArray().toHex(),
                            find.utf8(3).toByteArray(),
                            find.utf8(4).toByteArray(),
                            find.integer(5)};
    }
    if (find.errorCode() != 0)
        m_lastError = find.errorText();
    return checks;
}

bool PageLedger::recordChecks(const QList<Check>& checks, qint64 at)
{
    SqliteStatement insert(
        m_database.connection(),
        u"INSERT OR REPLACE INTO checks(page, checked_at, left_out, detail) VALUES (?, ?, ?, ?)"_s);
    SqliteStatement content(
        m_database.connection(),
        u"INSERT INTO contents(page, fingerprint, etag, last_modified, changed_at, checked_at, bytes_hash) "
        u"VALUES (?1, ?2, ?3, ?4, ?5, ?5, ?6) ON CONFLICT(page) DO UPDATE SET changed_at = CASE WHEN "
        u"fingerprint = excluded.fingerprint THEN changed_at ELSE excluded.changed_at END, fingerprint = "
        u"excluded.fingerprint, etag = excluded.etag, last_modified = excluded.last_modified, checked_at = "
        u"excluded.checked_at, bytes_hash = excluded.bytes_hash"_s);
    for (const Check& check : checks) {
        insert.reset();
        insert.bind(1, check.page);
        insert.bind(2, at);
        if (check.leftOut.isEmpty())
            insert.bindNull(3);
        else
            insert.bind(3, check.leftOut);
        insert.bind(4, check.detail);
        if (!insert.run()) {
            m_lastError = insert.errorText();
            return false;
        }
        if (check.fingerprint.isEmpty())
            continue;
        // The time of the last change moves only when another version is read.
        content.reset();
        content.bind(1, check.page);
        content.bindBlob(2, QByteArray::fromHex(check.fingerprint));
        for (const auto& [column, validator] :
             {std::pair{3, &check.etag}, std::pair{4, &check.lastModified}}) {
            if (validator->isEmpty())
                content.bindNull(column);
            else
                content.bind(column, QByteArrayView(*validator));
        }
        content.bind(5, at);
        content.bind(6, check.bytesHash);
        if (!content.run()) {
            m_lastError = content.errorText();
            return false;
        }
    }
    return true;
}

bool PageLedger::recordListing(const QByteArray& website, QList<qint64> pages, qint64 at)
{
    std::sort(pages.begin(), pages.end());
    SqliteStatement insert(m_database.connection(),
                           u"INSERT OR REPLACE INTO listings(website, listed_at, pages) VALUES (?, ?, ?)"_s);
    insert.bind(1, QByteArrayView(website));
    insert.bind(2, at);
    insert.bindBlob(3, PackedIds::pack(pages));
    if (insert.run())
        return true;
    m_lastError = insert.errorText();
    return false;
}

QList<qint64> PageLedger::listing(const QByteArray& website, qint64* listedAt)
{
    SqliteStatement find(m_database.connection(),
                         u"SELECT listed_at, pages FROM listings WHERE website = ?"_s);
    find.bind(1, QByteArrayView(website));
    if (!find.next()) {
        m_lastError = find.errorText();
        return {};
    }
    if (listedAt)
        *listedAt = find.integer(0);
    return PackedIds::unpack(find.blob(1));
}

bool PageLedger::keyListingsByWebsite()
{
    const auto failed = [this](const SqliteStatement& statement) {
        m_lastError = statement.errorText();
        return false;
    };
    SqliteStatement create(
        m_database.connection(),
        u"CREATE TABLE listings_by_website(website TEXT PRIMARY KEY, listed_at INTEGER NOT NULL, "
        u"pages BLOB NOT NULL)"_s);
    if (!create.run())
        return failed(create);
    {
        // Finished before the old table goes: an open statement would keep it locked.
        SqliteStatement old(m_database.connection(), u"SELECT listed_at, pages FROM listings"_s);
        SqliteStatement originOf(
            m_database.connection(),
            u"SELECT o.origin FROM pages p JOIN origins o ON o.id = p.origin WHERE p.id = ?"_s);
        SqliteStatement insert(
            m_database.connection(),
            u"INSERT OR REPLACE INTO listings_by_website(website, listed_at, pages) VALUES (?, ?, ?)"_s);
        while (old.next()) {
            const QList<qint64> ids = PackedIds::unpack(old.blob(1));
            if (ids.isEmpty())
                continue; // nothing was listed: nothing to know it by
            originOf.reset();
            originOf.bind(1, ids.first());
            if (!originOf.next())
                continue;
            insert.reset();
            insert.bind(1, originOf.utf8(0));
            insert.bind(2, old.integer(0));
            insert.bindBlob(3, old.blob(1));
            if (!insert.run())
                return failed(insert);
        }
        if (old.errorCode() != 0)
            return failed(old);
    }
    SqliteStatement drop(m_database.connection(), u"DROP TABLE listings"_s);
    if (!drop.run())
        return failed(drop);
    SqliteStatement rename(m_database.connection(), u"ALTER TABLE listings_by_website RENAME TO listings"_s);
    return rename.run() || failed(rename);
}
