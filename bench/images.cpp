// Blitter and JPEG decode throughput. Pixel rates are items per second
// (Mpixel/s = items_per_second / 1e6); each memcpy baseline copies the same
// number of source bytes as the conversion beside it reads.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "cvcore/image.h"

using namespace cvcore;

namespace {

constexpr int32_t kSize = 1024;

Image Noise(int32_t w, int32_t h, int32_t standard) {
    Image image(w, h, PixelFormat::Standard(standard));
    std::mt19937 rng(1);
    for (int32_t i = 0; i < image.GetPitch() * h; ++i) image.GetPixels()[i] = static_cast<uint8_t>(rng());
    return image;
}

void Memcpy(benchmark::State& state, int32_t bytesPerPixel) {
    const size_t bytes = size_t{kSize} * kSize * static_cast<size_t>(bytesPerPixel);
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

void Blit(benchmark::State& state, int32_t from, int32_t to, int32_t w, int32_t h, int32_t shrink, int32_t mode) {
    const Image source = Noise(w, h, from);
    Image dest(w / shrink, h / shrink, PixelFormat::Standard(to));
    for (auto _ : state) {
        dest.Blit(source, mode);
        benchmark::DoNotOptimize(dest.GetPixels());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{w} * h);
}

void BM_Memcpy4(benchmark::State& state) { Memcpy(state, 4); }
void BM_Memcpy3(benchmark::State& state) { Memcpy(state, 3); }
void BM_A8R8G8B8_to_R5G6B5(benchmark::State& state) {
    Blit(state, FORMAT_A8R8G8B8, FORMAT_R5G6B5, kSize, kSize, 1, BLIT_COPY);
}
void BM_R8G8B8_to_A8R8G8B8(benchmark::State& state) {
    Blit(state, FORMAT_R8G8B8, FORMAT_A8R8G8B8, kSize, kSize, 1, BLIT_COPY);
}
// Source pixels per second of a 1024 x 1024 -> 512 x 512 filter.
void BM_Bilinear_A8R8G8B8_Half(benchmark::State& state) {
    Blit(state, FORMAT_A8R8G8B8, FORMAT_A8R8G8B8, kSize, kSize, 2, BLIT_FILTER);
}

}  // namespace

BENCHMARK(BM_Memcpy4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_A8R8G8B8_to_R5G6B5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_R8G8B8_to_A8R8G8B8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Bilinear_A8R8G8B8_Half)->Unit(benchmark::kMicrosecond);
