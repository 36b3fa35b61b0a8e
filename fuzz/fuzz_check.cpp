// The catalogue tool's check, and opening a catalogue at start-up, on arbitrary file contents:
// every site listed is read back under its own name, in the order asked.
#include "CatalogueTool.h"
#include "SiteDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <numeric>

namespace {
QTemporaryDir* scratch = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv); // the SQL driver is a plugin: it needs one
    scratch = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratch->filePath(QStringLiteral("orvd.dll"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QList<CatalogueTool::Finding> findings;
    QString error;
    int rows = 0;
    CatalogueTool::check(path, findings, error, &rows);
    if (const auto database = SiteDatabase::open(path, error)) {
        QList<qsizetype> rows(database->count());
        std::iota(rows.begin(), rows.end(), qsizetype(0));
        qsizetype next = 0;
        database->readSites(rows, [&](const PromoSite& site) {
            if (site.sitename != database->name(next++))
                std::abort();
        });
        if (next != rows.size())
            std::abort();
        // A damaged file may hold a site without a name (NULL): it is still found under it.
        if (database->count() && database->site(database->name(0)).sitename != database->name(0))
            std::abort();
    }
    return 0;
}
