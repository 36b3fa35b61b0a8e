#pragma once

#include <QString>

#include <optional>

class HistoryDatabase;

// What the last check of each profile's IndexNow key file found, kept in the history so that
// `orvanta status` can say it the morning after.
class KeyChecks
{
public:
    explicit KeyChecks(HistoryDatabase& database) : m_database(database) {}

    struct Check
    {
        qint64 checkedAt = 0; // ms since the epoch
        bool served = false;  // engines can read the key there
        QString message;      // what the check said
    };

    bool record(const QString& profile, const Check& check);
    std::optional<Check> last(const QString& profile);
    QString lastError() const { return m_lastError; }

private:
    HistoryDatabase& m_database;
    QString m_lastError;
};
