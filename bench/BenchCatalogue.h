#pragma once

#include <QString>
#include <QStringList>

// A generated catalogue for the benchmarks, and the floors they are measured against.
namespace BenchCatalogue {

// The catalogue's CSV form: half engines, half lists, names scrambled so the sort has work to do.
void writeCsv(const QString& path, int rows);
// The catalogue itself, built from that CSV by the catalogue tool.
void generate(const QString& path, int rows);

// The floor: a query read row by row through SQLite's C API, each value as what it is (an
// integer as an integer, text as text), with no program code around it; best of three.
double floorSeconds(const QString& path, const char* query);
// The columns the program reads at start-up, in the order it reads them.
inline constexpr const char* startupQuery = "SELECT rowid, sitename, sitetype FROM promosites";

// The columns a request is composed of, every row in the table's own order: the fastest way to
// read them, one pass over the file, each page read once.
inline constexpr const char* tableOrderQuery = "SELECT sitename, data, method, action FROM promosites";

int rowsArgument(const QStringList& arguments, int defaultRows);
// The process's peak resident memory so far (VmHWM), in KiB.
qint64 peakResidentKiB();

} // namespace BenchCatalogue
