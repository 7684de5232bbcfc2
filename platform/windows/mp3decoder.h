#pragma once
// An MP3 file decoded whole into 44100 Hz, 16-bit stereo frames through the
// audio compression manager's MPEG Layer-3 codec.
#include <cstdint>
#include <vector>

namespace fsound {

constexpr int RATE = 44100;
constexpr int CHANNELS = 2;

enum class DecodeResult { Ok, NotFound, NotMp3 };

// Only a file that starts as an MPEG-1 Layer III stream at 44100 Hz in
// stereo (after an ID3v2 tag, if any) is decoded; pcm gets its frames.
DecodeResult DecodeMp3(const char* path, std::vector<int16_t>& pcm);

}  // namespace fsound
