// CPU cost of playing the soundtrack: decoding a 160-second 192 kbit/s MP3
// and mixing it into device-sized buffers, as a share of one core over the
// music's own length (the "core_percent" counter; the target is under 2).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fsound/mp3stream.h"

namespace {

constexpr double kSeconds = 160.0;
constexpr int kBufferFrames = 2048;  // what the SDL device asks for at a time

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// The MP3 is made once per run by sox and lame in a temporary folder.
const std::string& Fixture() {
    static const std::string path = [] {
        char dir[] = "/tmp/halcyon2-bench-XXXXXX";
        if (!mkdtemp(dir)) return std::string();
        const std::string wav = std::string(dir) + "/music.wav", mp3 = std::string(dir) + "/music.mp3";
        // A chord with noise, so the encoder has something to spend bits on.
        const std::string cmd = "sox -q -n -r 44100 -c 2 -b 16 " + wav +
                                " synth 160 sine 220 sine 277 sine 330 pinknoise vol 0.3 && lame --quiet -b 192 " +
                                wav + " " + mp3 + " && rm " + wav;
        return std::system(cmd.c_str()) == 0 ? mp3 : std::string();
    }();
    return path;
}

void BM_PlaySoundtrack(benchmark::State& state) {
    if (Fixture().empty()) {
        state.SkipWithError("sox or lame failed");
        return;
    }
    std::vector<int16_t> buffer(kBufferFrames * fsound::CHANNELS);
    int64_t frames = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const double cpuStart = CpuSeconds();
        fsound::Mp3Stream stream;
        if (stream.Open(Fixture().c_str()) != fsound::Mp3Stream::OpenResult::Ok) {
            state.SkipWithError("cannot open the MP3");
            return;
        }
        int got;
        while ((got = stream.Fill(buffer.data(), kBufferFrames)) > 0) {
            frames += got;
            benchmark::DoNotOptimize(buffer.data());
        }
        cpuSeconds += CpuSeconds() - cpuStart;
    }
    const double musicSeconds = static_cast<double>(frames) / fsound::RATE / static_cast<double>(state.iterations());
    state.counters["music_s"] = musicSeconds;
    // CPU seconds of this thread over the seconds of music they played.
    state.counters["core_percent"] =
        100.0 * cpuSeconds / static_cast<double>(state.iterations()) / (musicSeconds > 0 ? musicSeconds : kSeconds);
}
BENCHMARK(BM_PlaySoundtrack)->Unit(benchmark::kMillisecond);

}  // namespace
