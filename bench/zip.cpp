// Extracting one 32 MiB encrypted, deflated entry: through FileStream, and
// with Info-ZIP's unzip for comparison. Both report bytes per second of
// extracted data.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cvcore/filestream.h"

namespace {

constexpr size_t kEntrySize = 32u << 20;

// Text-like runs (compress well) interleaved with noise (does not).
std::vector<char> MixedData(size_t size) {
    static const char words[] = "scene camera light mesh vertex texture keyframe wobble credits smoke floor ";
    std::vector<char> data;
    data.reserve(size);
    uint32_t state = 0x9e3779b9;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    while (data.size() < size) {
        const uint32_t choice = next();
        const size_t run = 16 + (choice >> 8) % 200;
        for (size_t i = 0; i < run && data.size() < size; ++i)
            data.push_back(static_cast<char>((choice & 1) ? next() : words[(choice + i) % (sizeof words - 1)]));
    }
    return data;
}

// The archive is made once per run, in a temporary folder removed at exit.
class Archive {
public:
    Archive() {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyon2-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        const auto data = MixedData(kEntrySize);
        std::ofstream(dir_ + "/big.bin", std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        const std::string command = "cd '" + dir_ + "' && zip -q -P hopla big.zip big.bin && rm big.bin";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("zip failed");
    }
    ~Archive() { std::filesystem::remove_all(dir_); }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

// CPU seconds (user + system) of this process or of its waited-for children:
// on a loaded machine wall time says little, and unzip's work is all in a
// child process.
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void ReportCpuRate(benchmark::State& state, double cpuSeconds) {
    const double megabytes = static_cast<double>(state.iterations()) * kEntrySize / 1e6;
    state.counters["cpu_MB_per_s"] = cpuSeconds > 0 ? megabytes / cpuSeconds : 0;
}

const Archive& TheArchive() {
    static const Archive archive;
    return archive;
}

void ThroughFileStream(benchmark::State& state) {
    cvcore::SetBasePath((TheArchive().Dir() + "/big.zip/").c_str());
    cvcore::SetArchivePassword("hopla");
    std::vector<char> out(kEntrySize);
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        cvcore::FileStream stream("big.bin", 1);
        if (stream.Read(out.data(), stream.Size()) != static_cast<int32_t>(kEntrySize))
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(out.data());
    }
    ReportCpuRate(state, CpuSeconds(RUSAGE_SELF) - cpuBefore);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kEntrySize));
}

void WithUnzip(benchmark::State& state) {
    const std::string command = "unzip -p -P hopla '" + TheArchive().Dir() + "/big.zip' big.bin";
    std::vector<char> out(1 << 20);
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        std::FILE* pipe = popen(command.c_str(), "r");
        size_t total = 0;
        for (size_t got; (got = std::fread(out.data(), 1, out.size(), pipe)) > 0;) total += got;
        if (pclose(pipe) != 0 || total != kEntrySize) state.SkipWithError("unzip failed");
    }
    ReportCpuRate(state, CpuSeconds(RUSAGE_CHILDREN) - cpuBefore);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kEntrySize));
}

}  // namespace

BENCHMARK(ThroughFileStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WithUnzip)->Unit(benchmark::kMillisecond)->UseRealTime();
