#pragma once

// The p-th percentile (0 to 1) of samples, the nearest rank below; 0 for none.

#include <algorithm>
#include <cstddef>
#include <vector>

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}
