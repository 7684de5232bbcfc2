#pragma once
// One MP3 file decoded by libmpg123 into 44100 Hz, 16-bit stereo frames:
// what the sound stand-in's streams play and its benchmark measures.
#include <cstdint>
#include <memory>

struct mpg123_handle_struct;

namespace fsound {

constexpr int RATE = 44100;
constexpr int CHANNELS = 2;

class Mp3Stream {
public:
    enum class OpenResult { Ok, NotFound, NotMp3 };

    Mp3Stream();
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    OpenResult Open(const char* path);
    // Writes up to frames stereo frames; returns how many were decoded (fewer
    // only at the end of the file, the rest of out is left alone).
    int Fill(int16_t* out, int frames);
    void Rewind();
    int64_t LengthFrames() const { return lengthFrames_; }

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* h) const;
    };
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    int64_t lengthFrames_ = 0;
    bool ended_ = false;
};

}  // namespace fsound
