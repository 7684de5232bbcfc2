#pragma once
#include <cstdint>
#include <vector>

namespace content {

// Stereo float samples (-1..1) at 44.1 kHz to a constant 192 kbit/s MP3 with
// an Info/LAME tag, so decoders that honour it (libmpg123) trim the encoder's
// delay and the music stays on the show's clock.
std::vector<std::uint8_t> EncodeMp3(const std::vector<float>& left, const std::vector<float>& right);

}  // namespace content
