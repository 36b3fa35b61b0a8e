#pragma once

#include "RunJournal.h"

#include <QString>

class QJsonObject;
class QTextStream;

// The journal as the command line and its files show it: the runs, newest first, each with its
// requests' outcomes, as text, or as CSV with a row per request and the run's columns beside it,
// for a spreadsheet; times in UTC (TimeText::written). The History page's export writes it alike.
namespace HistoryReport {

struct Selection
{
    QString profile; // empty: every profile
    int last = -1;   // the newest runs only; negative: every run
    qint64 run = 0;  // this run only; 0: as the two above say
    bool failuresOnly = false;
};

// "3 succeeded, 1 failed", or for a baseline, which sent nothing, "nothing sent".
QString outcomeText(const RunJournal::RunSummary& run);
// A run's summary and, in json(), the runs with their requests, as --json gives them.
QJsonObject runJson(const RunJournal::RunSummary& run);
QJsonObject json(RunJournal& journal, const Selection& selection);

void writeText(RunJournal& journal, const Selection& selection, QTextStream& out);
// Fields a spreadsheet would take for a formula are written as text. Both return the number of
// rows written below the header.
int writeCsv(RunJournal& journal, const Selection& selection, QTextStream& out);
int writeCsvHeader(QTextStream& out);

} // namespace HistoryReport
