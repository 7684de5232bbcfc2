#pragma once
#include <cstdio>
#include <mutex>
#include <string>

namespace content {

// Progress lines on standard error; the two build threads share it.
inline void Progress(const std::string& line) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    std::fprintf(stderr, "halcyon2-content: %s\n", line.c_str());
}

}  // namespace content
