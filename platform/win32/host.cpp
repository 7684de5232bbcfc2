// Where the stand-in meets the machine: visible display or not, unattended
// dialog answers, idle hook, pixel read-back and injected input.
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "win32host.h"
#include "win32state.h"

namespace win32 {
namespace {

struct HostState {
    bool showHeadless = false;
    int dialogAnswer = -1;  // -1: not set by a call, read the environment
    std::function<void()> idleHook;
};

HostState& Host() {
    static HostState state;
    return state;
}

bool EnvFlag(const char* name) {
    const char* v = std::getenv(name);
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

std::function<void()> IdleHook() { return Host().idleHook; }

}  // namespace win32

using namespace win32;

bool Win32DisplayIsVisible() {
    if (!EnsureVideo()) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return false;
    if (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)
        return Host().showHeadless || EnvFlag("HALCYON2_SHOW_HEADLESS");
    return true;
}

void Win32SetShowHeadless(bool on) { Host().showHeadless = on; }

void Win32SetDialogAnswer(int commandId) { Host().dialogAnswer = commandId; }

int Win32GetDialogAnswer() {
    if (Host().dialogAnswer >= 0) return Host().dialogAnswer;
    const char* v = std::getenv("HALCYON2_DIALOG");
    if (!v) return 0;
    if (strcasecmp(v, "ok") == 0) return IDOK;
    if (strcasecmp(v, "cancel") == 0) return IDCANCEL;
    return 0;
}

void Win32SetIdleHook(std::function<void()> hook) { Host().idleHook = std::move(hook); }

bool Win32ReadWindowPixels(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height) {
    Window* w = GetWindow(hwnd);
    if (!w || (w->style & WS_CHILD)) return false;
    ComposeWindow(w, pixels);
    width = w->width;
    height = w->height;
    return true;
}

void Win32InjectKey(HWND hwnd, int32_t sdlKeycode, bool down) {
    Window* w = GetWindow(hwnd);
    if (!w || !w->sdl) return;
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(w->sdl);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sdlKeycode;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sdlKeycode);
    SDL_PushEvent(&e);
}

void Win32InjectClick(HWND hwnd, int x, int y) {
    Window* w = GetWindow(hwnd);
    if (!w || !w->sdl) return;
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
        SDL_Event e = {};
        e.type = type;
        e.button.windowID = SDL_GetWindowID(w->sdl);
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }
}
