#include "wavwriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mpg123.h>
#include <vector>

namespace {

struct Decoder {
    mpg123_handle* handle = nullptr;
    ~Decoder() {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> WavHeader(long rate, int channels, uint32_t dataBytes) {
    std::vector<uint8_t> h;
    for (char c : {'R', 'I', 'F', 'F'}) h.push_back(static_cast<uint8_t>(c));
    Put32(h, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) h.push_back(static_cast<uint8_t>(c));
    Put32(h, 16);
    Put16(h, 1);
    Put16(h, static_cast<uint16_t>(channels));
    Put32(h, static_cast<uint32_t>(rate));
    Put32(h, static_cast<uint32_t>(rate * channels * 2));
    Put16(h, static_cast<uint16_t>(channels * 2));
    Put16(h, 16);
    for (char c : {'d', 'a', 't', 'a'}) h.push_back(static_cast<uint8_t>(c));
    Put32(h, dataBytes);
    return h;
}

}  // namespace

bool WriteWavRange(const std::string& mp3, const std::string& wav, double from, double to, std::string& error) {
    Decoder d;
    int err = MPG123_OK;
    d.handle = mpg123_new(nullptr, &err);
    if (!d.handle || mpg123_open(d.handle, mp3.c_str()) != MPG123_OK) {
        error = "cannot open " + mp3;
        return false;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(d.handle, &rate, &channels, &encoding) != MPG123_OK) {
        error = "cannot read the format of " + mp3;
        return false;
    }
    mpg123_format_none(d.handle);
    mpg123_format(d.handle, rate, channels, MPG123_ENC_SIGNED_16);

    std::vector<uint8_t> pcm;
    std::vector<uint8_t> chunk(65536);
    size_t got = 0;
    int rc;
    while ((rc = mpg123_read(d.handle, chunk.data(), chunk.size(), &got)) == MPG123_OK || rc == MPG123_NEW_FORMAT)
        pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));

    // The show's clock runs on past the end of a short soundtrack, so the
    // range may too: silence stands in for the missing samples and keeps the
    // sound as long as the frames. A WAV holds at most 4 GB of samples.
    const size_t frameBytes = static_cast<size_t>(channels) * 2;
    const size_t total = pcm.size() / frameBytes;
    const size_t most = (UINT32_MAX - 36) / frameBytes;
    auto frameAt = [&](double seconds) {
        const double f = seconds * static_cast<double>(rate);
        return f <= 0 ? size_t{0} : static_cast<size_t>(std::min(f, static_cast<double>(most)));
    };
    const size_t begin = frameAt(from), end = std::max(begin, frameAt(to));
    const uint32_t bytes = static_cast<uint32_t>((end - begin) * frameBytes);
    const size_t fromFile = begin < total ? (std::min(end, total) - begin) * frameBytes : 0;

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(wav.c_str(), "wb"));
    if (!out) {
        error = "cannot write " + wav;
        return false;
    }
    const std::vector<uint8_t> header = WavHeader(rate, channels, bytes);
    std::fwrite(header.data(), 1, header.size(), out.get());
    if (fromFile > 0) std::fwrite(pcm.data() + begin * frameBytes, 1, fromFile, out.get());
    const std::vector<uint8_t> silence(65536, 0);
    for (size_t left = bytes - fromFile; left > 0;) {
        const size_t n = std::min(left, silence.size());
        std::fwrite(silence.data(), 1, n, out.get());
        left -= n;
    }
    if (std::fflush(out.get()) != 0 || std::ferror(out.get())) {
        error = "cannot write " + wav;
        return false;
    }
    return true;
}
