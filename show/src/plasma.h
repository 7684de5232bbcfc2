#pragma once
#include <cstdint>

// A 256 x 256 byte plasma built from a 64-level sine table with byte
// arithmetic only, so every index wraps for free. The wobbler and the light
// floor use the same field with slightly different drift steps.
class Plasma {
public:
    Plasma();

    // columnStep: how much the middle term falls per column (5 or 6);
    // rowStep: how much the first phase falls per row (5 or 6).
    void Compute(float time, int columnStep = 5, int rowStep = 5);

    uint8_t At(int row, int column) const { return field_[row & 255][column & 255]; }
    const uint8_t* Row(int row) const { return field_[row & 255]; }
    uint8_t Sine(int index) const { return sine_[index & 255]; }

private:
    uint8_t sine_[256];
    uint8_t field_[256][256];
};
