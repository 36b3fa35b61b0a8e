#pragma once

#include "Coverage.h"
#include "TimeText.h"

#include <functional>
#include <optional>

class QJsonObject;
class QTextStream;

// A website's coverage as people read it: per site the count of each state, then the pages that
// need a look (refused, left out, removed); or as CSV with a row per page and site, for a
// spreadsheet. The command line and the History page write it alike.
namespace CoverageReport {

// Which rows: one site (its index in the coverage's endpoints) or all, one state or all.
struct Filter
{
    int endpoint = -1;
    std::optional<Coverage::State> state;
};

// What the coverage covers: "https://example.com: 246 pages listed by its sitemaps at the last run
// (2026-12-07T06:23:36Z), and 1 page removed since."; or that no run listed its pages yet.
QString pagesText(const Coverage& coverage, QString (*time)(qint64) = TimeText::written);
// The count line of a site: "4 accepted, 1 refused, 2 left out, 1 removed, 3 never announced".
QString countsText(const Coverage::Counts& counts);

// `names` names the coverage's endpoints, in their order. The CSV's columns: page, site, state,
// reason, last_accepted and google (what URL Inspection said); both CSV writers return the number
// of rows below the header.
void writeText(const Coverage& coverage, const QStringList& names, QTextStream& out);
// `goOn`, when given, hears how many rows are written now and then, and ends the writing (-1 is
// returned) when it says no.
int writeCsv(const Coverage& coverage, const QStringList& names, const Filter& filter, QTextStream& out,
             const std::function<bool(qint64 rows)>& goOn = {});
int writeCsvHeader(QTextStream& out);
// The counts of each site and the pages that need a look, with each reason's stable code, and
// what Google said: as --json gives them.
// `pages` Counts leaves out each site's pages and Google's notes: status gives the counts alone.
enum class JsonPages { Listed, Counts };
QJsonObject json(const Coverage& coverage, const QStringList& names, JsonPages pages = JsonPages::Listed);

} // namespace CoverageReport
