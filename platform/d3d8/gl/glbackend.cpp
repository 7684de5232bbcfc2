// The GL back end's adapters: one per SDL display, named after the display
// and the GL renderer, with the display's modes (or a standard list when the
// display reports none of its own, as SDL's offscreen display does).
#include <SDL2/SDL.h>
#include <win32sdl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "d3d8/backend.h"
#include "d3d8/formatinfo.h"
#include "d3d8/gl/glcontext.h"
#include "d3d8/gl/gldevice.h"
#include "d3d8/gl/gltexture.h"
#include "d3d8/presentparams.h"
#include "d3d8/standincaps.h"

namespace d3d8 {

namespace {

D3DFORMAT DisplayFormatOf(Uint32 sdlFormat) {
    switch (SDL_BITSPERPIXEL(sdlFormat)) {
    case 15: return D3DFMT_X1R5G5B5;
    case 16: return D3DFMT_R5G6B5;
    default: return D3DFMT_X8R8G8B8;
    }
}

D3DDISPLAYMODE ModeOf(const SDL_DisplayMode& m) {
    return {UINT(m.w), UINT(m.h), UINT(m.refresh_rate > 0 ? m.refresh_rate : 60), DisplayFormatOf(m.format)};
}

class GLBackend final : public Backend {
public:
    explicit GLBackend(const GLProbe& probe) : probe_(probe) {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        const int displays = std::max(1, SDL_GetNumVideoDisplays());
        const DWORD maxTexture = DWORD(std::min(probe.maxTextureSize, 4096));
        for (int d = 0; d < displays; ++d) {
            AdapterInfo info;
            const char* name = SDL_GetDisplayName(d);
            std::snprintf(info.identifier.Description, sizeof info.identifier.Description, "%s (%s)",
                          name ? name : "Display", probe.renderer.c_str());
            std::snprintf(info.identifier.Driver, sizeof info.identifier.Driver, "%s",
                          SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "sdl");
            const int count = SDL_GetNumDisplayModes(d);
            for (int i = 0; i < count; ++i) {
                SDL_DisplayMode m;
                if (SDL_GetDisplayMode(d, i, &m) == 0) info.modes.push_back(ModeOf(m));
            }
            // A display that knows only its desktop mode gets the usual sizes.
            if (info.modes.size() < 2) info.modes = StandardModes();
            if (std::vector<D3DDISPLAYMODE> forced = ModesFromEnvironment(); !forced.empty())
                info.modes = std::move(forced);
            SDL_DisplayMode desktop;
            if (SDL_GetDesktopDisplayMode(d, &desktop) == 0)
                info.desktop = ModeOf(desktop);
            else
                info.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
            info.caps = StandInCaps(maxTexture);
            adapters_.push_back(info);
        }
    }

    ~GLBackend() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    const std::vector<AdapterInfo>& Adapters() const override { return adapters_; }

    bool SupportsFormat(UINT, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const override {
        const FormatInfo* info = FindFormat(format);
        if (!info) return false;
        if (usage & D3DUSAGE_DEPTHSTENCIL) return info->depthStencil && type == D3DRTYPE_SURFACE;
        if (usage & D3DUSAGE_RENDERTARGET) return false;
        GLFormat gl;
        return (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_SURFACE) && info->texture &&
               GLFormatOf(format, probe_.s3tc, gl);
    }

    HRESULT CreateDevice(UINT adapter, HWND window, DWORD, D3DPRESENT_PARAMETERS& params,
                         std::shared_ptr<DeviceBackend>& device) override {
        int w = int(UNMEASURED_WINDOW_WIDTH), h = int(UNMEASURED_WINDOW_HEIGHT);
        if (SDL_Window* sdl = window ? Win32GetSDLWindow(window) : nullptr) SDL_GL_GetDrawableSize(sdl, &w, &h);
        CompletePresentParams(params, UINT(std::max(1, w)), UINT(std::max(1, h)), adapters_[adapter].desktop.Format);
        std::unique_ptr<GLContext> context =
            GLContext::Create(window, int(params.BackBufferWidth), int(params.BackBufferHeight), !params.Windowed);
        if (!context) return D3DERR_NOTAVAILABLE;
        device = std::make_shared<GLDevice>(std::move(context), params, probe_.s3tc);
        return D3D_OK;
    }

private:
    GLProbe probe_;
    std::vector<AdapterInfo> adapters_;
};

}  // namespace

std::unique_ptr<Backend> CreateGLBackend() {
    const GLProbe& probe = ProbeGL();
    if (!probe.usable) return nullptr;
    return std::make_unique<GLBackend>(probe);
}

}  // namespace d3d8
