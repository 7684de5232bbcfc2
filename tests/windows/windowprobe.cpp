// Reads what another program's window shows, for the scripts that run the
// Windows build under Wine:
//   windowprobe TITLE SECONDS [TEXT...]
// waits up to SECONDS for a top-level window titled TITLE, prints its child
// windows (class, text, centre on the screen) and, for each TEXT, whether the
// window's client area shows it drawn in the GUI font, black on white, as a
// program's TextOutA draws it. Texts painted with TextOutA are no window's
// text, so they are found by drawing TEXT here and looking for the same
// pixels in a copy of the window. Exit code 0 when the window was found and
// shows every TEXT.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// 32-bit pixels, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t At(int x, int y) const { return data[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

class MemoryCanvas {
public:
    MemoryCanvas(HDC like, int width, int height)
        : dc_(CreateCompatibleDC(like)), bitmap_(CreateCompatibleBitmap(like, width, height)) {
        old_ = SelectObject(dc_, bitmap_);
        width_ = width;
        height_ = height;
    }
    ~MemoryCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC Dc() const { return dc_; }

    Pixels Read() const {
        Pixels p;
        p.width = width_;
        p.height = height_;
        p.data.resize(static_cast<size_t>(width_) * height_);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        GetDIBits(dc_, bitmap_, 0, height_, p.data.data(), &info, DIB_RGB_COLORS);
        return p;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    int width_ = 0, height_ = 0;
};

// The window's client area as the screen shows it.
Pixels CaptureClient(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    MemoryCanvas copy(screen, client.right, client.bottom);
    BitBlt(copy.Dc(), 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return copy.Read();
}

// TEXT as TextOutA draws it with the GUI font on white, trimmed to its ink.
Pixels DrawTextAlone(const std::string& text) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    HGDIOBJ oldFont = SelectObject(screen, font);
    SIZE size;
    GetTextExtentPoint32A(screen, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(screen, oldFont);
    MemoryCanvas canvas(screen, size.cx, size.cy);
    ReleaseDC(nullptr, screen);
    RECT all = {0, 0, size.cx, size.cy};
    FillRect(canvas.Dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(canvas.Dc(), font);
    SetBkColor(canvas.Dc(), RGB(255, 255, 255));
    SetTextColor(canvas.Dc(), RGB(0, 0, 0));
    TextOutA(canvas.Dc(), 0, 0, text.c_str(), static_cast<int>(text.size()));
    return canvas.Read();
}

bool SameAt(const Pixels& where, const Pixels& what, int x0, int y0) {
    for (int y = 0; y < what.height; ++y)
        for (int x = 0; x < what.width; ++x)
            if (where.At(x0 + x, y0 + y) != what.At(x, y)) return false;
    return true;
}

bool Shows(const Pixels& window, const Pixels& text) {
    for (int y = 0; y + text.height <= window.height; ++y)
        for (int x = 0; x + text.width <= window.width; ++x)
            if (SameAt(window, text, x, y)) return true;
    return false;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    char cls[128] = "", text[512] = "";
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    RECT r;
    GetWindowRect(child, &r);
    std::printf("child %s \"%s\" at %ld %ld\n", cls, text, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: windowprobe TITLE SECONDS [TEXT...]\n", stderr);
        return 2;
    }
    const int tenths = std::atoi(argv[2]) * 10;
    HWND window = nullptr;
    int waited = 0;
    for (; !(window = FindWindowA(nullptr, argv[1])) && waited < tenths; ++waited) Sleep(100);
    if (!window) {
        std::printf("no window \"%s\"\n", argv[1]);
        return 1;
    }
    std::printf("window \"%s\"\n", argv[1]);
    EnumChildWindows(window, PrintChild, 0);
    // A window that has just appeared may not have painted yet: look again
    // until every text is there or the time is up.
    std::vector<bool> shown(argc, false);
    int missing = argc - 3;
    for (; missing > 0 && waited < tenths; ++waited, Sleep(100)) {
        const Pixels client = CaptureClient(window);
        for (int i = 3; i < argc; ++i)
            if (!shown[i] && Shows(client, DrawTextAlone(argv[i]))) shown[i] = true, --missing;
    }
    for (int i = 3; i < argc; ++i) std::printf("%s \"%s\"\n", shown[i] ? "shows" : "does not show", argv[i]);
    std::fflush(stdout);
    return missing == 0 ? 0 : 1;
}
