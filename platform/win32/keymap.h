#pragma once
#include <cstdint>

namespace win32 {

// The Windows virtual-key code a keyboard sends for an SDL keycode, 0 when
// it sends none. Both Shift keys send VK_SHIFT, both Control keys
// VK_CONTROL and both Alt keys VK_MENU, as key messages carry them.
int VirtualKeyFromSdl(int32_t sdlKeycode);

}  // namespace win32
