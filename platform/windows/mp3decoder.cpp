#include "mp3decoder.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace fsound {

namespace {

// Bit rates of MPEG-1 Layer III in kbit/s by header index (0: free format,
// 15: invalid, neither accepted).
constexpr int kBitRates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
// What the codec hands back per call at most; its input is cut to match.
constexpr DWORD kSourceChunk = 16384;

std::vector<uint8_t> ReadFile(std::FILE* f) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

// Where the audio starts: after an ID3v2 tag (10-byte header, a 28-bit
// size in 7-bit bytes, and a 10-byte footer when flagged).
size_t AudioStart(const std::vector<uint8_t>& file) {
    if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3') return 0;
    const size_t size = (size_t{file[6]} & 0x7F) << 21 | (size_t{file[7]} & 0x7F) << 14 |
                        (size_t{file[8]} & 0x7F) << 7 | (file[9] & 0x7F);
    return 10 + size + ((file[5] & 0x10) ? 10 : 0);
}

// The first frame's bit rate in bit/s, or 0 when it is not an MPEG-1
// Layer III frame at 44100 Hz in (joint) stereo.
int FirstFrameBitRate(const std::vector<uint8_t>& file, size_t at) {
    if (file.size() < at + 4) return 0;
    const uint8_t* h = &file[at];
    const bool sync = h[0] == 0xFF && (h[1] & 0xFE) == 0xFA;  // MPEG-1, Layer III
    const int rateIndex = (h[2] >> 2) & 3;
    const int channelMode = h[3] >> 6;
    if (!sync || rateIndex != 0 || channelMode == 3) return 0;
    return kBitRates[h[2] >> 4] * 1000;
}

struct StreamCloser {
    void operator()(HACMSTREAM__* stream) const { acmStreamClose(stream, 0); }
};
using AcmStream = std::unique_ptr<HACMSTREAM__, StreamCloser>;

AcmStream OpenCodec(int bitRate) {
    MPEGLAYER3WAVEFORMAT mp3 = {};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = CHANNELS;
    mp3.wfx.nSamplesPerSec = RATE;
    mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(bitRate / 8);
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3.nBlockSize = static_cast<WORD>(144 * bitRate / RATE);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = CHANNELS;
    pcm.nSamplesPerSec = RATE;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = CHANNELS * 2;
    pcm.nAvgBytesPerSec = RATE * pcm.nBlockAlign;
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return nullptr;
    return AcmStream(stream);
}

// One call of the codec over source bytes; appends what it made to pcm and
// returns how many source bytes it took, or -1 on failure.
long Convert(HACMSTREAM stream, uint8_t* source, DWORD length, DWORD flags, std::vector<uint8_t>& target,
             std::vector<uint8_t>& out) {
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof header;
    header.pbSrc = source;
    header.cbSrcLength = length;
    header.pbDst = target.data();
    header.cbDstLength = static_cast<DWORD>(target.size());
    if (acmStreamPrepareHeader(stream, &header, 0) != 0) return -1;
    const bool ok = acmStreamConvert(stream, &header, flags) == 0;
    acmStreamUnprepareHeader(stream, &header, 0);
    if (!ok) return -1;
    out.insert(out.end(), target.data(), target.data() + header.cbDstLengthUsed);
    return static_cast<long>(header.cbSrcLengthUsed);
}

bool DecodeAll(HACMSTREAM stream, std::vector<uint8_t>& file, size_t start, std::vector<uint8_t>& out) {
    DWORD targetSize = 0;
    if (acmStreamSize(stream, kSourceChunk, &targetSize, ACM_STREAMSIZEF_SOURCE) != 0 || targetSize == 0) return false;
    std::vector<uint8_t> target(targetSize);
    DWORD flags = ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN;
    for (size_t at = start; at < file.size();) {
        const DWORD length = static_cast<DWORD>(std::min<size_t>(kSourceChunk, file.size() - at));
        const long used = Convert(stream, &file[at], length, flags, target, out);
        if (used < 0) return false;
        // A last piece shorter than a block is left for the final call.
        if (used == 0) break;
        at += static_cast<size_t>(used);
        flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    }
    uint8_t none = 0;
    return Convert(stream, &none, 0, ACM_STREAMCONVERTF_END, target, out) >= 0;
}

}  // namespace

DecodeResult DecodeMp3(const char* path, std::vector<int16_t>& pcm) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return DecodeResult::NotFound;
    std::vector<uint8_t> file = ReadFile(f);
    std::fclose(f);
    const size_t start = AudioStart(file);
    const int bitRate = FirstFrameBitRate(file, start);
    if (bitRate == 0) return DecodeResult::NotMp3;
    const AcmStream codec = OpenCodec(bitRate);
    std::vector<uint8_t> bytes;
    if (!codec || !DecodeAll(codec.get(), file, start, bytes) || bytes.size() < CHANNELS * sizeof(int16_t))
        return DecodeResult::NotMp3;
    pcm.resize(bytes.size() / sizeof(int16_t));
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * sizeof(int16_t));
    return DecodeResult::Ok;
}

}  // namespace fsound
