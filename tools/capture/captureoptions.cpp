#include "captureoptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char CAPTURE_USAGE[] =
    "usage: halcyon2-capture [options]\n"
    "\n"
    "Plays the show offscreen on a virtual clock, frame by frame at a fixed\n"
    "rate, and writes what it shows: numbered PNG frames and the soundtrack's\n"
    "samples for the chosen range, or a video with sound when ffmpeg is on the\n"
    "path. Nothing runs in real time, so the output is the same on every run.\n"
    "\n"
    "  --size WxH      frame size (default 640x480)\n"
    "  --fps N         frames per second of show time (default 30)\n"
    "  --from S        first music second to write (default 0)\n"
    "  --to S          last music second to write (default: the end)\n"
    "  --frames DIR    folder for frame_NNNNNN.png and audio.wav (default capture)\n"
    "  --out FILE      write a video (e.g. show.mp4) with ffmpeg instead\n"
    "  --data DIR      folder holding data.zip and murikka.mp3 (default: the\n"
    "                  working folder when it holds data.zip, else the data\n"
    "                  installed with the tool)\n"
    "  --no-write      save nothing; only time the frames (with HALCYON2_D3D8=trace\n"
    "                  this measures the program's own work per frame)\n"
    "  --profile       also count each frame's work (fragments shaded, triangles,\n"
    "                  draws, binds, bytes uploaded) and time raw OpenGL here\n"
    "                  at the frame size before the show, as each part begins\n"
    "                  and after the show: the floor of a frame is its shaded\n"
    "                  fragments x ns/fragment + triangles x ns/triangle, the\n"
    "                  better of the figures at its part's start and end (use\n"
    "                  with --no-write)\n"
    "  --help          this text\n"
    "\n"
    "At the end it prints the mean and 99th-percentile frame time of each part\n"
    "and the time from start to the first frame of part 1. With --profile it\n"
    "first prints each part's mean work per frame, then adds each part's floor\n"
    "and the ratio of its mean frame time to that floor, and ends with the line\n"
    "\"worst ratio: R (part N)\".\n"
    "\n"
    "The setup dialog is answered (windowed, the chosen size). When the show\n"
    "fails, the report's texts go to standard error and the exit code is 1.\n";

namespace {

bool ParseSize(const char* text, int& w, int& h) {
    return std::sscanf(text, "%dx%d", &w, &h) == 2 && w >= 16 && h >= 16 && w <= 4096 && h <= 4096;
}

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == 0;
}

}  // namespace

bool ParseCaptureOptions(int argc, char** argv, CaptureOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            o.help = true;
            continue;
        }
        if (!std::strcmp(a, "--no-write")) {
            o.write = false;
            continue;
        }
        if (!std::strcmp(a, "--profile")) {
            o.profile = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = std::string("missing value after ") + a;
            return false;
        }
        const char* v = argv[++i];
        bool ok = true;
        if (!std::strcmp(a, "--size"))
            ok = ParseSize(v, o.width, o.height);
        else if (!std::strcmp(a, "--fps"))
            ok = ParseNumber(v, o.fps) && o.fps >= 1 && o.fps <= 240;
        else if (!std::strcmp(a, "--from"))
            ok = ParseNumber(v, o.from) && o.from >= 0;
        else if (!std::strcmp(a, "--to"))
            ok = ParseNumber(v, o.to) && o.to >= 0;
        else if (!std::strcmp(a, "--frames"))
            o.frames = v;
        else if (!std::strcmp(a, "--out"))
            o.out = v;
        else if (!std::strcmp(a, "--data"))
            o.data = v;
        else {
            error = std::string("unknown option ") + a;
            return false;
        }
        if (!ok) {
            error = std::string("bad value for ") + a + ": " + v;
            return false;
        }
    }
    if (o.to < o.from) {
        error = "--to is before --from";
        return false;
    }
    return true;
}
