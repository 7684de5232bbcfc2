// Per-frame CPU work of the show's 2D effects: the plasma every wobbler draw
// recomputes, a whole wobbler draw and a frame of the particle smoke at the
// show's steady state, on the trace back end with its log off.
#include <benchmark/benchmark.h>
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "cvcore/filestream.h"
#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"
#include "particlesystem.h"
#include "plasma.h"
#include "tracedevice.h"
#include "wobler.h"

namespace {

namespace fs = std::filesystem;

// A quiet device, and a folder with one 64 x 64 TGA as the base path.
struct EffectsBench {
    EffectsBench() : quiet(tracetest::MakeQuietDevice("effects bench")) {
        dir = fs::temp_directory_path() / ("halcyon2-bench-effects-" + std::to_string(getpid()));
        fs::create_directories(dir);
        WriteTga(dir / "tex.tga", 64);
        cvcore::SetBasePath((dir.string() + "/").c_str());
    }
    ~EffectsBench() {
        quiet.reset();
        fs::remove_all(dir);
    }

    // Uncompressed 32-bit true colour, bottom-up.
    static void WriteTga(const fs::path& path, int size) {
        std::vector<uint8_t> file(18, 0);
        file[2] = 2;
        file[12] = static_cast<uint8_t>(size);
        file[14] = static_cast<uint8_t>(size);
        file[16] = 32;
        file[17] = 8;
        for (int i = 0; i < size * size; ++i) file.insert(file.end(), {0x40, 0x80, 0xC0, 0x80});
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }

    tracetest::TraceDevice quiet;
    fs::path dir;
};

void BM_Plasma(benchmark::State& state) {
    auto plasma = std::make_unique<Plasma>();
    float t = 0.0f;
    for (auto _ : state) {
        plasma->Compute(t);
        t += 0.016f;
        benchmark::DoNotOptimize(plasma->Row(0));
    }
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}
BENCHMARK(BM_Plasma);

void BM_WobblerWarp(benchmark::State& state) {
    EffectsBench bench;
    tracetest::TraceDevice& quiet = bench.quiet;
    auto wobbler = std::make_unique<Wobbler>(*quiet, "tex.tga");
    float t = 0.0f;
    for (auto _ : state) {
        wobbler->DrawWarp(t, 1.0f, false);
        t += 0.016f;
    }
}
BENCHMARK(BM_WobblerWarp);

// 150 puffs a second living 2.5 s: about 375 alive, at 60 frames a second.
void BM_SmokeFrame(benchmark::State& state) {
    EffectsBench bench;
    tracetest::TraceDevice& quiet = bench.quiet;
    ParticleSystem smoke(*quiet, "tex.tga");
    smoke.SetRate(0.15f);
    smoke.SetLifetime(2.5f);
    smoke.SetBox({-100, -20, -200}, {100, 40, 400});
    smoke.SetVelocity({0, 15, 0}, {0, 5, 0});
    smoke.SetAlpha(-0.25f, 2.0f);
    smoke.SetSize(0, 3.5f);
    const float dt = 1.0f / 60.0f;
    float t = 0.0f;
    for (int i = 0; i < 200; ++i) smoke.Run(t += dt, dt);
    for (auto _ : state) {
        quiet->GetDevice()->BeginScene();
        smoke.Run(t += dt, dt);
        quiet->GetDevice()->EndScene();
    }
    state.counters["alive"] = static_cast<double>(smoke.Particles().size());
}
BENCHMARK(BM_SmokeFrame);

}  // namespace
