#pragma once

#include "RunPlan.h"

#include <QList>

class QIODevice;
class SiteDatabase;
struct Profile;
struct WorkItem;

// What a run would send, site by site, composed by the very code that sends it: the method,
// the exact target, content type and body, how the answer is read, and what looks wrong (a
// value the profile lacks, placeholders whose profile field is empty, bracketed words that are
// not placeholders). Written as it is composed, with the sites' rows
// read in batches, so a preview of any size takes little memory.
namespace RequestPreview {

// Written to `out` as UTF-8, a site at a time.
// The sites are list rows of the catalogue, as the selection holds them.
void write(SiteDatabase& catalogue, const QList<qsizetype>& sites, const Profile& profile, QIODevice& out);
// The same for requests made beforehand, such as batches of changed pages, numbered from `first`.
void writeItems(SiteDatabase& catalogue, const QList<WorkItem>& items, const Profile& profile, QIODevice& out,
                int first = 1);
// The pages a check left out, each with why, and those announced as removed, after the requests.
void writePageNotes(const RunPlan& plan, QIODevice& out);

} // namespace RequestPreview
