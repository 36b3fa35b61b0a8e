#include "HistoryReport.h"

#include "Csv.h"
#include "JsonOutput.h"
#include "RunJournal.h"
#include "TimeText.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QList<RunJournal::RunSummary> runsOf(RunJournal& journal, const HistoryReport::Selection& selection)
{
    QList<RunJournal::RunSummary> runs = journal.runs(selection.profile, selection.last);
    if (selection.run != 0)
        runs.removeIf([&](const RunJournal::RunSummary& run) { return run.id != selection.run; });
    return runs;
}

} // namespace

QString HistoryReport::outcomeText(const RunJournal::RunSummary& run)
{
    // A baseline recorded pages as announced; a run that failed first or found nothing sent nothing.
    if (run.mode == u"baseline"_s || run.requests == 0)
        return u"nothing sent"_s;
    return u"%1 succeeded, %2 failed"_s.arg(run.succeeded).arg(run.failed);
}

int HistoryReport::writeCsvHeader(QTextStream& out)
{
    out << Csv::formatRecord({u"run"_s, u"started"_s, u"profile"_s, u"front end"_s, u"mode"_s, u"state"_s,
                              u"position"_s, u"site"_s, u"outcome"_s, u"status"_s, u"detail"_s, u"pages"_s});
    return 0;
}

int HistoryReport::writeCsv(RunJournal& journal, const Selection& selection, QTextStream& out)
{
    const auto field = [](const QString& text) {
        return text.isEmpty() ? Csv::Field() : Csv::Field(Csv::spreadsheetText(text));
    };
    writeCsvHeader(out);
    int rows = 0;
    for (const RunJournal::RunSummary& run : runsOf(journal, selection)) {
        QList<RunJournal::ResultRow> results = journal.results(run.id, selection.failuresOnly);
        // A run that sent nothing is a row of its own, saying why.
        if (run.requests == 0 && !run.note.isEmpty() && (!selection.failuresOnly || run.state == u"failed"_s))
            results.append({0, QString(), run.state, 0, run.note, 0});
        for (const RunJournal::ResultRow& row : std::as_const(results)) {
            ++rows;
            out << Csv::formatRecord(
                {QString::number(run.id), TimeText::written(run.startedAt), field(run.profile), run.frontEnd,
                 run.mode, run.state, row.position ? Csv::Field(QString::number(row.position)) : Csv::Field(),
                 field(row.site), row.outcome, field(row.status ? QString::number(row.status) : QString()),
                 field(row.detail), QString::number(row.pageCount)});
        }
    }
    return rows;
}

void HistoryReport::writeText(RunJournal& journal, const Selection& selection, QTextStream& out)
{
    const QList<RunJournal::RunSummary> runs = runsOf(journal, selection);
    if (runs.isEmpty()) {
        out << (selection.profile.isEmpty()
                    ? u"No runs recorded yet.\n"_s
                    : u"No runs recorded for the profile \"%1\".\n"_s.arg(selection.profile));
        return;
    }
    for (const RunJournal::RunSummary& run : runs) {
        out << u"Run %1, %2, \"%3\", %4, %5: %6, %7\n"_s.arg(run.id).arg(TimeText::written(run.startedAt),
                                                                         run.profile, run.frontEnd, run.mode,
                                                                         run.state, outcomeText(run));
        if (!run.note.isEmpty())
            out << u"  "_s << run.note << u'\n';
        for (const RunJournal::ResultRow& row : journal.results(run.id, selection.failuresOnly)) {
            out << u"  %1. %2 %3"_s.arg(row.position).arg(row.outcome.leftJustified(9), row.site);
            QStringList said;
            if (row.status != 0)
                said << u"HTTP %1"_s.arg(row.status);
            if (!row.detail.isEmpty())
                said << row.detail;
            out << (said.isEmpty() ? QString() : u": "_s + said.join(u"; "_s)) << u'\n';
        }
    }
}

QJsonObject HistoryReport::runJson(const RunJournal::RunSummary& run)
{
    return {{u"id"_s, double(run.id)},
            {u"started_at"_s, JsonOutput::moment(run.startedAt)},
            {u"ended_at"_s, JsonOutput::moment(run.endedAt)},
            {u"profile"_s, run.profile},
            {u"front_end"_s, run.frontEnd},
            {u"mode"_s, run.mode},
            {u"state"_s, run.state},
            {u"requests"_s, run.requests},
            {u"succeeded"_s, run.succeeded},
            {u"failed"_s, run.failed},
            {u"note"_s, run.note.isEmpty() ? QJsonValue() : QJsonValue(run.note)}};
}

QJsonObject HistoryReport::json(RunJournal& journal, const Selection& selection)
{
    QJsonArray runs;
    for (const RunJournal::RunSummary& run : runsOf(journal, selection)) {
        QJsonArray results;
        for (const RunJournal::ResultRow& row : journal.results(run.id, selection.failuresOnly))
            results << QJsonObject{{u"position"_s, row.position},
                                   {u"site"_s, row.site},
                                   {u"outcome"_s, row.outcome},
                                   {u"status"_s, row.status == 0 ? QJsonValue() : QJsonValue(row.status)},
                                   {u"detail"_s, row.detail},
                                   {u"pages"_s, row.pageCount}};
        QJsonObject object = runJson(run);
        object.insert(u"results"_s, results);
        runs << object;
    }
    return {{u"runs"_s, runs}};
}
