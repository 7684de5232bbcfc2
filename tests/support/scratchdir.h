#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh temporary folder, removed with everything in it on destruction.
// Its path never contains "zip" or "pak", so archive-path resolution in tests
// only sees the names the test puts there.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + relative
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Runs a shell command and returns its exit status (-1 if it could not run).
// On Windows under Wine the command runs in the host's shell (command.cpp
// per platform).
int Run(const std::string& command);

// A shell command's standard output ("" if it could not run).
std::string Output(const std::string& command);

// Single-quotes text for the shell.
std::string Quote(const std::string& text);

std::vector<uint8_t> ReadBytes(const std::string& path);
// Creates missing parent folders.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// Deterministic bytes: a mix of compressible text-like runs and noise.
std::vector<uint8_t> MixedBytes(size_t count, uint32_t seed);

}  // namespace testsupport
