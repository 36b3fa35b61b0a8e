#pragma once

#include "SearchConsole.h"

#include <QList>
#include <QString>

#include <optional>

class Coverage;
class HistoryDatabase;

// What Google said, kept in the history beside the ledger: each sitemap's status as last read,
// each announced page's index status as last inspected, and each property's use of the day's
// inspection quota, in tables of its own beside the ledger's. The queue of pages to inspect comes
// from the ledger: announced pages that Google has not been asked about since their last
// announcement, oldest announcement first.
class GoogleRecords
{
public:
    explicit GoogleRecords(HistoryDatabase& database);

    // URL Inspection allows 2,000 requests a day per property.
    static constexpr int dailyInspections = 2000;

    struct StoredSitemap
    {
        GoogleSitemapStatus status;
        qint64 submittedAt = 0; // when Orvanta last submitted it (ms); 0 when it never did
        qint64 readAt = 0;
    };
    bool recordSitemap(const QString& profile, const GoogleSitemapStatus& status, qint64 readAt,
                       bool submittedNow);
    // Google's list of the property's sitemaps as read now, all of it or nothing.
    bool recordSitemaps(const QString& profile, const QList<GoogleSitemapStatus>& sitemaps, qint64 readAt);
    QList<StoredSitemap> sitemaps(const QString& profile);

    struct QueuedPage
    {
        qint64 page;
        QString url;
        qint64 announcedAt;
    };
    QList<QueuedPage> inspectionQueue(const QByteArray& website, int limit);
    bool recordInspection(qint64 page, const GoogleIndexStatus& status, qint64 at);
    // What Google said of a page and the quota it took, in one transaction: an answer that is
    // recorded is counted, and one that is counted is recorded.
    bool recordCountedInspection(qint64 page, const GoogleIndexStatus& status, qint64 at,
                                 const QString& property, const QString& day);

    struct StoredInspection
    {
        GoogleIndexStatus status;
        qint64 inspectedAt = 0;
        qint64 announcedAt = 0; // the page's latest acceptance by any engine (ms); 0 when none
    };
    // Every inspected page of the website (its origin), by its address.
    QHash<QString, StoredInspection> inspections(const QByteArray& website);

    // Each inspected page's state and sentence, put beside the coverage of its website, the dates
    // written as `date` writes them.
    void describeIn(Coverage& coverage, QString (*date)(qint64) = TimeText::writtenDate);

    // The quota's day is Google's: it turns at midnight Pacific time.
    static QString quotaDay(const QDateTime& now);
    // Inspections the property may still ask for today: 0 once Google said the quota is spent.
    int inspectionsLeft(const QString& property, const QString& day);
    bool countInspections(const QString& property, const QString& day, int used, bool exhausted);

    QString lastError() const { return m_lastError; }

private:
    bool failed(const QString& error);
    // Every page Google was asked about, by its id in the ledger.
    QHash<qint64, StoredInspection> inspected();

    HistoryDatabase& m_database;
    QString m_lastError;
};
