#pragma once

#include <functional>

// A benchmark's figures against their floors and budgets, a line each, and whether all were met.
namespace BenchBudget {

// `value` over `floor` (or `value` itself when there is no floor) against the budget.
void report(const char* what, double value, double floor, double budget, const char* unit = "x the floor");
bool allMet();
// The fastest of `rounds` runs of the work, in milliseconds.
double bestOfMs(int rounds, const std::function<void()>& work);

// The work and its floor run in turn, `rounds` times. Each ratio is one pair's, so that a drift
// in the machine's speed moves both sides of it; the medians are given, and the lowest ratio.
struct Paired
{
    double ms;
    double floorMs;
    double ratio;
    double lowestRatio;
};
Paired paired(int rounds, const std::function<void()>& work, const std::function<void()>& floor);
void report(const char* what, const Paired& times, double budget);

} // namespace BenchBudget
