#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace content {

// One file of the archive: its path inside data.zip and its bytes.
struct Asset {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// Every file the show loads from data.zip, in archive order.
std::vector<Asset> MakeAssets();

}  // namespace content
