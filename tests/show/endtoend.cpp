// The whole show through the real executables, headless: the capture tool
// on the virtual clock, and the failure paths of halcyon2 itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

Result Execute(const std::string& command) {
    Result run;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

fs::path BinDir() {
    const char* bin = std::getenv("HALCYON2_BIN_DIR");
    return bin ? fs::path(bin) : fs::current_path();
}

struct Frame {
    int index;
    int part;
    double music;
};

std::vector<Frame> ReadFrameLog(const fs::path& dir) {
    std::vector<Frame> frames;
    std::ifstream in(dir / "frames.log");
    std::string line;
    while (std::getline(in, line)) {
        Frame f;
        if (std::istringstream(line) >> f.index >> f.part >> f.music) frames.push_back(f);
    }
    return frames;
}

// RGB bytes of a PNG, decoded by ImageMagick.
std::vector<uint8_t> ReadRgb(const fs::path& png, int& width, int& height) {
    const Result size = Execute("identify -format '%w %h' '" + png.string() + "'");
    std::istringstream(size.output) >> width >> height;
    std::vector<uint8_t> rgb;
    std::FILE* pipe = popen(("convert '" + png.string() + "' -depth 8 rgb:-").c_str(), "r");
    if (!pipe) return rgb;
    std::array<uint8_t, 65536> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        rgb.insert(rgb.end(), buffer.begin(), buffer.begin() + n);
    pclose(pipe);
    return rgb;
}

double Spread(const std::vector<uint8_t>& rgb) {
    if (rgb.empty()) return 0;
    double sum = 0, sq = 0;
    for (uint8_t b : rgb) {
        sum += b;
        sq += double(b) * b;
    }
    const double mean = sum / rgb.size();
    return std::sqrt(std::max(0.0, sq / rgb.size() - mean * mean));
}

std::string FrameName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", index);
    return name;
}

class ShowEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work = fs::temp_directory_path() / ("halcyon2-e2e-" + std::to_string(getpid()));
        fs::create_directories(work);
        full = Capture("full", "--size 320x240 --fps 4");
    }
    static void TearDownTestSuite() { fs::remove_all(work); }

    static Result Capture(const std::string& name, const std::string& options) {
        const fs::path dir = work / name;
        return Execute("'" + (BinDir() / "halcyon2-capture").string() + "' --data '" + BinDir().string() +
                       "' --frames '" + dir.string() + "' " + options);
    }
    static std::string Env() { return "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy HALCYON2_DIALOG=ok "; }

    static fs::path work;
    static Result full;
};
fs::path ShowEndToEnd::work;
Result ShowEndToEnd::full;

}  // namespace

TEST_F(ShowEndToEnd, PlaysToTheEndAndEachPartEndsOnItsEvent) {
    ASSERT_EQ(full.exitCode, 0) << full.output;
    const std::vector<Frame> frames = ReadFrameLog(work / "full");
    ASSERT_FALSE(frames.empty());
    const double ends[6] = {40, 60, 85.779, 114.299, 131.299, 163};
    std::map<int, Frame> first;
    for (const Frame& f : frames) {
        EXPECT_GE(f.index, 0) << "frame at music " << f.music << " was not written";
        if (!first.count(f.part)) first[f.part] = f;
    }
    ASSERT_EQ(first.size(), 6u) << full.output;
    for (int part = 2; part <= 6; ++part) {
        // The part starts on the first frame after its predecessor's end
        // event was due (one frame is 0.25 s of music).
        EXPECT_GE(first[part].music, ends[part - 2] - 1e-3) << "part " << part;
        EXPECT_LE(first[part].music, ends[part - 2] + 0.25 + 1e-3) << "part " << part;
    }
    EXPECT_EQ(frames.back().part, 6);
    EXPECT_GE(frames.back().music, 163.0 - 0.25 - 1e-3);
    EXPECT_LE(frames.back().music, 163.0 + 1e-3);
    EXPECT_TRUE(fs::exists(work / "full" / "audio.wav"));
}

TEST_F(ShowEndToEnd, FramesThatShowASceneAreNotBlank) {
    const std::vector<Frame> frames = ReadFrameLog(work / "full");
    for (double at : {10.0, 50.0, 62.5, 95.0, 125.0, 150.0}) {
        const Frame* pick = nullptr;
        for (const Frame& f : frames)
            if (f.music <= at) pick = &f;
        ASSERT_NE(pick, nullptr);
        int w = 0, h = 0;
        const std::vector<uint8_t> rgb = ReadRgb(work / "full" / FrameName(pick->index), w, h);
        EXPECT_EQ(w, 320);
        EXPECT_EQ(h, 240);
        EXPECT_GT(Spread(rgb), 4.0) << "music " << at;
    }
}

TEST_F(ShowEndToEnd, GoldenFrameOfEveryPart) {
    const std::vector<Frame> frames = ReadFrameLog(work / "full");
    const double times[6] = {12.0, 52.0, 70.0, 100.0, 125.0, 147.0};
    const fs::path golden = fs::path(std::getenv("HALCYON2_SOURCE_DIR") ? std::getenv("HALCYON2_SOURCE_DIR") : ".") /
                            "tests" / "show" / "golden";
    const bool update = std::getenv("HALCYON2_UPDATE_GOLDEN") != nullptr;
    for (int part = 1; part <= 6; ++part) {
        const Frame* pick = nullptr;
        for (const Frame& f : frames)
            if (f.music <= times[part - 1]) pick = &f;
        ASSERT_NE(pick, nullptr);
        const fs::path shot = work / "full" / FrameName(pick->index);
        // Named by music time: show_012s.png is the frame at 12 s.
        char name[32];
        std::snprintf(name, sizeof name, "show_%03ds.png", static_cast<int>(times[part - 1]));
        const fs::path expected = golden / name;
        if (update) {
            fs::create_directories(golden);
            fs::copy_file(shot, expected, fs::copy_options::overwrite_existing);
            continue;
        }
        ASSERT_TRUE(fs::exists(expected)) << expected << " (run with HALCYON2_UPDATE_GOLDEN=1)";
        int w1, h1, w2, h2;
        const std::vector<uint8_t> a = ReadRgb(shot, w1, h1), b = ReadRgb(expected, w2, h2);
        ASSERT_EQ(a.size(), b.size());
        // Rasterisers may differ in the last bit of a blend; the picture may not.
        size_t far = 0;
        double total = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const int d = std::abs(int(a[i]) - int(b[i]));
            total += d;
            if (d > 24) ++far;
        }
        EXPECT_LT(total / a.size(), 2.0) << "part " << part;
        EXPECT_LT(far, a.size() / 100) << "part " << part;
    }
}

TEST_F(ShowEndToEnd, TwoCapturesGiveIdenticalFrames) {
    const Result again = Capture("again", "--size 320x240 --fps 4 --to 20");
    ASSERT_EQ(again.exitCode, 0) << again.output;
    const std::vector<Frame> frames = ReadFrameLog(work / "again");
    ASSERT_GE(frames.size(), 70u);
    for (const Frame& f : frames) {
        std::ifstream a(work / "full" / FrameName(f.index), std::ios::binary);
        std::ifstream b(work / "again" / FrameName(f.index), std::ios::binary);
        const std::string da((std::istreambuf_iterator<char>(a)), {}), db((std::istreambuf_iterator<char>(b)), {});
        ASSERT_FALSE(da.empty());
        ASSERT_EQ(da, db) << FrameName(f.index);
    }
}

// The numbers on each line of the table under the first line starting with
// header; a figure the report leaves out ("-") reads as NaN.
std::vector<std::vector<double>> RowsAfter(const std::string& output, const std::string& header) {
    std::vector<std::vector<double>> rows;
    const size_t at = output.find("\n" + header);
    if (at == std::string::npos) return rows;
    std::istringstream lines(output.substr(output.find('\n', at + 1) + 1));
    // Table rows start with the part's number, right-aligned in four columns.
    for (std::string line; std::getline(lines, line) && line.size() > 4 && std::isdigit(line[3]);) {
        std::istringstream in(line);
        std::vector<double> row;
        for (std::string word; in >> word;)
            row.push_back(word == "-" ? std::nan("") : std::strtod(word.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

TEST_F(ShowEndToEnd, EscapeDuringPartOneEndsTheShowNormally) {
    const Result escape = Capture("escape", "--size 160x120 --fps 10 --to 3");
    ASSERT_EQ(escape.exitCode, 0) << escape.output;
    const std::vector<Frame> frames = ReadFrameLog(work / "escape");
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().part, 1);
    EXPECT_LT(frames.back().music, 3.5);
}

// Across the first change of part: each part's work and its floor, the
// machine measured again as part 2 begins, and a last line naming the worst
// part.
TEST_F(ShowEndToEnd, ProfileGivesEachPartItsWorkAndFloor) {
    const Result profile = Capture("profile", "--size 160x120 --fps 10 --from 39.5 --to 40.5 --profile --no-write");
    ASSERT_EQ(profile.exitCode, 0) << profile.output;
    EXPECT_NE(profile.output.find("calibration at 160x120 as part 2 begins: "), std::string::npos) << profile.output;

    const auto counts = RowsAfter(profile.output, "part  fragments     shaded  triangles");
    const auto times = RowsAfter(profile.output, "part  frames  mean ms  p99 ms  floor ms  ratio");
    ASSERT_EQ(counts.size(), 2u) << profile.output;
    ASSERT_EQ(times.size(), 2u) << profile.output;
    double worst = 0;
    int worstPart = 0;
    for (int part = 1; part <= 2; ++part) {
        const std::vector<double>& c = counts[size_t(part - 1)];
        ASSERT_GE(c.size(), 4u) << profile.output;
        EXPECT_EQ(c[0], part);
        EXPECT_GT(c[1], 0) << "fragments";
        // Every fragment that passes was shaded (where the driver counts them).
        if (!std::isnan(c[2])) {
            EXPECT_GE(c[2], c[1]) << "shaded";
        }
        EXPECT_GT(c[3], 0) << "triangles";
        const std::vector<double>& t = times[size_t(part - 1)];
        ASSERT_EQ(t.size(), 6u) << profile.output;
        for (double v : t) EXPECT_TRUE(std::isfinite(v) && v > 0) << profile.output;
        if (t[5] > worst) worst = t[5], worstPart = part;
    }
    std::string last = profile.output.substr(0, profile.output.find_last_not_of('\n') + 1);
    last = last.substr(last.rfind('\n') + 1);
    double ratio = 0;
    int part = 0;
    EXPECT_EQ(std::sscanf(last.c_str(), "worst ratio: %lf (part %d)", &ratio, &part), 2) << last;
    EXPECT_DOUBLE_EQ(ratio, std::round(worst * 10) / 10);
    EXPECT_EQ(part, worstPart);
}

TEST_F(ShowEndToEnd, AFrameThatCannotBeWrittenFailsTheCapture) {
    // A folder where the second frame's file should go makes that write fail.
    fs::create_directories(work / "lost" / "frame_000001.png");
    const Result lost = Capture("lost", "--size 160x120 --fps 10 --to 1");
    EXPECT_EQ(lost.exitCode, 1) << lost.output;
    EXPECT_NE(lost.output.find("1 frames could not be written"), std::string::npos) << lost.output;
    EXPECT_TRUE(fs::exists(work / "lost" / "frame_000002.png"));
}

TEST_F(ShowEndToEnd, AShortSoundtrackStillPlaysTheShowToItsEnd) {
    // Five seconds of sound in place of the soundtrack: the music clock runs
    // on past it, so every part ends on its event and the show on its own.
    const fs::path dir = work / "short";
    fs::create_directories(dir);
    fs::create_symlink(BinDir() / "data.zip", dir / "data.zip");
    ASSERT_EQ(Execute("cd '" + dir.string() +
                      "' && sox -q -n -r 44100 -c 2 -b 16 short.wav synth 5 pluck 220 && "
                      "lame --quiet -b 128 short.wav murikka.mp3")
                  .exitCode,
              0);
    // Black frames from the trace device; only the last part's are written.
    const Result run = Execute("cd '" + dir.string() + "' && HALCYON2_D3D8=trace timeout 300 '" +
                               (BinDir() / "halcyon2-capture").string() +
                               "' --data . --size 160x120 --fps 2 --from 150 --frames frames");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Frame> frames = ReadFrameLog(dir / "frames");
    ASSERT_FALSE(frames.empty()) << run.output;
    EXPECT_EQ(frames.back().part, 6);
    EXPECT_GE(frames.back().music, 163.0 - 0.5 - 1e-3);
    EXPECT_LE(frames.back().music, 163.0 + 1e-3);
    // The sound lasts as long as the frames, in silence after the file's end.
    const Result samples = Execute("soxi -s '" + (dir / "frames" / "audio.wav").string() + "'");
    ASSERT_EQ(samples.exitCode, 0) << samples.output;
    EXPECT_NEAR(std::stod(samples.output) / 44100.0, frames.back().music + 0.5 - 150.0, 0.01);
    EXPECT_EQ(Execute("sox '" + (dir / "frames" / "audio.wav").string() +
                      "' -n stat 2>&1 | grep -q "
                      "'Maximum amplitude: *0.000000'")
                  .exitCode,
              0);
}

TEST_F(ShowEndToEnd, MissingSoundtrackIsReportedWithItsName) {
    const fs::path dir = work / "nomusic";
    fs::create_directories(dir);
    fs::copy_file(BinDir() / "data.zip", dir / "data.zip");
    const Result run = Execute("cd '" + dir.string() + "' && " + Env() + "'" + (BinDir() / "halcyon2").string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("FMOD_LOAD:(), not found"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("murikka.mp3"), std::string::npos) << run.output;
}

TEST_F(ShowEndToEnd, ArchiveWithoutAFileStopsLoadingAtThatFile) {
    const fs::path dir = work / "nogreet";
    fs::create_directories(dir);
    fs::copy_file(BinDir() / "data.zip", dir / "data.zip");
    fs::copy_file(BinDir() / "murikka.mp3", dir / "murikka.mp3");
    ASSERT_EQ(Execute("cd '" + dir.string() + "' && zip -q -d data.zip greets/greet3.tga").exitCode, 0);
    const Result run = Execute("cd '" + dir.string() + "' && " + Env() + "'" + (BinDir() / "halcyon2").string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("cannot access file: data.zip/greets/greet3.tga"), std::string::npos) << run.output;
}

TEST_F(ShowEndToEnd, CancelInTheDialogEndsWithExitCodeZero) {
    const Result run = Execute("cd '" + BinDir().string() +
                               "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy HALCYON2_SHOW_HEADLESS=1 "
                               "HALCYON2_DIALOG=cancel ./halcyon2");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output.find("Exception"), std::string::npos) << run.output;
}
