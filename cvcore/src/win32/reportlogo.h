#pragma once
#include <cstdint>

namespace cvcore {

// The report window's logo: 8-bit palette indices, first row at the top, and
// a 256-entry palette of red, green, blue bytes.
constexpr int REPORT_LOGO_WIDTH = 128;
constexpr int REPORT_LOGO_HEIGHT = 94;
extern const uint8_t REPORT_LOGO_PIXELS[REPORT_LOGO_WIDTH * REPORT_LOGO_HEIGHT];
extern const uint8_t REPORT_LOGO_PALETTE[256 * 3];

}  // namespace cvcore
