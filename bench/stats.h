#pragma once
// Figures the benchmarks print about their samples.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The sample at fraction `p` (0.5: median) of the sorted samples, nearest
// rank; 0 when there are none.
inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

} // namespace bench
