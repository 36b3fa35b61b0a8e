#include "KeyChecks.h"

#include "HistoryDatabase.h"
#include "SqliteStatement.h"

using namespace Qt::StringLiterals;

namespace {

const bool tablesKept = HistoryDatabase::keepTables(
    u"key_checks"_s, {u"CREATE TABLE key_checks(profile TEXT PRIMARY KEY, checked_at INTEGER NOT NULL, "
                      u"served INTEGER NOT NULL, message TEXT) WITHOUT ROWID"_s});

} // namespace

bool KeyChecks::record(const QString& profile, const Check& check)
{
    SqliteStatement insert(m_database.connection(),
                           u"INSERT OR REPLACE INTO key_checks(profile, checked_at, served, message) "
                           u"VALUES (?, ?, ?, ?)"_s);
    insert.bind(1, profile);
    insert.bind(2, check.checkedAt);
    insert.bind(3, qint64(check.served));
    insert.bind(4, check.message);
    if (insert.run())
        return true;
    m_lastError = insert.errorText();
    return false;
}

std::optional<KeyChecks::Check> KeyChecks::last(const QString& profile)
{
    SqliteStatement find(m_database.connection(),
                         u"SELECT checked_at, served, message FROM key_checks WHERE profile = ?"_s);
    find.bind(1, profile);
    if (!find.next()) {
        m_lastError = find.errorText();
        return std::nullopt;
    }
    return Check{find.integer(0), find.integer(1) != 0, find.text(2)};
}
