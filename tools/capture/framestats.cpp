#include "framestats.h"

#include <algorithm>
#include <numeric>

void FrameStats::Add(int part, double seconds) {
    if (part >= 1 && part <= 6) times_[part].push_back(seconds);
}

void FrameStats::Print(std::FILE* out) const {
    std::fprintf(out, "part  frames  mean ms  p99 ms\n");
    for (int part = 1; part <= 6; ++part) {
        std::vector<double> t = times_[part];
        if (t.empty()) continue;
        std::sort(t.begin(), t.end());
        const double mean = std::accumulate(t.begin(), t.end(), 0.0) / static_cast<double>(t.size());
        const double p99 = t[std::min(t.size() - 1, static_cast<size_t>(static_cast<double>(t.size()) * 0.99))];
        std::fprintf(out, "%4d  %6zu  %7.2f  %6.2f\n", part, t.size(), mean * 1000.0, p99 * 1000.0);
    }
}
