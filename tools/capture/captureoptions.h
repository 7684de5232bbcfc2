#pragma once
#include <string>

struct CaptureOptions {
    int width = 640;
    int height = 480;
    double fps = 30.0;
    double from = 0.0;               // music seconds
    double to = 1.0e9;               // music seconds; the show ends at 163 s anyway
    std::string frames = "capture";  // folder for frame_NNNNNN.png and audio.wav
    std::string out;                 // a video file: needs ffmpeg on the path
    std::string data;                // folder holding data.zip and murikka.mp3; empty: DefaultDataFolder()
    bool write = true;               // --no-write: play and time the frames, save nothing
    bool profile = false;            // --profile: count each frame's work, calibrate, report the floor
    bool help = false;
};

// Parses the command line; false with a message for bad arguments.
bool ParseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

extern const char CAPTURE_USAGE[];
