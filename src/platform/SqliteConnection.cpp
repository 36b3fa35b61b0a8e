#include "SqliteConnection.h"

#include <QAtomicInteger>
#include <QSqlError>

using namespace Qt::StringLiterals;

namespace {
QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return u"orvanta-sqlite-%1"_s.arg(++counter);
}
} // namespace

SqliteConnection::SqliteConnection(const QString& path, Mode mode)
    : m_path(path), m_name(nextConnectionName())
{
    m_database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
    m_database.setDatabaseName(path);
    if (mode == Mode::ReadOnly)
        m_database.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
}

SqliteConnection::~SqliteConnection()
{
    close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool SqliteConnection::open(QString& error)
{
    if (m_database.open())
        return true;
    error = m_database.lastError().text();
    return false;
}

void SqliteConnection::close()
{
    if (m_database.isOpen())
        m_database.close();
}
