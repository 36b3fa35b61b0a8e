// The catalogue tool's check, and opening a catalogue at start-up, on arbitrary file contents.
#include "CatalogueTool.h"
#include "SiteDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

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
        // Scan first, then look each name up: a lookup moves the one cursor, and in a broken
        // file two rows may share a name.
        QStringList names;
        for (database->moveFirst(); !database->atEnd(); database->moveNext())
            names << database->field(QStringLiteral("sitename"));
        for (const QString& name : std::as_const(names)) {
            database->findFirst(name);
            database->field(QStringLiteral("data"));
        }
    }
    return 0;
}
