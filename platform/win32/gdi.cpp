// The GDI subset: device contexts on windows, memory bitmaps and the display,
// solid brushes, stock fonts drawn through FreeType, DIB upload and BitBlt.
#include <strings.h>

#include <algorithm>

#include "win32host.h"
#include "win32state.h"

namespace win32 {
namespace {

constexpr uintptr_t kFirstGdiHandle = 0x200000;
constexpr uintptr_t kMaxSysColorBrush = 31;  // brushes 1..31 are system colours + 1
constexpr int64_t kMaxBitmapPixels = 64LL * 1024 * 1024;

struct GdiObject {
    enum Type { Brush, Pen, Font, Bitmap } type;
    bool stock = false;
    uint32_t color = 0;   // brushes and pens, 0x00RRGGBB
    bool hollow = false;  // NULL_BRUSH, NULL_PEN
    FontSpec font;        // fonts
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // bitmaps
};

struct DeviceContext {
    enum Kind { Display, Memory, Client } kind;
    HWND hwnd = nullptr;
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ font = nullptr;
    HGDIOBJ brush = nullptr;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
    int mapMode = MM_TEXT;
};

struct GdiTable {
    std::map<uintptr_t, std::unique_ptr<GdiObject>> objects;
    std::map<uintptr_t, std::unique_ptr<DeviceContext>> dcs;
    std::map<int, HGDIOBJ> stock;
    uintptr_t next = kFirstGdiHandle;
    HGDIOBJ defaultBitmap = nullptr;

    HGDIOBJ Add(std::unique_ptr<GdiObject> o) {
        const uintptr_t h = next;
        next += 4;
        objects[h] = std::move(o);
        return reinterpret_cast<HGDIOBJ>(h);
    }
    HDC AddDC(std::unique_ptr<DeviceContext> dc) {
        const uintptr_t h = next;
        next += 4;
        dcs[h] = std::move(dc);
        return reinterpret_cast<HDC>(h);
    }
};

GdiTable& Gdi() {
    static GdiTable table;
    return table;
}

GdiObject* Object(HGDIOBJ h) {
    auto it = Gdi().objects.find(reinterpret_cast<uintptr_t>(h));
    return it == Gdi().objects.end() ? nullptr : it->second.get();
}

DeviceContext* DC(HDC h) {
    auto it = Gdi().dcs.find(reinterpret_cast<uintptr_t>(h));
    return it == Gdi().dcs.end() ? nullptr : it->second.get();
}

HGDIOBJ MakeStock(int index) {
    auto o = std::make_unique<GdiObject>();
    o->stock = true;
    switch (index) {
    case WHITE_BRUSH: o->type = GdiObject::Brush, o->color = 0xFFFFFF; break;
    case LTGRAY_BRUSH: o->type = GdiObject::Brush, o->color = 0xC0C0C0; break;
    case GRAY_BRUSH: o->type = GdiObject::Brush, o->color = 0x808080; break;
    case DKGRAY_BRUSH: o->type = GdiObject::Brush, o->color = 0x404040; break;
    case BLACK_BRUSH: o->type = GdiObject::Brush, o->color = 0; break;
    case NULL_BRUSH: o->type = GdiObject::Brush, o->hollow = true; break;
    case WHITE_PEN: o->type = GdiObject::Pen, o->color = 0xFFFFFF; break;
    case BLACK_PEN: o->type = GdiObject::Pen, o->color = 0; break;
    case NULL_PEN: o->type = GdiObject::Pen, o->hollow = true; break;
    // The System font is a bold face with 16-pixel lines; the GUI font is
    // the 8-point dialog face.
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT: o->type = GdiObject::Font, o->font = {13, true}; break;
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT: o->type = GdiObject::Font, o->font = {12, false}; break;
    case ANSI_VAR_FONT:
    case DEFAULT_GUI_FONT: o->type = GdiObject::Font, o->font = {11, false}; break;
    default: return nullptr;
    }
    return Gdi().Add(std::move(o));
}

HGDIOBJ DefaultBitmap() {
    GdiTable& g = Gdi();
    if (!g.defaultBitmap) {
        auto o = std::make_unique<GdiObject>();
        o->type = GdiObject::Bitmap;
        o->stock = true;
        o->width = o->height = 1;
        o->pixels.assign(1, 0);
        g.defaultBitmap = g.Add(std::move(o));
    }
    return g.defaultBitmap;
}

// The pixels a DC draws into, with the DC's origin inside them.
bool Target(DeviceContext* dc, PixelTarget& t, int& ox, int& oy, Window** canvasOwner) {
    ox = oy = 0;
    if (canvasOwner) *canvasOwner = nullptr;
    if (!dc) return false;
    if (dc->kind == DeviceContext::Memory) {
        GdiObject* bm = Object(dc->bitmap);
        if (!bm || bm->type != GdiObject::Bitmap || bm->pixels.empty()) return false;
        t = {bm->pixels.data(), bm->width, bm->height, bm->width, 0, 0, bm->width, bm->height};
        return true;
    }
    if (dc->kind == DeviceContext::Client) {
        Window* w = GetWindow(dc->hwnd);
        if (!w || !CanvasTarget(w, t, ox, oy)) return false;
        if (canvasOwner) *canvasOwner = TopLevel(w);
        return true;
    }
    return false;  // the display itself is never drawn on
}

void MarkDirty(Window* top) {
    if (top) top->canvas.dirty = true;
}

void Fill(const PixelTarget& t, int left, int top, int right, int bottom, uint32_t color) {
    left = std::max({left, t.clipLeft, 0});
    top = std::max({top, t.clipTop, 0});
    right = std::min({right, t.clipRight, t.width});
    bottom = std::min({bottom, t.clipBottom, t.height});
    for (int y = top; y < bottom; ++y)
        std::fill_n(t.pixels + static_cast<size_t>(y) * t.pitch + left, std::max(0, right - left), color);
}

HDC NewDC(DeviceContext::Kind kind, HWND hwnd) {
    auto dc = std::make_unique<DeviceContext>();
    dc->kind = kind;
    dc->hwnd = hwnd;
    dc->font = GetStockObject(SYSTEM_FONT);
    dc->brush = GetStockObject(WHITE_BRUSH);
    if (kind == DeviceContext::Memory) dc->bitmap = DefaultBitmap();
    return Gdi().AddDC(std::move(dc));
}

}  // namespace

bool BrushColor(HBRUSH brush, uint32_t& color) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(brush);
    if (value >= 1 && value <= kMaxSysColorBrush) {
        color = SysColor(static_cast<int>(value - 1));
        return true;
    }
    GdiObject* o = Object(brush);
    if (!o || o->type != GdiObject::Brush || o->hollow) return false;
    color = o->color;
    return true;
}

FontSpec FontOf(HFONT font) {
    GdiObject* o = Object(font);
    if (o && o->type == GdiObject::Font) return o->font;
    return Object(GetStockObject(SYSTEM_FONT))->font;
}

HFONT FontForSpec(const FontSpec& style) {
    static std::map<std::pair<int, bool>, HGDIOBJ> fonts;
    HGDIOBJ& h = fonts[{style.pixelSize, style.bold}];
    if (!h) {
        auto o = std::make_unique<GdiObject>();
        o->type = GdiObject::Font;
        o->stock = true;  // shared: DeleteObject leaves it alone
        o->font = style;
        h = Gdi().Add(std::move(o));
    }
    return reinterpret_cast<HFONT>(h);
}

HFONT DefaultGuiFont() { return reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

void FillPixels(const PixelTarget& t, int left, int top, int right, int bottom, uint32_t color) {
    Fill(t, left, top, right, bottom, color);
}

}  // namespace win32

using namespace win32;

HGDIOBJ WINAPI GetStockObject(int index) {
    auto& stock = Gdi().stock;
    auto it = stock.find(index);
    if (it != stock.end()) return it->second;
    HGDIOBJ h = MakeStock(index);
    if (h) stock[index] = h;
    return h;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    auto o = std::make_unique<GdiObject>();
    o->type = GdiObject::Brush;
    o->color = ColorFromRef(color);
    return reinterpret_cast<HBRUSH>(Gdi().Add(std::move(o)));
}

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR, LPCSTR, const DEVMODEA*) {
    // Only the display exists, and only when someone can see it.
    if (!driver || strcasecmp(driver, "DISPLAY") != 0 || !Win32DisplayIsVisible()) return nullptr;
    return NewDC(DeviceContext::Display, nullptr);
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !DC(hdc)) return nullptr;
    return NewDC(DeviceContext::Memory, nullptr);
}

BOOL WINAPI DeleteDC(HDC hdc) { return Gdi().dcs.erase(reinterpret_cast<uintptr_t>(hdc)) ? TRUE : FALSE; }

HDC WINAPI GetDC(HWND hwnd) {
    if (!hwnd) return NewDC(DeviceContext::Display, nullptr);
    return GetWindow(hwnd) ? NewDC(DeviceContext::Client, hwnd) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC hdc) { return DeleteDC(hdc); }

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height) {
    if (!DC(hdc) || width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxBitmapPixels)
        return nullptr;
    auto o = std::make_unique<GdiObject>();
    o->type = GdiObject::Bitmap;
    o->width = width;
    o->height = height;
    o->pixels.assign(static_cast<size_t>(width) * height, 0);
    return reinterpret_cast<HBITMAP>(Gdi().Add(std::move(o)));
}

int WINAPI SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const VOID* bits, const BITMAPINFO* info,
                     UINT colorUse) {
    GdiObject* bm = Object(bitmap);
    if (!bm || bm->type != GdiObject::Bitmap || !bits || !info || colorUse != DIB_RGB_COLORS) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN || (h.biBitCount != 24 && h.biBitCount != 32))
        return 0;
    const int64_t dibHeight = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    const bool topDown = h.biHeight < 0;
    const int64_t stride = ((static_cast<int64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const int bytesPerPixel = h.biBitCount / 8;
    const int64_t first = start, count = std::min<int64_t>(lines, dibHeight - first);
    if (first >= dibHeight || count <= 0) return 0;
    const auto* src = static_cast<const uint8_t*>(bits);
    for (int64_t i = 0; i < count; ++i) {
        // Scan line numbers count from the bottom of a bottom-up DIB.
        const int64_t line = first + i;
        const int64_t row = topDown ? line : dibHeight - 1 - line;
        if (row >= bm->height) continue;
        const uint8_t* s = src + i * stride;
        uint32_t* d = bm->pixels.data() + row * bm->width;
        const int64_t n = std::min<int64_t>(h.biWidth, bm->width);
        for (int64_t x = 0; x < n; ++x, s += bytesPerPixel)
            d[x] = (static_cast<uint32_t>(s[2]) << 16) | (static_cast<uint32_t>(s[1]) << 8) | s[0];
    }
    return static_cast<int>(count);
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
    PixelTarget d, s;
    int dox, doy, sox, soy;
    Window* top = nullptr;
    if (!Target(DC(dest), d, dox, doy, &top)) return DC(dest) != nullptr;
    if (rop == BLACKNESS || rop == WHITENESS) {
        Fill(d, x + dox, y + doy, x + dox + width, y + doy + height, rop == BLACKNESS ? 0 : 0xFFFFFF);
        MarkDirty(top);
        return TRUE;
    }
    if (rop != SRCCOPY || !Target(DC(src), s, sox, soy, nullptr)) return FALSE;
    for (int row = 0; row < height; ++row) {
        const int sy = srcY + soy + row, dy = y + doy + row;
        if (sy < std::max(0, s.clipTop) || sy >= std::min(s.height, s.clipBottom)) continue;
        if (dy < std::max(0, d.clipTop) || dy >= std::min(d.height, d.clipBottom)) continue;
        for (int col = 0; col < width; ++col) {
            const int sx = srcX + sox + col, dx = x + dox + col;
            if (sx < std::max(0, s.clipLeft) || sx >= std::min(s.width, s.clipRight)) continue;
            if (dx < std::max(0, d.clipLeft) || dx >= std::min(d.width, d.clipRight)) continue;
            d.pixels[static_cast<size_t>(dy) * d.pitch + dx] = s.pixels[static_cast<size_t>(sy) * s.pitch + sx];
        }
    }
    MarkDirty(top);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
    DeviceContext* dc = DC(hdc);
    GdiObject* o = Object(object);
    if (!dc || !o) return nullptr;
    HGDIOBJ old = nullptr;
    switch (o->type) {
    case GdiObject::Font: old = dc->font, dc->font = object; break;
    case GdiObject::Brush: old = dc->brush, dc->brush = object; break;
    case GdiObject::Bitmap:
        if (dc->kind != DeviceContext::Memory) return nullptr;
        old = dc->bitmap, dc->bitmap = object;
        break;
    case GdiObject::Pen: return GetStockObject(BLACK_PEN);
    }
    return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    GdiObject* o = Object(object);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    Gdi().objects.erase(reinterpret_cast<uintptr_t>(object));
    return TRUE;
}

int WINAPI SetMapMode(HDC hdc, int mode) {
    DeviceContext* dc = DC(hdc);
    if (!dc || mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
    const int old = dc->mapMode;
    dc->mapMode = mode;  // only MM_TEXT (one unit per pixel) is drawn with
    return old;
}

int WINAPI GetMapMode(HDC hdc) { return DC(hdc) ? DC(hdc)->mapMode : 0; }

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = DC(hdc);
    if (!dc) return CLR_INVALID;
    const COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

COLORREF WINAPI GetBkColor(HDC hdc) { return DC(hdc) ? DC(hdc)->bkColor : CLR_INVALID; }

int WINAPI SetBkMode(HDC hdc, int mode) {
    DeviceContext* dc = DC(hdc);
    if (!dc || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    const int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = DC(hdc);
    if (!dc) return CLR_INVALID;
    const COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    DeviceContext* dc = DC(hdc);
    if (!dc || length < 0 || (length > 0 && !text)) return FALSE;
    PixelTarget t;
    int ox, oy;
    Window* top = nullptr;
    if (!Target(dc, t, ox, oy, &top)) return TRUE;
    const FontSpec font = FontOf(reinterpret_cast<HFONT>(dc->font));
    const std::string_view s(text ? text : "", static_cast<size_t>(length));
    if (dc->bkMode == OPAQUE) {
        const FontMetrics m = MeasureFont(font);
        Fill(t, x + ox, y + oy, x + ox + MeasureText(font, s), y + oy + m.height, ColorFromRef(dc->bkColor));
    }
    DrawText(t, font, x + ox, y + oy, s, ColorFromRef(dc->textColor));
    MarkDirty(top);
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, LPSIZE size) {
    DeviceContext* dc = DC(hdc);
    if (!dc || !size || length < 0 || (length > 0 && !text)) return FALSE;
    const FontSpec font = FontOf(reinterpret_cast<HFONT>(dc->font));
    size->cx = MeasureText(font, std::string_view(text ? text : "", static_cast<size_t>(length)));
    size->cy = MeasureFont(font).height;
    return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
    DeviceContext* dc = DC(hdc);
    if (!dc || !tm) return FALSE;
    const FontSpec font = FontOf(reinterpret_cast<HFONT>(dc->font));
    const FontMetrics m = MeasureFont(font);
    *tm = {};
    tm->tmHeight = m.height;
    tm->tmAscent = m.ascent;
    tm->tmDescent = m.descent;
    tm->tmAveCharWidth = m.averageWidth;
    tm->tmMaxCharWidth = m.averageWidth * 2;
    tm->tmWeight = font.bold ? 700 : 400;
    tm->tmLastChar = 255;
    tm->tmDefaultChar = '?';
    tm->tmBreakChar = ' ';
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    PixelTarget t;
    int ox, oy;
    if (!Target(DC(hdc), t, ox, oy, nullptr)) return CLR_INVALID;
    x += ox, y += oy;
    if (x < std::max(0, t.clipLeft) || y < std::max(0, t.clipTop) || x >= std::min(t.width, t.clipRight) ||
        y >= std::min(t.height, t.clipBottom))
        return CLR_INVALID;
    const uint32_t p = t.pixels[static_cast<size_t>(y) * t.pitch + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int WINAPI FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    uint32_t color;
    PixelTarget t;
    int ox, oy;
    Window* top = nullptr;
    if (!rect || !DC(hdc)) return 0;
    if (!BrushColor(brush, color)) return 0;
    if (!Target(DC(hdc), t, ox, oy, &top)) return 1;
    Fill(t, rect->left + ox, rect->top + oy, rect->right + ox, rect->bottom + oy, color);
    MarkDirty(top);
    return 1;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    Window* w = GetWindow(hwnd);
    if (!w || !ps) return nullptr;
    *ps = {};
    HDC hdc = NewDC(DeviceContext::Client, hwnd);
    w->invalid = false;
    ps->hdc = hdc;
    ps->rcPaint = {0, 0, w->width, w->height};
    if (w->erase) {
        w->erase = false;
        ps->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    }
    return hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* ps) {
    if (ps) DeleteDC(ps->hdc);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
    if (!hwnd) {
        for (HWND h : AllWindows())
            if (Window* w = GetWindow(h); w && !(w->style & WS_CHILD)) InvalidateTree(w, erase);
        return TRUE;
    }
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    InvalidateTree(w, erase);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT*) {
    Window* w = GetWindow(hwnd);
    if (!w) return FALSE;
    w->invalid = false;
    w->erase = false;
    return TRUE;
}
