#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace content {

// Writes the show's archive: every entry deflated and protected with the
// traditional PKWARE encryption, with a fixed time stamp, so the same entries
// always give the same bytes.
class ArchiveWriter {
public:
    ArchiveWriter(const std::string& path, const std::string& password);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    void Add(const std::string& name, const std::vector<std::uint8_t>& bytes);
    // Writes the central directory; the destructor does it too, silently.
    void Close();

private:
    void* zip_ = nullptr;
    std::string path_;
    std::string password_;
};

// The encrypted form of one entry's compressed bytes: the 12-byte header
// (ten seeded filler bytes, then the CRC's two high bytes) and the payload.
std::vector<std::uint8_t> EncryptEntry(const std::vector<std::uint8_t>& compressed, const std::string& password,
                                       std::uint32_t crc, std::uint32_t seed);

}  // namespace content
