// The report window: texts, logo and button where they belong, the ways out,
// and standard error; headless through the offscreen driver.
#include "cvcore/report.h"

#include <SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <win32host.h>
#include <win32sdl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../cvcore/src/win32/reportlogo.h"

namespace {

struct Shot {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Saves a read-back as PPM when HALCYON2_SNAPSHOT_DIR names a folder, so a
// person can look at what the test saw.
void Snapshot(const Shot& s, const char* name) {
    const char* dir = std::getenv("HALCYON2_SNAPSHOT_DIR");
    if (!dir) return;
    std::FILE* f = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6 %d %d 255\n", s.width, s.height);
    for (uint32_t p : s.pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

// Renders text as the report does (stock font, white background) into a
// bitmap and reads it back.
Shot Reference(int stockFont, const char* text, int width, int height) {
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(dc, bm);
    RECT r = {0, 0, width, height};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &r, white);
    SelectObject(dc, GetStockObject(stockFont));
    SetBkColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 0, 0, text, static_cast<int>(std::strlen(text)));
    Shot s;
    s.width = width, s.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            s.pixels.push_back((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
        }
    SelectObject(dc, oldBitmap);
    DeleteObject(bm);
    DeleteObject(white);
    DeleteDC(dc);
    DeleteDC(screen);
    return s;
}

bool Contains(const Shot& window, const Shot& part, int x, int y) {
    for (int j = 0; j < part.height; ++j)
        for (int i = 0; i < part.width; ++i)
            if (window.At(x + i, y + j) != part.At(i, j)) return false;
    return true;
}

class ReportWindow : public ::testing::Test {
protected:
    void SetUp() override { Win32SetShowHeadless(true); }
    void TearDown() override {
        Win32SetIdleHook(nullptr);
        Win32SetShowHeadless(false);
    }

    // Runs the report; act is called once with the report window shown and
    // painted; a guard ends a report that does not go away.
    void Run(const cvcore::Exception& e, std::function<void(HWND)> act) {
        int idles = 0;
        bool acted = false;
        Win32SetIdleHook([&] {
            HWND hwnd = GetActiveWindow();
            if (!acted && hwnd) {
                acted = true;
                report = hwnd;
                Win32ReadWindowPixels(hwnd, shot.pixels, shot.width, shot.height);
                act(hwnd);
            } else if (++idles > 200 && IsWindow(report)) {
                stuck = true;
                DestroyWindow(report);
            }
        });
        cvcore::ShowReport(e);
        Win32SetIdleHook(nullptr);
    }

    HWND report = nullptr;
    Shot shot;
    bool stuck = false;
};

TEST_F(ReportWindow, ShowsTheTextsLogoAndButtonAndFinishEndsIt) {
    Run(cvcore::Exception("TriMesh::CreateVertexBuffer()", "Unable to create Vertexbuffer!", "trimesh"), [](HWND hwnd) {
        // Centred on the full-screen area by its client size, on top of
        // everything, with its caption.
        RECT outer;
        GetWindowRect(hwnd, &outer);
        EXPECT_EQ(outer.left, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 256);
        EXPECT_EQ(outer.top, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 47);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), 0x82C80000u | WS_VISIBLE);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_TOPMOST));
        EXPECT_TRUE(SDL_GetWindowFlags(Win32GetSDLWindow(hwnd)) & SDL_WINDOW_ALWAYS_ON_TOP);
        char caption[64] = {};
        GetWindowTextA(hwnd, caption, sizeof caption);
        EXPECT_STREQ(caption, "The Corvid 3D/Multimedia SDK Exception Handler");
        HWND finish = GetDlgItem(hwnd, 120);
        ASSERT_NE(finish, nullptr);
        RECT r;
        GetWindowRect(finish, &r);
        EXPECT_EQ(r.right - r.left, 82);
        EXPECT_EQ(r.bottom - r.top, 25);
        Win32InjectClick(hwnd, 420 + 41, 10 + 12);
    });
    EXPECT_FALSE(stuck);
    EXPECT_FALSE(IsWindow(report));
    ASSERT_EQ(shot.width, 512);
    ASSERT_EQ(shot.height, 94);
    Snapshot(shot, "report");

    EXPECT_TRUE(Contains(shot, Reference(SYSTEM_FONT, "Software Exception", 150, 16), 140, 8));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "Method:", 50, 13), 140, 30));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "File:", 50, 13), 140, 44));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "Message:", 55, 13), 140, 64));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "TriMesh::CreateVertexBuffer()", 200, 13), 200, 30));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "trimesh", 60, 13), 200, 44));
    EXPECT_TRUE(Contains(shot, Reference(DEFAULT_GUI_FONT, "Unable to create Vertexbuffer!", 200, 13), 200, 64));
    // The logo fills the top-left 128 x 94, its first row at the top, each
    // index in its palette colour; the rest of the background is white.
    int wrong = 0;
    for (int y = 0; y < cvcore::REPORT_LOGO_HEIGHT; ++y)
        for (int x = 0; x < cvcore::REPORT_LOGO_WIDTH; ++x) {
            const int index = cvcore::REPORT_LOGO_PIXELS[y * cvcore::REPORT_LOGO_WIDTH + x];
            const uint8_t* rgb = &cvcore::REPORT_LOGO_PALETTE[index * 3];
            wrong += shot.At(x, y) != ((uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2]);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(shot.At(129, 90), 0xFFFFFFu);
    EXPECT_EQ(shot.At(300, 90), 0xFFFFFFu);
    // The button face is grey, not the white background.
    EXPECT_EQ(shot.At(425, 20), 0xD4D0C8u);
}

TEST_F(ReportWindow, NullMethodAndFileShowUnknown) {
    Run(cvcore::Exception(nullptr, "boom", nullptr), [](HWND hwnd) { PostMessageA(hwnd, WM_CLOSE, 0, 0); });
    EXPECT_FALSE(stuck);
    Snapshot(shot, "report_unknown");
    const Shot unknown = Reference(DEFAULT_GUI_FONT, "Unknown", 60, 13);
    EXPECT_TRUE(Contains(shot, unknown, 200, 30));
    EXPECT_TRUE(Contains(shot, unknown, 200, 44));
}

TEST_F(ReportWindow, TheCloseBoxAndAltF4EndIt) {
    Run(cvcore::Exception("A::B()", "close box", "x"),
        [](HWND hwnd) { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_FALSE(stuck);
    Run(cvcore::Exception("A::B()", "alt f4", "x"), [](HWND hwnd) {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.windowID = SDL_GetWindowID(Win32GetSDLWindow(hwnd));
        e.key.keysym.sym = SDLK_F4;
        e.key.keysym.mod = KMOD_LALT;
        SDL_PushEvent(&e);
    });
    EXPECT_FALSE(stuck);
}

TEST_F(ReportWindow, ThePointerShowsWhileTheReportIsUpAfterAFullScreenShowHidIt) {
    ASSERT_EQ(ShowCursor(FALSE), -1);  // as the show leaves it in full screen
    int countWhileUp = -100;
    bool sdlShows = false;
    Run(cvcore::Exception("A::B()", "pointer", "x"), [&](HWND hwnd) {
        countWhileUp = ShowCursor(TRUE) - 1;
        ShowCursor(FALSE);
        sdlShows = SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(stuck);
    EXPECT_GE(countWhileUp, 0);
    EXPECT_TRUE(sdlShows);
    EXPECT_EQ(ShowCursor(TRUE), 0);  // hidden again afterwards, as it was
}

TEST_F(ReportWindow, LongTextsAreCutAtTheWindowEdge) {
    const std::string longText(400, 'W');
    Run(cvcore::Exception("M()", longText.c_str(), "f"), [](HWND hwnd) { PostMessageA(hwnd, WM_CLOSE, 0, 0); });
    EXPECT_FALSE(stuck);
    ASSERT_EQ(shot.width, 512);
    // Ink reaches the right edge on the message line; nothing wrapped below it.
    bool inkAtEdge = false;
    for (int y = 64; y < 78; ++y) inkAtEdge = inkAtEdge || shot.At(510, y) != 0xFFFFFFu;
    EXPECT_TRUE(inkAtEdge);
    for (int x = 140; x < 512; ++x) EXPECT_EQ(shot.At(x, 85), 0xFFFFFFu) << x;
}

TEST(Report, TextsGoToStandardErrorAndNoWindowShowsHeadless) {
    Win32SetShowHeadless(false);
    bool idled = false;
    Win32SetIdleHook([&] { idled = true; });
    testing::internal::CaptureStderr();
    cvcore::ShowReport(cvcore::Exception("FMOD_LOAD:(), not found", "murikka.mp3", "usefmod"));
    const std::string err = testing::internal::GetCapturedStderr();
    Win32SetIdleHook(nullptr);
    EXPECT_FALSE(idled);  // returned at once
    EXPECT_THAT(err, testing::HasSubstr("Software Exception"));
    EXPECT_THAT(err, testing::HasSubstr("Method: FMOD_LOAD:(), not found"));
    EXPECT_THAT(err, testing::HasSubstr("File: usefmod"));
    EXPECT_THAT(err, testing::HasSubstr("Message: murikka.mp3"));
}

// Whatever reaches the top is reported with a text that says what it was.
TEST(Report, AnyExceptionIsReportedByWhatItIs) {
    Win32SetShowHeadless(false);
    const auto reportOf = [](const std::function<void()>& thrower) {
        testing::internal::CaptureStderr();
        try {
            thrower();
        } catch (...) {
            cvcore::ShowCurrentReport();
        }
        return testing::internal::GetCapturedStderr();
    };
    const std::string outOfMemory = reportOf([] { throw std::bad_alloc(); });
    EXPECT_THAT(outOfMemory, testing::HasSubstr("Method: Unknown\nFile: Unknown\nMessage: Out of memory\n"));
    EXPECT_THAT(reportOf([] { throw std::length_error("vector::_M_default_append"); }),
                testing::HasSubstr("Message: vector::_M_default_append\n"));
    EXPECT_THAT(reportOf([] { throw 7; }), testing::HasSubstr("Message: Unknown error\n"));
    EXPECT_THAT(reportOf([] { throw cvcore::Exception("Zip", "ZIP file decompression failed (data error).", "zip"); }),
                testing::HasSubstr("Method: Zip\nFile: zip\nMessage: ZIP file decompression failed (data error).\n"));
}

}  // namespace
