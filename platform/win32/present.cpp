// Canvases: the client-area pixels GDI and the controls draw into, and their
// way onto the screen through the SDL window's framebuffer.
#include <SDL.h>

#include <algorithm>

#include "win32state.h"

namespace win32 {
namespace {

void EnsureCanvas(Window* top) {
    Canvas& c = top->canvas;
    if (c.width == top->width && c.height == top->height && !c.pixels.empty()) return;
    c.width = top->width;
    c.height = top->height;
    c.pixels.assign(static_cast<size_t>(std::max(0, c.width)) * std::max(0, c.height), SysColor(COLOR_BTNFACE));
}

void DrawOpenLists(Window* w, const PixelTarget& t) {
    for (HWND h : w->children) {
        Window* c = GetWindow(h);
        if (!c || !c->visible) continue;
        if (c->control.dropped) DrawDropList(c, t);
        DrawOpenLists(c, t);
    }
}

}  // namespace

bool CanvasTarget(Window* w, PixelTarget& t, int& ox, int& oy) {
    Window* top = TopLevel(w);
    if (!top || top->width <= 0 || top->height <= 0) return false;
    EnsureCanvas(top);
    OriginInTopLevel(w, ox, oy);
    t = {top->canvas.pixels.data(),
         top->canvas.width,
         top->canvas.height,
         top->canvas.width,
         ox,
         oy,
         ox + w->width,
         oy + w->height};
    // Children are clipped by every ancestor's client area.
    for (Window* a = GetWindow(w->parent); a && (w->style & WS_CHILD); a = GetWindow(a->parent)) {
        int ax, ay;
        OriginInTopLevel(a, ax, ay);
        t.clipLeft = std::max(t.clipLeft, ax);
        t.clipTop = std::max(t.clipTop, ay);
        t.clipRight = std::min(t.clipRight, ax + a->width);
        t.clipBottom = std::min(t.clipBottom, ay + a->height);
        if (!(a->style & WS_CHILD)) break;
    }
    return true;
}

void ComposeWindow(Window* w, std::vector<uint32_t>& out) {
    const size_t n = static_cast<size_t>(std::max(0, w->width)) * std::max(0, w->height);
    if (w->canvas.pixels.size() == n)
        out = w->canvas.pixels;
    else
        out.assign(n, 0);
    if (n == 0) return;
    PixelTarget t = {out.data(), w->width, w->height, w->width, 0, 0, w->width, w->height};
    DrawOpenLists(w, t);
}

void PresentWindows() {
    if (!VideoStarted()) return;
    std::vector<uint32_t> pixels;
    for (HWND h : AllWindows()) {
        Window* w = GetWindow(h);
        if ((w->style & WS_CHILD) || !w->canvas.dirty || !w->sdl || !w->visible) continue;
        w->canvas.dirty = false;
        ComposeWindow(w, pixels);
        SDL_Surface* screen = SDL_GetWindowSurface(w->sdl);
        if (!screen || pixels.empty()) continue;
        SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), w->width, w->height, 32, w->width * 4,
                                                              SDL_PIXELFORMAT_RGB888);
        if (!src) continue;
        SDL_BlitSurface(src, nullptr, screen, nullptr);
        SDL_FreeSurface(src);
        SDL_UpdateWindowSurface(w->sdl);
    }
}

}  // namespace win32
