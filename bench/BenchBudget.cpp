#include "BenchBudget.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

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
