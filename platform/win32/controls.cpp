// The built-in control classes: "BUTTON" (push buttons, check boxes),
// "STATIC" (texts) and "COMBOBOX" (drop-down lists with an edit field),
// drawn in the classic scheme with the window's font.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "win32state.h"

namespace win32 {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kShadow = 0x808080, kDark = 0x404040;
constexpr uint32_t kHighlight = 0x0A246A;
constexpr int kArrowWidth = 16;
constexpr DWORD kNoPrefix = 0x80;  // SS_NOPREFIX

uint32_t Face() { return SysColor(COLOR_BTNFACE); }

struct Painter {
    Window* w;
    PixelTarget t;
    int ox = 0, oy = 0;
    FontSpec font;

    void Fill(int l, int tp, int r, int b, uint32_t c) const { FillPixels(t, l + ox, tp + oy, r + ox, b + oy, c); }
    void Frame(int l, int tp, int r, int b, uint32_t topLeft, uint32_t bottomRight) const {
        Fill(l, tp, r, tp + 1, topLeft);
        Fill(l, tp, l + 1, b, topLeft);
        Fill(l, b - 1, r, b, bottomRight);
        Fill(r - 1, tp, r, b, bottomRight);
    }
    void Dotted(int l, int tp, int r, int b) const {
        for (int x = l; x < r; x += 2) Fill(x, tp, x + 1, tp + 1, kBlack), Fill(x, b - 1, x + 1, b, kBlack);
        for (int y = tp; y < b; y += 2) Fill(l, y, l + 1, y + 1, kBlack), Fill(r - 1, y, r, y + 1, kBlack);
    }
    void Text(int x, int y, std::string_view s, uint32_t c) const { DrawText(t, font, x + ox, y + oy, s, c); }
};

bool BeginControlPaint(HWND hwnd, Painter& p) {
    PAINTSTRUCT ps;
    EndPaint(hwnd, (BeginPaint(hwnd, &ps), &ps));
    p.w = GetWindow(hwnd);
    if (!p.w || !CanvasTarget(p.w, p.t, p.ox, p.oy)) return false;
    p.font = FontOf(p.w->font ? p.w->font : DefaultGuiFont());
    if (Window* top = TopLevel(p.w)) top->canvas.dirty = true;
    return true;
}

// "&x" marks a mnemonic and "&&" stands for "&".
std::string WithoutPrefixes(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size())
            ++i;
        else if (s[i] == '&')
            continue;
        out += s[i];
    }
    return out;
}

std::string Label(Window* w) { return (w->style & kNoPrefix) ? w->text : WithoutPrefixes(w->text); }

void Notify(HWND hwnd, int code) {
    Window* w = GetWindow(hwnd);
    if (!w) return;
    SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(hwnd));
}

// --- buttons --------------------------------------------------------------

DWORD ButtonType(Window* w) { return w->style & BS_TYPEMASK; }
bool IsCheckBox(Window* w) {
    const DWORD t = ButtonType(w);
    return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE;
}

void PaintPushButton(const Painter& p) {
    Window* w = p.w;
    const int W = w->width, H = w->height;
    const bool isDefault = ButtonType(w) == BS_DEFPUSHBUTTON;
    p.Fill(0, 0, W, H, Face());
    int inset = 0;
    if (isDefault) p.Frame(0, 0, W, H, kBlack, kBlack), inset = 1;
    if (w->control.pressed) {
        p.Frame(inset, inset, W - inset, H - inset, kShadow, kShadow);
    } else {
        p.Frame(inset, inset, W - inset, H - inset, kWhite, kDark);
        p.Frame(inset + 1, inset + 1, W - inset - 1, H - inset - 1, Face(), kShadow);
    }
    const std::string label = Label(w);
    const FontMetrics m = MeasureFont(p.font);
    const int tw = MeasureText(p.font, label);
    const int shift = w->control.pressed ? 1 : 0;
    p.Text((W - tw) / 2 + shift, (H - m.height) / 2 + shift, label, w->enabled ? kBlack : kShadow);
    if (FocusWindow() == w->handle) p.Dotted(4, 4, W - 4, H - 4);
}

void PaintCheckBox(const Painter& p) {
    Window* w = p.w;
    const int H = w->height, box = 13, by = (H - box) / 2;
    p.Fill(0, 0, w->width, H, Face());
    p.Fill(0, by, box, by + box, w->enabled ? kWhite : Face());
    p.Frame(0, by, box, by + box, kShadow, kWhite);
    p.Frame(1, by + 1, box - 1, by + box - 1, kDark, Face());
    if (w->control.check) {
        // A seven-pixel tick, three pixels thick.
        const uint32_t c = w->enabled ? kBlack : kShadow;
        for (int i = 0; i < 7; ++i) {
            const int x = 3 + i, y = by + (i < 3 ? 5 + i : 9 - i);
            p.Fill(x, y, x + 1, y + 3, c);
        }
    }
    const std::string label = Label(w);
    const FontMetrics m = MeasureFont(p.font);
    const int tx = box + 4, ty = (H - m.height) / 2;
    p.Text(tx, ty, label, w->enabled ? kBlack : kShadow);
    if (FocusWindow() == w->handle)
        p.Dotted(tx - 1, ty - 1, std::min(w->width, tx + MeasureText(p.font, label) + 2), ty + m.height + 1);
}

void ClickButton(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    if (!w || !w->enabled) return;
    const DWORD type = ButtonType(w);
    if (type == BS_AUTOCHECKBOX) w->control.check = w->control.check ? BST_UNCHECKED : BST_CHECKED;
    if (type == BS_AUTO3STATE) w->control.check = (w->control.check + 1) % 3;
    InvalidateTree(w, false);
    Notify(hwnd, BN_CLICKED);
}

// --- combo boxes ----------------------------------------------------------

int RowHeight(Window* w) { return MeasureFont(FontOf(w->font ? w->font : DefaultGuiFont())).height + 2; }
int EditHeight(Window* w) { return RowHeight(w) + 6; }

void SelectItem(HWND hwnd, int index, bool notify) {
    Window* w = GetWindow(hwnd);
    if (!w) return;
    ControlState& c = w->control;
    const int n = static_cast<int>(c.items.size());
    if (n == 0) return;
    index = std::clamp(index, 0, n - 1);
    const bool changed = index != c.selection;
    c.selection = index;
    c.edit = c.items[static_cast<size_t>(index)];
    InvalidateTree(w, false);
    if (Window* top = TopLevel(w)) top->canvas.dirty = true;
    if (changed && notify) Notify(hwnd, CBN_SELCHANGE);
}

void SetDropped(HWND hwnd, bool dropped) {
    Window* w = GetWindow(hwnd);
    if (!w || w->control.dropped == dropped) return;
    w->control.dropped = dropped;
    if (Window* top = TopLevel(w)) top->canvas.dirty = true;
    Notify(hwnd, dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
}

void PaintCombo(const Painter& p) {
    Window* w = p.w;
    const int W = w->width, H = w->height;
    p.Fill(0, 0, W, H, w->enabled ? kWhite : Face());
    p.Frame(0, 0, W, H, kShadow, kWhite);
    p.Frame(1, 1, W - 1, H - 1, kDark, Face());
    // The arrow button.
    const int bx = W - 2 - kArrowWidth;
    p.Fill(bx, 2, W - 2, H - 2, Face());
    p.Frame(bx, 2, W - 2, H - 2, kWhite, kDark);
    const int ax = bx + kArrowWidth / 2, ay = H / 2 - 2;
    for (int i = 0; i < 4; ++i) p.Fill(ax - 3 + i, ay + i, ax + 4 - i, ay + i + 1, w->enabled ? kBlack : kShadow);
    // The text stays inside the field, left of the arrow button: a long entry
    // is cut at the button, as the system's combo box does.
    Painter field = p;
    field.t.clipLeft = std::max(p.t.clipLeft, p.ox + 2);
    field.t.clipTop = std::max(p.t.clipTop, p.oy + 2);
    field.t.clipRight = std::min(p.t.clipRight, p.ox + bx - 1);
    field.t.clipBottom = std::min(p.t.clipBottom, p.oy + H - 2);
    const FontMetrics m = MeasureFont(p.font);
    const int ty = (H - m.height) / 2;
    const std::string& text = w->control.edit;
    if (FocusWindow() == w->handle && !w->control.dropped && !text.empty()) {
        field.Fill(3, ty - 1, 4 + MeasureText(p.font, text) + 1, ty + m.height + 1, kHighlight);
        field.Text(4, ty, text, kWhite);
    } else {
        field.Text(4, ty, text, w->enabled ? kBlack : kShadow);
    }
}

int VisibleRows(Window* w, int top, int windowHeight, int rowHeight) {
    const int n = static_cast<int>(w->control.items.size());
    const int wanted = std::max(1, w->control.dropHeight / rowHeight);
    const int room = std::max(1, (windowHeight - top - 2) / rowHeight);
    return std::max(1, std::min({n, wanted, room}));
}

void KeepSelectionVisible(Window* w, int rows) {
    ControlState& c = w->control;
    if (c.selection >= 0) {
        if (c.selection < c.topIndex) c.topIndex = c.selection;
        if (c.selection >= c.topIndex + rows) c.topIndex = c.selection - rows + 1;
    }
    c.topIndex = std::clamp(c.topIndex, 0, std::max(0, static_cast<int>(c.items.size()) - rows));
}

LRESULT ComboKey(HWND hwnd, Window* w, WPARAM key) {
    ControlState& c = w->control;
    const int n = static_cast<int>(c.items.size());
    switch (key) {
    case VK_UP: SelectItem(hwnd, c.selection < 0 ? 0 : c.selection - 1, true); break;
    case VK_DOWN: SelectItem(hwnd, c.selection < 0 ? 0 : c.selection + 1, true); break;
    case VK_HOME: SelectItem(hwnd, 0, true); break;
    case VK_END: SelectItem(hwnd, n - 1, true); break;
    case VK_PRIOR: SelectItem(hwnd, c.selection - 4, true); break;
    case VK_NEXT: SelectItem(hwnd, c.selection + 4, true); break;
    case VK_F4: SetDropped(hwnd, !c.dropped); break;
    case VK_RETURN:
    case VK_ESCAPE: SetDropped(hwnd, false); break;
    case VK_BACK:
        if ((w->style & 3) == CBS_DROPDOWN && !c.edit.empty()) {
            c.edit.pop_back();
            c.selection = -1;
            InvalidateTree(w, false);
            Notify(hwnd, CBN_EDITCHANGE);
        }
        break;
    default: break;
    }
    return 0;
}

LRESULT ComboText(Window* w, UINT msg, WPARAM wParam, LPARAM lParam) {
    ControlState& c = w->control;
    const int n = static_cast<int>(c.items.size());
    const auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    const char* text = reinterpret_cast<const char*>(lParam);
    switch (msg) {
    case CB_ADDSTRING: c.items.emplace_back(text ? text : ""); return n;
    case CB_INSERTSTRING: {
        const int at = (index < 0 || index > n) ? n : index;
        c.items.insert(c.items.begin() + at, text ? text : "");
        if (c.selection >= at) ++c.selection;
        return at;
    }
    case CB_DELETESTRING:
        if (index < 0 || index >= n) return CB_ERR;
        c.items.erase(c.items.begin() + index);
        if (c.selection == index)
            c.selection = -1, c.edit.clear();
        else if (c.selection > index)
            --c.selection;
        return n - 1;
    case CB_RESETCONTENT:
        c.items.clear();
        c.selection = -1;
        c.topIndex = 0;
        c.edit.clear();
        return 0;
    case CB_GETCOUNT: return n;
    case CB_GETCURSEL: return c.selection;
    case CB_SETCURSEL:
        if (index < 0 || index >= n) {
            c.selection = -1;
            c.edit.clear();
            return CB_ERR;
        }
        c.selection = index;
        c.edit = c.items[static_cast<size_t>(index)];
        return index;
    case CB_GETLBTEXT:
        if (index < 0 || index >= n || !lParam) return CB_ERR;
        std::strcpy(reinterpret_cast<char*>(lParam), c.items[static_cast<size_t>(index)].c_str());
        return static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size());
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= n) return CB_ERR;
        return static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size());
    case CB_FINDSTRING:
    case CB_SELECTSTRING: {
        if (!text) return CB_ERR;
        const size_t len = std::strlen(text);
        for (int i = std::max(0, index + 1); i < n; ++i)
            if (strncasecmp(c.items[static_cast<size_t>(i)].c_str(), text, len) == 0) {
                if (msg == CB_SELECTSTRING) c.selection = i, c.edit = c.items[static_cast<size_t>(i)];
                return i;
            }
        return CB_ERR;
    }
    default: return CB_ERR;
    }
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = GetWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_PAINT: {
        Painter p;
        if (BeginControlPaint(hwnd, p)) IsCheckBox(p.w) ? PaintCheckBox(p) : PaintPushButton(p);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case BM_GETCHECK: return IsCheckBox(w) ? w->control.check : BST_UNCHECKED;
    case BM_SETCHECK:
        w->control.check = static_cast<UINT>(wParam);
        InvalidateTree(w, false);
        return 0;
    case BM_GETSTATE:
        return w->control.check | (w->control.pressed ? BST_PUSHED : 0) | (FocusWindow() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        w->control.pressed = wParam != 0;
        InvalidateTree(w, false);
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & ~0xFFFFu) | LOWORD(wParam);
        if (lParam) InvalidateTree(w, false);
        return 0;
    case BM_CLICK:
    case WM_LBUTTONDOWN:
        if (w->enabled && msg == WM_LBUTTONDOWN) SetFocus(hwnd);
        ClickButton(hwnd);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) ClickButton(hwnd);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE: InvalidateTree(w, false); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg != WM_PAINT) return DefWindowProcA(hwnd, msg, wParam, lParam);
    Painter p;
    if (!BeginControlPaint(hwnd, p)) return 0;
    p.Fill(0, 0, p.w->width, p.w->height, Face());
    const std::string label = Label(p.w);
    const int tw = MeasureText(p.font, label);
    const DWORD align = p.w->style & SS_TYPEMASK;
    const int x = align == SS_CENTER ? (p.w->width - tw) / 2 : align == SS_RIGHT ? p.w->width - tw : 0;
    p.Text(x, 0, label, p.w->enabled ? kBlack : kShadow);
    return 0;
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = GetWindow(hwnd);
    if (!w) return 0;
    if (msg >= CB_GETEDITSEL && msg <= CB_GETDROPPEDSTATE) {
        if (msg == CB_SHOWDROPDOWN) return SetDropped(hwnd, wParam != 0), TRUE;
        if (msg == CB_GETDROPPEDSTATE) return w->control.dropped ? TRUE : FALSE;
        const LRESULT r = ComboText(w, msg, wParam, lParam);
        InvalidateTree(w, false);
        if (Window* top = TopLevel(w)) top->canvas.dirty = true;
        return r;
    }
    switch (msg) {
    case WM_CREATE: {
        // The template height covers the edit field and the dropped list.
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        w->height = EditHeight(w);
        w->control.dropHeight = std::max(RowHeight(w), cs->cy - w->height);
        return 0;
    }
    case WM_SETFONT: {
        const int total = w->height + w->control.dropHeight;
        DefWindowProcA(hwnd, msg, wParam, lParam);
        w->height = EditHeight(w);
        w->control.dropHeight = std::max(RowHeight(w), total - w->height);
        return 0;
    }
    case WM_PAINT: {
        Painter p;
        if (BeginControlPaint(hwnd, p)) PaintCombo(p);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
        if (!w->enabled) return 0;
        SetFocus(hwnd);
        SetDropped(hwnd, !w->control.dropped);
        return 0;
    case WM_KEYDOWN: return ComboKey(hwnd, w, wParam);
    case WM_SYSKEYDOWN:
        if (wParam == VK_DOWN || wParam == VK_UP) SetDropped(hwnd, !w->control.dropped);
        return 0;
    case WM_CHAR:
        if ((w->style & 3) == CBS_DROPDOWN && wParam >= 0x20) {
            w->control.edit += static_cast<char>(wParam);
            w->control.selection = -1;
            InvalidateTree(w, false);
            Notify(hwnd, CBN_EDITCHANGE);
        }
        return 0;
    case WM_KILLFOCUS:
        SetDropped(hwnd, false);
        InvalidateTree(w, false);
        return 0;
    case WM_SETFOCUS:
    case WM_ENABLE: InvalidateTree(w, false); return 0;
    case WM_SETTEXT:
        w->control.edit = lParam ? reinterpret_cast<const char*>(lParam) : "";
        w->control.selection = -1;
        InvalidateTree(w, false);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        const size_t n = std::min(w->control.edit.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), w->control.edit.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->control.edit.size());
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool DropListRect(Window* combo, RECT& r, int& rowHeight) {
    Window* top = TopLevel(combo);
    if (!top || !combo->control.dropped) return false;
    rowHeight = RowHeight(combo);
    int ox, oy;
    OriginInTopLevel(combo, ox, oy);
    int listTop = oy + combo->height;
    int rows = VisibleRows(combo, listTop, top->height, rowHeight);
    // Open upwards when there is more room above the field than below.
    const int roomAbove = (oy - 2) / rowHeight;
    if (rows < static_cast<int>(combo->control.items.size()) && roomAbove > rows) {
        rows = std::min({roomAbove, static_cast<int>(combo->control.items.size()),
                         std::max(1, combo->control.dropHeight / rowHeight)});
        listTop = oy - rows * rowHeight - 2;
    }
    KeepSelectionVisible(combo, rows);
    r = {ox, listTop, ox + combo->width, listTop + rows * rowHeight + 2};
    return true;
}

void DrawDropList(Window* combo, const PixelTarget& t) {
    RECT r;
    int rowHeight;
    if (!DropListRect(combo, r, rowHeight)) return;
    const ControlState& c = combo->control;
    const FontSpec font = FontOf(combo->font ? combo->font : DefaultGuiFont());
    FillPixels(t, r.left, r.top, r.right, r.bottom, kBlack);
    FillPixels(t, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, kWhite);
    const int rows = (r.bottom - r.top - 2) / rowHeight;
    const int n = static_cast<int>(c.items.size());
    const bool scroll = n > rows;
    const int textRight = r.right - 1 - (scroll ? kArrowWidth : 0);
    PixelTarget clip = t;
    clip.clipLeft = std::max(t.clipLeft, static_cast<int>(r.left) + 1);
    clip.clipRight = std::min(t.clipRight, textRight);
    for (int i = 0; i < rows && c.topIndex + i < n; ++i) {
        const int index = c.topIndex + i, y = r.top + 1 + i * rowHeight;
        const bool selected = index == c.selection;
        if (selected) FillPixels(t, r.left + 1, y, textRight, y + rowHeight, kHighlight);
        DrawText(clip, font, r.left + 3, y + 1, c.items[static_cast<size_t>(index)], selected ? kWhite : kBlack);
    }
    if (scroll) {
        const int sx = textRight, sh = r.bottom - r.top - 2;
        FillPixels(t, sx, r.top + 1, r.right - 1, r.bottom - 1, 0xE0DCD8);
        const int thumb = std::max(8, sh * rows / n),
                  ty = r.top + 1 + (sh - thumb) * c.topIndex / std::max(1, n - rows);
        FillPixels(t, sx + 1, ty, r.right - 2, ty + thumb, Face());
        FillPixels(t, sx + 1, ty + thumb - 1, r.right - 2, ty + thumb, kShadow);
    }
}

bool DropListClick(HWND topLevel, int x, int y) {
    std::vector<HWND> stack = {topLevel};
    while (!stack.empty()) {
        Window* w = GetWindow(stack.back());
        stack.pop_back();
        if (!w) continue;
        for (HWND h : w->children) stack.push_back(h);
        RECT r;
        int rowHeight;
        if (!(w->style & WS_CHILD) || !DropListRect(w, r, rowHeight)) continue;
        const HWND combo = w->handle;
        if (x >= r.left && x < r.right && y > r.top && y < r.bottom - 1) {
            const int index = w->control.topIndex + (y - r.top - 1) / rowHeight;
            if (index < static_cast<int>(w->control.items.size())) SelectItem(combo, index, true);
        }
        SetDropped(combo, false);
        return true;
    }
    return false;
}

void CloseDropLists(HWND topLevel) {
    Window* w = GetWindow(topLevel);
    if (!w) return;
    for (HWND h : std::vector<HWND>(w->children)) {
        SetDropped(h, false);
        CloseDropLists(h);
    }
}

void RegisterBuiltinClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    const struct {
        const char* name;
        WNDPROC proc;
    } classes[] = {
        {"BUTTON", ButtonProc}, {"STATIC", StaticProc}, {"COMBOBOX", ComboProc}, {"#32770", DialogWindowProc}};
    for (const auto& c : classes) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = c.proc;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = c.name;
        if (std::strcmp(c.name, "#32770") == 0)
            wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1));
        RegisterClassExA(&wc);
    }
}

}  // namespace win32
