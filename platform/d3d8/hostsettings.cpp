// Settings of the stand-in that come from its host rather than from the
// program: a mode list forced through the environment, and a present hook
// installed on every device made from now on (for tools that capture the
// frames of a program they do not change).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backend.h"

namespace d3d8 {

namespace {
D3D8PresentHook defaultHook = nullptr;
void* defaultUser = nullptr;
}  // namespace

// HALCYON2_DISPLAY_MODES="WxHxBITS[,WxHxBITS...]" replaces every adapter's
// mode list (16 bits: R5G6B5, 32 bits: X8R8G8B8). Empty when unset or when
// no entry parses.
std::vector<D3DDISPLAYMODE> ModesFromEnvironment() {
    std::vector<D3DDISPLAYMODE> modes;
    const char* text = std::getenv("HALCYON2_DISPLAY_MODES");
    while (text && *text) {
        unsigned w = 0, h = 0, bits = 0;
        if (std::sscanf(text, "%ux%ux%u", &w, &h, &bits) == 3 && w >= 1 && h >= 1 && w <= 16384 && h <= 16384 &&
            (bits == 16 || bits == 32))
            modes.push_back({w, h, 60, bits == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8});
        text = std::strchr(text, ',');
        if (text) ++text;
    }
    return modes;
}

std::vector<unsigned> LosePresentsFromEnvironment() {
    std::vector<unsigned> presents;
    const char* text = std::getenv("HALCYON2_D3D8_LOSE_AT");
    while (text && *text) {
        unsigned n = 0;
        if (std::sscanf(text, "%u", &n) == 1 && n > 0) presents.push_back(n);
        text = std::strchr(text, ',');
        if (text) ++text;
    }
    return presents;
}

void ApplyDefaultPresentHook(IDirect3DDevice8* device) {
    if (defaultHook) D3D8_SetPresentHook(device, defaultHook, defaultUser);
}

}  // namespace d3d8

void D3D8_SetDefaultPresentHook(D3D8PresentHook hook, void* user) {
    d3d8::defaultHook = hook;
    d3d8::defaultUser = user;
}
