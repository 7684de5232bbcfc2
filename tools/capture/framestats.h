#pragma once
#include <cstdio>
#include <optional>
#include <vector>

#include "calibration.h"

// What one frame asked of the renderer (fragments are counted apart: they
// arrive a frame or two after the frame itself).
struct FrameCounts {
    double triangles = 0, draws = 0, glDraws = 0, programBinds = 0, textureBinds = 0, bytesUploaded = 0;
};

// Wall-clock frame times per show part: mean and 99th percentile; with a
// calibration, also each part's floor (the least time its work can take on
// this machine) and how far the mean is above it.
class FrameStats {
public:
    void Add(int part, double seconds);
    void AddCounts(int part, const FrameCounts& counts);
    // Fragments that passed, and those shaded when the driver counts them.
    void AddFragments(int part, double passed, std::optional<double> shaded);
    // The machine's figures for the floor of one part's frames.
    void SetCalibration(int part, const Calibration& calibration);
    void Print(std::FILE* out) const;
    // Mean work per frame of each part.
    void PrintCounts(std::FILE* out) const;

private:
    struct Part {
        std::vector<double> times;
        FrameCounts counts;  // sums
        int countedFrames = 0;
        double passed = 0, shaded = 0;
        int fragmentFrames = 0, shadedFrames = 0;
        std::optional<Calibration> calibration;
    };
    static double MeanPassed(const Part& p);
    // What the floor counts: shaded fragments when both the frames and the
    // calibration count them so, else fragments that passed.
    double FloorFragments(const Part& p) const;
    double Mean(const Part& p, double FrameCounts::*field) const;
    double FloorSeconds(const Part& p) const;

    std::vector<Part> parts_ = std::vector<Part>(7);
};
