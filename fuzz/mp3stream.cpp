// The sound stand-in's MP3 opening and decoding on arbitrary file contents:
// whatever the file holds, Open says Ok, NotMp3 or NotFound and decoding
// stays inside its buffers.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fsound/mp3stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("mp3", 0);
    if (fd < 0) return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    fsound::Mp3Stream stream;
    if (stream.Open(path.c_str()) == fsound::Mp3Stream::OpenResult::Ok) {
        std::vector<int16_t> buffer(2048 * fsound::CHANNELS);
        // A few seconds at most: the length comes from the file.
        for (int i = 0; i < 64 && stream.Fill(buffer.data(), 2048) > 0; ++i) {
        }
    }
    close(fd);
    return 0;
}
