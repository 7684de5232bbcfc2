// The exception report window: the logo, the exception's texts and a
// "Finish" button in a small always-on-top window.
#include "cvcore/report.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "reportlogo.h"

namespace cvcore {
namespace {

constexpr const char* kWindowClass = "CV3DExceptionWindowClass";
constexpr const char* kBitmapClass = "CV3DExceptionBitmapClass";
constexpr const char* kCaption = "The Corvid 3D/Multimedia SDK Exception Handler";
constexpr DWORD kStyle = 0x82C80000;  // WS_POPUP | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_CLIPCHILDREN
constexpr int kClientWidth = 512, kClientHeight = 94;
constexpr int kFinishId = 120;

// The report's process-wide state, as the window procedures read it.
String gTitle, gMethod, gFile, gMessage;
HBITMAP gBitmap = nullptr;
int gWindowWidth = 0, gWindowHeight = 0;

void DrawText(HDC hdc, int x, int y, int stockFont, const String& text) {
    if (!text.Text()) return;
    HGDIOBJ old = SelectObject(hdc, GetStockObject(stockFont));
    TextOutA(hdc, x, y, text.Text(), text.Length());
    SelectObject(hdc, old);
}

void PaintTexts(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    SetMapMode(hdc, MM_TEXT);
    SetBkColor(hdc, RGB(255, 255, 255));
    DrawText(hdc, 140, 8, SYSTEM_FONT, gTitle);
    DrawText(hdc, 140, 30, DEFAULT_GUI_FONT, "Method:");
    DrawText(hdc, 140, 44, DEFAULT_GUI_FONT, "File:");
    DrawText(hdc, 140, 64, DEFAULT_GUI_FONT, "Message:");
    DrawText(hdc, 200, 30, DEFAULT_GUI_FONT, gMethod);
    DrawText(hdc, 200, 44, DEFAULT_GUI_FONT, gFile);
    DrawText(hdc, 200, 64, DEFAULT_GUI_FONT, gMessage);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ReportProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        CreateWindowExA(0, kBitmapClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, REPORT_LOGO_WIDTH,
                        REPORT_LOGO_HEIGHT, hwnd, reinterpret_cast<HMENU>(1), nullptr, nullptr);
        HWND button = CreateWindowExA(0, "BUTTON", "Finish", WS_CHILD | WS_VISIBLE, 420, 10, 82, 25, hwnd,
                                      reinterpret_cast<HMENU>(kFinishId), nullptr, nullptr);
        SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
        return 0;
    }
    case WM_INITMENU: return 0;
    case WM_PAINT: PaintTexts(hwnd); return 0;
    case WM_ERASEBKGND: {
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        RECT r = {0, 0, gWindowWidth, gWindowHeight};
        FillRect(reinterpret_cast<HDC>(wParam), &r, white);
        DeleteObject(white);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kFinishId) DestroyWindow(hwnd);
        return 0;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        HDC memory = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(memory, gBitmap);
        BitBlt(hdc, 0, 0, REPORT_LOGO_WIDTH, REPORT_LOGO_HEIGHT, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CREATE: return 0;
    case WM_DESTROY:
        if (gBitmap) DeleteObject(gBitmap), gBitmap = nullptr;
        return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

void RegisterClasses() {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ReportProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIcon(nullptr, IDI_EXCLAMATION);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_MENU + 1));
    wc.lpszClassName = kWindowClass;
    RegisterClassExA(&wc);
    wc.lpfnWndProc = PictureProc;
    wc.hIcon = nullptr;
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kBitmapClass;
    RegisterClassExA(&wc);
}

std::vector<uint8_t> ExpandLogo() {
    std::vector<uint8_t> bgr(static_cast<size_t>(REPORT_LOGO_WIDTH) * REPORT_LOGO_HEIGHT * 3);
    for (size_t i = 0; i < static_cast<size_t>(REPORT_LOGO_WIDTH) * REPORT_LOGO_HEIGHT; ++i) {
        const uint8_t* rgb = &REPORT_LOGO_PALETTE[REPORT_LOGO_PIXELS[i] * 3];
        bgr[i * 3 + 0] = rgb[2];
        bgr[i * 3 + 1] = rgb[1];
        bgr[i * 3 + 2] = rgb[0];
    }
    return bgr;
}

bool MakeBitmap(const std::vector<uint8_t>& bgr) {
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!display) return false;
    gBitmap = CreateCompatibleBitmap(display, REPORT_LOGO_WIDTH, REPORT_LOGO_HEIGHT);
    if (!gBitmap) {
        DeleteDC(display);
        return false;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = REPORT_LOGO_WIDTH;
    info.bmiHeader.biHeight = -REPORT_LOGO_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBits(display, gBitmap, 0, REPORT_LOGO_HEIGHT, bgr.data(), &info, DIB_RGB_COLORS);
    DeleteDC(display);
    return true;
}

// A failure in full screen arrives with the pointer hidden (the show hides
// it for the whole run), and "Finish" could not be aimed at. The pointer is
// shown while the report is up and hidden again afterwards, the display
// count left as it was found.
class VisiblePointer {
public:
    VisiblePointer() {
        while (ShowCursor(TRUE) < 0) ++raised_;
        ++raised_;
    }
    ~VisiblePointer() {
        for (; raised_ > 0; --raised_) ShowCursor(FALSE);
    }
    VisiblePointer(const VisiblePointer&) = delete;
    VisiblePointer& operator=(const VisiblePointer&) = delete;

private:
    int raised_ = 0;
};

}  // namespace

void ShowReport(const Exception& exception) {
    gTitle = "Software Exception";
    gMethod = exception.Method();
    gFile = exception.File();
    gMessage = exception.Message();
    std::fprintf(stderr, "%s\nMethod: %s\nFile: %s\nMessage: %s\n", gTitle.Text(), gMethod.Text(), gFile.Text(),
                 gMessage.Text());

    RegisterClasses();
    if (!MakeBitmap(ExpandLogo())) return;

    const int x = GetSystemMetrics(SM_CXFULLSCREEN) / 2 - kClientWidth / 2;
    const int y = GetSystemMetrics(SM_CYFULLSCREEN) / 2 - kClientHeight / 2;
    RECT r = {0, 0, kClientWidth, kClientHeight};
    if (!AdjustWindowRectEx(&r, kStyle, FALSE, WS_EX_TOPMOST)) return;
    gWindowWidth = r.right - r.left;
    gWindowHeight = r.bottom - r.top;

    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, kWindowClass, kCaption, kStyle, x, y, gWindowWidth, gWindowHeight,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) {
        // Nothing would ever end the message loop below.
        DeleteObject(gBitmap);
        gBitmap = nullptr;
        return;
    }
    const VisiblePointer pointer;
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ShowCurrentReport() noexcept {
    try {
        ShowReport(CurrentException());
    } catch (...) {
        std::fputs("Software Exception\nThe report could not be shown (out of memory?)\n", stderr);
    }
}

}  // namespace cvcore
