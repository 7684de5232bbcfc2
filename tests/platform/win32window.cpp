// The Win32 stand-in's classes, windows, messages and kernel calls, headless.
#include <SDL.h>
#include <gtest/gtest.h>
#include <virtualclock.h>
#include <win32host.h>
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
};
std::vector<Seen> gSeen;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    gSeen.push_back({hwnd, msg, wParam});
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK OtherProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

ATOM Register(const char* name, WNDPROC proc, UINT style = 0) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc);
}

std::vector<UINT> Messages(HWND hwnd) {
    std::vector<UINT> out;
    for (const Seen& s : gSeen)
        if (s.hwnd == hwnd) out.push_back(s.msg);
    return out;
}

void Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

void PushWindowEvent(HWND hwnd, Uint8 event) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = event;
    e.window.windowID = SDL_GetWindowID(Win32GetSDLWindow(hwnd));
    SDL_PushEvent(&e);
}

TEST(Win32Class, RegisteringAnExistingNameFailsAndTheFirstStays) {
    ASSERT_NE(Register("TestClassOnce", RecordingProc), 0);
    EXPECT_EQ(Register("testclassonce", OtherProc), 0);  // names ignore case
    EXPECT_EQ(GetLastError(), 1410u);
    gSeen.clear();
    HWND hwnd = CreateWindowExA(0, "TestClassOnce", "w", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(Messages(hwnd).empty());
    DestroyWindow(hwnd);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "w", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST(Win32Window, CreationMessagesStylesAndUserData) {
    Register("TestStyles", RecordingProc);
    gSeen.clear();
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, "TestStyles", "styles", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Messages(hwnd), (std::vector<UINT>{WM_CREATE, WM_SIZE}));
    SDL_Window* sdl = Win32GetSDLWindow(hwnd);
    ASSERT_NE(sdl, nullptr);
    const Uint32 flags = SDL_GetWindowFlags(sdl);
    EXPECT_TRUE(flags & SDL_WINDOW_HIDDEN);  // hidden until ShowWindow
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_TRUE(flags & SDL_WINDOW_ALWAYS_ON_TOP);
    EXPECT_FALSE(flags & SDL_WINDOW_BORDERLESS);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 300 - 8);
    EXPECT_EQ(client.bottom, 200 - 8 - 19);

    const LONG_PTR big = static_cast<LONG_PTR>(0x123456789ABCDEF0LL);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, big), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), big);

    gSeen.clear();
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
    EXPECT_EQ(GetActiveWindow(), hwnd);
    Drain();
    const std::vector<UINT> shown = Messages(hwnd);
    EXPECT_EQ(shown.front(), static_cast<UINT>(WM_ACTIVATE));
    EXPECT_NE(std::find(shown.begin(), shown.end(), static_cast<UINT>(WM_PAINT)), shown.end());
    EXPECT_NE(std::find(shown.begin(), shown.end(), static_cast<UINT>(WM_ERASEBKGND)), shown.end());
    gSeen.clear();
    Drain();  // DefWindowProc validated the window: no second WM_PAINT
    EXPECT_TRUE(Messages(hwnd).empty());
    DestroyWindow(hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);

    HWND popup = CreateWindowExA(0, "TestStyles", "popup", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(Win32GetSDLWindow(popup)) & SDL_WINDOW_BORDERLESS);
    DestroyWindow(popup);
}

TEST(Win32Window, TheWindowManagersCloseRequestDestroysUnlessTheClassHasNoCloseBox) {
    Register("TestClosable", RecordingProc);
    Register("TestNoClose", RecordingProc, CS_NOCLOSE);
    HWND a =
        CreateWindowExA(0, "TestClosable", "a", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND b =
        CreateWindowExA(0, "TestNoClose", "b", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    gSeen.clear();
    PushWindowEvent(a, SDL_WINDOWEVENT_CLOSE);
    PushWindowEvent(b, SDL_WINDOWEVENT_CLOSE);
    Drain();
    EXPECT_FALSE(IsWindow(a));
    EXPECT_TRUE(IsWindow(b));
    const std::vector<UINT> ma = Messages(a);
    EXPECT_NE(std::find(ma.begin(), ma.end(), static_cast<UINT>(WM_CLOSE)), ma.end());
    EXPECT_NE(std::find(ma.begin(), ma.end(), static_cast<UINT>(WM_DESTROY)), ma.end());
    DestroyWindow(b);
}

TEST(Win32Messages, ATerminateSignalClosesEveryTopLevelWindow) {
    Register("TestSignalled", RecordingProc);
    Register("TestSignalledNoClose", RecordingProc, CS_NOCLOSE);
    HWND a =
        CreateWindowExA(0, "TestSignalled", "a", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND b =
        CreateWindowExA(0, "TestSignalledNoClose", "b", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExA(0, "TestSignalled", "c", WS_CHILD, 0, 0, 5, 5, a, nullptr, nullptr, nullptr);
    ASSERT_TRUE(a && b && child);
    Drain();
    gSeen.clear();
    // The video subsystem is running now; its handlers catch the signals.
    ASSERT_EQ(raise(SIGTERM), 0);
    Drain();
    EXPECT_FALSE(IsWindow(a));
    EXPECT_FALSE(IsWindow(b));  // no close box, but WM_CLOSE is not the close box
    const std::vector<UINT> mc = Messages(child);
    EXPECT_EQ(std::find(mc.begin(), mc.end(), static_cast<UINT>(WM_CLOSE)), mc.end());

    // SIGINT is handled alike where it is not ignored (a background job
    // ignores it), so only SIGTERM is raised here. With no window left the
    // request finds nobody to ask and the process carries on.
    ASSERT_EQ(raise(SIGTERM), 0);
    Drain();
}

TEST(Win32Messages, PostedMessagesThenQuitThenPaint) {
    Register("TestQueue", RecordingProc);
    HWND hwnd =
        CreateWindowExA(0, "TestQueue", "q", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
    Drain();
    InvalidateRect(hwnd, nullptr, FALSE);
    PostMessageA(hwnd, WM_USER + 1, 7, 0);
    PostQuitMessage(3);
    PostMessageA(hwnd, WM_USER + 2, 8, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(msg.wParam, 7u);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    ValidateRect(hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Messages for a window destroyed meanwhile are dropped, not delivered.
    PostMessageA(hwnd, WM_USER + 3, 0, 0);
    DestroyWindow(hwnd);
    gSeen.clear();
    Drain();
    EXPECT_TRUE(gSeen.empty());
}

TEST(Win32Messages, KeysCarryWindowsVirtualKeyCodes) {
    Register("TestKeys", RecordingProc);
    HWND hwnd =
        CreateWindowExA(0, "TestKeys", "k", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
    Drain();
    const std::vector<std::pair<SDL_Keycode, WPARAM>> keys = {
        {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_LSHIFT, VK_SHIFT},  {SDLK_RSHIFT, VK_SHIFT}, {SDLK_LCTRL, VK_CONTROL},
        {SDLK_RCTRL, VK_CONTROL}, {SDLK_F5, VK_F5},         {SDLK_q, 'Q'},           {SDLK_7, '7'},
        {SDLK_KP_9, VK_NUMPAD9},  {SDLK_PAGEDOWN, VK_NEXT}, {SDLK_SPACE, VK_SPACE},  {SDLK_RETURN, VK_RETURN}};
    for (auto [key, vk] : keys) {
        gSeen.clear();
        Win32InjectKey(hwnd, key, true);
        Win32InjectKey(hwnd, key, false);
        Drain();
        ASSERT_EQ(gSeen.size(), 2u) << key;
        EXPECT_EQ(gSeen[0].msg, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(gSeen[0].wParam, vk) << key;
        EXPECT_EQ(gSeen[1].msg, static_cast<UINT>(WM_KEYUP));
        EXPECT_EQ(gSeen[1].wParam, vk);
    }
    DestroyWindow(hwnd);
}

TEST(Win32Metrics, FramesAndScreen) {
    RECT r = {0, 0, 640, 480};
    AdjustWindowRect(&r, WS_POPUP, FALSE);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 480);
    r = {0, 0, 512, 94};
    ASSERT_TRUE(AdjustWindowRectEx(&r, 0x82C80000, FALSE, WS_EX_TOPMOST));
    EXPECT_EQ(r.left, -3);
    EXPECT_EQ(r.top, -22);
    EXPECT_EQ(r.right, 515);
    EXPECT_EQ(r.bottom, 97);
    EXPECT_FALSE(AdjustWindowRectEx(nullptr, 0, FALSE, 0));
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYFULLSCREEN), 0);
    EXPECT_LT(GetSystemMetrics(SM_CYFULLSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

TEST(Win32Kernel, ModulePathCounterAndVirtualClock) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(path).substr(std::string(path).rfind('/') + 1), "test_platform_win32window");
    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(std::string(small).size(), 4u);

    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    QueryPerformanceCounter(&a);
    SDL_Delay(5);
    QueryPerformanceCounter(&b);
    EXPECT_GE(b.QuadPart - a.QuadPart, 4000000);

    VirtualClockEnable(true);
    QueryPerformanceCounter(&a);
    SDL_Delay(5);
    QueryPerformanceCounter(&b);
    EXPECT_EQ(a.QuadPart, b.QuadPart);  // real time does not move it
    VirtualClockAdvance(16666667);
    VirtualClockAdvance(-5);  // ignored: it never runs back
    QueryPerformanceCounter(&b);
    EXPECT_EQ(b.QuadPart - a.QuadPart, 16666667);
    VirtualClockSet(b.QuadPart + 1000);
    QueryPerformanceCounter(&a);
    EXPECT_EQ(a.QuadPart - b.QuadPart, 1000);
    VirtualClockEnable(false);
}

}  // namespace
