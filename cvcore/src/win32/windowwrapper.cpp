#include "cvcore/windowwrapper.h"

namespace cvcore {
namespace {

// Whether Close destroys the Win32 window. WM_DESTROY clears it around its
// own Close, since the window is already on its way out then.
uint8_t gDestroySwitch = 1;

struct KeyRange {
    int firstVk, lastVk, firstCode;
};

// Runs of virtual keys that map to consecutive key codes.
constexpr KeyRange kKeyRanges[] = {
    {VK_ESCAPE, VK_ESCAPE, 1},
    {'1', '9', 2},
    {'0', '0', 11},
    {'A', 'Z', 16},
    {VK_F1, VK_F12, 48},
    {VK_NUMPAD0, VK_NUMPAD9, 64},
    {VK_NUMLOCK, VK_NUMLOCK, 74},
    {VK_DIVIDE, VK_DIVIDE, 75},
    {VK_MULTIPLY, VK_MULTIPLY, 76},
    {VK_SUBTRACT, VK_SUBTRACT, 77},
    {VK_ADD, VK_ADD, 78},
    {VK_DECIMAL, VK_DECIMAL, 80},
    {VK_BACK, VK_BACK, 96},
    {VK_TAB, VK_TAB, 97},
    {VK_RETURN, VK_RETURN, 98},
    {VK_LCONTROL, VK_LCONTROL, 99},
    {VK_RCONTROL, VK_RCONTROL, 100},
    {VK_LSHIFT, VK_LSHIFT, 101},
    {VK_RSHIFT, VK_RSHIFT, 102},
    {VK_SPACE, VK_SPACE, 105},
    {VK_PRINT, VK_PRINT, 107},
    {VK_SCROLL, VK_SCROLL, 108},
    {VK_PRIOR, VK_PRIOR, 109},
    {VK_NEXT, VK_NEXT, 110},
    {VK_INSERT, VK_INSERT, 111},
    {VK_DELETE, VK_DELETE, 112},
    {VK_HOME, VK_HOME, 113},
    {VK_END, VK_END, 114},
    {VK_LEFT, VK_LEFT, 115},
    {VK_RIGHT, VK_RIGHT, 116},
    {VK_UP, VK_UP, 117},
    {VK_DOWN, VK_DOWN, 118},
};

WindowWrapper* FromWindow(HWND hwnd) {
    return reinterpret_cast<WindowWrapper*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void RegisterWindowClass(HINSTANCE instance, bool closeBox, WNDPROC proc) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | (closeBox ? 0 : CS_NOCLOSE);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hIconSm = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = WindowWrapper::CLASS_NAME;
    RegisterClassExA(&wc);  // fails harmlessly once the class exists
}

}  // namespace

int KeyCodeFromVirtualKey(WPARAM vk) {
    // Virtual keys are one byte; a wider value must not wrap onto one.
    if (vk > 0xFF) return 0;
    for (const KeyRange& r : kKeyRanges)
        if (static_cast<int>(vk) >= r.firstVk && static_cast<int>(vk) <= r.lastVk)
            return r.firstCode + static_cast<int>(vk) - r.firstVk;
    return 0;
}

DWORD WindowStyleFromFlags(unsigned flags) {
    DWORD style = (flags & 0x10) ? WS_OVERLAPPEDWINDOW : WS_POPUP;
    if (!(flags & 0x20)) style &= ~static_cast<DWORD>(WS_CAPTION);
    if (!(flags & 0x02)) style &= ~static_cast<DWORD>(WS_THICKFRAME);
    if (!(flags & 0x08)) style &= ~static_cast<DWORD>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    return style;
}

WindowWrapper::WindowWrapper() = default;

WindowWrapper::~WindowWrapper() { Close(); }

bool WindowWrapper::Open(int width, int height, const char* title, unsigned flags) {
    if (window_) Close();
    const DWORD style = WindowStyleFromFlags(flags);
    RegisterWindowClass(nullptr, (flags & 0x04) != 0, WindowProc);
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, style, FALSE);
    window_ = CreateWindowExA(0, CLASS_NAME, title, style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              nullptr, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    UpdateWindow(window_);
    ::ShowWindow(window_, SW_SHOW);
    ShowCursor();
    return true;
}

bool WindowWrapper::Close() {
    if (!window_) return false;
    OnClose();
    if (gDestroySwitch) DestroyWindow(window_);
    gDestroySwitch = 1;
    window_ = nullptr;
    return true;
}

void WindowWrapper::ShowCursor() {
    while (::ShowCursor(TRUE) < 0) {
    }
}

void WindowWrapper::HideCursor() {
    while (::ShowCursor(FALSE) >= 0) {
    }
}

void WindowWrapper::SetKey(int keyCode, bool down) {
    keys_[keyCode & 0xFF] = down ? 1 : 0;
    OnKey(keyCode, down);
}

void WindowWrapper::Run() {
    MSG msg = {};
    while (msg.message != WM_QUIT && !quit_) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (!MainLoop()) {
            break;
        }
    }
}

LRESULT CALLBACK WindowWrapper::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowWrapper* self = FromWindow(hwnd);
    switch (msg) {
    case WM_DESTROY:
        if (self) {
            gDestroySwitch = 0;
            self->Close();
            self->Quit();
            gDestroySwitch = 1;
        }
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        return 0;
    case WM_SIZE:
        if (self) self->OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
        if (self) self->OnActivate(LOWORD(wParam) != 0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        if (self) self->OnPaint();
        EndPaint(hwnd, &ps);
        ValidateRect(hwnd, nullptr);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
        if (self) self->SetKey(KeyCodeFromVirtualKey(wParam), msg == WM_KEYDOWN);
        return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace cvcore
