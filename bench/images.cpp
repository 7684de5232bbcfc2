// Blitter and JPEG decode throughput. Pixel rates are items per second
// (Mpixel/s = items_per_second / 1e6); each memcpy baseline copies the same
// number of source bytes as the conversion beside it reads.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/memorystream.h"

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

// A 2048 x 2048 photo-like picture (a plasma fractal, 4:2:0 at quality 85),
// made once by ImageMagick.
const std::string& PhotoJpeg() {
    static const std::string path = [] {
        const std::string p = "/tmp/halcyon2-bench-photo.jpg";
        std::system(("test -s " + p +
                     " || convert -size 2048x2048 -seed 7 plasma:fractal -blur 0x1 "
                     "-quality 85 -sampling-factor 2x2 " +
                     p)
                        .c_str());
        return p;
    }();
    return path;
}

void BM_JpegDecode(benchmark::State& state) {
    std::ifstream in(PhotoJpeg(), std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.empty()) {
        state.SkipWithError("no JPEG file (ImageMagick missing?)");
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[file.size()]);
        std::memcpy(copy.get(), file.data(), file.size());
        MemoryStream stream(std::move(copy), static_cast<int32_t>(file.size()));
        Image image;
        if (!DecodeJPEG(image, stream)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.GetPixels());
    }
    state.SetItemsProcessed(state.iterations() * 2048 * 2048);
}

// A 4000 x 3000 progressive photo-like picture of a few MB, made once: the
// largest kind of picture the decoder must take whole. Its time, and the
// process's peak resident memory after it (max_rss_mb; the picture itself
// is 36 MB, libjpeg's coefficient buffers another 36), are the figures to
// watch when the decoder's memory limits change.
void BM_ProgressiveJpegDecode(benchmark::State& state) {
    const std::string path = "/tmp/halcyon2-bench-progressive.jpg";
    std::system(("test -s " + path +
                 " || convert -size 4000x3000 -seed 7 plasma:fractal -blur 0x1 "
                 "-quality 92 -interlace JPEG " +
                 path)
                    .c_str());
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.empty()) {
        state.SkipWithError("no JPEG file (ImageMagick missing?)");
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[file.size()]);
        std::memcpy(copy.get(), file.data(), file.size());
        MemoryStream stream(std::move(copy), static_cast<int32_t>(file.size()));
        Image image;
        if (!DecodeJPEG(image, stream)) state.SkipWithError("decode refused");
        benchmark::DoNotOptimize(image.GetPixels());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["file_mb"] = static_cast<double>(file.size()) / 1e6;
    state.counters["max_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetItemsProcessed(state.iterations() * 4000 * 3000);
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// libjpeg-turbo's own decoder on the same file, writing to /dev/null. Its
// processor time (the child's, shell included) is the counter child_cpu_ms,
// to set beside our decoder's CPU time on a busy machine.
void BM_Djpeg(benchmark::State& state) {
    const std::string command = "djpeg -outfile /dev/null " + PhotoJpeg();
    const double before = ChildCpuSeconds();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg failed (libjpeg-turbo-progs missing?)");
    }
    state.counters["child_cpu_ms"] =
        1000.0 * (ChildCpuSeconds() - before) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations() * 2048 * 2048);
}

}  // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProgressiveJpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memcpy4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_A8R8G8B8_to_R5G6B5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_R8G8B8_to_A8R8G8B8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Bilinear_A8R8G8B8_Half)->Unit(benchmark::kMicrosecond);
