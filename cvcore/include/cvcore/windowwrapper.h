#pragma once
#include <cstdint>
#include <windows.h>
#include "cvcore/object.h"

namespace cvcore {

// The framework's key numbering (low 8 bits index the key table).
int KeyCodeFromVirtualKey(WPARAM virtualKey);

// Key codes of the keys applications test by name.
constexpr int KEY_ESCAPE = 1;
constexpr int KEY_F1 = 48;  // F1..F12 are 48..59
constexpr int KEY_F5 = KEY_F1 + 4;

// One top-level window whose messages become virtual calls, a table of keys
// that are down, and a pump that calls MainLoop whenever the queue is empty.
class WindowWrapper : public Object {
public:
    WindowWrapper();
    ~WindowWrapper() override;
    WindowWrapper(const WindowWrapper&) = delete;
    WindowWrapper& operator=(const WindowWrapper&) = delete;

    virtual bool MainLoop() { return true; }
    virtual void OnPaint() {}
    virtual void OnSize(int width, int height) { (void)width, (void)height; }
    virtual void OnKey(int keyCode, bool down) { (void)keyCode, (void)down; }
    virtual void OnActivate(bool active) { (void)active; }
    virtual void OnClose() {}

    bool Open(int width, int height, const char* title, unsigned flags);
    bool Close();
    bool IsOpen() const { return window_ != nullptr; }
    HWND GetWindowHandle() const { return window_; }
    void ShowCursor();
    void HideCursor();
    void Quit() { quit_ = true; }
    bool IsQuitting() const { return quit_; }
    bool IsKeyDown(int keyCode) const { return keys_[keyCode & 0xFF] != 0; }
    void SetKey(int keyCode, bool down);
    void Run();

    static constexpr const char* CLASS_NAME = "FernhillWindowWrapperClassname_875443304495";

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool quit_ = false;
    uint8_t keys_[256] = {};
};

// The window style Open builds from its flags.
DWORD WindowStyleFromFlags(unsigned flags);

}  // namespace cvcore
