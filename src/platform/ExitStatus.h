#pragma once

// What every command of the program exits with, written down once.
namespace ExitStatus {

// Everything was done as asked (a page an engine has not indexed is an answer, not a failure).
constexpr int success = 0;
// It ran, but something failed: a site refused or could not be reached, a record not written.
constexpr int failure = 1;
// It could not run as asked: a usage error, an unknown profile or site, a file it cannot use.
constexpr int badUsage = 2;
// Nothing failed, but some of the work was put off: pages the check did not come to, an engine
// that asked to be asked again later (429 with Retry-After), Google's quota for the day.
constexpr int deferred = 3;

} // namespace ExitStatus
