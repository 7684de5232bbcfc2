#pragma once
#include <vector>

namespace content {

// The show's music, written to its clock: 163.5 s of 44.1 kHz stereo whose
// hits land on the flash times and whose sections change where the parts do.
struct Soundtrack {
    std::vector<float> left, right;
};

constexpr double SOUNDTRACK_SECONDS = 163.5;

Soundtrack ComposeSoundtrack();

}  // namespace content
