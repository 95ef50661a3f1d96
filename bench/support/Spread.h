#pragma once

#include <vector>

// What every benchmark reports of its runs: the fastest, the median, the slowest.
struct Spread
{
    double min = 0;
    double median = 0;
    double max = 0;
};
Spread spreadOf(std::vector<double> values);
