#include "BenchBudget.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
bool everyBudgetMet = true;
}

void BenchBudget::report(const char* what, double value, double floor, double budget, const char* unit)
{
    const double ratio = floor > 0 ? value / floor : value;
    const bool met = ratio <= budget;
    everyBudgetMet = everyBudgetMet && met;
    std::printf("%-30s %10.1f  floor %10.1f  %6.2f %s (budget %.2f)  %s\n", what, value, floor, ratio, unit,
                budget, met ? "met" : "MISSED");
    std::fflush(stdout);
}

bool BenchBudget::allMet()
{
    return everyBudgetMet;
}

double BenchBudget::bestOfMs(int rounds, const std::function<void()>& work)
{
    double best = 1e18;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

namespace {
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}
} // namespace

BenchBudget::Paired BenchBudget::paired(int rounds, const std::function<void()>& work,
                                        const std::function<void()>& floor)
{
    std::vector<double> works, floors, ratios;
    for (int round = 0; round < rounds; ++round) {
        floors.push_back(bestOfMs(1, floor));
        works.push_back(bestOfMs(1, work));
        ratios.push_back(works.back() / floors.back());
    }
    return {median(works), median(floors), median(ratios), *std::min_element(ratios.begin(), ratios.end())};
}

void BenchBudget::report(const char* what, const Paired& times, double budget)
{
    const bool met = times.ratio <= budget;
    everyBudgetMet = everyBudgetMet && met;
    std::printf(
        "%-30s %10.1f  floor %10.1f  %6.2f x the floor, paired median (lowest %.2f; budget %.2f)  %s\n", what,
        times.ms, times.floorMs, times.ratio, times.lowestRatio, budget, met ? "met" : "MISSED");
    std::fflush(stdout);
}
