#pragma once
#include <cstdint>
#include <string>

// Writes top-down A8R8G8B8 rows (alpha ignored) as an 8-bit RGB PNG, with
// nothing but zlib, so the Windows build writes the same files. False with
// a message in error when the picture is too large or the file cannot be
// written; a file left half written is removed.
bool WritePngFile(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error);
