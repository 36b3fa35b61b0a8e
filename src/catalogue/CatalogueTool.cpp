#include "CatalogueTool.h"

#include "CatalogueFile.h"
#include "Csv.h"
#include "InstalledVersion.h"
#include "PromoSite.h"
#include "RequestTemplate.h"
#include "SearchConsoleAddress.h"
#include "SiteDatabase.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "WebAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QTextStream>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString quoteIdentifier(const QString& name)
{
    return u'"' + QString(name).replace(u"\""_s, u"\"\""_s) + u'"';
}

QString columnDefinition(const QString& name)
{
    const QString column = name.toLower();
    QString definition = quoteIdentifier(name) + u" TEXT"_s;
    if (column == PromoSiteColumns::sitename)
        definition += u" NOT NULL UNIQUE"_s;
    else if (column == PromoSiteColumns::data || column == PromoSiteColumns::method ||
             column == PromoSiteColumns::action)
        definition += u" NOT NULL"_s;
    return definition;
}

// Reads the CSV as it goes and inserts each record as it is read, in one transaction.
bool writeTable(QIODevice& csv, const QString& csvPath, SqliteConnection& connection, QString& error,
                int& rows)
{
    QSqlDatabase& db = connection.database();
    Csv::Reader reader(csv);
    QStringList header;
    QString csvError;
    if (!reader.readHeader(header, csvError)) {
        error = u"\"%1\" %2."_s.arg(csvPath, csvError);
        return false;
    }
    error = CatalogueFile::lacksColumns(u"\"%1\""_s.arg(csvPath), CatalogueFile::missingColumns(header));
    if (!error.isEmpty())
        return false;

    QStringList definitions;
    for (const QString& name : std::as_const(header))
        definitions << columnDefinition(name);
    QSqlQuery query(db);
    if (!query.exec(u"CREATE TABLE promosites (%1)"_s.arg(definitions.join(u", "_s)))) {
        error = u"Cannot create the table: %1."_s.arg(query.lastError().databaseText());
        return false;
    }
    db.transaction();
    // Through SQLite's own interface: a QVariant per value, and text handed over as UTF-16 for
    // SQLite to translate, made the build twice what SQLite's own import takes.
    SqliteStatement insert(connection, u"INSERT INTO promosites VALUES (%1)"_s.arg(
                                           QStringList(header.size(), u"?"_s).join(u", "_s)));
    // Said in the CSV's own terms before SQLite would say it in its own ("NOT NULL constraint
    // failed: promosites.data").
    QList<qsizetype> required;
    qsizetype nameColumn = -1;
    for (qsizetype column = 0; column < header.size(); ++column) {
        const QString name = header.at(column).toLower();
        if (name == PromoSiteColumns::sitename)
            nameColumn = column;
        if (name == PromoSiteColumns::sitename || name == PromoSiteColumns::data ||
            name == PromoSiteColumns::method || name == PromoSiteColumns::action)
            required << column;
    }
    Csv::Record record;
    while (reader.next(record, csvError)) {
        for (const qsizetype column : std::as_const(required)) {
            if (!record.fields.value(column)) {
                error =
                    u"\"%1\" line %2, column %3 (%4): no value; an empty text is written \"\"."_s.arg(csvPath)
                        .arg(record.line)
                        .arg(column + 1)
                        .arg(header.at(column));
                break;
            }
        }
        if (!error.isEmpty())
            break;
        for (qsizetype column = 0; column < record.fields.size(); ++column) {
            if (const Csv::Field& field = record.fields.at(column))
                insert.bind(int(column) + 1, *field);
            else
                insert.bindNull(int(column) + 1);
        }
        if (!insert.run()) {
            const bool twice = insert.errorText().startsWith(u"UNIQUE constraint failed"_s);
            error =
                twice ? u"\"%1\" line %2: the sitename \"%3\" is on an earlier line too; each site's name is "
                        u"its own."_s.arg(csvPath)
                            .arg(record.line)
                            .arg(record.fields.value(nameColumn).value_or(QString()))
                      : u"\"%1\" line %2: %3."_s.arg(csvPath).arg(record.line).arg(insert.errorText());
            break;
        }
        insert.reset();
        ++rows;
    }
    if (error.isEmpty() && !csvError.isEmpty())
        error = u"\"%1\" %2."_s.arg(csvPath, csvError);
    if (!error.isEmpty()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = u"Cannot write the catalogue: %1."_s.arg(db.lastError().databaseText());
        return false;
    }
    return true;
}

// The mode the finished file gets: the one of the file it replaces, or what the user's umask
// gives a new file. A temporary file starts readable by its owner only.
void giveFinalMode(const QString& temporary, const QString& target)
{
    struct stat existing
    {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(QFile::encodeName(temporary).constData(), mode);
}

} // namespace

bool CatalogueTool::build(const QString& csvPath, const QString& dbPath, QString& error, int* rowCount)
{
    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly)) {
        error = u"Cannot read \"%1\": %2."_s.arg(csvPath, csv.errorString());
        return false;
    }
    const QFileInfo target(dbPath);
    QTemporaryFile temporary(target.absoluteDir().filePath(u".%1-XXXXXX.tmp"_s.arg(target.fileName())));
    if (!temporary.open()) {
        error = u"Cannot write in \"%1\": %2."_s.arg(target.absolutePath(), temporary.errorString());
        return false;
    }
    temporary.close();
    int rows = 0;
    {
        SqliteConnection connection(temporary.fileName(), SqliteConnection::Mode::ReadWrite);
        QString openError;
        if (!connection.open(openError)) {
            error = u"Cannot create the catalogue: %1."_s.arg(openError);
            return false;
        }
        if (!writeTable(csv, csvPath, connection, error, rows))
            return false;
    }

    giveFinalMode(temporary.fileName(), target.absoluteFilePath());
    std::error_code renameError;
    std::filesystem::rename(QFile::encodeName(temporary.fileName()).toStdString(),
                            QFile::encodeName(target.absoluteFilePath()).toStdString(), renameError);
    if (renameError) {
        error = u"Cannot replace \"%1\": %2."_s.arg(dbPath, QString::fromStdString(renameError.message()));
        return false;
    }
    temporary.setAutoRemove(false);
    if (rowCount)
        *rowCount = rows;
    return true;
}

QString CatalogueTool::Finding::toString() const
{
    return u"row %1 \"%2\": %3"_s.arg(row).arg(sitename, problem);
}

namespace {

// A NUL is valid text to SQLite but no CSV reader takes it back: neither check nor export lets
// it through, so that build always reads what export writes.
const QString holdsNul = u"%1 holds a NUL character, which the catalogue's text form cannot carry"_s;

QStringList problemsOf(const QSqlRecord& row)
{
    QStringList problems;
    for (int column = 0; column < row.count(); ++column) {
        if (row.value(column).toString().contains(QChar(0)))
            problems << holdsNul.arg(row.fieldName(column));
    }
    const auto isNull = [&](const QString& column) { return row.isNull(column); };
    const auto text = [&](const QString& column) { return row.value(column).toString(); };

    if (isNull(PromoSiteColumns::sitename))
        problems << u"sitename is null"_s;
    else if (text(PromoSiteColumns::sitename).isEmpty())
        problems << u"sitename is empty"_s;

    const QString type = text(PromoSiteColumns::sitetype);
    if (isNull(PromoSiteColumns::sitetype))
        problems << u"sitetype is null"_s;
    else if (type != u"engine"_s && type != u"list"_s)
        problems << u"sitetype \"%1\" is neither \"engine\" nor \"list\""_s.arg(type);

    for (const QString& column :
         {PromoSiteColumns::data, PromoSiteColumns::method, PromoSiteColumns::action}) {
        if (isNull(column))
            problems << u"%1 is null"_s.arg(column);
    }
    const QString method = text(PromoSiteColumns::method).toLower();
    const bool searchConsole = isSearchConsoleAddress(text(PromoSiteColumns::action));
    if (searchConsole && method != u"put"_s)
        problems << u"method \"%1\" is not PUT, which Search Console takes sitemaps by"_s.arg(
            text(PromoSiteColumns::method));
    else if (!searchConsole && !isNull(PromoSiteColumns::method) && method != u"get"_s && method != u"post"_s)
        problems << u"method \"%1\" is neither GET nor POST"_s.arg(text(PromoSiteColumns::method));
    if (!isNull(PromoSiteColumns::action) && !WebAddress::isValid(text(PromoSiteColumns::action)))
        problems << u"action \"%1\" is not an http or https URL"_s.arg(text(PromoSiteColumns::action));
    for (const QString& unknown : RequestTemplate::unknownPlaceholders(text(PromoSiteColumns::data)))
        problems << u"data holds %1, which is not a placeholder"_s.arg(unknown);

    const QString encoding = text(PromoSiteColumns::encoding);
    const std::optional<RequestTemplate::Encoding> named = RequestTemplate::encodingNamed(encoding);
    if (!named)
        problems << u"encoding \"%1\" is none of form, json, xml or text"_s.arg(encoding);
    else if (*named != RequestTemplate::Encoding::Form && method != u"post"_s && !searchConsole)
        problems << u"encoding \"%1\" needs the method POST: its body has no place in a URL"_s.arg(encoding);
    PromoSite site;
    site.accept = text(PromoSiteColumns::accept);
    if (!site.acceptedStatuses())
        problems << u"accept \"%1\" is not a comma-separated list of HTTP statuses"_s.arg(site.accept);
    const QRegularExpression reject(text(PromoSiteColumns::reject));
    if (!reject.isValid())
        problems << u"reject \"%1\" is not a valid regular expression: %2"_s.arg(reject.pattern(),
                                                                                 reject.errorString());
    return problems;
}

// Opens the catalogue read-only, runs the query and hands over its columns, then each row.
bool scanCatalogue(const QString& dbPath, const QString& query,
                   const std::function<void(const QSqlRecord&)>& onColumns,
                   const std::function<void(const QSqlQuery&)>& onRow, QString& error)
{
    const std::unique_ptr<SqliteConnection> connection = CatalogueFile::open(dbPath, error);
    if (!connection)
        return false;
    QSqlQuery scan(connection->database());
    scan.setForwardOnly(true);
    if (!scan.exec(query)) {
        error = CatalogueFile::readFailure(dbPath, scan.lastError());
        return false;
    }
    onColumns(scan.record());
    while (scan.next())
        onRow(scan);
    if (scan.lastError().isValid()) {
        error = CatalogueFile::readFailure(dbPath, scan.lastError());
        return false;
    }
    return true;
}

} // namespace

bool CatalogueTool::check(const QString& dbPath, QList<Finding>& findings, QString& error, int* rowCount)
{
    findings.clear();
    QHash<QString, int> firstRowOfName;
    int row = 0;
    const auto checkRow = [&](const QSqlQuery& scan) {
        ++row;
        const QSqlRecord record = scan.record();
        const QString name = record.value(PromoSiteColumns::sitename).toString();
        for (const QString& problem : problemsOf(record))
            findings << Finding{row, name, problem};
        if (record.isNull(PromoSiteColumns::sitename))
            return;
        const auto first = firstRowOfName.constFind(name);
        if (first != firstRowOfName.cend())
            findings << Finding{row, name, u"sitename is also the name of row %1"_s.arg(first.value())};
        else
            firstRowOfName.insert(name, row);
    };
    const bool scanned = scanCatalogue(
        dbPath, u"SELECT * FROM promosites"_s, [](const QSqlRecord&) {}, checkRow, error);
    if (scanned && rowCount)
        *rowCount = row;
    return scanned;
}

bool CatalogueTool::exportCsv(const QString& dbPath, QTextStream& out, QString& error)
{
    int row = 0;
    QString unexportable;
    const auto findNul = [&](const QSqlQuery& scan) {
        ++row;
        const QSqlRecord record = scan.record();
        for (int column = 0; column < record.count() && unexportable.isEmpty(); ++column) {
            if (record.value(column).toString().contains(QChar(0)))
                unexportable = Finding{row, record.value(PromoSiteColumns::sitename).toString(),
                                       holdsNul.arg(record.fieldName(column))}
                                   .toString();
        }
    };
    if (!scanCatalogue(
            dbPath, u"SELECT * FROM promosites"_s, [](const QSqlRecord&) {}, findNul, error))
        return false;
    if (!unexportable.isEmpty()) {
        error = unexportable + u'.';
        return false;
    }
    int columnCount = 0;
    const auto writeHeader = [&](const QSqlRecord& columns) {
        columnCount = columns.count();
        QList<Csv::Field> header;
        for (int i = 0; i < columnCount; ++i)
            header << columns.fieldName(i);
        out << Csv::formatRecord(header);
    };
    const auto writeRow = [&](const QSqlQuery& scan) {
        QList<Csv::Field> fields;
        for (int i = 0; i < columnCount; ++i)
            fields << (scan.isNull(i) ? Csv::Field() : Csv::Field(scan.value(i).toString()));
        out << Csv::formatRecord(fields);
    };
    return scanCatalogue(dbPath, u"SELECT * FROM promosites"_s, writeHeader, writeRow, error);
}

bool CatalogueTool::list(const QString& dbPath, QTextStream& out, QString& error)
{
    const std::unique_ptr<SiteDatabase> database = SiteDatabase::open(dbPath, error);
    if (!database)
        return false;
    for (qsizetype row = 0; row < database->count(); ++row)
        out << database->name(row) << u'\t' << database->type(row) << u'\n';
    return true;
}

int CatalogueTool::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // The usage lines as GNU programs write them, which help2man turns into the manual's synopsis.
    const QString usage = u"Usage: orvanta-catalogue build CSV DB\n"
                          u"  or:  orvanta-catalogue check DB\n"
                          u"  or:  orvanta-catalogue list DB\n"
                          u"  or:  orvanta-catalogue export DB\n"_s;
    const QString command = arguments.value(0);
    if (arguments.size() == 1 && (command == u"--help"_s || command == u"-h"_s)) {
        out << usage
            << u"Builds, checks, lists and exports Orvanta's site catalogues (orvd.dll).\n\n"
               u"build compiles a CSV file into a catalogue, atomically: a header row, the columns\n"
               u"sitename, sitetype, data, method, action and referer, and optionally encoding (form,\n"
               u"json, xml or text: how the profile's values are escaped in data), accept (the HTTP\n"
               u"statuses that mean accepted, such as 200,202) and reject (a regular expression whose\n"
               u"match in the answer means rejected); any more columns are kept as they are. An empty\n"
               u"text is written \"\"; data, method and action must not be empty.\n\n"
               u"check reports every broken rule and exits with 1 if there is any.\n\n"
               u"list prints each site's name and type in the order Orvanta lists them.\n\n"
               u"export prints the catalogue as CSV.\n\n"
               u"Options:\n"
               u"  -h, --help     Show this help and exit.\n"
               u"  -v, --version  Show the version and exit.\n"_s;
        return 0;
    }
    if (arguments.size() == 1 && (command == u"--version"_s || command == u"-v"_s)) {
        out << u"orvanta-catalogue "_s << InstalledVersion::firstVersion << u'\n';
        return 0;
    }
    const int expected = command == u"build"_s ? 3 : 2;
    const bool known =
        command == u"build"_s || command == u"check"_s || command == u"list"_s || command == u"export"_s;
    if (!known || arguments.size() != expected) {
        err << usage;
        return 2;
    }

    QString error;
    if (command == u"build"_s) {
        int rows = 0;
        if (!build(arguments.at(1), arguments.at(2), error, &rows)) {
            err << error << u'\n';
            return 1;
        }
        out << u"Built %1 with %2 sites.\n"_s.arg(arguments.at(2)).arg(rows);
        return 0;
    }
    if (command == u"check"_s) {
        QList<Finding> findings;
        int rows = 0;
        if (!check(arguments.at(1), findings, error, &rows)) {
            err << error << u'\n';
            return 1;
        }
        for (const Finding& finding : std::as_const(findings))
            out << finding.toString() << u'\n';
        out << u"%1 sites, %2 problems.\n"_s.arg(rows).arg(findings.size());
        return findings.isEmpty() ? 0 : 1;
    }
    const bool done =
        command == u"list"_s ? list(arguments.at(1), out, error) : exportCsv(arguments.at(1), out, error);
    if (!done) {
        err << error << u'\n';
        return 1;
    }
    return 0;
}
