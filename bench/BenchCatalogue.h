#pragma once

#include <QString>
#include <QStringList>

// A generated catalogue for the benchmarks, and the floor they are measured against.
namespace BenchCatalogue {

// Half engines, half lists, names scrambled so the sort has real work to do.
void generate(const QString& path, int rows);

// A bare scan of every column in name order, with no program code around it.
double bareScanSeconds(const QString& path);

int rowsArgument(const QStringList& arguments, int defaultRows);

} // namespace BenchCatalogue
