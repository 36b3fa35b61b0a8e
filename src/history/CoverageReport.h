#pragma once

#include "Coverage.h"

#include <optional>

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
QString pagesText(const Coverage& coverage);
// The count line of a site: "4 accepted, 1 refused, 2 left out, 1 removed, 3 never announced".
QString countsText(const Coverage::Counts& counts);
// When the page was last accepted, in UTC, as CSV and the page show it; empty for never.
QString acceptedText(qint64 msecs);

// `names` names the coverage's endpoints, in their order. The CSV's columns: page, site, state,
// reason, last_accepted and google (what URL Inspection said); both CSV writers return the number
// of rows below the header.
void writeText(const Coverage& coverage, const QStringList& names, QTextStream& out);
int writeCsv(const Coverage& coverage, const QStringList& names, const Filter& filter, QTextStream& out);
int writeCsvHeader(QTextStream& out);

} // namespace CoverageReport
