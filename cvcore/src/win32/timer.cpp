#include "cvcore/timer.h"

#include <windows.h>

namespace cvcore {

Timer::Timer() {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    frequency_ = v.QuadPart;
    QueryPerformanceCounter(&v);
    start_ = v.QuadPart;
}

void Timer::Reset() {
    LARGE_INTEGER v;
    QueryPerformanceCounter(&v);
    start_ = v.QuadPart;
}

long double Timer::Elapsed() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<long double>(now.QuadPart - start_) / static_cast<long double>(frequency_);
}

}  // namespace cvcore
