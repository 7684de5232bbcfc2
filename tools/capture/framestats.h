#pragma once
#include <cstdio>
#include <vector>

// Wall-clock frame times per show part: mean and 99th percentile.
class FrameStats {
public:
    void Add(int part, double seconds);
    void Print(std::FILE* out) const;

private:
    std::vector<std::vector<double>> times_ = std::vector<std::vector<double>>(7);
};
