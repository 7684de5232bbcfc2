#include "cvcore/blitter.h"
#include "cvcore/surface.h"

namespace cvcore {

bool Surface::Blit(const Surface&, int32_t) { return false; }
void Surface::Fill(uint32_t, uint32_t) {}
ChannelMapping MapChannel(uint32_t, uint32_t) { return {}; }
std::unique_ptr<Converter> BuildConverter(const PixelFormat&, const PixelFormat&, uint32_t, RoutineChoice) { return nullptr; }
Converter* GetConverter(const PixelFormat&, const PixelFormat&, uint32_t) { return nullptr; }
int32_t ConverterSlot(const PixelFormat&, const PixelFormat&, uint32_t) { return 0; }
const Converter* CachedConverter(int32_t) { return nullptr; }
uint32_t Intensity(uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t GetProcessorFeatures() { return 0; }

}  // namespace cvcore
