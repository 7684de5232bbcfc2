#include "scratchdir.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string root = tmp && *tmp ? tmp : "/tmp";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string pattern = root + "/halcyon2-test-XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        if (pattern.find("zip") == std::string::npos && pattern.find("pak") == std::string::npos) {
            path_ = pattern;
            return;
        }
        std::filesystem::remove(pattern);
    }
    throw std::runtime_error("no usable temporary folder name");
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
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
