// The message queue: posted messages, WM_QUIT, WM_PAINT for invalid windows,
// SDL input turned into window messages, and the default window procedure.
#include <SDL.h>

#include <cstring>
#include <deque>

#include "keymap.h"
#include "win32host.h"
#include "win32state.h"

namespace win32 {
namespace {

struct Queue {
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    HWND focus = nullptr;
    HWND active = nullptr;
    int videoState = 0;  // 0 not tried, 1 started, -1 failed
};

Queue& Q() {
    static Queue q;
    return q;
}

DWORD Now() { return static_cast<DWORD>(SDL_GetTicks()); }

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m = {hwnd, message, wParam, lParam, Now(), {0, 0}};
    Q().posted.push_back(m);
}

bool IsDescendant(HWND child, HWND ancestor) {
    for (Window* w = GetWindow(child); w; w = GetWindow(w->parent)) {
        if (w->handle == ancestor) return true;
        if (!(w->style & WS_CHILD)) break;
    }
    return false;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
    if (hwnd == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd) return false;
    } else if (hwnd && !IsDescendant(m.hwnd, hwnd)) {
        return false;
    }
    return (lo == 0 && hi == 0) || (m.message >= lo && m.message <= hi);
}

// Keys go to the focus window when it lies in the window that has the
// keyboard, else to that window itself; nothing reaches a disabled window.
HWND KeyTarget(HWND top) {
    HWND focus = Q().focus;
    HWND target = (focus && IsDescendant(focus, top)) ? focus : top;
    Window* t = TopLevel(GetWindow(target));
    return (t && t->enabled) ? target : nullptr;
}

void TranslateKey(const SDL_KeyboardEvent& e) {
    HWND top = WindowFromSdlId(e.windowID);
    HWND target = top ? KeyTarget(top) : nullptr;
    const int vk = VirtualKeyFromSdl(e.keysym.sym);
    if (!target || vk == 0) return;
    const bool down = e.type == SDL_KEYDOWN;
    const bool alt = (e.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
    LPARAM lp = 1 | (static_cast<LPARAM>(e.keysym.scancode & 0xFF) << 16);
    if (alt) lp |= 1 << 29;
    if (!down || e.repeat) lp |= 1 << 30;
    if (!down) lp |= static_cast<LPARAM>(1u << 31);
    UINT message = down ? WM_KEYDOWN : WM_KEYUP;
    if (alt || vk == VK_F10) message = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
    Post(target, message, static_cast<WPARAM>(vk), lp);
}

void TranslateText(const SDL_TextInputEvent& e) {
    HWND top = WindowFromSdlId(e.windowID);
    HWND target = top ? KeyTarget(top) : nullptr;
    if (!target) return;
    // UTF-8 to code points; those in Latin-1 become WM_CHAR.
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(e.text); *p;) {
        uint32_t cp = *p++;
        int more = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
        if (more) cp &= 0x3Fu >> more;
        for (; more > 0 && (*p & 0xC0) == 0x80; --more) cp = (cp << 6) | (*p++ & 0x3F);
        if (cp >= 0x20 && cp < 0x100 && cp != 0x7F) Post(target, WM_CHAR, cp, 1);
    }
}

void TranslateMouse(const SDL_MouseButtonEvent& e) {
    HWND top = WindowFromSdlId(e.windowID);
    Window* t = GetWindow(top);
    if (!t || !t->enabled || (e.button != SDL_BUTTON_LEFT && e.button != SDL_BUTTON_RIGHT)) return;
    int x = e.x, y = e.y;
    if (e.type == SDL_MOUSEBUTTONDOWN && e.button == SDL_BUTTON_LEFT && DropListClick(top, x, y)) return;
    HWND target = ChildAt(top, x, y);
    const bool left = e.button == SDL_BUTTON_LEFT;
    UINT message =
        e.type == SDL_MOUSEBUTTONDOWN ? (left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN) : (left ? WM_LBUTTONUP : WM_RBUTTONUP);
    Post(target, message, left ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(x, y));
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
    HWND hwnd = WindowFromSdlId(e.windowID);
    Window* w = GetWindow(hwnd);
    if (!w) return;
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE: Post(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (w->width != e.data1 || w->height != e.data2) {
            w->width = e.data1;
            w->height = e.data2;
            InvalidateTree(w, true);
            Post(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.data1, e.data2));
        }
        break;
    case SDL_WINDOWEVENT_MOVED: w->x = e.data1, w->y = e.data2; break;
    case SDL_WINDOWEVENT_EXPOSED: w->canvas.dirty = !w->canvas.pixels.empty(); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (w->enabled) Activate(hwnd);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (Q().active == hwnd) Activate(nullptr);
        break;
    default: break;
    }
}

// SDL's handlers turn SIGINT and SIGTERM into a quit event, and the signal
// then ends nothing by itself. It asks the program to end the way a task
// manager does on Windows: every top-level window is sent WM_CLOSE and closes
// as its window procedure decides (a dialog cancels, a main window quits).
void RequestCloseAll() {
    for (HWND h : AllWindows())
        if (Window* w = GetWindow(h); w && !(w->style & WS_CHILD)) Post(h, WM_CLOSE, 0, 0);
}

bool TakePosted(MSG& out, HWND hwnd, UINT lo, UINT hi, bool remove) {
    auto& posted = Q().posted;
    for (auto it = posted.begin(); it != posted.end(); ++it) {
        if (!Matches(*it, hwnd, lo, hi)) continue;
        out = *it;
        if (remove) posted.erase(it);
        return true;
    }
    return false;
}

bool TakePaint(MSG& out, HWND hwnd, UINT lo, UINT hi) {
    for (HWND h : AllWindows()) {
        Window* w = GetWindow(h);
        if (!w->invalid || !IsWindowVisible(h)) continue;
        MSG m = {h, WM_PAINT, 0, 0, Now(), {0, 0}};
        if (Matches(m, hwnd, lo, hi)) {
            out = m;
            return true;
        }
    }
    return false;
}

}  // namespace

bool VideoStarted() { return Q().videoState == 1; }

bool EnsureVideo() {
    Queue& q = Q();
    if (q.videoState == 0) {
        // GDI drawing goes through the video driver's own framebuffer, never
        // through a renderer that would take the window's OpenGL context.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        q.videoState = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? 1 : -1;
    }
    return q.videoState == 1;
}

void PumpSdlEvents() {
    if (!VideoStarted()) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: TranslateKey(e.key); break;
        case SDL_TEXTINPUT: TranslateText(e.text); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: TranslateMouse(e.button); break;
        case SDL_WINDOWEVENT: TranslateWindowEvent(e.window); break;
        case SDL_QUIT: RequestCloseAll(); break;
        default: break;
        }
    }
}

void WaitForInput() {
    // Copy first: the hook may replace itself.
    if (std::function<void()> hook = IdleHook()) {
        hook();
        return;
    }
    if (VideoStarted())
        SDL_WaitEventTimeout(nullptr, 10);
    else
        SDL_Delay(10);
}

HWND FocusWindow() {
    if (Q().focus && !GetWindow(Q().focus)) Q().focus = nullptr;
    return Q().focus;
}

void SetFocusWindow(HWND hwnd) { Q().focus = hwnd; }

void Activate(HWND hwnd) {
    Queue& q = Q();
    HWND old = GetWindow(q.active) ? q.active : nullptr;
    if (old == hwnd) return;
    q.active = hwnd;
    if (old) SendMessageA(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd && GetWindow(hwnd)) SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
}

void ForgetWindow(HWND hwnd) {
    Queue& q = Q();
    if (q.focus == hwnd || IsDescendant(q.focus, hwnd)) q.focus = nullptr;
    if (q.active == hwnd) {
        q.active = nullptr;
        Window* w = GetWindow(hwnd);
        if (w && IsWindowVisible(w->owner)) Activate(w->owner);
    }
}

void PaintNow(Window* w) {
    if (w->invalid && IsWindowVisible(w->handle)) SendMessageA(w->handle, WM_PAINT, 0, 0);
}

}  // namespace win32

using namespace win32;

HWND WINAPI GetActiveWindow(void) { return GetWindow(Q().active) ? Q().active : nullptr; }

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT removeMsg) {
    if (!msg) return FALSE;
    CollectGarbage();
    PresentWindows();
    PumpSdlEvents();
    const bool remove = (removeMsg & PM_REMOVE) != 0;
    if (TakePosted(*msg, hwnd, lo, hi, remove)) return TRUE;
    Queue& q = Q();
    if (q.quitPosted && (lo == 0 && hi == 0)) {
        *msg = {nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, Now(), {0, 0}};
        if (remove) q.quitPosted = false;
        return TRUE;
    }
    return TakePaint(*msg, hwnd, lo, hi) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    if (!msg) return -1;
    while (!PeekMessageA(msg, hwnd, lo, hi, PM_REMOVE)) WaitForInput();
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    // Characters arrive as SDL text input, so there is nothing to make here.
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) ? TRUE : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    Window* w = GetWindow(msg->hwnd);
    if (!w) return 0;
    return CallProc(w->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = GetWindow(hwnd);
    if (!w) {
        SetLastError(1400);
        return 0;
    }
    return CallProc(w->proc, hwnd, msg, wParam, lParam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? CallProc(proc, hwnd, msg, wParam, lParam) : 0;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !GetWindow(hwnd)) {
        SetLastError(1400);
        return FALSE;
    }
    Post(hwnd, msg, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    Q().quitPosted = true;
    Q().quitCode = exitCode;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = GetWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE && !(w->windowClass->style & CS_NOCLOSE)) SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29))) {
            if (Window* top = TopLevel(w)) SendMessageA(top->handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        if (!w->windowClass->background) return 0;
        RECT r = {0, 0, w->width, w->height};
        FillRect(reinterpret_cast<HDC>(wParam), &r, w->windowClass->background);
        return 1;
    }
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (w->sdl) SDL_SetWindowTitle(w->sdl, w->text.c_str());
        InvalidateTree(w, true);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (lParam) InvalidateTree(w, true);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsDescendant(FocusWindow(), hwnd)) SetFocus(hwnd);
        return 0;
    default: return 0;
    }
}
