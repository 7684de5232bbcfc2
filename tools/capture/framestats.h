#pragma once
#include <cstdio>
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
    void AddFragments(int part, double fragments);
    void SetCalibration(const Calibration& calibration);
    void Print(std::FILE* out) const;
    // Mean work per frame of each part.
    void PrintCounts(std::FILE* out) const;

private:
    struct Part {
        std::vector<double> times;
        FrameCounts counts;  // sums
        int countedFrames = 0;
        double fragments = 0;
        int fragmentFrames = 0;
    };
    double MeanFragments(const Part& p) const;
    double Mean(const Part& p, double FrameCounts::*field) const;
    double FloorSeconds(const Part& p) const;

    std::vector<Part> parts_ = std::vector<Part>(7);
    Calibration calibration_;
    bool calibrated_ = false;
};
