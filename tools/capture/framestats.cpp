#include "framestats.h"

#include <algorithm>
#include <numeric>

namespace {

bool ValidPart(int part) { return part >= 1 && part <= 6; }

}  // namespace

void FrameStats::Add(int part, double seconds) {
    if (ValidPart(part)) parts_[part].times.push_back(seconds);
}

void FrameStats::AddCounts(int part, const FrameCounts& c) {
    if (!ValidPart(part)) return;
    Part& p = parts_[part];
    p.counts.triangles += c.triangles;
    p.counts.draws += c.draws;
    p.counts.glDraws += c.glDraws;
    p.counts.programBinds += c.programBinds;
    p.counts.textureBinds += c.textureBinds;
    p.counts.bytesUploaded += c.bytesUploaded;
    ++p.countedFrames;
}

void FrameStats::AddFragments(int part, double passed, std::optional<double> shaded) {
    if (!ValidPart(part)) return;
    Part& p = parts_[part];
    p.passed += passed;
    ++p.fragmentFrames;
    if (shaded) {
        p.shaded += *shaded;
        ++p.shadedFrames;
    }
}

void FrameStats::SetCalibration(int part, const Calibration& calibration) {
    if (ValidPart(part)) parts_[part].calibration = calibration;
}

double FrameStats::MeanPassed(const Part& p) { return p.fragmentFrames ? p.passed / p.fragmentFrames : 0.0; }

double FrameStats::FloorFragments(const Part& p) const {
    if (p.calibration && p.calibration->shaded && p.shadedFrames) return p.shaded / p.shadedFrames;
    return MeanPassed(p);
}

double FrameStats::Mean(const Part& p, double FrameCounts::*field) const {
    return p.countedFrames ? p.counts.*field / p.countedFrames : 0.0;
}

// The mean of the frames' floors is the floor of the mean frame. A part
// none of whose fragment counts came in (its frames were the capture's last,
// whose queries were still running when the show ended) has no floor: its
// triangles alone would make one far too low.
double FrameStats::FloorSeconds(const Part& p) const {
    if (!p.calibration || !p.fragmentFrames) return 0.0;
    return (FloorFragments(p) * p.calibration->nsPerFragment +
            Mean(p, &FrameCounts::triangles) * p.calibration->nsPerTriangle) *
           1e-9;
}

void FrameStats::Print(std::FILE* out) const {
    const bool calibrated =
        std::any_of(parts_.begin(), parts_.end(), [](const Part& p) { return p.calibration.has_value(); });
    std::fprintf(out,
                 calibrated ? "part  frames  mean ms  p99 ms  floor ms  ratio\n" : "part  frames  mean ms  p99 ms\n");
    double worst = 0;
    int worstPart = 0;
    for (int part = 1; part <= 6; ++part) {
        std::vector<double> t = parts_[part].times;
        if (t.empty()) continue;
        std::sort(t.begin(), t.end());
        const double mean = std::accumulate(t.begin(), t.end(), 0.0) / static_cast<double>(t.size());
        const double p99 = t[std::min(t.size() - 1, static_cast<size_t>(static_cast<double>(t.size()) * 0.99))];
        std::fprintf(out, "%4d  %6zu  %7.2f  %6.2f", part, t.size(), mean * 1000.0, p99 * 1000.0);
        if (calibrated) {
            // A part that asks for no work at all, or that no measurement of the
            // machine covers, has no floor to compare with.
            const double floor = FloorSeconds(parts_[part]);
            if (floor > 0) {
                const double ratio = mean / floor;
                std::fprintf(out, "  %8.2f  %5.1f", floor * 1000.0, ratio);
                if (ratio > worst) worst = ratio, worstPart = part;
            } else {
                std::fprintf(out, "  %8.2f  %5s", 0.0, "-");
            }
        }
        std::fputc('\n', out);
    }
    if (calibrated && worstPart) std::fprintf(out, "worst ratio: %.1f (part %d)\n", worst, worstPart);
}

void FrameStats::PrintCounts(std::FILE* out) const {
    std::fprintf(out,
                 "part  fragments     shaded  triangles   draws  gl draws  program binds  texture binds  "
                 "KB uploaded\n");
    for (int part = 1; part <= 6; ++part) {
        const Part& p = parts_[part];
        if (!p.countedFrames) continue;
        std::fprintf(out, "%4d  %9.0f  ", part, MeanPassed(p));
        if (p.shadedFrames)
            std::fprintf(out, "%9.0f", p.shaded / p.shadedFrames);
        else
            std::fprintf(out, "%9s", "-");
        std::fprintf(out, "  %9.0f  %6.1f  %8.1f  %13.1f  %13.1f  %11.1f\n", Mean(p, &FrameCounts::triangles),
                     Mean(p, &FrameCounts::draws), Mean(p, &FrameCounts::glDraws), Mean(p, &FrameCounts::programBinds),
                     Mean(p, &FrameCounts::textureBinds), Mean(p, &FrameCounts::bytesUploaded) / 1024.0);
    }
}
