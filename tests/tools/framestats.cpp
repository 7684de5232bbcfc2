// The capture tool's per-part report: each part's floor from its counts and
// the machine's figures, and the worst ratio.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "framestats.h"

namespace {

std::string Printed(const FrameStats& stats) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
    stats.Print(out.get());
    std::rewind(out.get());
    std::string text;
    for (int c; (c = std::fgetc(out.get())) != EOF;) text += char(c);
    return text;
}

// Ten frames of the given seconds, each with its triangles counted.
void AddFrames(FrameStats& stats, int part, double seconds, double triangles) {
    FrameCounts counts;
    counts.triangles = triangles;
    for (int i = 0; i < 10; ++i) {
        stats.Add(part, seconds);
        stats.AddCounts(part, counts);
    }
}

}  // namespace

// Part 1: 1e6 shaded fragments at 2 ns and 1000 triangles at 50 ns make a
// 2.05 ms floor under its 4.1 ms frames. Part 2's frames were the capture's
// last: their fragment counts never came in, so it has no floor, and its
// triangles alone must not pass for one.
TEST(FrameStats, FloorFromFragmentsAndTrianglesAndNoneWithoutFragmentCounts) {
    FrameStats stats;
    const Calibration machine{2.0, 50.0, true};
    AddFrames(stats, 1, 0.0041, 1000);
    for (int i = 0; i < 10; ++i) stats.AddFragments(1, 6.0e5, 1.0e6);
    AddFrames(stats, 2, 0.0050, 1000);
    stats.SetCalibration(1, machine);
    stats.SetCalibration(2, machine);

    const std::string report = Printed(stats);
    EXPECT_NE(report.find("   1      10     4.10    4.10      2.05    2.0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("   2      10     5.00    5.00      0.00      -\n"), std::string::npos) << report;
    EXPECT_NE(report.find("worst ratio: 2.0 (part 1)\n"), std::string::npos) << report;
}
