#pragma once

#include <QString>

class QProgressBar;

namespace ProgressBars {

// Shows how far a piece of work is, its text whole with the locale's separators ("Checking the
// pages: 3,068 of 1,000,000, about 2 min left") as the bar shows it and as a screen reader reads
// it; a busy bar with "…" while the total is not known (0).
void show(QProgressBar& bar, const QString& what, qint64 done, qint64 total, const QString& more = {});

} // namespace ProgressBars
