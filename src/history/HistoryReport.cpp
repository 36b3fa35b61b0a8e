#include "HistoryReport.h"

#include "CatalogueCsv.h"
#include "HistoryStore.h"

#include <QDateTime>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QString timeText(qint64 msecs)
{
    return msecs == 0 ? QString() : QDateTime::fromMSecsSinceEpoch(msecs).toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

} // namespace

void HistoryReport::write(HistoryStore& store, const QString& profile, int last, Form form, QTextStream& out)
{
    const QList<HistoryStore::RunSummary> runs = store.runs(profile, last);
    if (form == Form::Csv) {
        const auto field = [](const QString& text) {
            return text.isEmpty() ? CatalogueCsv::Field() : CatalogueCsv::Field(text);
        };
        out << CatalogueCsv::formatRecord({u"run"_s, u"started"_s, u"profile"_s, u"front end"_s, u"mode"_s,
                                           u"state"_s, u"position"_s, u"site"_s, u"outcome"_s, u"status"_s,
                                           u"detail"_s, u"pages"_s});
        for (const HistoryStore::RunSummary& run : runs) {
            for (const HistoryStore::ResultRow& row : store.results(run.id)) {
                out << CatalogueCsv::formatRecord(
                    {QString::number(run.id), timeText(run.startedAt), run.profile, run.frontEnd, run.mode,
                     run.state, QString::number(row.position), row.site, row.outcome,
                     field(row.status ? QString::number(row.status) : QString()), field(row.detail),
                     QString::number(row.urlCount)});
            }
        }
        return;
    }
    if (runs.isEmpty())
        out << u"No runs recorded yet.\n"_s;
    for (const HistoryStore::RunSummary& run : runs) {
        out << u"Run %1, %2, \"%3\", %4, %5: %6, %7 succeeded, %8 failed\n"_s.arg(run.id)
                   .arg(timeText(run.startedAt), run.profile, run.frontEnd, run.mode, run.state)
                   .arg(run.succeeded)
                   .arg(run.failed);
        for (const HistoryStore::ResultRow& row : store.results(run.id)) {
            out << u"  %1. %2 %3"_s.arg(row.position).arg(row.outcome.leftJustified(9), row.site);
            QStringList said;
            if (row.status != 0)
                said << u"HTTP %1"_s.arg(row.status);
            if (!row.detail.isEmpty())
                said << row.detail;
            if (row.urlCount > 0)
                said << u"%1 pages"_s.arg(row.urlCount);
            out << (said.isEmpty() ? QString() : u": "_s + said.join(u"; "_s)) << u'\n';
        }
    }
}
