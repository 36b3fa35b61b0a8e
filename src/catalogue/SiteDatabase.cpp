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
    const bool inTransaction = db.transaction(); // one read lock for the lot, not one per row
    SqliteStatement fetch(*m_connection, u"SELECT %1 FROM promosites WHERE %2 = ?"_s.arg(
                                             m_composedColumns.join(u", "_s), m_keyColumn));
    const auto columnOf = [this](const QString& name) { return int(m_composedColumns.indexOf(name)); };
    const int data = columnOf(PromoSiteColumns::data);
    const int method = columnOf(PromoSiteColumns::method);
    const int action = columnOf(PromoSiteColumns::action);
    const int encoding = columnOf(PromoSiteColumns::encoding);
    const int accept = columnOf(PromoSiteColumns::accept);
    const int reject = columnOf(PromoSiteColumns::reject);
    const auto optionalText = [&fetch](int column) { return column < 0 ? QString() : fetch.text(column); };
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
            if (fetch.next()) {
                site.data = fetch.text(data);
                site.method = fetch.text(method);
                site.action = fetch.text(action);
                site.encoding = optionalText(encoding);
                site.accept = optionalText(accept);
                site.reject = optionalText(reject);
            }
        }
        for (const PromoSite& site : found)
            each(site);
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

QString SiteDatabase::nameOf(const QString& action)
{
    SqliteStatement find(*m_connection, u"SELECT sitename FROM promosites WHERE action = ? LIMIT 1"_s);
    find.bind(1, action);
    return find.next() ? find.text(0) : action;
}
