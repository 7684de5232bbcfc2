// The dialog manager and the GDI subset: templates, dialog units, the
// dialog keyboard, the modal loop, bitmaps, BitBlt and text.
#include <SDL.h>
#include <gtest/gtest.h>
#include <win32host.h>
#include <win32resource.h>
#include <windows.h>

#include <functional>
#include <vector>

namespace {

constexpr int kCheck = 10, kButton = 11, kCombo = 12, kDisabled = 13;

Win32Dialog TestDialog() {
    Win32Dialog d;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    d.exStyle = 0;
    d.x = 10, d.y = 10, d.cx = 160, d.cy = 80;
    d.caption = "Test dialog";
    d.fontPoints = 8;
    d.fontName = "MS Sans Serif";
    d.items = {
        {IDOK, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 5, 60, 40, 14},
        {kCheck, "BUTTON", "&Check", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 5, 5, 60, 10},
        {kDisabled, "BUTTON", "Off", WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 5, 20, 40, 14},
        {kCombo, "COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, 70, 5, 80, 50},
        {kButton, "BUTTON", "Push", WS_VISIBLE | WS_TABSTOP, 50, 60, 40, 14},
        {-1, "STATIC", "Label", WS_VISIBLE, 70, 25, 40, 8},
    };
    return d;
}

struct Log {
    std::vector<int> commands;
    LPARAM initParam = 0;
    HWND dialog = nullptr;
    bool endOnCommand = true;
};
Log gLog;

INT_PTR CALLBACK TestProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        gLog.initParam = lParam;
        gLog.dialog = dialog;
        for (const char* item : {"one", "two", "three"})
            SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 0, 0);
        return TRUE;
    case WM_COMMAND:
        gLog.commands.push_back(LOWORD(wParam) | (HIWORD(wParam) << 16));
        if (gLog.endOnCommand && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            EndDialog(dialog, LOWORD(wParam) == IDOK ? 42 : 7);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

class DialogManager : public ::testing::Test {
protected:
    void SetUp() override {
        gLog = Log();
        templ = Win32BuildDialogTemplate(TestDialog());
    }
    void TearDown() override {
        Win32SetIdleHook(nullptr);
        Win32SetShowHeadless(false);
        Win32SetDialogAnswer(-1);
    }
    INT_PTR Run(std::vector<std::function<void(HWND)>> steps, HWND owner = nullptr) {
        Win32SetShowHeadless(true);
        size_t next = 0;
        int guard = 0;
        Win32SetIdleHook([&] {
            if (next < steps.size())
                steps[next++](gLog.dialog);
            else if (++guard > 100)
                EndDialog(gLog.dialog, 99);
        });
        return DialogBoxIndirectParamA(nullptr, reinterpret_cast<const DLGTEMPLATE*>(templ.data()), owner, TestProc,
                                       1234);
    }
    static void Key(HWND d, SDL_Keycode k) {
        Win32InjectKey(d, k, true);
        Win32InjectKey(d, k, false);
    }
    std::vector<WORD> templ;
};

TEST_F(DialogManager, UnknownResourcesAndHeadlessRunsReturnMinusOne) {
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4321), nullptr, TestProc, 0), -1);
    EXPECT_EQ(GetLastError(), 1814u);
    EXPECT_EQ(
        DialogBoxIndirectParamA(nullptr, reinterpret_cast<const DLGTEMPLATE*>(templ.data()), nullptr, TestProc, 0), -1);
    EXPECT_EQ(gLog.dialog, nullptr);  // never built
    EXPECT_TRUE(Win32RegisterDialogResource(4322, templ));
    EXPECT_FALSE(Win32RegisterDialogResource(4322, {}));  // the first stays
    Win32SetDialogAnswer(IDCANCEL);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4322), nullptr, TestProc, 5), 7);
    EXPECT_EQ(gLog.initParam, 5);
    gLog.endOnCommand = false;  // a procedure that never ends the dialog
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4322), nullptr, TestProc, 5), -1);
    EXPECT_FALSE(IsWindow(gLog.dialog));
}

TEST_F(DialogManager, LayoutInDialogUnitsOfTheTemplateFont) {
    const INT_PTR r = Run({[](HWND d) {
        RECT du = {5, 60, 45, 74};  // the OK button's template rectangle
        ASSERT_TRUE(MapDialogRect(d, &du));
        RECT ok;
        GetClientRect(GetDlgItem(d, IDOK), &ok);
        EXPECT_EQ(ok.right, du.right - du.left);
        EXPECT_EQ(ok.bottom, du.bottom - du.top);
        RECT client;
        GetClientRect(d, &client);
        RECT whole = {0, 0, 160, 80};
        MapDialogRect(d, &whole);
        EXPECT_EQ(client.right, whole.right);
        EXPECT_EQ(client.bottom, whole.bottom);
        // An 8-point face: dialog units of a few pixels each.
        EXPECT_GE(whole.right, 160 * 5 / 4);
        EXPECT_LE(whole.right, 160 * 9 / 4);
        char text[16];
        GetDlgItemTextA(d, kCheck, text, sizeof text);
        EXPECT_STREQ(text, "&Check");
        EXPECT_EQ(GetDlgCtrlID(GetDlgItem(d, kCombo)), kCombo);
        EXPECT_EQ(gLog.initParam, 1234);
        EXPECT_EQ(GetFocus(), GetDlgItem(d, IDOK));  // the first tab stop
        EndDialog(d, 5);
    }});
    EXPECT_EQ(r, 5);
}

TEST_F(DialogManager, TabSpaceEnterAndEscape) {
    const INT_PTR r = Run({[](HWND d) { Key(d, SDLK_TAB); },
                           [](HWND d) {
                               EXPECT_EQ(GetFocus(), GetDlgItem(d, kCheck));
                               Key(d, SDLK_SPACE);
                           },
                           [](HWND d) {
                               EXPECT_EQ(IsDlgButtonChecked(d, kCheck), BST_CHECKED);
                               Key(d, SDLK_TAB);  // skips the disabled button
                           },
                           [](HWND d) {
                               EXPECT_EQ(GetFocus(), GetDlgItem(d, kCombo));
                               Key(d, SDLK_DOWN);
                           },
                           [](HWND d) {
                               EXPECT_EQ(SendDlgItemMessageA(d, kCombo, CB_GETCURSEL, 0, 0), 1);
                               Key(d, SDLK_TAB);
                           },
                           [](HWND d) {
                               EXPECT_EQ(GetFocus(), GetDlgItem(d, kButton));
                               Key(d, SDLK_RETURN);  // a focused push button takes Enter
                           },
                           [](HWND d) {
                               Win32InjectKey(d, SDLK_LSHIFT, true);
                               SDL_SetModState(KMOD_LSHIFT);
                               Key(d, SDLK_TAB);
                           },
                           [](HWND d) {
                               SDL_SetModState(KMOD_NONE);
                               EXPECT_EQ(GetFocus(), GetDlgItem(d, kCombo));
                               Key(d, SDLK_ESCAPE);
                           }});
    EXPECT_EQ(r, 7);
    const std::vector<int> expected = {kCheck, kCombo | (CBN_SELCHANGE << 16), kButton, IDCANCEL};
    EXPECT_EQ(gLog.commands, expected);
}

TEST_F(DialogManager, TheOwnerIsDisabledWhileTheDialogRuns) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TestOwner";
    RegisterClassExA(&wc);
    HWND owner = CreateWindowExA(0, "TestOwner", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    const INT_PTR r = Run({[owner](HWND d) {
                              EXPECT_FALSE(IsWindowEnabled(owner));
                              EXPECT_EQ(GetParent(d), owner);
                              EXPECT_EQ(GetActiveWindow(), d);
                              PostMessageA(d, WM_CLOSE, 0, 0);  // the close box means Cancel
                          }},
                          owner);
    EXPECT_EQ(r, 7);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
    DestroyWindow(owner);
}

TEST(Gdi, BitmapsFromDibsBitBltAndText) {
    Win32SetShowHeadless(true);
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(CreateDCA("PRINTER", nullptr, nullptr, nullptr), nullptr);
    HBITMAP bm = CreateCompatibleBitmap(screen, 4, 3);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 0, 3), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 1 << 16, 1 << 16), nullptr);

    // 4 x 3, 24 bits: rows of 12 bytes, blue-green-red.
    std::vector<uint8_t> bits(36);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = &bits[static_cast<size_t>(y * 12 + x * 3)];
            p[0] = static_cast<uint8_t>(x * 10), p[1] = static_cast<uint8_t>(y * 50), p[2] = 200;
        }
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(SetDIBits(screen, bm, 0, 3, bits.data(), &info, DIB_RGB_COLORS), 3);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bm);
    EXPECT_EQ(GetPixel(mem, 3, 2), RGB(200, 100, 30));  // top-down: row 2 is the third row
    info.bmiHeader.biHeight = 3;                        // bottom-up: the first row is the bottom one
    SetDIBits(screen, bm, 0, 3, bits.data(), &info, DIB_RGB_COLORS);
    EXPECT_EQ(GetPixel(mem, 3, 2), RGB(200, 0, 30));
    EXPECT_EQ(GetPixel(mem, 4, 0), CLR_INVALID);
    info.bmiHeader.biBitCount = 8;
    EXPECT_EQ(SetDIBits(screen, bm, 0, 3, bits.data(), &info, DIB_RGB_COLORS), 0);

    HBITMAP big = CreateCompatibleBitmap(screen, 60, 20);
    HDC canvas = CreateCompatibleDC(screen);
    HGDIOBJ oldBig = SelectObject(canvas, big);
    RECT all = {0, 0, 60, 20};
    EXPECT_TRUE(FillRect(canvas, &all, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    EXPECT_EQ(GetPixel(canvas, 59, 19), RGB(255, 255, 255));
    EXPECT_TRUE(BitBlt(canvas, 58, 18, 4, 3, mem, 0, 0, SRCCOPY));  // clipped at the edge
    EXPECT_EQ(GetPixel(canvas, 59, 19), RGB(200, 50, 10));          // source (1, 1)
    EXPECT_EQ(GetPixel(canvas, 57, 18), RGB(255, 255, 255));

    SelectObject(canvas, GetStockObject(DEFAULT_GUI_FONT));
    SetBkColor(canvas, RGB(0, 0, 255));
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32A(canvas, "Ab", 2, &size));
    EXPECT_GT(size.cx, 8);
    EXPECT_GT(size.cy, 9);
    EXPECT_TRUE(TextOutA(canvas, 2, 2, "Ab", 2));
    EXPECT_EQ(GetPixel(canvas, 2, 2), RGB(0, 0, 255));  // the opaque text cell
    EXPECT_EQ(GetPixel(canvas, 2 + size.cx, 2), RGB(255, 255, 255));
    int dark = 0;
    for (int y = 2; y < 2 + size.cy; ++y)
        for (int x = 2; x < 2 + size.cx; ++x) dark += GetPixel(canvas, x, y) == RGB(0, 0, 0);
    EXPECT_GT(dark, 5);  // solid ink in the glyphs
    EXPECT_FALSE(TextOutA(canvas, 0, 0, nullptr, 3));

    SelectObject(canvas, oldBig);
    SelectObject(mem, old);
    EXPECT_TRUE(DeleteObject(big));
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_FALSE(DeleteObject(bm));
    EXPECT_TRUE(DeleteObject(GetStockObject(SYSTEM_FONT)));  // stock objects stay
    EXPECT_NE(GetStockObject(SYSTEM_FONT), nullptr);
    DeleteDC(canvas);
    DeleteDC(mem);
    DeleteDC(screen);
    Win32SetShowHeadless(false);
    EXPECT_EQ(CreateDCA("DISPLAY", nullptr, nullptr, nullptr), nullptr);  // nobody sees this display
}

}  // namespace
