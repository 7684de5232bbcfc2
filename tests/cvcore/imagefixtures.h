#pragma once
// Test fixtures made at test time by ImageMagick and decoded both by our
// codecs and by ImageMagick itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cvcore/image.h"
#include "cvcore/imagecodec.h"
#include "cvcore/memorystream.h"
#include "scratchdir.h"

namespace fixtures {

// RGBA bytes, row by row from the top.
struct Rgba {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

inline std::string TempDir() {
    static const testsupport::ScratchDir folder;
    return folder.Path();
}

inline std::string Path(const std::string& name) { return TempDir() + "/" + name; }

// Runs a shell command; fails the test when it does not succeed.
inline void Run(const std::string& command) {
    const int rc = testsupport::Run(command + " 2>/dev/null");
    ASSERT_EQ(rc, 0) << command;
}

using testsupport::Output;

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Two source pictures: an opaque plasma and the same with a gradient alpha.
inline const std::string& Plasma() {
    static const std::string path = [] {
        const std::string p = Path("plasma.png");
        testsupport::Run("convert -size 37x23 -seed 4 plasma: " + p);
        return p;
    }();
    return path;
}

inline const std::string& PlasmaAlpha() {
    static const std::string path = [] {
        const std::string p = Path("plasma-alpha.png");
        testsupport::Run("convert " + Plasma() +
                         " \\( -size 37x23 gradient:white-black \\) -alpha off "
                         "-compose CopyOpacity -composite " +
                         p);
        return p;
    }();
    return path;
}

// ImageMagick's decoding as RGBA, read from one PAM stream (header, then
// the samples). With highBytes, its 16-bit samples cut to their high byte;
// readOptions are applied to the picture as read (such as -alpha off).
inline Rgba ReferenceDecode(const std::string& path, bool highBytes = false, const std::string& readOptions = "") {
    Rgba r;
    // ImageMagick keeps a file's row order as orientation metadata.
    const std::string depth = highBytes ? "-endian MSB -depth 16" : "-depth 8";
    const std::string pam = Output("convert '" + path + "[0]' " + readOptions + " -auto-orient " + depth +
                                   " -type TrueColorAlpha pam:- 2>/dev/null");
    const size_t end = pam.find("ENDHDR\n");
    int channels = 0;
    if (end == std::string::npos) return r;
    for (const char* key : {"WIDTH", "HEIGHT", "DEPTH"}) {
        const size_t at = pam.find(key);
        if (at == std::string::npos || at > end) return r;
        const int value = std::atoi(pam.c_str() + at + std::strlen(key));
        if (key[0] == 'W')
            r.width = value;
        else if (key[0] == 'H')
            r.height = value;
        else
            channels = value;
    }
    if (channels != 4) return Rgba();
    for (size_t i = end + 7; i < pam.size(); i += highBytes ? 2 : 1) r.pixels.push_back(static_cast<uint8_t>(pam[i]));
    return r;
}

// Decodes bytes with the codec registered under name; false when it refuses.
inline bool Decode(const char* codec, const std::vector<uint8_t>& bytes, cvcore::Image& image) {
    const cvcore::ImageCodec* c = cvcore::FindImageCodec(codec);
    if (!c) return false;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    cvcore::MemoryStream stream(std::move(copy), static_cast<int32_t>(bytes.size()));
    return c->Decode(image, stream);
}

inline Rgba ToRgba(const cvcore::Image& image) {
    Rgba r;
    r.width = image.GetWidth();
    r.height = image.GetHeight();
    cvcore::Image argb(r.width, r.height, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    if (!argb.Blit(image, cvcore::BLIT_COPY)) return r;
    const uint8_t* p = argb.GetPixels();
    for (int32_t i = 0; i < r.width * r.height; ++i, p += 4) r.pixels.insert(r.pixels.end(), {p[2], p[1], p[0], p[3]});
    return r;
}

inline Rgba OurDecode(const char* codec, const std::string& path) {
    cvcore::Image image;
    if (!Decode(codec, ReadFile(path), image)) return Rgba();
    return ToRgba(image);
}

struct Reference {
    bool highBytes = false;   // compare with the high bytes of 16-bit samples
    int tolerance = 0;        // largest difference per sample (fewer bits than 8 per channel)
    std::string readOptions;  // applied to ImageMagick's reading
};

// Checks that ours and ImageMagick's decoding of a file are equal.
inline void ExpectSameDecoding(const char* codec, const std::string& path, const Reference& reference = {}) {
    const Rgba expected = ReferenceDecode(path, reference.highBytes, reference.readOptions);
    ASSERT_GT(expected.width, 0) << path;
    const Rgba ours = OurDecode(codec, path);
    ASSERT_EQ(ours.width, expected.width) << path;
    ASSERT_EQ(ours.height, expected.height) << path;
    ASSERT_EQ(ours.pixels.size(), expected.pixels.size()) << path;
    size_t mismatches = 0, first = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i) {
        const bool same = std::abs(ours.pixels[i] - expected.pixels[i]) <= reference.tolerance;
        if (!same && mismatches++ == 0) first = i;
    }
    EXPECT_EQ(mismatches, 0u) << path << ": first at byte " << first << " (pixel " << first / 4 << ", channel "
                              << first % 4 << "): ours " << int(ours.pixels[first]) << ", ImageMagick "
                              << int(expected.pixels[first]);
}

// Makes a fixture with `convert <source> <options> [<writer>:]<file>` and
// checks that ours and ImageMagick's decoding are equal.
inline void ExpectSameAsImageMagick(const char* codec, const std::string& source, const std::string& options,
                                    const std::string& file, const Reference& reference = {}) {
    const size_t colon = file.find(':');
    const std::string writer = colon == std::string::npos ? "" : file.substr(0, colon + 1);
    const std::string path = Path(colon == std::string::npos ? file : file.substr(colon + 1));
    Run("convert '" + source + "' " + options + " '" + writer + path + "'");
    ExpectSameDecoding(codec, path, reference);
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fixtures
