#include "plasma.h"

#include <cmath>

Plasma::Plasma() : sine_{}, field_{} {
    for (int j = 0; j < 256; ++j)
        sine_[j] = static_cast<uint8_t>(static_cast<int>((std::sin(2.0 * 3.14159265358979 * j / 256.0) + 1.0) * 31.5));
    ones_.Build(sine_, 1);
    fours_.Build(sine_, 4);
}

// A row reads sine[first + step * n] for n = 0..255, all mod 256. With
// step = 2^k * odd, the indices sharing first's low k bits form one cycle of
// length 256 >> k, which the step walks in a fixed order; every row is that
// cycle entered at some point. runs_[low] holds the cycle from its start,
// long enough to read 256 samples from any entry, and start_[first] is where
// first sits in it. A row then costs three contiguous reads instead of
// 768 table look-ups.
void Plasma::Stride::Build(const uint8_t sine[256], int step) {
    int k = 0;
    while (k < 8 && ((step >> k) & 1) == 0) ++k;
    lowMask_ = (1 << k) - 1;
    const int period = 256 >> k;
    length_ = static_cast<size_t>(period + 256);
    runs_.assign(static_cast<size_t>(lowMask_ + 1) * length_, 0);
    for (int low = 0; low <= lowMask_; ++low) {
        uint8_t* run = runs_.data() + static_cast<size_t>(low) * length_;
        for (int x = 0; x < period + 256; ++x) run[x] = sine[(low + step * x) & 255];
        for (int x = 0; x < period; ++x) start_[(low + step * x) & 255] = static_cast<uint8_t>(x);
    }
}

void Plasma::Compute(float time, int columnStep, int rowStep) {
    if (columnStep != fallingStep_) {
        falling_.Build(sine_, -columnStep);
        fallingStep_ = columnStep;
    }
    auto phase = [time](float speed) { return static_cast<uint8_t>(static_cast<int>(time * speed * 128.0f)); };
    uint8_t I = phase(0.74f), J = phase(0.7f);
    const uint8_t C = phase(0.83f), M = phase(0.8f);
    for (int r = 0; r < 256; ++r) {
        const uint8_t b = sine_[static_cast<uint8_t>(r + J)];
        const uint8_t* l = ones_.Run(static_cast<uint8_t>(sine_[I] + sine_[J] + I));
        const uint8_t* m = falling_.Run(static_cast<uint8_t>(b + M));
        const uint8_t* c = fours_.Run(static_cast<uint8_t>(b + C));
        uint8_t* out = field_[r];
        for (int n = 0; n < 256; ++n) out[n] = static_cast<uint8_t>(2 * l[n] + m[n] + c[n]);
        I = static_cast<uint8_t>(I - rowStep);
        J = static_cast<uint8_t>(J + 4);
    }
}
