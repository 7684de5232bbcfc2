#pragma once
// Golden pictures for rendering tests: frames are saved as PNG beside the
// test binaries for looking at, and compared with the kept picture under
// tests/engine/golden/ within a tolerance (the software rasteriser may round
// a pixel differently from one Mesa release to the next).
// HALCYON2_UPDATE_GOLDEN=1 replaces the kept picture with the new frame.
#include <png.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

struct RgbaPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;  // A8R8G8B8, top-down
};

inline bool WritePng(const std::string& path, const RgbaPicture& picture) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(picture.width * 3);
    for (uint32_t y = 0; y < picture.height; ++y) {
        for (uint32_t x = 0; x < picture.width; ++x) {
            const uint32_t p = picture.pixels[y * picture.width + x];
            row[x * 3] = static_cast<png_byte>(p >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

inline bool ReadPng(const std::string& path, RgbaPicture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_BGRA;  // little-endian A8R8G8B8 words
    picture.width = image.width;
    picture.height = image.height;
    picture.pixels.assign(static_cast<size_t>(image.width) * image.height, 0);
    return png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr) != 0;
}

// Pixels whose largest channel difference exceeds `tolerance`.
inline size_t CountDifferentPixels(const RgbaPicture& a, const RgbaPicture& b, int tolerance) {
    if (a.width != b.width || a.height != b.height) {
        return a.pixels.size() + b.pixels.size();
    }
    size_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int ca = static_cast<int>((a.pixels[i] >> shift) & 0xFF);
            const int cb = static_cast<int>((b.pixels[i] >> shift) & 0xFF);
            if (std::abs(ca - cb) > tolerance) {
                ++differing;
                break;
            }
        }
    }
    return differing;
}

inline std::string GoldenPath(const std::string& name) {
    const char* source = std::getenv("HALCYON2_SOURCE_DIR");
    return std::string(source != nullptr ? source : ".") + "/tests/engine/golden/" + name + ".png";
}

inline bool UpdatingGolden() {
    const char* update = std::getenv("HALCYON2_UPDATE_GOLDEN");
    return update != nullptr && update[0] == '1';
}
