#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace content {

// One file of the archive: its path inside data.zip and its bytes.
struct ArchiveEntry {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

}  // namespace content
