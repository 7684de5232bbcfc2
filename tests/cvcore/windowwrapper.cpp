// The window wrapper's pump, key table, styles and timer, headless.
#include "cvcore/windowwrapper.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <virtualclock.h>
#include <win32host.h>
#include <win32sdl.h>

#include <csignal>
#include <utility>
#include <vector>

#include "cvcore/timer.h"

namespace {

using cvcore::WindowWrapper;

class Recorder : public WindowWrapper {
public:
    int mainLoops = 0;
    int closes = 0;
    int stopAfter = -1;  // MainLoop returns false on this call
    std::vector<std::pair<int, bool>> keys;
    std::vector<bool> activations;
    std::vector<std::pair<int, int>> sizes;

    int paints = 0;

    bool MainLoop() override {
        ++mainLoops;
        return mainLoops != stopAfter;
    }
    void OnKey(int keyCode, bool down) override { keys.emplace_back(keyCode, down); }
    void OnClose() override { ++closes; }
    void OnActivate(bool active) override { activations.push_back(active); }
    void OnSize(int w, int h) override { sizes.emplace_back(w, h); }
    void OnPaint() override { ++paints; }
};

DWORD WindowStyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)); }

void PushSdlKey(HWND hwnd, SDL_Keycode key, bool down) { Win32InjectKey(hwnd, key, down); }

TEST(WindowWrapper, MainLoopRunsWhileTheQueueIsEmptyUntilItReturnsFalse) {
    Recorder app;
    app.stopAfter = 5;
    app.Run();  // no window at all: the pump still calls the hook
    EXPECT_EQ(app.mainLoops, 5);
    ASSERT_TRUE(app.Open(64, 48, "pump", 0xFFFFFFFFu));
    app.mainLoops = 0;
    app.stopAfter = 3;
    app.Run();
    EXPECT_EQ(app.mainLoops, 3);
    EXPECT_FALSE(app.IsQuitting());
}

TEST(WindowWrapper, RunReturnsAtOnceAfterQuit) {
    Recorder app;
    app.Quit();
    app.Run();
    EXPECT_EQ(app.mainLoops, 0);
    EXPECT_TRUE(app.IsQuitting());
}

TEST(WindowWrapper, CloseWithoutAWindowReturnsFalseAndCallsNothing) {
    Recorder app;
    EXPECT_FALSE(app.Close());
    EXPECT_EQ(app.closes, 0);
    EXPECT_FALSE(app.IsOpen());
}

TEST(WindowWrapper, CloseDestroysTheWindowOnce) {
    Recorder app;
    ASSERT_TRUE(app.Open(64, 48, "close", 0xFFFFFFFFu));
    HWND hwnd = app.GetWindowHandle();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&app));
    EXPECT_TRUE(app.Close());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(app.IsOpen());
    // WM_DESTROY found the object and closed it once more without destroying
    // again: OnClose ran for Close and for WM_DESTROY's Close.
    EXPECT_EQ(app.closes, 2);
    EXPECT_TRUE(app.IsQuitting());
}

// The class keeps the style of its first registration, so each case starts
// from an unregistered class (no window of it left, nothing awaiting release).
void ForgetWindowClass() {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    UnregisterClassA(WindowWrapper::CLASS_NAME, nullptr);
}

void RequestClose(HWND hwnd) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    e.window.windowID = SDL_GetWindowID(Win32GetSDLWindow(hwnd));
    SDL_PushEvent(&e);
}

// The window manager's close request goes through WM_DESTROY, so it ends the
// pump for good; the popup the show runs in has no close box to ask with.
TEST(WindowWrapper, TheWindowManagersCloseRequestEndsThePumpOnlyWithACloseBox) {
    for (const unsigned flags : {320u, 0xFFFFFFFFu}) {
        ForgetWindowClass();
        Recorder app;
        ASSERT_TRUE(app.Open(64, 48, "close box", flags));
        HWND hwnd = app.GetWindowHandle();
        RequestClose(hwnd);
        app.stopAfter = 1;
        app.Run();
        const bool closable = flags != 320u;
        EXPECT_EQ(IsWindow(hwnd) != FALSE, !closable) << flags;
        EXPECT_EQ(app.IsOpen(), !closable) << flags;
        EXPECT_EQ(app.IsQuitting(), closable) << flags;
        EXPECT_EQ(app.closes, closable ? 1 : 0) << flags;
        if (closable) {
            const int loops = app.mainLoops;
            app.stopAfter = loops + 1;
            app.Run();  // the quit flag stays set
            EXPECT_EQ(app.mainLoops, loops);
        }
    }
    ForgetWindowClass();
}

TEST(WindowWrapper, ATerminateSignalEndsThePumpEvenWithoutACloseBox) {
    ForgetWindowClass();
    Recorder app;
    ASSERT_TRUE(app.Open(64, 48, "signal", 320));
    ASSERT_EQ(raise(SIGTERM), 0);
    app.stopAfter = 100;  // a lost request would leave the pump running
    app.Run();
    EXPECT_TRUE(app.IsQuitting());
    EXPECT_FALSE(app.IsOpen());
    EXPECT_EQ(app.mainLoops, 0);
    ForgetWindowClass();
}

TEST(WindowWrapper, KeyTable) {
    const std::pair<int, int> table[] = {
        {VK_ESCAPE, 1},
        {'1', 2},
        {'9', 10},
        {'0', 11},
        {'A', 16},
        {'Z', 41},
        {VK_F1, 48},
        {VK_F5, 52},
        {VK_F12, 59},
        {VK_NUMPAD0, 64},
        {VK_NUMPAD9, 73},
        {VK_NUMLOCK, 74},
        {VK_DIVIDE, 75},
        {VK_MULTIPLY, 76},
        {VK_SUBTRACT, 77},
        {VK_ADD, 78},
        {VK_DECIMAL, 80},
        {VK_BACK, 96},
        {VK_TAB, 97},
        {VK_RETURN, 98},
        {VK_LCONTROL, 99},
        {VK_RCONTROL, 100},
        {VK_LSHIFT, 101},
        {VK_RSHIFT, 102},
        {VK_SPACE, 105},
        {VK_PRINT, 107},
        {VK_SCROLL, 108},
        {VK_PRIOR, 109},
        {VK_NEXT, 110},
        {VK_INSERT, 111},
        {VK_DELETE, 112},
        {VK_HOME, 113},
        {VK_END, 114},
        {VK_LEFT, 115},
        {VK_RIGHT, 116},
        {VK_UP, 117},
        {VK_DOWN, 118},
        // Not in the table: the generic modifier keys messages carry, and others.
        {VK_SHIFT, 0},
        {VK_CONTROL, 0},
        {VK_MENU, 0},
        {VK_SNAPSHOT, 0},
        {VK_SEPARATOR, 0},
        {0, 0},
        {255, 0},
        {0x1234, 0},
    };
    for (auto [vk, code] : table) EXPECT_EQ(cvcore::KeyCodeFromVirtualKey(static_cast<WPARAM>(vk)), code) << vk;
    // A value whose low bits spell a listed key is still no key.
    EXPECT_EQ(cvcore::KeyCodeFromVirtualKey(static_cast<WPARAM>(0x100000000ull | 'A')), 0);
    EXPECT_EQ(cvcore::KeyCodeFromVirtualKey(~static_cast<WPARAM>(0) - 0xFF + VK_ESCAPE), 0);
}

TEST(WindowWrapper, KeysFromSdlReachOnKeyThroughTheQueue) {
    Recorder app;
    ASSERT_TRUE(app.Open(64, 48, "keys", 0xFFFFFFFFu));
    HWND hwnd = app.GetWindowHandle();
    PushSdlKey(hwnd, SDLK_ESCAPE, true);
    PushSdlKey(hwnd, SDLK_LSHIFT, true);
    PushSdlKey(hwnd, SDLK_F5, true);
    PushSdlKey(hwnd, SDLK_a, true);
    app.stopAfter = 1;  // the queue drains before the first MainLoop
    app.Run();
    EXPECT_TRUE(app.IsKeyDown(1));
    EXPECT_TRUE(app.IsKeyDown(0));  // the generic Shift key stores code 0
    EXPECT_TRUE(app.IsKeyDown(52));
    EXPECT_TRUE(app.IsKeyDown(16));
    const std::vector<std::pair<int, bool>> expected = {{1, true}, {0, true}, {52, true}, {16, true}};
    EXPECT_EQ(app.keys, expected);

    PushSdlKey(hwnd, SDLK_ESCAPE, false);
    app.mainLoops = 0;
    app.Run();
    EXPECT_FALSE(app.IsKeyDown(1));
    EXPECT_EQ(app.keys.back(), std::make_pair(1, false));
}

TEST(WindowWrapper, SizeAndPaintMessagesReachTheirHooks) {
    Recorder app;
    ASSERT_TRUE(app.Open(64, 48, "size", 0xFFFFFFFFu));
    HWND hwnd = app.GetWindowHandle();
    EXPECT_TRUE(app.sizes.empty());  // creation's WM_SIZE comes before the object is known
    RECT outer = {0, 0, 300, 200};
    AdjustWindowRect(&outer, WindowStyleOf(hwnd), FALSE);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
    const std::vector<std::pair<int, int>> sized = {{300, 200}};
    EXPECT_EQ(app.sizes, sized);
    app.stopAfter = 1;  // the shown, resized window is painted once before the hook runs
    app.Run();
    EXPECT_EQ(app.paints, 1);
    EXPECT_EQ(app.mainLoops, 1);
}

TEST(WindowWrapper, SetKeyMasksTheCodeToEightBits) {
    Recorder app;
    app.SetKey(0x101, true);
    EXPECT_TRUE(app.IsKeyDown(1));
    EXPECT_EQ(app.keys.back(), std::make_pair(0x101, true));
}

TEST(WindowWrapper, StylesOfTheShowsTwoFlagValues) {
    EXPECT_EQ(cvcore::WindowStyleFromFlags(320), static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(cvcore::WindowStyleFromFlags(0xFFFFFFFFu), static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(cvcore::WindowStyleFromFlags(0x10 | 0x20), static_cast<DWORD>(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU));

    Recorder popup;
    ASSERT_TRUE(popup.Open(320, 200, "popup", 320));
    HWND p = popup.GetWindowHandle();
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(p, GWL_STYLE)), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    RECT r;
    GetWindowRect(p, &r);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 200);
    const Uint32 pf = SDL_GetWindowFlags(Win32GetSDLWindow(p));
    EXPECT_TRUE(pf & SDL_WINDOW_BORDERLESS);
    EXPECT_FALSE(pf & SDL_WINDOW_RESIZABLE);
    EXPECT_TRUE(pf & SDL_WINDOW_OPENGL);

    Recorder windowed;
    ASSERT_TRUE(windowed.Open(320, 200, "windowed", 0xFFFFFFFFu));
    HWND w = windowed.GetWindowHandle();
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 320);  // the adjusted outer size leaves the asked client size
    EXPECT_EQ(r.bottom, 200);
    GetWindowRect(w, &r);
    EXPECT_GT(r.right - r.left, 320);
    const Uint32 wf = SDL_GetWindowFlags(Win32GetSDLWindow(w));
    EXPECT_FALSE(wf & SDL_WINDOW_BORDERLESS);
    EXPECT_TRUE(wf & SDL_WINDOW_RESIZABLE);
    int sw, sh;
    SDL_GetWindowSize(Win32GetSDLWindow(w), &sw, &sh);
    EXPECT_EQ(sw, 320);
    EXPECT_EQ(sh, 200);
}

TEST(WindowWrapper, OpenShowsTheWindowActivatesItAndShowsTheCursor) {
    Recorder app;
    ASSERT_TRUE(app.Open(100, 80, "show", 0xFFFFFFFFu));
    EXPECT_TRUE(IsWindowVisible(app.GetWindowHandle()));
    EXPECT_EQ(GetActiveWindow(), app.GetWindowHandle());
    EXPECT_EQ(app.activations, std::vector<bool>{true});
    // Each stops exactly at the edge of visibility (a count of 0 shows),
    // however far the count was from it.
    app.HideCursor();
    ShowCursor(FALSE);
    ShowCursor(FALSE);
    app.ShowCursor();
    EXPECT_EQ(ShowCursor(FALSE), -1);
    ShowCursor(TRUE);
    ShowCursor(TRUE);
    app.HideCursor();
    EXPECT_EQ(ShowCursor(TRUE), 0);
}

TEST(WindowWrapper, OpenOnAnOpenWindowClosesTheOldOne) {
    Recorder app;
    ASSERT_TRUE(app.Open(64, 48, "first", 0xFFFFFFFFu));
    HWND first = app.GetWindowHandle();
    ASSERT_TRUE(app.Open(64, 48, "second", 0xFFFFFFFFu));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(app.GetWindowHandle()));
}

TEST(Timer, ElapsedFollowsTheVirtualClockExactly) {
    VirtualClockEnable(true);
    cvcore::Timer timer;
    EXPECT_EQ(timer.Elapsed(), 0.0L);
    VirtualClockAdvance(1500000000);
    EXPECT_EQ(timer.Elapsed(), 1.5L);
    timer.Reset();
    VirtualClockAdvance(250000000);
    EXPECT_EQ(timer.Elapsed(), 0.25L);
    VirtualClockEnable(false);
}

TEST(Timer, ElapsedGrowsWithWallClockTime) {
    cvcore::Timer timer;
    EXPECT_LT(timer.Elapsed(), 0.05L);
    SDL_Delay(30);
    const long double e = timer.Elapsed();
    EXPECT_GE(e, 0.029L);
    EXPECT_LT(e, 1.0L);
    timer.Reset();
    EXPECT_LT(timer.Elapsed(), e);
}

}  // namespace
