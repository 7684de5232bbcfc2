// halcyon2-capture: plays the unmodified show on the virtual clock and saves
// what every presented frame shows.
#include <SDL.h>
#include <d3d8ext.h>
#include <unistd.h>
#include <virtualclock.h>
#include <win32host.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assets.h"
#include "calibration.h"
#include "captureoptions.h"
#include "cvcore/exception.h"
#include "datafolder.h"
#include "framestats.h"
#include "framewriter.h"
#include "showapp.h"
#include "showmain.h"
#include "showstate.h"
#include "usefmod.h"
#include "wavwriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFullscreenBox = 1002;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct Capture {
    CaptureOptions options;
    std::string frameDir;
    int64_t frameIndex = 0;  // frames presented since the music started
    bool escapeSent = false;
    double lastMusic = 0.0;
    std::unique_ptr<FrameWriter> writer;  // made once the frames folder exists
    FrameStats stats;
    std::unique_ptr<std::FILE, FileCloser> log;  // per frame in range: file number, part, music time, frame ms
    std::chrono::steady_clock::time_point lastPresent = std::chrono::steady_clock::now();
    double firstFrameAfter = -1.0;  // seconds from start to the first frame of part 1
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    // --profile: the device's counters at the last Present, and the part of
    // every presented frame (0 before the music), to which fragment counts
    // are booked when they arrive.
    bool profiling = false;
    // --profile: the machine measured before the show, as each part after
    // the first begins and after the show, in that order, with the part that
    // was beginning (0 after the show).
    std::vector<std::pair<int, Calibration>> calibrations;
    int lastPart = 0;
    D3D8Stats lastStats = {};
    std::vector<int> partOfFrame;
};

int Written(const Capture& c) { return c.writer ? c.writer->Submitted() : 0; }

int64_t Nanoseconds(double seconds) { return static_cast<int64_t>(std::llround(seconds * 1.0e9)); }

// The dialog is answered as a viewer would: windowed, then OK.
void AnswerDialog() {
    HWND dialog = GetActiveWindow();
    if (!dialog) return;
    CheckDlgButton(dialog, kFullscreenBox, BST_UNCHECKED);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Reads the frame back here, where the device lives, and hands it to the
// writer. Returns the frame's file number, or -1 when it could not be read.
int SaveFrame(Capture& c, IDirect3DDevice8* device) {
    UINT w = 0, h = 0;
    if (FAILED(D3D8_ReadBackBuffer(device, nullptr, 0, &w, &h)) || w == 0 || h == 0) return -1;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    if (FAILED(D3D8_ReadBackBuffer(device, pixels.data(), w * 4, &w, &h))) return -1;
    return c.writer->Submit(std::move(pixels), static_cast<int>(w), static_cast<int>(h));
}

FrameCounts CountsBetween(const D3D8Stats& before, const D3D8Stats& after) {
    auto d = [](unsigned long long a, unsigned long long b) { return static_cast<double>(b - a); };
    FrameCounts c;
    c.triangles = d(before.triangles, after.triangles);
    c.draws = d(before.draws, after.draws);
    c.glDraws = d(before.glDraws, after.glDraws);
    c.programBinds = d(before.programBinds, after.programBinds);
    c.textureBinds = d(before.textureBinds, after.textureBinds);
    c.bytesUploaded = d(before.bytesUploaded, after.bytesUploaded);
    return c;
}

// Books this frame's work, and the fragments of the frames whose counts
// have come in since the last Present (usually one; shared out evenly when
// several arrive together).
void CountFrame(Capture& c, IDirect3DDevice8* device, int part) {
    if (!c.profiling) c.profiling = D3D8_SetProfiling(device, TRUE) == D3D_OK;
    D3D8Stats now = {};
    if (FAILED(D3D8_GetStats(device, &now))) return;
    c.partOfFrame.push_back(part);
    c.stats.AddCounts(part, CountsBetween(c.lastStats, now));
    const unsigned long long first = c.lastStats.fragmentFrames, end = now.fragmentFrames;
    if (end > first) {
        const auto frames = static_cast<double>(end - first);
        const double passed = static_cast<double>(now.fragments - c.lastStats.fragments) / frames;
        std::optional<double> shaded;
        if (now.shadedCounted) shaded = static_cast<double>(now.shadedFragments - c.lastStats.shadedFragments) / frames;
        for (unsigned long long f = first; f < end && f < c.partOfFrame.size(); ++f)
            c.stats.AddFragments(c.partOfFrame[f], passed, shaded);
    }
    c.lastStats = now;
}

// Times raw OpenGL at the frame size, with the show's frames so far run to
// their end. The machine is shared and its speed drifts over a run: each
// part's floor takes the better of the measurements at its start and at its
// end, what the machine surely could do while the part played.
bool CalibrateMachine(Capture& c, int part, const std::string& when) {
    Calibration now;
    std::string error;
    if (!Calibrate(c.options.width, c.options.height, now, error)) {
        std::fprintf(stderr, "\rhalcyon2-capture: cannot calibrate: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "\rcalibration at %dx%d %s: %.3f ns/%s fragment, %.1f ns/triangle\n", c.options.width,
                 c.options.height, when.c_str(), now.nsPerFragment, now.shaded ? "shaded" : "passed",
                 now.nsPerTriangle);
    c.calibrations.emplace_back(part, now);
    return true;
}

// As each part after the first begins (its first frame drawn, not yet
// shown); the measurement stays out of the frame times.
void CalibrateAtPartStart(Capture& c) {
    const int part = showState.part;
    const bool begins = c.lastPart != 0 && part != c.lastPart;
    c.lastPart = part;
    if (!begins) return;
    CalibrateMachine(c, part, "as part " + std::to_string(part) + " begins");
    c.lastPresent = std::chrono::steady_clock::now();
}

// A part whose start went unmeasured has no floor.
void SetFloors(Capture& c) {
    for (size_t i = 0; i + 1 < c.calibrations.size(); ++i) {
        const int part = c.calibrations[i].first;
        if (part > 0) c.stats.SetCalibration(part, Better(c.calibrations[i].second, c.calibrations[i + 1].second));
    }
}

// Runs inside every Present: save the frame if it lies in the range, then
// move the clocks on to the next frame. Frames before the range advance in
// coarse steps (well under a second, so no scheduled event is lost).
void OnPresent(void* user, IDirect3DDevice8* device) {
    Capture& c = *static_cast<Capture*>(user);
    const bool playing = showContent.eventTrack != nullptr;
    if (c.options.profile) CountFrame(c, device, playing ? showState.part : 0);
    if (!playing) {
        VirtualClockAdvance(Nanoseconds(1.0 / c.options.fps));
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const double frameSeconds = std::chrono::duration<double>(now - c.lastPresent).count();
    if (c.firstFrameAfter < 0)
        c.firstFrameAfter = std::chrono::duration<double>(now - c.start).count();
    else
        c.stats.Add(showState.part, frameSeconds);
    c.lastPresent = now;
    if (c.options.profile) CalibrateAtPartStart(c);
    const double music = MusicTime();
    c.lastMusic = music;
    const bool inRange = music + 1e-6 >= c.options.from && music <= c.options.to;
    if (inRange) {
        // One line per frame in the range: the frame's file number (-1 when
        // nothing is captured), the part, the music time and how long the
        // frame took to make.
        const int index = c.options.write ? SaveFrame(c, device) : -1;
        if (c.log) std::fprintf(c.log.get(), "%d %d %.6f %.3f\n", index, showState.part, music, frameSeconds * 1000.0);
    }
    if (music > c.options.to && !c.escapeSent) {
        Win32InjectKey(deviceSettings.window, SDLK_ESCAPE, true);
        c.escapeSent = true;
    }
    const double step =
        music < c.options.from - 0.5 ? std::min(0.1, c.options.from - 0.5 - music) : 1.0 / c.options.fps;
    VirtualClockAdvance(std::max<int64_t>(1, Nanoseconds(step)));
    if (++c.frameIndex % 30 == 0) std::fprintf(stderr, "\rcapture: music %.1f s, %d frames written", music, Written(c));
}

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

bool MakeVideo(const Capture& c, const std::string& wav) {
    char command[4096];
    std::snprintf(command, sizeof command,
                  "ffmpeg -loglevel error -y -framerate %g -i '%s/frame_%%06d.png' -i '%s' "
                  "-c:v libx264 -pix_fmt yuv420p -crf 18 -c:a aac -b:a 192k -shortest '%s'",
                  c.options.fps, c.frameDir.c_str(), wav.c_str(), c.options.out.c_str());
    return std::system(command) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Capture c;
    std::string error;
    if (!ParseCaptureOptions(argc, argv, c.options, error)) {
        std::fprintf(stderr, "halcyon2-capture: %s\n\n%s", error.c_str(), CAPTURE_USAGE);
        return 2;
    }
    if (c.options.help) {
        std::fputs(CAPTURE_USAGE, stdout);
        return 0;
    }
    if (!c.options.out.empty() && !HaveFfmpeg()) {
        std::fprintf(stderr, "halcyon2-capture: --out needs ffmpeg on the path\n");
        return 2;
    }
    const fs::path data = c.options.data.empty() ? DefaultDataFolder() : fs::absolute(c.options.data);
    c.frameDir = c.options.out.empty()
                     ? fs::absolute(c.options.frames).string()
                     : (fs::temp_directory_path() / ("halcyon2-capture-" + std::to_string(getpid()))).string();
    if (!c.options.out.empty()) c.options.out = fs::absolute(c.options.out).string();
    fs::create_directories(c.frameDir);

    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string modes = std::to_string(c.options.width) + "x" + std::to_string(c.options.height) + "x32";
    setenv("HALCYON2_DISPLAY_MODES", modes.c_str(), 1);
    setenv("HALCYON2_SHOW_HEADLESS", "1", 1);
    if (chdir(data.c_str()) != 0) {
        std::fprintf(stderr, "halcyon2-capture: cannot enter %s\n", data.c_str());
        return 2;
    }

    VirtualClockEnable(true);
    Win32SetIdleHook(AnswerDialog);
    D3D8_SetDefaultPresentHook(OnPresent, &c);

    if (c.options.profile && !CalibrateMachine(c, 1, "before the show")) return 1;
    c.writer = std::make_unique<FrameWriter>(c.frameDir);
    c.log.reset(std::fopen((fs::path(c.frameDir) / "frames.log").c_str(), "w"));
    c.start = std::chrono::steady_clock::now();
    try {
        char* showArgv[] = {argv[0]};
        show::main(1, showArgv);
    } catch (...) {
        const cvcore::Exception e = cvcore::CurrentException();
        std::fprintf(stderr, "\nhalcyon2-capture: the show failed\n  Method: %s\n  File: %s\n  Message: %s\n",
                     e.Method().Text(), e.File().Text(), e.Message().Text());
        return 1;
    }
    c.log.reset();
    const int lost = c.writer->Finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - c.start).count();
    std::fprintf(stderr, "\rcapture: %lld frames played up to music %.2f s, %d written, in %.1f s (%.1f frames/s)\n",
                 static_cast<long long>(c.frameIndex), c.lastMusic, Written(c) - lost, seconds,
                 static_cast<double>(c.frameIndex) / std::max(seconds, 1e-9));

    std::fprintf(stderr, "capture: first frame of part 1 after %.2f s\n", c.firstFrameAfter);
    if (c.options.profile && !CalibrateMachine(c, 0, "after the show")) return 1;
    if (c.options.profile) {
        SetFloors(c);
        c.stats.PrintCounts(stderr);
    }
    c.stats.Print(stderr);
    if (lost > 0) {
        std::fprintf(stderr, "halcyon2-capture: %d frames could not be written to %s\n", lost, c.frameDir.c_str());
        return 1;
    }
    if (!c.options.write) return 0;
    const std::string wav = (fs::path(c.frameDir) / "audio.wav").string();
    const double end = std::min(c.options.to, c.lastMusic + 1.0 / c.options.fps);
    if (!WriteWavRange((data / "murikka.mp3").string(), wav, c.options.from, end, error)) {
        std::fprintf(stderr, "halcyon2-capture: %s\n", error.c_str());
        return 1;
    }
    if (!c.options.out.empty()) {
        const bool ok = MakeVideo(c, wav);
        fs::remove_all(c.frameDir);
        if (!ok) {
            std::fprintf(stderr, "halcyon2-capture: ffmpeg failed\n");
            return 1;
        }
        std::fprintf(stderr, "capture: wrote %s\n", c.options.out.c_str());
    }
    return 0;
}
