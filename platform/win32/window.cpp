// Window classes and windows: registration, creation with styles mapped to
// SDL window flags, destruction, visibility, geometry and per-window data.
#include <SDL.h>
#include <strings.h>

#include <algorithm>

#include "win32sdl.h"
#include "win32state.h"

namespace win32 {
namespace {

constexpr uintptr_t kFirstHandle = 0x10010;
constexpr uintptr_t kHandleStep = 4;

struct WindowTable {
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::map<uintptr_t, std::unique_ptr<Window>> windows;  // ordered: creation order
    std::vector<std::unique_ptr<Window>> graveyard;        // destroyed, freed when no proc runs
    uintptr_t nextHandle = kFirstHandle;
};

WindowTable& Table() {
    static WindowTable table;
    return table;
}

WindowClass* FindClass(LPCSTR name) {
    if (!name) return nullptr;
    for (auto& c : Table().classes)
        if (strcasecmp(c->name.c_str(), name) == 0) return c.get();
    return nullptr;
}

Uint32 SdlFlags(DWORD style, DWORD exStyle) {
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL;
    if ((style & WS_CAPTION) != WS_CAPTION && (style & WS_THICKFRAME) == 0) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    return flags;
}

void PlaceTopLevel(Window* w, int x, int y, int outerWidth, int outerHeight) {
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, w->style, FALSE, w->exStyle);
    w->frameLeft = -frame.left;
    w->frameTop = -frame.top;
    w->frameRight = frame.right;
    w->frameBottom = frame.bottom;
    w->x = x + w->frameLeft;
    w->y = y + w->frameTop;
    w->width = std::max(0, outerWidth - w->frameLeft - w->frameRight);
    w->height = std::max(0, outerHeight - w->frameTop - w->frameBottom);
}

void CreateSdlWindow(Window* w) {
    if (!EnsureVideo()) return;
    auto create = [w](Uint32 flags) {
        return SDL_CreateWindow(w->text.c_str(), w->x, w->y, std::max(1, w->width), std::max(1, w->height), flags);
    };
    const Uint32 flags = SdlFlags(w->style, w->exStyle);
    w->sdl = create(flags);
    // A video driver without OpenGL (SDL's dummy driver) still gives the
    // program a window to draw GDI into and a trace device to render for.
    if (!w->sdl) w->sdl = create(flags & ~SDL_WINDOW_OPENGL);
    Win32PinLoadedModules();
}

}  // namespace

thread_local int procDepth = 0;

void InvalidateTree(Window* w, bool erase) {
    w->invalid = true;
    w->erase = w->erase || erase;
    for (HWND c : w->children)
        if (Window* child = GetWindow(c)) InvalidateTree(child, erase);
}

Window* GetWindow(HWND hwnd) {
    auto& windows = Table().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == windows.end() || it->second->destroyed) return nullptr;
    return it->second.get();
}

Window* TopLevel(Window* w) {
    while (w && (w->style & WS_CHILD)) w = GetWindow(w->parent);
    return w;
}

std::vector<HWND> AllWindows() {
    std::vector<HWND> out;
    for (auto& [key, w] : Table().windows)
        if (!w->destroyed) out.push_back(w->handle);
    return out;
}

HWND WindowFromSdlId(uint32_t id) {
    for (auto& [key, w] : Table().windows)
        if (!w->destroyed && w->sdl && SDL_GetWindowID(w->sdl) == id) return w->handle;
    return nullptr;
}

void OriginInTopLevel(Window* w, int& x, int& y) {
    x = y = 0;
    while (w && (w->style & WS_CHILD)) {
        x += w->x;
        y += w->y;
        w = GetWindow(w->parent);
    }
}

HWND ChildAt(HWND topLevel, int& x, int& y) {
    Window* w = GetWindow(topLevel);
    if (!w) return nullptr;
    bool descended = true;
    while (descended) {
        descended = false;
        // Later children lie on top of earlier ones.
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
            Window* c = GetWindow(*it);
            if (!c || !c->visible) continue;
            if (x >= c->x && y >= c->y && x < c->x + c->width && y < c->y + c->height) {
                x -= c->x;
                y -= c->y;
                w = c;
                descended = true;
                break;
            }
        }
    }
    return w->handle;
}

void CollectGarbage() {
    if (procDepth == 0) Table().graveyard.clear();
}

LRESULT CallProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++procDepth;
    LRESULT r = proc(hwnd, msg, wParam, lParam);
    --procDepth;
    return r;
}

}  // namespace win32

using namespace win32;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || wc->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(87);  // ERROR_INVALID_PARAMETER
        return 0;
    }
    if (FindClass(wc->lpszClassName)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS: the first registration stays
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    Table().classes.push_back(std::move(c));
    return static_cast<ATOM>(0xC000 + Table().classes.size());
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (!wc) return 0;
    WNDCLASSEXA ex = {sizeof(WNDCLASSEXA), wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                      wc->cbWndExtra,      wc->hInstance,    wc->hIcon,         wc->hCursor,
                      wc->hbrBackground,   wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExA(&ex);
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    auto& classes = Table().classes;
    WindowClass* c = FindClass(className);
    if (!c) return FALSE;
    for (auto& [key, w] : Table().windows)
        if (!w->destroyed && w->windowClass == c) return FALSE;  // still in use
    // Windows keep a pointer to their class, so a class is never freed while
    // the graveyard may still point at it.
    if (!Table().graveyard.empty()) return FALSE;
    classes.erase(std::find_if(classes.begin(), classes.end(), [c](const auto& p) { return p.get() == c; }));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    RegisterBuiltinClasses();
    const WindowClass* c = FindClass(className);
    if (!c) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    if ((style & WS_CHILD) && !GetWindow(parent)) {
        SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
        return nullptr;
    }
    auto owned = std::make_unique<Window>();
    Window* w = owned.get();
    WindowTable& table = Table();
    w->handle = reinterpret_cast<HWND>(table.nextHandle);
    table.nextHandle += kHandleStep;
    w->windowClass = c;
    w->proc = c->proc;
    w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = exStyle;
    w->text = windowName ? windowName : "";
    w->enabled = (style & WS_DISABLED) == 0;
    w->font = nullptr;
    if (x == CW_USEDEFAULT) x = y = 64;
    if (width == CW_USEDEFAULT) width = 640, height = 480;
    if (style & WS_CHILD) {
        w->parent = parent;
        w->id = static_cast<int>(reinterpret_cast<intptr_t>(menu));
        w->x = x, w->y = y, w->width = std::max(0, width), w->height = std::max(0, height);
    } else {
        w->owner = GetWindow(parent) ? parent : nullptr;
        PlaceTopLevel(w, x, y, width, height);
    }
    table.windows[reinterpret_cast<uintptr_t>(w->handle)] = std::move(owned);
    if (Window* p = GetWindow(w->parent)) p->children.push_back(w->handle);
    if (!(style & WS_CHILD)) CreateSdlWindow(w);

    HWND hwnd = w->handle;
    CREATESTRUCTA cs = {param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                        windowName, className, exStyle};
    if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!(w = GetWindow(hwnd))) return nullptr;
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->width, w->height));
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    if (!w) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    // Owned windows (a dialog over its owner) go first, as on Windows.
    for (HWND other : AllWindows())
        if (Window* o = GetWindow(other); o && o->owner == hwnd) DestroyWindow(other);
    if (w->sdl) SDL_HideWindow(w->sdl);
    w->visible = false;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    if (!(w = GetWindow(hwnd))) return TRUE;  // destroyed again from inside WM_DESTROY
    for (HWND child : std::vector<HWND>(w->children)) DestroyWindow(child);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    ForgetWindow(hwnd);
    w = GetWindow(hwnd);
    if (!w) return TRUE;
    w->destroyed = true;
    if (Window* p = GetWindow(w->parent))
        p->children.erase(std::remove(p->children.begin(), p->children.end(), hwnd), p->children.end());
    if (w->sdl) SDL_DestroyWindow(w->sdl), w->sdl = nullptr;
    auto& table = Table();
    auto it = table.windows.find(reinterpret_cast<uintptr_t>(hwnd));
    table.graveyard.push_back(std::move(it->second));
    table.windows.erase(it);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return GetWindow(hwnd) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    for (Window* w = GetWindow(hwnd); w; w = GetWindow(w->parent)) {
        if (!w->visible) return FALSE;
        if (!(w->style & WS_CHILD)) return TRUE;
    }
    return FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    return w && w->enabled;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    const BOOL wasVisible = w->visible;
    if (cmdShow == SW_HIDE) {
        w->visible = false;
        if (w->sdl) SDL_HideWindow(w->sdl);
        if (!(w->style & WS_CHILD) && GetActiveWindow() == hwnd) Activate(w->owner);
        if (Window* p = GetWindow(w->parent)) InvalidateTree(p, true);
        return wasVisible;
    }
    w->visible = true;
    w->style |= WS_VISIBLE;
    InvalidateTree(w, true);
    if (!(w->style & WS_CHILD)) {
        if (w->sdl) {
            SDL_ShowWindow(w->sdl);
            if (cmdShow == SW_MAXIMIZE) SDL_MaximizeWindow(w->sdl);
            if (cmdShow == SW_MINIMIZE || cmdShow == SW_SHOWMINIMIZED) SDL_MinimizeWindow(w->sdl);
        }
        if (cmdShow != SW_SHOWNA && cmdShow != SW_SHOWNOACTIVATE && cmdShow != SW_MINIMIZE) Activate(hwnd);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    PaintNow(w);
    return TRUE;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    const BOOL wasDisabled = !w->enabled;
    if (w->enabled != (enable != FALSE)) {
        w->enabled = enable != FALSE;
        w->style = enable ? (w->style & ~static_cast<DWORD>(WS_DISABLED)) : (w->style | WS_DISABLED);
        if (!enable && FocusWindow() == hwnd) SetFocusWindow(nullptr);
        InvalidateTree(w, true);
        SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    }
    return wasDisabled;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    const bool topLevel = !(w->style & WS_CHILD);
    if (!(flags & SWP_NOMOVE)) {
        w->x = x + (topLevel ? w->frameLeft : 0);
        w->y = y + (topLevel ? w->frameTop : 0);
        if (w->sdl) SDL_SetWindowPosition(w->sdl, w->x, w->y);
    }
    if (!(flags & SWP_NOSIZE)) {
        w->width = std::max(0, cx - (topLevel ? w->frameLeft + w->frameRight : 0));
        w->height = std::max(0, cy - (topLevel ? w->frameTop + w->frameBottom : 0));
        if (w->sdl) SDL_SetWindowSize(w->sdl, std::max(1, w->width), std::max(1, w->height));
        SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->width, w->height));
        if ((w = GetWindow(hwnd))) InvalidateTree(w, true);
    }
    if (w && w->sdl && !(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST) SDL_SetWindowAlwaysOnTop(w->sdl, SDL_TRUE), w->exStyle |= WS_EX_TOPMOST;
        if (insertAfter == HWND_NOTOPMOST)
            SDL_SetWindowAlwaysOnTop(w->sdl, SDL_FALSE), w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    }
    if (w && (flags & SWP_SHOWWINDOW)) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (w && (flags & SWP_HIDEWINDOW)) ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER);
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = GetWindow(hwnd);
    if (!w || !rect) return FALSE;
    *rect = {0, 0, w->width, w->height};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = GetWindow(hwnd);
    if (!w || !rect) return FALSE;
    int x = w->x, y = w->y;
    if (w->style & WS_CHILD) {
        Window* top = TopLevel(w);
        OriginInTopLevel(w, x, y);
        if (top) x += top->x, y += top->y;
    }
    *rect = {x - w->frameLeft, y - w->frameTop, x + w->width + w->frameRight, y + w->height + w->frameBottom};
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int maxCount) {
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

HWND WINAPI GetParent(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    if (!w) return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    HWND old = GetActiveWindow();
    Window* w = GetWindow(hwnd);
    if (w && !(w->style & WS_CHILD)) Activate(hwnd);
    return old;
}

HWND WINAPI GetFocus(void) { return FocusWindow(); }

HWND WINAPI SetFocus(HWND hwnd) {
    HWND old = FocusWindow();
    if (hwnd && !GetWindow(hwnd)) return nullptr;
    if (old == hwnd) return old;
    if (old) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    SetFocusWindow(hwnd);
    if (hwnd) SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) {
    Window* w = GetWindow(hwnd);
    if (!w) {
        SetLastError(1400);
        return 0;
    }
    switch (index) {
    case GWLP_USERDATA: return w->userData;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_STYLE: return static_cast<LONG>(w->style | (w->visible ? WS_VISIBLE : 0));
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWLP_ID: return w->id;
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(GetParent(hwnd));
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->windowClass->instance);
    case DWLP_MSGRESULT:
    case DWLP_DLGPROC:
    case DWLP_USER:
        if (w->dialogProc) return w->dialogWords[index / 8];
        break;
    default: break;
    }
    SetLastError(1413);  // ERROR_INVALID_INDEX
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = GetWindow(hwnd);
    if (!w) {
        SetLastError(1400);
        return 0;
    }
    const LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
    case GWLP_USERDATA: w->userData = value; break;
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); break;
    case GWL_STYLE: w->style = static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_VISIBLE); break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWLP_ID: w->id = static_cast<int>(value); break;
    case DWLP_MSGRESULT:
    case DWLP_DLGPROC:
    case DWLP_USER:
        if (w->dialogProc) w->dialogWords[index / 8] = value;
        break;
    default: break;
    }
    return old;
}

LONG WINAPI GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtrA(hwnd, index)); }

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

SDL_Window* Win32GetSDLWindow(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    return w ? w->sdl : nullptr;
}
