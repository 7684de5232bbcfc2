#include "mp3stream.h"

#include <mpg123.h>

#include <cstdio>
#include <mutex>

namespace fsound {
namespace {

bool LibraryReady() {
    // mpg123_init is needed once per process on older libraries and is a
    // no-op on newer ones.
    static const bool ready = mpg123_init() == MPG123_OK;
    return ready;
}

}  // namespace

void Mp3Stream::HandleDeleter::operator()(mpg123_handle_struct* h) const {
    mpg123_close(h);
    mpg123_delete(h);
}

Mp3Stream::Mp3Stream() = default;
Mp3Stream::~Mp3Stream() = default;

Mp3Stream::OpenResult Mp3Stream::Open(const char* path) {
    if (std::FILE* f = std::fopen(path, "rb")) {
        std::fclose(f);
    } else {
        return OpenResult::NotFound;
    }
    if (!LibraryReady()) return OpenResult::NotMp3;
    int err = MPG123_OK;
    handle_.reset(mpg123_new(nullptr, &err));
    if (!handle_) return OpenResult::NotMp3;
    mpg123_handle* h = handle_.get();
    // Decode only what starts as an MP3: no hunting for frame syncs in other
    // kinds of file.
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_RESYNC, 0.0);
    mpg123_param(h, MPG123_RESYNC_LIMIT, 0, 0.0);
    mpg123_format_none(h);
    mpg123_format(h, RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(h, path) != MPG123_OK || mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
        rate != RATE || channels != CHANNELS || encoding != MPG123_ENC_SIGNED_16 || mpg123_scan(h) != MPG123_OK) {
        handle_.reset();
        return OpenResult::NotMp3;
    }
    const off_t length = mpg123_length(h);
    if (length <= 0) {
        handle_.reset();
        return OpenResult::NotMp3;
    }
    lengthFrames_ = length;
    Rewind();
    return OpenResult::Ok;
}

void Mp3Stream::Rewind() {
    if (!handle_) return;
    mpg123_seek(handle_.get(), 0, SEEK_SET);
    ended_ = false;
}

int Mp3Stream::Fill(int16_t* out, int frames) {
    if (!handle_ || ended_ || frames <= 0) return 0;
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    const size_t want = static_cast<size_t>(frames) * CHANNELS * sizeof(int16_t);
    size_t have = 0;
    while (have < want) {
        size_t done = 0;
        const int r = mpg123_read(handle_.get(), bytes + have, want - have, &done);
        have += done;
        if (r == MPG123_NEW_FORMAT) continue;
        if (r != MPG123_OK) {
            ended_ = true;  // end of file, or a broken frame the decoder gave up on
            break;
        }
    }
    return static_cast<int>(have / (CHANNELS * sizeof(int16_t)));
}

}  // namespace fsound
