#pragma once
#include <cstdint>

namespace cvcore {

// The report window's logo: 8-bit palette indices, first row at the top, and
// a 256-entry palette of red, green, blue bytes.
constexpr int kReportLogoWidth = 128;
constexpr int kReportLogoHeight = 94;
extern const uint8_t kReportLogoPixels[kReportLogoWidth * kReportLogoHeight];
extern const uint8_t kReportLogoPalette[256 * 3];

}  // namespace cvcore
