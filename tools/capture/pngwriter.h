#pragma once
#include <cstdint>
#include <string>

// Writes top-down A8R8G8B8 rows (alpha ignored) as an 8-bit RGB PNG.
// False when the file cannot be written.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height);
