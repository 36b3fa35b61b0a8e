#pragma once

#include <QString>

#include <ctime>

class PageList;

// Processor time, as the benchmarks that wait on the network compare it: theirs against that of
// curl doing the same fetches.
namespace BenchCpu {

// This process's user and system time so far, in milliseconds.
double processMs();
// That of the children waited for so far.
double childrenMs();
// That of one thread (the site farm's, which the process's own time includes).
double threadMs(clockid_t clock);
// The calling thread's clock, for threadMs.
clockid_t currentThreadClock();

struct Spent
{
    double wallMs = 0;
    double cpuMs = 0;
};

// curl fetching every page of the list, `atATime` at a time, the bodies piped to `sink` (a shell
// command: "cat >/dev/null", "sha256sum >/dev/null"): the fastest of three rounds, wall and CPU
// (curl's and the sink's) each.
Spent curlFetch(const PageList& pages, int atATime, const QString& sink);

} // namespace BenchCpu
