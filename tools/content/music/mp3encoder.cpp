#include "music/mp3encoder.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <lame/lame.h>

namespace content {
namespace {

struct LameDeleter {
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};

}  // namespace

std::vector<std::uint8_t> EncodeMp3(const std::vector<float>& left, const std::vector<float>& right) {
    std::unique_ptr<lame_global_flags, LameDeleter> gf(lame_init());
    if (!gf) throw std::runtime_error("lame_init failed");
    lame_set_in_samplerate(gf.get(), 44100);
    lame_set_out_samplerate(gf.get(), 44100);
    lame_set_num_channels(gf.get(), 2);
    lame_set_mode(gf.get(), JOINT_STEREO);
    lame_set_brate(gf.get(), 192);
    lame_set_VBR(gf.get(), vbr_off);
    lame_set_quality(gf.get(), 2);
    lame_set_bWriteVbrTag(gf.get(), 1);
    if (lame_init_params(gf.get()) < 0) throw std::runtime_error("lame_init_params failed");

    std::vector<std::uint8_t> out;
    const std::size_t chunk = 8192;
    std::vector<unsigned char> buffer(chunk * 5 / 4 + 7200);
    for (std::size_t pos = 0; pos < left.size(); pos += chunk) {
        int n = static_cast<int>(std::min(chunk, left.size() - pos));
        int bytes = lame_encode_buffer_ieee_float(gf.get(), left.data() + pos, right.data() + pos, n, buffer.data(),
                                                  static_cast<int>(buffer.size()));
        if (bytes < 0) throw std::runtime_error("lame_encode_buffer_ieee_float failed");
        out.insert(out.end(), buffer.begin(), buffer.begin() + bytes);
    }
    int bytes = lame_encode_flush(gf.get(), buffer.data(), static_cast<int>(buffer.size()));
    if (bytes < 0) throw std::runtime_error("lame_encode_flush failed");
    out.insert(out.end(), buffer.begin(), buffer.begin() + bytes);

    // The tag frame was reserved at the start of the stream; fill it in now
    // that the encoder knows the stream's length and delay.
    std::vector<unsigned char> tag(4096);
    std::size_t tagBytes = lame_get_lametag_frame(gf.get(), tag.data(), tag.size());
    if (tagBytes > 0 && tagBytes <= out.size())
        std::copy(tag.begin(), tag.begin() + static_cast<long>(tagBytes), out.begin());
    return out;
}

}  // namespace content
