#pragma once

// The show's random source: a 15-bit generator (0..32767) with one
// process-wide state, like the C runtime the effects were tuned against, so
// the smoke and the ray factors have the same spread and every run of the
// show is the same.
constexpr int SHOW_RAND_MAX = 32767;
int ShowRandom();
void ShowRandomSeed(unsigned seed);
