#include "SqliteStatement.h"

#include "SqliteConnection.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

SqliteStatement::SqliteStatement(SqliteConnection& connection, const QString& sql)
    : m_db(*static_cast<sqlite3* const*>(connection.database().driver()->handle().constData()))
{
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_statement, nullptr) != SQLITE_OK)
        fail();
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::fail()
{
    m_errorCode = sqlite3_errcode(m_db);
    m_errorText = QString::fromUtf8(sqlite3_errmsg(m_db));
}

void SqliteStatement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

void SqliteStatement::bind(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, QByteArrayView utf8)
{
    // SQLite takes a null pointer for NULL; an empty text is not that.
    sqlite3_bind_text(m_statement, index, utf8.isNull() ? "" : utf8.data(), int(utf8.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::bindBlob(int index, QByteArrayView bytes)
{
    sqlite3_bind_blob(m_statement, index, bytes.isNull() ? "" : bytes.data(), int(bytes.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

bool SqliteStatement::run()
{
    if (!m_statement)
        return false;
    if (sqlite3_step(m_statement) == SQLITE_DONE)
        return true;
    fail();
    return false;
}

bool SqliteStatement::next()
{
    if (!m_statement)
        return false;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        fail();
    return false;
}

qint64 SqliteStatement::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int SqliteStatement::changes() const
{
    return sqlite3_changes(m_db);
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement); // the bindings stay until they are bound anew
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QByteArrayView SqliteStatement::utf8(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement, column) : 0);
}

QByteArrayView SqliteStatement::blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement, column) : 0);
}

QString SqliteStatement::text(int column) const
{
    const QByteArrayView bytes = utf8(column);
    return bytes.data() ? QString::fromUtf8(bytes) : QString();
}
