#pragma once

#include <QString>

class HistoryStore;
class QTextStream;

// The history as the command line shows it: the runs, newest first, each with its requests'
// outcomes; or the same as CSV, a row per request, for a spreadsheet.
namespace HistoryReport {

enum class Form { Text, Csv };

// An empty profile means every profile; a negative count every run.
void write(HistoryStore& store, const QString& profile, int last, Form form, QTextStream& out);

} // namespace HistoryReport
