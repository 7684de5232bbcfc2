#include "plasma.h"

#include <cmath>

Plasma::Plasma() : field_{} {
    for (int j = 0; j < 256; ++j)
        sine_[j] = static_cast<uint8_t>(static_cast<int>((std::sin(2.0 * 3.14159265358979 * j / 256.0) + 1.0) * 31.5));
}

void Plasma::Compute(float time, int columnStep, int rowStep) {
    auto phase = [time](float speed) { return static_cast<uint8_t>(static_cast<int>(time * speed * 128.0f)); };
    uint8_t I = phase(0.74f), J = phase(0.7f);
    const uint8_t C = phase(0.83f), M = phase(0.8f);
    for (int r = 0; r < 256; ++r) {
        const uint8_t b = sine_[static_cast<uint8_t>(r + J)];
        uint8_t l = static_cast<uint8_t>(sine_[I] + sine_[J] + I);
        uint8_t m = static_cast<uint8_t>(b + M);
        uint8_t c = static_cast<uint8_t>(b + C);
        uint8_t* out = field_[r];
        for (int n = 0; n < 256; ++n) {
            out[n] = static_cast<uint8_t>(2 * sine_[l] + sine_[m] + sine_[c]);
            l = static_cast<uint8_t>(l + 1);
            m = static_cast<uint8_t>(m - columnStep);
            c = static_cast<uint8_t>(c + 4);
        }
        I = static_cast<uint8_t>(I - rowStep);
        J = static_cast<uint8_t>(J + 4);
    }
}
