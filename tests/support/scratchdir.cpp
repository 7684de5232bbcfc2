#include "scratchdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace testsupport {

// TMPDIR, even on Windows: under Wine it names a host folder that the
// programs Run starts there see under the same path. Otherwise the system's
// temporary folder. The folder is made with one atomic create that fails if
// the name exists.
ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path root =
        tmp && *tmp ? std::filesystem::path(tmp) : std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937 random(seed());
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "halcyon2-test-";
        for (int i = 0; i < 8; ++i) name += letters[random() % (sizeof letters - 1)];
        const std::filesystem::path path = root / name;
        if (path.string().find("zip") != std::string::npos || path.string().find("pak") != std::string::npos) continue;
        if (std::filesystem::create_directory(path)) {
            path_ = path.generic_string();
            return;
        }
    }
    throw std::runtime_error("no usable temporary folder name");
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, {text.begin(), text.end()}); }

std::vector<uint8_t> MixedBytes(size_t count, uint32_t seed) {
    static const char words[] = "scene camera light mesh vertex texture keyframe wobble credits smoke floor ";
    std::vector<uint8_t> bytes;
    bytes.reserve(count);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    while (bytes.size() < count) {
        const uint32_t choice = next();
        const size_t run = 16 + (choice >> 8) % 200;
        for (size_t i = 0; i < run && bytes.size() < count; ++i) {
            if (choice & 1)
                bytes.push_back(static_cast<uint8_t>(next()));
            else
                bytes.push_back(static_cast<uint8_t>(words[(choice + i) % (sizeof words - 1)]));
        }
    }
    return bytes;
}

}  // namespace testsupport
