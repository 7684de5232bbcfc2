// The capture tool's calibration of this machine, as halcyon2-capture
// --profile runs it: the time per fragment of blended, textured full-screen
// quads and per triangle of a batched mesh, in raw OpenGL. Its figures can
// be set beside those of other tools (a GL benchmark, another rasteriser)
// to check the floor the profile reports.
#include <benchmark/benchmark.h>
#include <calibration.h>

#include <cstdlib>
#include <string>

namespace {

void BM_Calibration(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::string error;
    std::unique_ptr<Calibrator> calibrator = Calibrator::Create(int(state.range(0)), int(state.range(1)), error);
    if (!calibrator) {
        state.SkipWithError(error.c_str());
        return;
    }
    // The least disturbed measurement of each, as the tool's own runs take.
    Calibration c{1e30, 1e30};
    for (auto _ : state) c = Better(c, calibrator->Measure());
    state.counters["ns/fragment"] = c.nsPerFragment;
    state.counters["ns/triangle"] = c.nsPerTriangle;
    state.counters["Mfragments/s"] = 1e3 / c.nsPerFragment;
    state.counters["Mtriangles/s"] = 1e3 / c.nsPerTriangle;
}
BENCHMARK(BM_Calibration)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
