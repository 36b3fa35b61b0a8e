#pragma once

#include <QtGlobal>

// The process's resident memory, as Linux keeps count of it.
namespace BenchMemory {

// A field of /proc/self/status in KiB: "VmRSS:" (now) or "VmHWM:" (the peak so far); -1 when
// it cannot be read.
qint64 residentKiB(const char* field);
// The same of another process of ours (a program the benchmark started).
qint64 residentKiB(qint64 pid, const char* field);
// The peak becomes what is resident now, so a later peak belongs to the work since.
void resetPeak();

} // namespace BenchMemory
