#pragma once
#include "music/instruments.h"

namespace content {

// A plate-like stereo reverb: eight damped comb filters and four all-passes
// per side, the right side slightly longer for width.
void ApplyReverb(const Bus& in, Bus& out, double room, double damp, double wet);
// A ping-pong echo with a darkening feedback path.
void ApplyDelay(const Bus& in, Bus& out, double seconds, double feedback, double wet);
// Sum of the buses, peak limiting with a soft knee, then the closing fade.
void Master(const Mix& m, const Bus& reverb, const Bus& delay, double fadeFrom, double fadeTo, std::vector<float>& left,
            std::vector<float>& right);

}  // namespace content
