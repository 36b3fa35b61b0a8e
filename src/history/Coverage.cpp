#include "Coverage.h"

#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PathPatterns.h"
#include "SqliteStatement.h"
#include "WebAddress.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// One read transaction for the whole picture, so that a run writing meanwhile does not split it.
class ReadTransaction
{
public:
    explicit ReadTransaction(HistoryDatabase& database)
        : m_database(database), m_open(database.exec(u"BEGIN"_s))
    {}
    ~ReadTransaction()
    {
        if (m_open)
            m_database.exec(u"COMMIT"_s);
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    HistoryDatabase& m_database;
    bool m_open;
};

// The page's last event at an endpoint decides its state: an acceptance, a refusal, or a check
// that left it out; a page with none was never announced.
Coverage::State stateOf(qint64 acceptedAt, bool removal, bool baseline, qint64 refusedAt, qint64 leftOutAt)
{
    if (acceptedAt > 0 && removal)
        return Coverage::State::Removed;
    const qint64 latest = std::max({acceptedAt, refusedAt, leftOutAt});
    if (latest == 0)
        return Coverage::State::Never;
    if (latest == acceptedAt)
        return baseline ? Coverage::State::Recorded : Coverage::State::Accepted;
    return latest == refusedAt ? Coverage::State::Refused : Coverage::State::LeftOut;
}

} // namespace

QString Coverage::stateName(State state)
{
    switch (state) {
    case State::Accepted:
        return u"accepted"_s;
    case State::Recorded:
        return u"recorded"_s;
    case State::Refused:
        return u"refused"_s;
    case State::LeftOut:
        return u"left-out"_s;
    case State::Removed:
        return u"removed"_s;
    case State::Never:
        break;
    }
    return u"never"_s;
}

QByteArrayView Coverage::url(qsizetype page) const
{
    const quint32 start = page == 0 ? 0 : m_urlEnds[size_t(page - 1)];
    return QByteArrayView(m_urls).sliced(start, m_urlEnds[size_t(page)] - start);
}

Coverage::Counts Coverage::counts(int endpoint) const
{
    Counts counts{};
    for (qsizetype page = 0; page < pageCount(); ++page)
        ++counts[size_t(entry(endpoint, page).state)];
    return counts;
}

void Coverage::setGoogle(const QHash<QString, GoogleNote>& byAddress)
{
    m_googleState.assign(size_t(pageCount()), 0);
    m_googleText.assign(size_t(pageCount()), 0);
    if (byAddress.isEmpty())
        return;
    for (qsizetype page = 0; page < pageCount(); ++page) {
        const auto note = byAddress.constFind(QString::fromUtf8(url(page)));
        if (note == byAddress.cend())
            continue;
        m_googleState[size_t(page)] = reasonIndex(note->state);
        m_googleText[size_t(page)] = reasonIndex(note->text);
    }
}

const QString& Coverage::googleState(qsizetype page) const
{
    return m_reasons.at(m_googleState.empty() ? 0 : m_googleState[size_t(page)]);
}

const QString& Coverage::googleText(qsizetype page) const
{
    return m_reasons.at(m_googleText.empty() ? 0 : m_googleText[size_t(page)]);
}

QMap<QString, int> Coverage::googleCounts() const
{
    QMap<QString, int> counts;
    for (const quint32 state : m_googleState) {
        if (state != 0)
            ++counts[m_reasons.at(state)];
    }
    return counts;
}

quint32 Coverage::reasonIndex(const QString& reason)
{
    if (reason.isEmpty())
        return 0;
    const auto known = m_reasonIndex.constFind(reason);
    if (known != m_reasonIndex.cend())
        return *known;
    const auto index = quint32(m_reasons.size());
    m_reasons.append(reason);
    m_reasonIndex.insert(reason, index);
    return index;
}

Coverage Coverage::read(HistoryDatabase& database, const QByteArray& website, const QStringList& endpoints,
                        QString& error, const PathPatterns& patterns)
{
    Coverage coverage;
    coverage.m_website = website;
    SqliteConnection& connection = database.connection();
    const ReadTransaction snapshot(database);
    const auto failed = [&error](const SqliteStatement& statement) {
        error = statement.errorText();
        return Coverage();
    };

    PageLedger ledger(database);
    // Every page of the website the ledger knows, in the order of their ids, as every table
    // below is walked.
    std::vector<qint64> ids;
    QByteArray urls;
    std::vector<quint32> ends;
    std::vector<bool> kept; // listed at the last run, or announced as removed since
    qsizetype listedCount = 0;
    const bool read = ledger.forEachPage(
        website,
        [&](qint64 id, QByteArrayView url, bool listed) {
            ids.push_back(id);
            urls += url;
            ends.push_back(quint32(urls.size()));
            kept.push_back(listed);
            listedCount += listed ? 1 : 0;
        },
        &coverage.m_listedAt);
    if (!read) {
        error = ledger.lastError();
        return {};
    }
    const auto walk = [&ids](SqliteStatement& rows, const std::function<void(size_t page)>& each) {
        size_t page = 0;
        while (rows.next()) {
            const qint64 id = rows.integer(0);
            while (page < ids.size() && ids[page] < id)
                ++page;
            if (page < ids.size() && ids[page] == id)
                each(page);
        }
        return rows.errorCode() == 0;
    };

    // The pages the profile does not announce.
    std::vector<bool> excluded;
    if (!patterns.isEmpty()) {
        excluded.resize(ids.size(), false);
        for (size_t page = 0; page < ids.size(); ++page) {
            const QByteArrayView url = QByteArrayView(urls).sliced(
                page == 0 ? 0 : ends[page - 1], ends[page] - (page == 0 ? 0 : ends[page - 1]));
            excluded[page] = !patterns.admits(url.sliced(WebAddress::originOf(url).size()));
        }
    }
    const quint32 excludedReason = excluded.empty() ? 0 : coverage.reasonIndex(u"excluded by the profile"_s);

    // What the last check of each page found: why it was left out, or what a gone page answered.
    std::vector<qint64> leftOutAt(ids.size(), 0);
    std::vector<quint32> checkReason(ids.size(), 0);
    SqliteStatement checks(connection,
                           u"SELECT page, checked_at, left_out, detail FROM checks ORDER BY page"_s);
    if (!walk(checks, [&](size_t page) {
            const QString leftOut = checks.text(2);
            const QString detail = checks.text(3);
            if (!leftOut.isEmpty())
                leftOutAt[page] = checks.integer(1);
            checkReason[page] = coverage.reasonIndex(leftOut.isEmpty() || detail.isEmpty()
                                                         ? QString(leftOut + detail)
                                                         : QString(leftOut + u": "_s + detail));
        }))
        return failed(checks);

    // When each page's content last changed, for the pages read whole.
    std::vector<qint64> contentChanged;
    SqliteStatement contents(connection, u"SELECT page, changed_at FROM contents ORDER BY page"_s);
    if (!walk(contents, [&](size_t page) {
            if (contentChanged.empty())
                contentChanged.resize(ids.size(), 0);
            contentChanged[page] = contents.integer(1);
        }))
        return failed(contents);

    // The endpoints asked for, in their order; or every one the website's pages were announced to.
    QList<std::pair<QString, qint64>> candidates;
    SqliteStatement findEndpoints(connection, u"SELECT address, id FROM endpoints ORDER BY address"_s);
    while (findEndpoints.next())
        candidates.append({findEndpoints.text(0), findEndpoints.integer(1)});
    if (findEndpoints.errorCode() != 0)
        return failed(findEndpoints);
    if (!endpoints.isEmpty()) {
        QList<std::pair<QString, qint64>> asked;
        for (const QString& endpoint : endpoints) {
            const auto known =
                std::find_if(candidates.cbegin(), candidates.cend(),
                             [&endpoint](const auto& candidate) { return candidate.first == endpoint; });
            asked.append({endpoint, known == candidates.cend() ? 0 : known->second});
        }
        candidates = asked;
    }

    SqliteStatement refusal(connection, u"SELECT detail FROM results WHERE run = ? AND position = ?"_s);
    QHash<std::pair<qint64, qint64>, quint32> refusalReasons;
    const auto refusalReason = [&](qint64 run, qint64 position) {
        const auto known = refusalReasons.constFind({run, position});
        if (known != refusalReasons.cend())
            return *known;
        refusal.reset();
        refusal.bind(1, run);
        refusal.bind(2, position);
        const quint32 reason = coverage.reasonIndex(refusal.next() ? refusal.text(0) : QString());
        refusalReasons.insert({run, position}, reason);
        return reason;
    };
    std::vector<std::vector<Entry>> byEndpoint;
    for (const auto& [address, endpointId] : std::as_const(candidates)) {
        std::vector<Entry> entries(ids.size());
        bool touched = false;
        SqliteStatement announcements(
            connection, u"SELECT page, accepted_at, removal, refused_at, refused_run, refused_position, "
                        u"baseline FROM announcements WHERE endpoint = ? ORDER BY page"_s);
        announcements.bind(1, endpointId);
        if (!walk(announcements, [&](size_t page) {
                touched = true;
                Entry& entry = entries[page];
                const qint64 acceptedAt = announcements.integer(1);
                const bool removal = announcements.integer(2) != 0;
                const bool baseline = announcements.integer(6) != 0;
                const qint64 refusedAt = announcements.integer(3);
                entry.state = stateOf(acceptedAt, removal, baseline, refusedAt, leftOutAt[page]);
                entry.lastAccepted = baseline ? 0 : acceptedAt;
                if (entry.state == State::Refused)
                    entry.reason = refusalReason(announcements.integer(4), announcements.integer(5));
                if (removal && acceptedAt > 0)
                    kept[page] = true;
            }))
            return failed(announcements);
        if (!touched && endpoints.isEmpty())
            continue; // nothing of this website went there
        for (size_t page = 0; page < ids.size(); ++page) {
            Entry& entry = entries[page];
            if (entry.state == State::Never && !excluded.empty() && excluded[page]) {
                entry.state = State::LeftOut;
                entry.reason = excludedReason;
                continue;
            }
            if (entry.state == State::Never && leftOutAt[page] > 0)
                entry.state = State::LeftOut;
            if (entry.state == State::LeftOut || entry.state == State::Removed)
                entry.reason = checkReason[page];
        }
        coverage.m_endpoints.append(address);
        byEndpoint.push_back(std::move(entries));
    }

    // What only the walk needed goes before the coverage is put together: a million pages'
    // coverage peaks here.
    const size_t pageCount = ids.size();
    std::vector<qint64>().swap(ids);
    std::vector<qint64>().swap(leftOutAt);
    std::vector<quint32>().swap(checkReason);
    // Only the kept pages stay, with their addresses and entries side by side.
    std::vector<size_t> keptPages;
    for (size_t page = 0; page < pageCount; ++page) {
        if (kept[page])
            keptPages.push_back(page);
    }
    coverage.m_removedSince = qsizetype(keptPages.size()) - listedCount;
    if (!contentChanged.empty()) {
        for (const size_t page : keptPages) {
            coverage.m_contentChanged.push_back(contentChanged[page]);
            coverage.m_contentRead += contentChanged[page] != 0 ? 1 : 0;
        }
    }
    if (keptPages.size() == pageCount) { // the usual case: nothing to copy
        coverage.m_urls = std::move(urls);
        coverage.m_urlEnds = std::move(ends);
        if (byEndpoint.size() == 1) {
            coverage.m_entries = std::move(byEndpoint.front());
            return coverage;
        }
        for (std::vector<Entry>& entries : byEndpoint) {
            coverage.m_entries.insert(coverage.m_entries.end(), entries.cbegin(), entries.cend());
            std::vector<Entry>().swap(entries);
        }
        return coverage;
    }
    coverage.m_urlEnds.reserve(keptPages.size());
    for (const size_t page : keptPages) {
        const quint32 start = page == 0 ? 0 : ends[page - 1];
        coverage.m_urls += QByteArrayView(urls).sliced(start, ends[page] - start);
        coverage.m_urlEnds.push_back(quint32(coverage.m_urls.size()));
    }
    coverage.m_entries.reserve(keptPages.size() * byEndpoint.size());
    for (const std::vector<Entry>& entries : byEndpoint) {
        for (const size_t page : keptPages)
            coverage.m_entries.push_back(entries[page]);
    }
    return coverage;
}
