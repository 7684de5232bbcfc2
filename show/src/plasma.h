#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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
    // The sine read along a row at a fixed byte stride, laid out so that any
    // row's 256 samples are one contiguous run (see plasma.cpp).
    class Stride {
    public:
        void Build(const uint8_t sine[256], int step);
        const uint8_t* Run(uint8_t first) const {
            return runs_.data() + static_cast<size_t>(first & lowMask_) * length_ + start_[first];
        }

    private:
        std::vector<uint8_t> runs_;
        uint8_t start_[256] = {};
        int lowMask_ = 0;
        size_t length_ = 0;
    };

    uint8_t sine_[256];
    uint8_t field_[256][256];
    Stride ones_, fours_, falling_;
    std::optional<int> fallingStep_;  // the column step falling_ was built for
};
