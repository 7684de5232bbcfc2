#include "virtualclock.h"

#include <atomic>

namespace {

// Read from the audio thread as well as the main thread.
std::atomic<bool> gEnabled{false};
std::atomic<int64_t> gNow{0};

}  // namespace

void VirtualClockEnable(bool on) { gEnabled = on; }
bool VirtualClockEnabled() { return gEnabled; }

void VirtualClockAdvance(int64_t nanoseconds) {
    if (nanoseconds > 0) gNow += nanoseconds;
}

void VirtualClockSet(int64_t nanoseconds) {
    int64_t current = gNow.load();
    while (nanoseconds > current && !gNow.compare_exchange_weak(current, nanoseconds)) {
    }
}

int64_t VirtualClockNow() { return gNow; }
