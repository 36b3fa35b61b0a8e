#include "SiteDatabase.h"

#include "CatalogueFile.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

#include <QSqlQuery>

#include <algorithm>
#include <array>
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

// The composed columns of a site, read from a statement's row from column `first` on. Sites
// share a few templates and methods: text read before is kept and shared when it comes again in
// the next site, rather than made anew (and a composer finds it filled before).
class ComposedColumns
{
public:
    ComposedColumns(const QStringList& columns, int first)
    {
        const auto columnOf = [&](const QString& name) {
            const qsizetype at = columns.indexOf(name);
            return at < 0 ? -1 : first + int(at);
        };
        m_columns = {columnOf(PromoSiteColumns::data), columnOf(PromoSiteColumns::method),
                     columnOf(PromoSiteColumns::encoding), columnOf(PromoSiteColumns::accept),
                     columnOf(PromoSiteColumns::reject)};
        m_action = columnOf(PromoSiteColumns::action);
    }

    void read(const SqliteStatement& row, PromoSite& site)
    {
        site.data = shared(row, 0);
        site.method = shared(row, 1);
        site.action = row.text(m_action); // a site's own
        site.encoding = shared(row, 2);
        site.accept = shared(row, 3);
        site.reject = shared(row, 4);
    }

private:
    QString shared(const SqliteStatement& row, size_t which)
    {
        const int column = m_columns[which];
        if (column < 0)
            return QString();
        const QByteArrayView utf8 = row.utf8(column);
        auto& [bytes, text] = m_previous[which];
        if (utf8 != bytes || utf8.isNull() != text.isNull()) {
            bytes = utf8.toByteArray();
            text = utf8.isNull() ? QString() : QString::fromUtf8(utf8);
        }
        return text;
    }

    std::array<int, 5> m_columns{};
    int m_action = -1;
    std::array<std::pair<QByteArray, QString>, 5> m_previous;
};

// Many sites are read from all over the file: through a mapping of it, not a system call a page.
// Only for as long as the reading lasts, so a file replaced in its place afterwards is read as it
// is then.
class MappedReading
{
public:
    MappedReading(QSqlDatabase& db, qsizetype sites)
        : m_db(db), m_mapped(sites >= 1024 && QSqlQuery(u"PRAGMA mmap_size = 1073741824"_s, db).isActive())
    {}
    ~MappedReading()
    {
        if (m_mapped)
            QSqlQuery(u"PRAGMA mmap_size = 0"_s, m_db);
    }
    MappedReading(const MappedReading&) = delete;
    MappedReading& operator=(const MappedReading&) = delete;

private:
    QSqlDatabase& m_db;
    const bool m_mapped;
};

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
    // A composition reads only the columns it uses, the optional ones the table has.
    m_composedColumns = {PromoSiteColumns::data, PromoSiteColumns::method, PromoSiteColumns::action};
    for (const QString& optional : PromoSiteColumns::optional) {
        if (columns.contains(optional))
            m_composedColumns << optional;
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
    const bool byName = keyColumn == PromoSiteColumns::sitename;
    SqliteStatement scan(*m_connection, u"SELECT %1, sitename, sitetype FROM promosites"_s.arg(keyColumn));
    // In the table's order first; each name's sort key beside it, kept only for the sort.
    std::string names;
    std::vector<quint32> nameEnds;
    std::vector<qint64> rowids;
    std::vector<quint16> types;
    std::string keys;
    std::vector<quint32> keyEnds;
    QList<QByteArray> typeTexts;
    std::vector<QString> typeNames;
    while (scan.next()) {
        if (!byName && scan.isNull(0))
            return false; // a view answers for rowid with null
        const QByteArrayView type = scan.utf8(2);
        qsizetype typeIndex = typeTexts.indexOf(type);
        if (typeIndex < 0) {
            typeIndex = typeTexts.size();
            typeTexts << type.toByteArray();
            typeNames.push_back(scan.text(2));
        }
        const QByteArrayView name = scan.utf8(1);
        names.append(name.data(), size_t(name.size()));
        nameEnds.push_back(quint32(names.size()));
        appendSortKey(keys, name);
        keyEnds.push_back(quint32(keys.size()));
        if (!byName)
            rowids.push_back(scan.integer(0));
        types.push_back(quint16(typeIndex));
    }
    if (scan.errorCode() != 0) {
        error = CatalogueFile::readFailure(m_path, scan.errorCode(), scan.errorText());
        return false;
    }
    m_keyColumn = keyColumn;
    m_typeNames = std::move(typeNames);

    // Sorted as compact records holding each key's first sixteen bytes, so a million rows sort
    // without chasing every key through memory; whole keys are compared only on a tie. Rows
    // whose keys are equal keep the table's order between them.
    const auto span = [](const std::string& text, const std::vector<quint32>& ends, size_t row) {
        const size_t begin = row == 0 ? 0 : ends[row - 1];
        return std::string_view(text).substr(begin, ends[row] - begin);
    };
    struct SortEntry
    {
        quint64 high;
        quint64 low;
        quint32 row;
    };
    std::vector<SortEntry> entries(types.size());
    for (size_t row = 0; row < types.size(); ++row) {
        const std::string_view key = span(keys, keyEnds, row);
        quint64 prefix[2] = {0, 0};
        for (size_t i = 0; i < std::min<size_t>(key.size(), 16); ++i)
            prefix[i / 8] |= quint64(static_cast<unsigned char>(key[i])) << (56 - 8 * (i % 8));
        entries[row] = {prefix[0], prefix[1], quint32(row)};
    }
    std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        const int compared = span(keys, keyEnds, a.row).compare(span(keys, keyEnds, b.row));
        return compared < 0 || (compared == 0 && a.row < b.row);
    });
    std::string().swap(keys);
    std::vector<quint32>().swap(keyEnds);

    m_names.clear();
    m_names.reserve(names.size());
    m_nameEnds.clear();
    m_nameEnds.reserve(entries.size());
    m_rowids.clear();
    m_rowids.reserve(rowids.size());
    m_types.clear();
    m_types.reserve(entries.size());
    for (const SortEntry& entry : entries) {
        m_names += span(names, nameEnds, entry.row);
        m_nameEnds.push_back(quint32(m_names.size()));
        if (!byName)
            m_rowids.push_back(rowids[entry.row]);
        m_types.push_back(types[entry.row]);
    }
    return true;
}

QByteArrayView SiteDatabase::nameUtf8(qsizetype row) const
{
    const size_t begin = row == 0 ? 0 : m_nameEnds[size_t(row) - 1];
    return QByteArrayView(m_names.data() + begin, qsizetype(m_nameEnds[size_t(row)] - begin));
}

std::optional<qsizetype> SiteDatabase::find(const QString& name) const
{
    const QByteArray utf8 = name.toUtf8();
    std::string wanted;
    appendSortKey(wanted, utf8);
    std::string key;
    const auto keyOf = [&](qsizetype row) -> const std::string& {
        key.clear();
        appendSortKey(key, nameUtf8(row));
        return key;
    };
    // The list is in the order of the keys: the first row of this key, then its twins.
    qsizetype low = 0;
    qsizetype high = count();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (keyOf(middle) < wanted)
            low = middle + 1;
        else
            high = middle;
    }
    for (qsizetype row = low; row < count() && keyOf(row) == wanted; ++row) {
        if (nameUtf8(row) == utf8)
            return row;
    }
    return std::nullopt;
}

void SiteDatabase::readSites(const QList<qsizetype>& rows, const std::function<void(const PromoSite&)>& each)
{
    QSqlDatabase& db = m_connection->database();
    const MappedReading mapping(db, rows.size());
    const bool inTransaction = db.transaction(); // one read lock for the lot, not one per row
    SqliteStatement fetch(*m_connection, u"SELECT %1 FROM promosites WHERE %2 = ?"_s.arg(
                                             m_composedColumns.join(u", "_s), m_keyColumn));
    ComposedColumns columns(m_composedColumns, 0);
    const bool byName = m_keyColumn == PromoSiteColumns::sitename;
    // Looked up a window at a time in the file's order, which lands each lookup near the one
    // before, and handed on in the order asked for.
    constexpr qsizetype window = 1024;
    std::vector<std::pair<qint64, qsizetype>> order;
    std::vector<PromoSite> found;
    for (qsizetype start = 0; start < rows.size(); start += window) {
        const qsizetype end = std::min(rows.size(), start + window);
        order.clear();
        for (qsizetype at = start; at < end; ++at) {
            const qsizetype row = rows.at(at);
            // A row the catalogue does not hold stays an empty site. Any rowid is a key, a
            // negative one too (a damaged or hand-made file has them).
            if (row >= 0 && row < count())
                order.emplace_back(byName ? qint64(at) : m_rowids[size_t(row)], at - start);
        }
        if (!byName)
            std::sort(order.begin(), order.end());
        found.assign(size_t(end - start), PromoSite{});
        for (const auto& [key, slot] : order) {
            const qsizetype row = rows.at(start + slot);
            fetch.reset();
            if (byName)
                fetch.bind(1, nameUtf8(row));
            else
                fetch.bind(1, key);
            PromoSite& site = found[size_t(slot)];
            site.sitename = name(row);
            site.sitetype = type(row);
            if (fetch.next())
                columns.read(fetch, site);
        }
        for (const PromoSite& site : found)
            each(site);
    }
    if (inTransaction)
        db.commit();
}

void SiteDatabase::visitSites(const QList<qsizetype>& rows,
                              const std::function<void(const PromoSite&, qsizetype at)>& each)
{
    // A few sites are looked up; rows found by name have no order of the file to follow.
    if (m_keyColumn == PromoSiteColumns::sitename || rows.size() < count() / 8) {
        qsizetype at = 0;
        readSites(rows, [&](const PromoSite& site) { each(site, at++); });
        return;
    }
    std::vector<std::pair<qint64, qsizetype>> wanted; // rowid and place, in the file's order
    wanted.reserve(size_t(rows.size()));
    for (qsizetype at = 0; at < rows.size(); ++at) {
        const qsizetype row = rows.at(at);
        if (row >= 0 && row < count())
            wanted.emplace_back(m_rowids[size_t(row)], at);
        else
            each(PromoSite{}, at);
    }
    std::sort(wanted.begin(), wanted.end());
    QSqlDatabase& db = m_connection->database();
    const MappedReading mapping(db, rows.size());
    const bool inTransaction = db.transaction();
    SqliteStatement scan(*m_connection, u"SELECT %2, %1 FROM promosites ORDER BY %2"_s.arg(
                                            m_composedColumns.join(u", "_s), m_keyColumn));
    ComposedColumns columns(m_composedColumns, 1);
    PromoSite site;
    auto next = wanted.cbegin();
    // A site gone from the file since it was opened comes with its name and type only, as when
    // it is looked up.
    const auto visit = [&](const auto& place, bool read) {
        const qsizetype row = rows.at(place->second);
        site.sitename = name(row);
        site.sitetype = type(row);
        if (!read)
            site = PromoSite{site.sitename, site.sitetype, {}, {}, {}};
        each(site, place->second);
    };
    while (next != wanted.cend() && scan.next()) {
        const qint64 rowid = scan.integer(0);
        for (; next != wanted.cend() && next->first < rowid; ++next)
            visit(next, false);
        if (next == wanted.cend() || next->first != rowid)
            continue;
        columns.read(scan, site);
        for (; next != wanted.cend() && next->first == rowid; ++next)
            visit(next, true);
    }
    for (; next != wanted.cend(); ++next)
        visit(next, false);
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

QString SiteDatabase::nameOf(const QString& action)
{
    SqliteStatement find(*m_connection, u"SELECT sitename FROM promosites WHERE action = ? LIMIT 1"_s);
    find.bind(1, action);
    return find.next() ? find.text(0) : action;
}
