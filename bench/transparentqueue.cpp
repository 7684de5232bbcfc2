// Queueing and sorting the translucent triangles of a frame: the per-frame
// CPU cost Device3D adds before drawing them back to front.
#include <benchmark/benchmark.h>

#include <d3d8.h>
#include <d3d8ext.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/device3d.h"

namespace {

constexpr int kTriangles = 100000;
constexpr uint32_t kStride = 36;  // position, normal, diffuse, one coordinate set
constexpr uint32_t kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Scene {
    std::vector<uint8_t> vertices = std::vector<uint8_t>(3 * kStride * kTriangles);
    std::vector<uint32_t> keys = std::vector<uint32_t>(kTriangles);

    Scene() {
        std::mt19937 random(5);
        std::uniform_real_distribution<float> depth(0.5f, 500.0f);
        for (int i = 0; i < kTriangles; ++i) {
            const float d = depth(random);
            std::memcpy(&keys[static_cast<size_t>(i)], &d, 4);
        }
        for (size_t i = 0; i < vertices.size(); ++i) vertices[i] = static_cast<uint8_t>(i * 31);
    }
    void Queue(Device3D& device) const {
        for (int i = 0; i < kTriangles; ++i) {
            const uint8_t* v = vertices.data() + static_cast<size_t>(i) * 3 * kStride;
            device.AddTransparentTriangle(keys[static_cast<size_t>(i)], v, v + kStride, v + 2 * kStride, kFvf, kStride,
                                          nullptr);
        }
    }
};

std::unique_ptr<Device3D> TraceDevice() {
    D3D8TraceConfig config;
    config.record = false;
    D3D8Trace_Enable(config);
    auto device = std::make_unique<Device3D>();
    DeviceSettings settings;
    settings.format = D3DFMT_X8R8G8B8;
    device->CreateDevice(settings);
    return device;
}

void BM_QueueAndSort100k(benchmark::State& state) {
    auto device = TraceDevice();
    const Scene scene;
    for (auto _ : state) {
        scene.Queue(*device);
        benchmark::DoNotOptimize(device->SortTransparent());
        device->ClearTransparent();
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_QueueAndSort100k)->Unit(benchmark::kMillisecond);

void BM_Sort100k(benchmark::State& state) {
    auto device = TraceDevice();
    const Scene scene;
    scene.Queue(*device);
    for (auto _ : state) {
        benchmark::DoNotOptimize(device->SortTransparent());
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_Sort100k)->Unit(benchmark::kMillisecond);

// The whole flush on the trace back end: sort plus one draw call per
// triangle through the stand-in's front end.
void BM_QueueAndFlush100k(benchmark::State& state) {
    auto device = TraceDevice();
    const Scene scene;
    for (auto _ : state) {
        scene.Queue(*device);
        device->FlushTransparent();
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_QueueAndFlush100k)->Unit(benchmark::kMillisecond);

}  // namespace
