// Frame sizes, screen metrics, system colours, stock icons and the cursor's
// display counter.
#include <SDL.h>

#include "win32state.h"

namespace {

// Classic Windows frame metrics, in pixels.
constexpr int kBorder = 1;
constexpr int kDialogFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kCaption = 19;
constexpr int kMenu = 19;
constexpr int kClientEdge = 2;

int gCursorCount = 0;  // the display counter: visible while >= 0

bool ScreenSize(int& w, int& h, bool usable) {
    if (!win32::EnsureVideo()) return false;
    SDL_Rect r;
    if ((usable ? SDL_GetDisplayUsableBounds(0, &r) : SDL_GetDisplayBounds(0, &r)) != 0) return false;
    w = r.w;
    h = r.h;
    return w > 0 && h > 0;
}

}  // namespace

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (!rect) return FALSE;
    int frame = 0;
    if (style & WS_THICKFRAME)
        frame = kSizingFrame;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        frame = kDialogFrame;
    else if (style & WS_BORDER)
        frame = kBorder;
    if (exStyle & WS_EX_CLIENTEDGE) frame += kClientEdge;
    rect->left -= frame;
    rect->top -= frame;
    rect->right += frame;
    rect->bottom += frame;
    if ((style & WS_CAPTION) == WS_CAPTION) rect->top -= kCaption;
    if (menu) rect->top -= kMenu;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

int WINAPI GetSystemMetrics(int index) {
    int w = 1024, h = 768;
    switch (index) {
    case SM_CXSCREEN: ScreenSize(w, h, false); return w;
    case SM_CYSCREEN: ScreenSize(w, h, false); return h;
    // The full-screen client area: the work area less a caption.
    case SM_CXFULLSCREEN: ScreenSize(w, h, true); return w;
    case SM_CYFULLSCREEN: ScreenSize(w, h, true); return h - kCaption;
    case SM_CYCAPTION: return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER: return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME: return kSizingFrame;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CMONITORS: return win32::EnsureVideo() ? SDL_GetNumVideoDisplays() : 0;
    default: return 0;
    }
}

int WINAPI ShowCursor(BOOL show) {
    gCursorCount += show ? 1 : -1;
    if (win32::VideoStarted()) SDL_ShowCursor(gCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return gCursorCount;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    // Only the system's stock icons exist; their handles are their ids.
    if (instance || !IS_INTRESOURCE(name)) return nullptr;
    return reinterpret_cast<HICON>(const_cast<char*>(name));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || !IS_INTRESOURCE(name)) return nullptr;
    return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

DWORD WINAPI GetSysColor(int index) {
    // The classic (Windows 2000) scheme, as COLORREF.
    switch (index) {
    case COLOR_SCROLLBAR: return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION: return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_MENU: return RGB(212, 208, 200);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_MENUTEXT:
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    default: return 0;
    }
}

HBRUSH WINAPI GetSysColorBrush(int index) { return reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(index + 1)); }

namespace win32 {

uint32_t ColorFromRef(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

uint32_t SysColor(int index) { return ColorFromRef(GetSysColor(index)); }

}  // namespace win32
