// The FSOUND_* calls: one SDL audio device at 44100 Hz, 16-bit stereo, fed
// from the playing stream on SDL's audio thread. The play position counts
// the frames the device has taken, interpolated between its requests; once
// the stream has run out the device goes on taking silence, and the position
// goes on with it, so a clock read from a short stream never stops.
#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "fmod.h"
#include "mp3stream.h"
#include "virtualclock.h"

struct FSOUND_STREAM {
    fsound::Mp3Stream decoder;
    bool playing = false;
    // Written by the audio thread under the device lock.
    int64_t consumedFrames = 0;    // frames handed to the device so far, silence after the end included
    int64_t chunkStartFrames = 0;  // consumed before the last request
    int64_t chunkFrames = 0;       // frames of the last request
    int64_t chunkTime = 0;         // monotonic nanoseconds of the last request
    // Main thread only.
    int64_t playStartTime = 0;  // monotonic, for the no-sound output
    int64_t playStartVirtual = 0;
    int lastReportedMs = 0;
};

namespace {

// About 46 ms. SDL rebuffers sizes that are not powers of two and then paces
// its dummy device wrongly, so the request size stays a power of two.
constexpr int kBufferFrames = 2048;
constexpr int kMaxChannel = 15;

int64_t Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct SoundSystem {
    int output = FSOUND_OUTPUT_DSOUND;
    int driver = 0;
    int error = FMOD_ERR_NONE;
    bool initialised = false;
    SDL_AudioDeviceID device = 0;
    FSOUND_STREAM* playing = nullptr;  // read by the audio thread under the device lock
    std::vector<std::unique_ptr<FSOUND_STREAM>> streams;

    // A process may end with the music still playing (a failure after it
    // started is reported, then the process returns without FSOUND_Close).
    // The audio thread must be stopped before the streams it reads are freed.
    ~SoundSystem() {
        if (device) SDL_CloseAudioDevice(device);
    }
};

SoundSystem& Sound() {
    static SoundSystem s;
    return s;
}

signed char Fail(int code) {
    Sound().error = code;
    return 0;
}

void AudioCallback(void*, Uint8* out, int length) {
    std::fill(out, out + length, 0);
    FSOUND_STREAM* s = Sound().playing;
    if (!s || !s->playing) return;
    const int frames = length / static_cast<int>(fsound::CHANNELS * sizeof(int16_t));
    s->decoder.Fill(reinterpret_cast<int16_t*>(out), frames);
    s->chunkStartFrames = s->consumedFrames;
    s->chunkFrames = frames;
    s->chunkTime = Now();
    s->consumedFrames += frames;
}

FSOUND_STREAM* Find(FSOUND_STREAM* stream) {
    for (auto& s : Sound().streams)
        if (s.get() == stream) return stream;
    return nullptr;
}

// Runs f with the audio thread kept out of the callback.
template <typename F>
void WithDeviceLocked(F f) {
    SDL_AudioDeviceID device = Sound().device;
    if (device) SDL_LockAudioDevice(device);
    f();
    if (device) SDL_UnlockAudioDevice(device);
}

int64_t PositionFrames(FSOUND_STREAM* s) {
    if (VirtualClockEnabled()) return (VirtualClockNow() - s->playStartVirtual) * fsound::RATE / 1000000000;
    if (!Sound().device) return (Now() - s->playStartTime) * fsound::RATE / 1000000000;
    int64_t frames = 0;
    WithDeviceLocked([&] {
        if (s->chunkTime == 0) return;  // the device has not asked for anything yet
        const int64_t since = (Now() - s->chunkTime) * fsound::RATE / 1000000000;
        frames = s->chunkStartFrames + std::min(since, s->chunkFrames);
    });
    return frames;
}

}  // namespace

signed char F_API FSOUND_SetOutput(int outputType) {
    if (Sound().initialised) return Fail(FMOD_ERR_BUSY);
    if (outputType < -1 || outputType > FSOUND_OUTPUT_A3D) return Fail(FMOD_ERR_INVALID_PARAM);
    Sound().output = outputType;
    return 1;
}

signed char F_API FSOUND_SetDriver(int driver) {
    if (Sound().initialised) return Fail(FMOD_ERR_BUSY);
    if (driver < 0) return Fail(FMOD_ERR_INVALID_PARAM);
    Sound().driver = driver;  // every driver number plays through SDL's default device
    return 1;
}

signed char F_API FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    SoundSystem& s = Sound();
    if (s.initialised) return Fail(FMOD_ERR_BUSY);
    if (mixRate <= 0 || maxSoftwareChannels < 0) return Fail(FMOD_ERR_INVALID_PARAM);
    if (s.output != FSOUND_OUTPUT_NOSOUND) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(FMOD_ERR_INIT);
        SDL_AudioSpec want = {}, have = {};
        want.freq = fsound::RATE;
        want.format = AUDIO_S16SYS;
        want.channels = fsound::CHANNELS;
        want.samples = kBufferFrames;
        want.callback = AudioCallback;
        s.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (s.device == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return Fail(FMOD_ERR_INIT);
        }
    }
    s.initialised = true;
    return 1;
}

void F_API FSOUND_Close() {
    SoundSystem& s = Sound();
    if (!s.initialised) return;
    if (s.device) {
        // Closing the device stops its thread; no callback runs after this.
        SDL_CloseAudioDevice(s.device);
        s.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    s.playing = nullptr;
    s.streams.clear();
    s.initialised = false;
}

int F_API FSOUND_GetError() { return Sound().error; }

FSOUND_STREAM* F_API FSOUND_Stream_OpenMpeg(const char* fileName, unsigned int) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED), nullptr;
    if (!fileName) return Fail(FMOD_ERR_INVALID_PARAM), nullptr;
    auto stream = std::make_unique<FSOUND_STREAM>();
    switch (stream->decoder.Open(fileName)) {
    case fsound::Mp3Stream::OpenResult::NotFound: return Fail(FMOD_ERR_FILE_NOTFOUND), nullptr;
    case fsound::Mp3Stream::OpenResult::NotMp3: return Fail(FMOD_ERR_FILE_FORMAT), nullptr;
    case fsound::Mp3Stream::OpenResult::Ok: break;
    }
    s.streams.push_back(std::move(stream));
    return s.streams.back().get();
}

int F_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED), -1;
    if (!Find(stream) || channel < FSOUND_FREE || channel > kMaxChannel) return Fail(FMOD_ERR_INVALID_PARAM), -1;
    if (stream->playing) return channel == FSOUND_FREE ? 0 : channel;
    WithDeviceLocked([&] {
        stream->decoder.Rewind();
        stream->consumedFrames = stream->chunkStartFrames = stream->chunkFrames = 0;
        stream->chunkTime = 0;
        stream->playing = true;
        s.playing = stream;
    });
    stream->playStartTime = Now();
    stream->playStartVirtual = VirtualClockNow();
    stream->lastReportedMs = 0;
    if (s.device) SDL_PauseAudioDevice(s.device, 0);
    return channel == FSOUND_FREE ? 0 : channel;
}

int F_API FSOUND_Stream_GetTime(FSOUND_STREAM* stream) {
    if (!Sound().initialised) return Fail(FMOD_ERR_UNINITIALIZED), 0;
    if (!Find(stream)) return Fail(FMOD_ERR_INVALID_PARAM), 0;
    if (!stream->playing) return stream->lastReportedMs;
    const int64_t frames = std::max<int64_t>(PositionFrames(stream), 0);
    const int ms = static_cast<int>(std::min<int64_t>(frames * 1000 / fsound::RATE, INT_MAX));
    stream->lastReportedMs = std::max(stream->lastReportedMs, ms);
    return stream->lastReportedMs;
}

signed char F_API FSOUND_Stream_Close(FSOUND_STREAM* stream) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED);
    if (!Find(stream)) return Fail(FMOD_ERR_INVALID_PARAM);
    WithDeviceLocked([&] {
        if (s.playing == stream) s.playing = nullptr;
    });
    if (s.device && !s.playing) SDL_PauseAudioDevice(s.device, 1);
    s.streams.erase(
        std::find_if(s.streams.begin(), s.streams.end(), [stream](const auto& p) { return p.get() == stream; }));
    return 1;
}
