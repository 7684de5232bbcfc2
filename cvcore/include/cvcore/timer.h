#pragma once
#include <cstdint>

namespace cvcore {

// Seconds since the last Reset on the high-resolution counter.
class Timer {
public:
    Timer();
    void Reset();
    long double Elapsed() const;

private:
    int64_t frequency_;
    int64_t start_;
};

}  // namespace cvcore
