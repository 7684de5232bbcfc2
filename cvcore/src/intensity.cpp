#include "pixelrows.h"

namespace cvcore {

namespace rows {

const IntensityTables& GetIntensityTables() {
    static const IntensityTables tables = [] {
        IntensityTables t{};
        // Single-precision factors, truncated: white sums to 76 + 149 + 29.
        for (int v = 0; v < 256; ++v) {
            const float f = static_cast<float>(v);
            t.red[v] = static_cast<uint8_t>(f * 0.299f);
            t.green[v] = static_cast<uint8_t>(f * 0.587f);
            t.blue[v] = static_cast<uint8_t>(f * 0.114f);
        }
        return t;
    }();
    return tables;
}

}  // namespace rows

uint32_t Intensity(uint32_t red8, uint32_t green8, uint32_t blue8) {
    const rows::IntensityTables& t = rows::GetIntensityTables();
    return uint32_t{t.red[red8 & 0xFF]} + t.green[green8 & 0xFF] + t.blue[blue8 & 0xFF];
}

}  // namespace cvcore
