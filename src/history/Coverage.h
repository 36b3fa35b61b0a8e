#pragma once

#include "PathPatterns.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class HistoryDatabase;

// What became of each page of a website's sitemaps at each endpoint, as the ledger knows it:
// accepted (and when last), recorded as announced by a baseline (nothing was sent), refused
// (with the engine's answer), left out by the check before it was announced (with the reason),
// announced as removed, or never announced. The pages are those the sitemaps listed at the last
// run, and those announced as removed since they left. Read in one pass over the ledger, kept
// compact: a million pages fit in well under 200 MB.
class Coverage
{
public:
    enum class State : quint8 { Accepted, Recorded, Refused, LeftOut, Removed, Never };
    static constexpr int stateCount = 6;
    using Counts = std::array<int, stateCount>;

    // "accepted", "recorded", "refused", "left-out", "removed", "never": as CSV columns and
    // filters name them.
    static QString stateName(State state);

    struct Entry
    {
        qint64 lastAccepted = 0; // 0: never accepted by the engine (a baseline's record is no acceptance)
        quint32 reason = 0;      // into the reasons; 0 is none
        State state = State::Never;
    };

    // The coverage of the website (its origin, as PageLedger knows it) at the endpoints, or at
    // every endpoint that accepted or refused one of its pages when none are given. Empty, with
    // `error`, when the ledger cannot be read.
    // A page the profile's `patterns` leave out, and that was never announced, is left out
    // with the reason "excluded by the profile".
    static Coverage read(HistoryDatabase& database, const QByteArray& website, const QStringList& endpoints,
                         QString& error, const PathPatterns& patterns = {});

    QByteArray website() const { return m_website; }
    qint64 listedAt() const { return m_listedAt; } // 0 when no run listed the pages
    const QStringList& endpoints() const { return m_endpoints; }
    qsizetype pageCount() const { return qsizetype(m_urlEnds.size()); }
    // Of those, the pages announced as removed after they left the sitemaps.
    qsizetype removedSince() const { return m_removedSince; }
    QByteArrayView url(qsizetype page) const;
    const Entry& entry(int endpoint, qsizetype page) const
    {
        return m_entries[size_t(endpoint) * m_urlEnds.size() + size_t(page)];
    }
    const QString& reason(const Entry& entry) const { return m_reasons.at(entry.reason); }
    Counts counts(int endpoint) const;
    // When the page's content last changed, as the checks that read it whole found; 0 when its
    // content was never read. And how many pages' content was read.
    qint64 contentChangedAt(qsizetype page) const
    {
        return m_contentChanged.empty() ? 0 : m_contentChanged[size_t(page)];
    }
    qsizetype contentRead() const { return m_contentRead; }
    // What tells a changed page for the profile looked at (a name of ChangeSignals), as said.
    QString changeSignal() const { return m_changeSignal; }
    void setChangeSignal(const QString& name) { m_changeSignal = name; }

    // What Google said of each page it was asked about: its state ("indexed", "crawled, not
    // indexed", "Google has not seen it") and the whole sentence, by page address.
    struct GoogleNote
    {
        QString state;
        QString text;
    };
    void setGoogle(const QHash<QString, GoogleNote>& byAddress);
    bool hasGoogle() const { return !m_googleState.empty(); }
    // Empty for a page Google was not asked about.
    const QString& googleState(qsizetype page) const;
    const QString& googleText(qsizetype page) const;
    // How many pages are in each Google state, by its name.
    QMap<QString, int> googleCounts() const;

private:
    quint32 reasonIndex(const QString& reason);

    QByteArray m_website;
    qint64 m_listedAt = 0;
    qsizetype m_removedSince = 0;
    QStringList m_endpoints;
    QByteArray m_urls; // every page's address, one after another
    std::vector<quint32> m_urlEnds;
    std::vector<Entry> m_entries;         // endpoint by endpoint, page by page
    std::vector<qint64> m_contentChanged; // page by page; empty while no page's content was read
    qsizetype m_contentRead = 0;
    QString m_changeSignal;
    QStringList m_reasons{QString()};
    std::vector<quint32> m_googleState; // into the reasons, page by page; empty: no note at all
    std::vector<quint32> m_googleText;
    QHash<QString, quint32> m_reasonIndex;
};
