#pragma once
// The shared virtual clock (not a Win32 call). While it is switched on, both
// QueryPerformanceCounter and the sound stand-in's stream position follow it
// instead of real time, and it moves only when told to. A capture tool uses it
// to play the show frame by frame at a fixed rate.
#include <cstdint>

// Switching on keeps the virtual clock's current value (0 at start-up).
void VirtualClockEnable(bool on);
bool VirtualClockEnabled();
// Moves the clock forward; negative steps are ignored (time never runs back).
void VirtualClockAdvance(int64_t nanoseconds);
// Sets the clock to an absolute value, if that is not earlier than now.
void VirtualClockSet(int64_t nanoseconds);
int64_t VirtualClockNow();  // nanoseconds
