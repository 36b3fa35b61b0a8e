#include "PageLedger.h"

#include "HistoryDatabase.h"
#include "PageList.h"
#include "SqliteStatement.h"
#include "WebAddress.h"

#include <QHash>

#include <algorithm>

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

bool PageLedger::forEachPage(const QByteArray& host, const QString& endpoint, const PageHandler& each)
{
    QHash<qint64, QByteArray> origins;
    SqliteStatement findOrigins(m_database.connection(), u"SELECT id, origin FROM origins WHERE host = ?"_s);
    findOrigins.bind(1, QByteArrayView(host));
    while (findOrigins.next())
        origins.insert(findOrigins.integer(0), findOrigins.utf8(1).toByteArray());
    if (findOrigins.errorCode() != 0) {
        m_lastError = findOrigins.errorText();
        return false;
    }
    const qint64 endpointKey = endpointId(endpoint, false);
    if (endpointKey < 0)
        return false;
    if (origins.isEmpty())
        return true;

    // Both come in the order of the page ids and are walked side by side.
    SqliteStatement pages(m_database.connection(), u"SELECT id, origin, path FROM pages ORDER BY id"_s);
    SqliteStatement sent(m_database.connection(),
                         u"SELECT page, lastmod, sent_at FROM sent WHERE endpoint = ? ORDER BY page"_s);
    sent.bind(1, endpointKey);
    bool sentRow = sent.next();
    QByteArray url;
    while (pages.next()) {
        const auto origin = origins.constFind(pages.integer(1));
        if (origin == origins.cend())
            continue;
        const qint64 page = pages.integer(0);
        while (sentRow && sent.integer(0) < page)
            sentRow = sent.next();
        std::optional<Sent> accepted;
        if (sentRow && sent.integer(0) == page)
            accepted = Sent{sent.isNull(1) ? PageList::unknownTime : sent.integer(1), sent.integer(2)};
        url = *origin;
        url += pages.utf8(2);
        each(url, page, accepted);
    }
    if (pages.errorCode() != 0 || sent.errorCode() != 0) {
        m_lastError = pages.errorCode() != 0 ? pages.errorText() : sent.errorText();
        return false;
    }
    return true;
}

bool PageLedger::addPages(const PageList& pages, const QList<qsizetype>& indices, std::vector<qint64>& ids)
{
    SqliteStatement addOrigin(m_database.connection(),
                              u"INSERT OR IGNORE INTO origins(origin, host) VALUES (?, ?)"_s);
    SqliteStatement findOrigin(m_database.connection(), u"SELECT id FROM origins WHERE origin = ?"_s);
    SqliteStatement addPage(m_database.connection(), u"INSERT INTO pages(origin, path) VALUES (?, ?)"_s);
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
        ids[size_t(index)] = addPage.lastInsertId();
    }
    return true;
}

bool PageLedger::recordSent(const QString& endpoint, const PageList& pages, const QList<qsizetype>& indices,
                            const std::vector<qint64>& ids, qint64 sentAt)
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
        u"INSERT OR REPLACE INTO sent(endpoint, page, lastmod, sent_at) VALUES (?, ?, ?, ?)"_s);
    for (const qsizetype index : std::as_const(byId)) {
        insert.reset();
        insert.bind(1, endpointKey);
        insert.bind(2, ids[size_t(index)]);
        if (pages.lastModified(index) == PageList::unknownTime)
            insert.bindNull(3);
        else
            insert.bind(3, pages.lastModified(index));
        insert.bind(4, sentAt);
        if (!insert.run()) {
            m_lastError = insert.errorText();
            return false;
        }
    }
    return true;
}
