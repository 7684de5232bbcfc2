// The FSOUND_* calls on Windows' own components: each stream is decoded
// whole through the audio compression manager when it is opened and played
// as one buffer through waveOut at 44100 Hz, 16-bit stereo. The play
// position is the device's own sample count; once the buffer has run out the
// position goes on at the same rate, as if silence were playing, so a clock
// read from a short stream never stops. Error codes are the Linux back end's.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "fmod.h"
#include "mp3decoder.h"

struct FSOUND_STREAM {
    std::vector<int16_t> pcm;
    WAVEHDR header = {};
    bool playing = false;
    int64_t playStart = 0;  // performance counter ticks
    int lastReportedMs = 0;

    int64_t Frames() const { return static_cast<int64_t>(pcm.size() / fsound::CHANNELS); }
};

namespace {

constexpr int kMaxChannel = 15;

int64_t ElapsedFrames(int64_t since) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - since) * fsound::RATE / frequency.QuadPart;
}

int64_t Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

struct SoundSystem {
    int output = FSOUND_OUTPUT_DSOUND;
    int driver = 0;
    int error = FMOD_ERR_NONE;
    bool initialised = false;
    HWAVEOUT device = nullptr;
    FSOUND_STREAM* playing = nullptr;
    std::vector<std::unique_ptr<FSOUND_STREAM>> streams;

    // Stops the device and gives the playing buffer back, before a stream's
    // samples are freed or another one starts.
    void Stop() {
        if (device && playing && (playing->header.dwFlags & WHDR_PREPARED)) {
            waveOutReset(device);
            waveOutUnprepareHeader(device, &playing->header, sizeof playing->header);
        }
        if (playing) playing->playing = false;
        playing = nullptr;
    }

    // A process may end with the music still playing.
    ~SoundSystem() {
        Stop();
        if (device) waveOutClose(device);
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

FSOUND_STREAM* Find(FSOUND_STREAM* stream) {
    for (auto& s : Sound().streams)
        if (s.get() == stream) return stream;
    return nullptr;
}

int64_t PositionFrames(const FSOUND_STREAM& s) {
    const int64_t elapsed = ElapsedFrames(s.playStart);
    HWAVEOUT device = Sound().device;
    if (!device) return elapsed;
    MMTIME position = {};
    position.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device, &position, sizeof position) != MMSYSERR_NOERROR || position.wType != TIME_SAMPLES)
        return elapsed;
    const int64_t played = position.u.sample;
    if (played < s.Frames() && !(s.header.dwFlags & WHDR_DONE)) return played;
    return std::max(played, elapsed);
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
    Sound().driver = driver;  // every driver number plays through the default device
    return 1;
}

signed char F_API FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int) {
    SoundSystem& s = Sound();
    if (s.initialised) return Fail(FMOD_ERR_BUSY);
    if (mixRate <= 0 || maxSoftwareChannels < 0) return Fail(FMOD_ERR_INVALID_PARAM);
    if (s.output != FSOUND_OUTPUT_NOSOUND) {
        WAVEFORMATEX pcm = {};
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = fsound::CHANNELS;
        pcm.nSamplesPerSec = fsound::RATE;
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = fsound::CHANNELS * 2;
        pcm.nAvgBytesPerSec = fsound::RATE * pcm.nBlockAlign;
        if (waveOutOpen(&s.device, WAVE_MAPPER, &pcm, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
            s.device = nullptr;
            return Fail(FMOD_ERR_INIT);
        }
    }
    s.initialised = true;
    return 1;
}

void F_API FSOUND_Close() {
    SoundSystem& s = Sound();
    if (!s.initialised) return;
    s.Stop();
    if (s.device) waveOutClose(s.device);
    s.device = nullptr;
    s.streams.clear();
    s.initialised = false;
}

int F_API FSOUND_GetError() { return Sound().error; }

FSOUND_STREAM* F_API FSOUND_Stream_OpenMpeg(const char* fileName, unsigned int) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED), nullptr;
    if (!fileName) return Fail(FMOD_ERR_INVALID_PARAM), nullptr;
    auto stream = std::make_unique<FSOUND_STREAM>();
    switch (fsound::DecodeMp3(fileName, stream->pcm)) {
    case fsound::DecodeResult::NotFound: return Fail(FMOD_ERR_FILE_NOTFOUND), nullptr;
    case fsound::DecodeResult::NotMp3: return Fail(FMOD_ERR_FILE_FORMAT), nullptr;
    case fsound::DecodeResult::Ok: break;
    }
    // One waveOut buffer holds the whole stream.
    if (stream->pcm.size() * sizeof(int16_t) > UINT32_MAX) return Fail(FMOD_ERR_MEMORY), nullptr;
    s.streams.push_back(std::move(stream));
    return s.streams.back().get();
}

int F_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED), -1;
    if (!Find(stream) || channel < FSOUND_FREE || channel > kMaxChannel) return Fail(FMOD_ERR_INVALID_PARAM), -1;
    const int played = channel == FSOUND_FREE ? 0 : channel;
    if (stream->playing) return played;
    s.Stop();
    stream->header = {};
    stream->header.lpData = reinterpret_cast<LPSTR>(stream->pcm.data());
    stream->header.dwBufferLength = static_cast<DWORD>(stream->pcm.size() * sizeof(int16_t));
    if (s.device && (waveOutPrepareHeader(s.device, &stream->header, sizeof stream->header) != MMSYSERR_NOERROR ||
                     waveOutWrite(s.device, &stream->header, sizeof stream->header) != MMSYSERR_NOERROR)) {
        waveOutUnprepareHeader(s.device, &stream->header, sizeof stream->header);
        return Fail(FMOD_ERR_PLAY), -1;
    }
    stream->playing = true;
    stream->playStart = Now();
    stream->lastReportedMs = 0;
    s.playing = stream;
    return played;
}

int F_API FSOUND_Stream_GetTime(FSOUND_STREAM* stream) {
    if (!Sound().initialised) return Fail(FMOD_ERR_UNINITIALIZED), 0;
    if (!Find(stream)) return Fail(FMOD_ERR_INVALID_PARAM), 0;
    if (!stream->playing) return stream->lastReportedMs;
    const int64_t frames = std::max<int64_t>(PositionFrames(*stream), 0);
    const int ms = static_cast<int>(std::min<int64_t>(frames * 1000 / fsound::RATE, INT_MAX));
    stream->lastReportedMs = std::max(stream->lastReportedMs, ms);
    return stream->lastReportedMs;
}

signed char F_API FSOUND_Stream_Close(FSOUND_STREAM* stream) {
    SoundSystem& s = Sound();
    if (!s.initialised) return Fail(FMOD_ERR_UNINITIALIZED);
    if (!Find(stream)) return Fail(FMOD_ERR_INVALID_PARAM);
    if (s.playing == stream) s.Stop();
    s.streams.erase(
        std::find_if(s.streams.begin(), s.streams.end(), [stream](const auto& p) { return p.get() == stream; }));
    return 1;
}
