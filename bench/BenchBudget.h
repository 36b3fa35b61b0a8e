#pragma once

#include <functional>

// A benchmark's figures against their floors and budgets, a line each, and whether all were met.
namespace BenchBudget {

// `value` over `floor` (or `value` itself when there is no floor) against the budget.
void report(const char* what, double value, double floor, double budget, const char* unit = "x the floor");
bool allMet();
// The fastest of `rounds` runs of the work, in milliseconds.
double bestOfMs(int rounds, const std::function<void()>& work);

} // namespace BenchBudget
