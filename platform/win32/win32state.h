#pragma once
// The stand-in's own bookkeeping: window classes, windows and their SDL
// windows, shared by the window, message, painting and dialog modules.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fontrender.h"

struct SDL_Window;

namespace win32 {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

// State of the built-in controls (buttons, static texts, combo boxes).
struct ControlState {
    UINT check = BST_UNCHECKED;
    bool pressed = false;
    std::vector<std::string> items;
    int selection = -1;
    bool dropped = false;
    int topIndex = 0;
    int dropHeight = 0;  // pixels of the drop-down list, from the template height
    std::string edit;    // the edit field of a drop-down combo box
};

// A top-level window's client-area pixels, 0x00RRGGBB. It exists once GDI
// draws into the window; windows drawn only by OpenGL never get one.
struct Canvas {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool dirty = false;
};

struct Window {
    HWND handle = nullptr;
    const WindowClass* windowClass = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0, exStyle = 0;
    std::string text;
    HWND parent = nullptr;  // child windows
    HWND owner = nullptr;   // owned top-level windows (dialogs)
    int id = 0;
    // Top-level: the client area's screen position; child: its position in
    // the parent's client area. Sizes are client sizes.
    int x = 0, y = 0, width = 0, height = 0;
    int frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;  // outer minus client
    LONG_PTR userData = 0;
    LONG_PTR dialogWords[3] = {};
    bool visible = false, enabled = true, invalid = false, erase = false, destroyed = false;
    HFONT font = nullptr;
    SDL_Window* sdl = nullptr;
    Canvas canvas;
    std::vector<HWND> children;
    ControlState control;
    // Dialogs
    DLGPROC dialogProc = nullptr;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    FontSpec dialogFont;
    int baseUnitX = 4, baseUnitY = 8;
};

Window* GetWindow(HWND hwnd);
Window* TopLevel(Window* w);
// Every live window, in creation order.
std::vector<HWND> AllWindows();
HWND WindowFromSdlId(uint32_t sdlWindowId);
// Child window (deepest, visible, enabled or not) under a client point of a
// top-level window; the window itself when no child is there. The point is
// turned into that window's client coordinates.
HWND ChildAt(HWND topLevel, int& x, int& y);
// The position of a window's client area inside its top-level client area.
void OriginInTopLevel(Window* w, int& x, int& y);

// Makes sure the top-level canvas exists and matches the client size; the
// target covers w's client area (origin and clip inside the canvas).
bool CanvasTarget(Window* w, PixelTarget& target, int& originX, int& originY);

// SDL video: started on first need; false when it cannot start.
bool EnsureVideo();
bool VideoStarted();

// Sends WM_PAINT to every invalid visible window now (as UpdateWindow does).
void PaintNow(Window* w);
// Copies dirty canvases (with open drop-down lists on top) to their windows.
void PresentWindows();
// The canvas with overlays, as PresentWindows shows it.
void ComposeWindow(Window* w, std::vector<uint32_t>& out);

// Focus and activation.
HWND FocusWindow();
void SetFocusWindow(HWND hwnd);
void Activate(HWND topLevel);
void ForgetWindow(HWND hwnd);  // focus, activation and capture drop a destroyed window

// Calls a window procedure, counting how deep procedures nest: destroyed
// windows are freed only when none is running.
LRESULT CallProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void CollectGarbage();
void InvalidateTree(Window* w, bool erase);

// Moves pending SDL events into the message queue as window messages.
void PumpSdlEvents();
// Waits a little for input (or runs the idle hook instead).
void WaitForInput();
// The idle hook of win32host.h (empty when none).
std::function<void()> IdleHook();
// Keyboard handling of modal dialogs: true when msg was a dialog key.
bool HandleDialogKey(HWND dialog, const MSG& msg);

// Built-in control classes, registered on first use.
void RegisterBuiltinClasses();
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogWindowProc(HWND, UINT, WPARAM, LPARAM);
// Open drop-down list of a combo box, in its top-level's client coordinates.
bool DropListRect(Window* combo, RECT& rect, int& rowHeight);
void DrawDropList(Window* combo, const PixelTarget& target);
// A click in an open drop-down list: true when the list took it.
bool DropListClick(HWND topLevel, int x, int y);
void CloseDropLists(HWND topLevel);

// Colours as 0x00RRGGBB.
uint32_t ColorFromRef(COLORREF c);
uint32_t SysColor(int index);
// A brush handle's colour: a system colour + 1, a stock or a solid brush.
bool BrushColor(HBRUSH brush, uint32_t& color);
FontSpec FontOf(HFONT font);
void FillPixels(const PixelTarget& t, int left, int top, int right, int bottom, uint32_t color);
HFONT DefaultGuiFont();
// A font object for a face size (the dialog fonts); lives for the process.
HFONT FontForSpec(const FontSpec& style);

}  // namespace win32
