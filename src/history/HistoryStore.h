#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class PageList;
class QIODevice;
class SqliteConnection;

// The local record of what was sent and of every run, shared by the window and the command
// line: an SQLite file in the user's data directory, beside the run log. Which pages went to
// which endpoint for which profile, with their last change and when they went; and for each
// run, when, for whom, and each site's outcome, status and detail, with the pages of a batch.
class HistoryStore
{
public:
    // A store that cannot be opened or created gives no object and a sentence naming the file.
    static std::unique_ptr<HistoryStore> open(const QString& path, QString& error);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    QString path() const;

    struct SentPage
    {
        qint64 lastModified; // as the sitemap said when the page was sent
        qint64 sentAt;
    };
    // The pages sent to an endpoint for a profile, in the byte order of their addresses.
    bool forEachSent(const QString& profile, const QString& endpoint,
                     const std::function<void(QByteArrayView url, const SentPage& page)>& each);
    // Records the pages at `indices` as sent, in one transaction.
    bool recordSent(const QString& profile, const QString& endpoint, const PageList& pages,
                    const QList<qsizetype>& indices, qint64 sentAt);

    struct RunStart
    {
        qint64 startedAt = 0;
        QString profile;
        QString frontEnd; // "window" or "command line"
        QString mode;     // "address" or "changed pages"
        int requests = 0;
    };
    struct Result
    {
        int position = 0; // from 1, in the run's order
        QString site;
        bool succeeded = false;
        int status = 0; // the HTTP status, 0 when no answer came
        QString detail;
        QStringList urls; // the pages a batch carried
    };
    struct RunSummary
    {
        qint64 id = 0;
        qint64 startedAt = 0;
        qint64 endedAt = 0; // 0 while running, or when the program ended first
        QString profile;
        QString frontEnd;
        QString mode;
        QString state; // "running", "completed" or "cancelled"
        int requests = 0;
        int succeeded = 0;
        int failed = 0;
    };
    struct ResultRow
    {
        int position = 0;
        QString site;
        QString outcome; // "succeeded" or "failed"
        int status = 0;
        QString detail;
        int urlCount = 0;
    };

    // Each returns 0 or false when the store could not be written.
    qint64 beginRun(const RunStart& start);
    bool addResult(qint64 run, const Result& result);
    bool endRun(qint64 run, qint64 endedAt, bool cancelled);

    // Newest first; an empty profile means every profile, a negative count every run.
    QList<RunSummary> runs(const QString& profile = QString(), int last = -1);
    QList<ResultRow> results(qint64 run, bool failuresOnly = false);
    QStringList resultUrls(qint64 run, int position);
    // One line per result (and per page of a batch), RFC 4180, with a header row.
    bool exportCsv(qint64 run, QIODevice& out);

    QString lastError() const { return m_lastError; }

private:
    explicit HistoryStore(std::unique_ptr<SqliteConnection> connection);
    bool exec(const QString& sql);

    std::unique_ptr<SqliteConnection> m_connection;
    QString m_lastError;
};
