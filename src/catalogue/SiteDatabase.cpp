#include "SiteDatabase.h"

#include "CatalogueFile.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QSqlQuery>

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

// How names compare for the list order: case folded and accents dropped, so "émile", "Émile"
// and "Emile" stand together between "Eddy" and "Frank". Sorted in memory, not by SQLite, whose
// NOCASE knows only ASCII and spills large sorts to disk. The keys of all rows are kept in one
// buffer and compared as bytes: UTF-8 keeps the order of the characters.
void appendSortKey(std::string& keys, QByteArrayView utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (const char c : utf8)
            keys += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return;
    }
    QString key;
    const QString decomposed = QString::fromUtf8(utf8).normalized(QString::NormalizationForm_KD);
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            key += c;
    }
    keys += key.toCaseFolded().toStdString();
}

} // namespace

std::unique_ptr<SiteDatabase> SiteDatabase::open(const QString& path, QString& error)
{
    std::unique_ptr<SqliteConnection> connection = CatalogueFile::open(path, error);
    if (!connection)
        return nullptr;
    std::unique_ptr<SiteDatabase> database(new SiteDatabase(path, std::move(connection)));
    if (!database->load(error))
        return nullptr;
    return database;
}

SiteDatabase::SiteDatabase(QString path, std::unique_ptr<SqliteConnection> connection)
    : m_path(std::move(path)), m_connection(std::move(connection))
{}

SiteDatabase::~SiteDatabase() = default;

bool SiteDatabase::load(QString& error)
{
    // A row is found again by its rowid, under an alias that no column of the table shadows.
    // Views and tables without rowids have none: their rows are found again by name.
    QSqlQuery info(m_connection->database());
    QStringList columns;
    if (info.exec(u"PRAGMA table_info(promosites)"_s)) {
        while (info.next())
            columns << info.value(1).toString().toLower();
    }
    for (const QString& alias : {u"rowid"_s, u"_rowid_"_s, u"oid"_s}) {
        if (columns.contains(alias))
            continue;
        if (loadWithKey(alias, error))
            return true;
        break;
    }
    return loadWithKey(PromoSiteColumns::sitename, error);
}

bool SiteDatabase::loadWithKey(const QString& keyColumn, QString& error)
{
    m_rows.clear();
    m_types.clear();
    const bool byName = keyColumn == PromoSiteColumns::sitename;
    SqliteStatement scan(*m_connection, u"SELECT %1, sitename, sitetype FROM promosites"_s.arg(keyColumn));
    std::string keys;
    std::vector<std::pair<size_t, size_t>> keySpans; // offset and length in keys, by row
    QList<QByteArray> typeTexts;
    while (scan.next()) {
        if (!byName && scan.isNull(0))
            return false; // a view answers for rowid with null
        const QByteArrayView type = scan.utf8(2);
        qsizetype typeIndex = typeTexts.indexOf(type);
        if (typeIndex < 0) {
            typeIndex = typeTexts.size();
            typeTexts << type.toByteArray();
            m_types.push_back(scan.text(2));
        }
        const QByteArrayView name = scan.utf8(1);
        const size_t keyStart = keys.size();
        appendSortKey(keys, name);
        keySpans.emplace_back(keyStart, keys.size() - keyStart);
        m_rows.push_back(Row{byName ? 0 : scan.integer(0), QString::fromUtf8(name), quint16(typeIndex)});
    }
    if (scan.errorCode() != 0) {
        error = CatalogueFile::readFailure(m_path, scan.errorCode(), scan.errorText());
        return false;
    }
    m_keyColumn = keyColumn;

    // Sorted as compact records holding each key's first sixteen bytes, so a million rows sort
    // without chasing every key through memory; whole keys are compared only on a tie. Rows
    // whose keys are equal keep the table's order between them.
    struct SortEntry
    {
        quint64 high;
        quint64 low;
        quint32 row;
    };
    std::vector<SortEntry> entries(m_rows.size());
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const auto [offset, length] = keySpans[row];
        quint64 prefix[2] = {0, 0};
        for (size_t i = 0; i < std::min<size_t>(length, 16); ++i)
            prefix[i / 8] |= quint64(static_cast<unsigned char>(keys[offset + i])) << (56 - 8 * (i % 8));
        entries[row] = {prefix[0], prefix[1], quint32(row)};
    }
    const auto key = [&](quint32 row) {
        return std::string_view(keys).substr(keySpans[row].first, keySpans[row].second);
    };
    std::sort(entries.begin(), entries.end(), [&key](const SortEntry& a, const SortEntry& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        const int compared = key(a.row).compare(key(b.row));
        return compared < 0 || (compared == 0 && a.row < b.row);
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (const SortEntry& entry : entries)
        sorted.push_back(std::move(m_rows[entry.row]));
    m_rows = std::move(sorted);
    return true;
}

std::optional<qsizetype> SiteDatabase::find(const QString& name) const
{
    // Built on the first lookup, which start-up never needs.
    if (m_firstRowByName.isEmpty() && !m_rows.empty()) {
        m_firstRowByName.reserve(count());
        for (qsizetype row = count() - 1; row >= 0; --row)
            m_firstRowByName.insert(m_rows[size_t(row)].name, row);
    }
    const auto found = m_firstRowByName.constFind(name);
    if (found == m_firstRowByName.cend())
        return std::nullopt;
    return found.value();
}

void SiteDatabase::readSites(const QList<qsizetype>& rows, const std::function<void(const PromoSite&)>& each)
{
    QSqlDatabase& db = m_connection->database();
    const bool inTransaction = db.transaction(); // one read lock for the lot, not one per row
    SqliteStatement fetch(*m_connection, u"SELECT * FROM promosites WHERE %1 = ?"_s.arg(m_keyColumn));
    const int data = fetch.columnIndex(PromoSiteColumns::data);
    const int method = fetch.columnIndex(PromoSiteColumns::method);
    const int action = fetch.columnIndex(PromoSiteColumns::action);
    const int encoding = fetch.columnIndex(PromoSiteColumns::encoding);
    const int accept = fetch.columnIndex(PromoSiteColumns::accept);
    const int reject = fetch.columnIndex(PromoSiteColumns::reject);
    const auto optionalText = [&fetch](int column) { return column < 0 ? QString() : fetch.text(column); };
    const bool byName = m_keyColumn == PromoSiteColumns::sitename;
    for (const qsizetype row : rows) {
        fetch.reset();
        if (byName)
            fetch.bind(1, name(row));
        else
            fetch.bind(1, m_rows[size_t(row)].rowid);
        if (fetch.next())
            each(PromoSite{name(row), type(row), fetch.text(data), fetch.text(method), fetch.text(action),
                           optionalText(encoding), optionalText(accept), optionalText(reject)});
        else
            each(PromoSite{name(row), type(row), {}, {}, {}});
    }
    if (inTransaction)
        db.commit();
}

PromoSite SiteDatabase::site(const QString& name)
{
    PromoSite site{name, {}, {}, {}, {}};
    if (const std::optional<qsizetype> row = find(name))
        readSites({*row}, [&site](const PromoSite& read) { site = read; });
    return site;
}
