// The soundtrack through the sound library: one MP3 stream whose play
// position is the show's clock.
#include "usefmod.h"

#include <fmod.h>

#include "cvcore/exception.h"

namespace {

constexpr const char* kModule = "usefmod";

FSOUND_STREAM* gStream = nullptr;

[[noreturn]] void ThrowFmodError() { throw cvcore::Exception("FMOD:()", FmodErrorText(FSOUND_GetError()), kModule); }

}  // namespace

const char* FmodErrorText(int code) {
    static const char* const kTexts[] = {
        "No errors",
        "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
        "This command failed because FSOUND_Init was not called",
        "Error initializing output device.",
        "The output device is already in use and cannot be reused.",
        "Playing the sound failed.",
        "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
        "Error setting cooperative level for hardware.",
        "Error creating hardware sound buffer.",
        "File not found",
        "Unknown file format",
        "Error loading file",
        "Not enough memory ",
        "The version number of this file format is not supported",
        "Incorrect mixer selected",
        "An invalid parameter was passed to this function",
        "Tried to use an EAX command on a non EAX enabled channel or output.",
        nullptr,  // 17 has no text of its own
        "Failed to allocate a new channel",
    };
    constexpr int kCount = static_cast<int>(sizeof(kTexts) / sizeof(kTexts[0]));
    if (code < 0 || code >= kCount || !kTexts[code]) return "Unknown error";
    return kTexts[code];
}

void MusicInit() {
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    FSOUND_SetDriver(0);
    if (!FSOUND_Init(44100, 16, 0)) {
        FSOUND_Close();
        ThrowFmodError();
    }
}

void MusicOpen(const char* name) {
    gStream = FSOUND_Stream_OpenMpeg(name, 0);
    if (!gStream) throw cvcore::Exception("FMOD_LOAD:(), not found", name, kModule);
}

void MusicPlay() {
    if (FSOUND_Stream_Play(FSOUND_FREE, gStream) == -1) {
        FSOUND_Close();  // frees the stream as well
        gStream = nullptr;
        ThrowFmodError();
    }
}

void MusicClose() {
    FSOUND_Stream_Close(gStream);
    gStream = nullptr;
    FSOUND_Close();
}

float MusicTime() { return static_cast<float>(FSOUND_Stream_GetTime(gStream)) * 0.001f; }
