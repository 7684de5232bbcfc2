// Modal dialogs from classic templates: layout in dialog units of the
// template's font, the controls as child windows, the dialog procedure
// behind the default dialog window procedure, and the dialog keyboard.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "win32host.h"
#include "win32resource.h"
#include "win32state.h"

namespace win32 {
namespace {

struct ItemDesc {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    std::string className, text;
};

struct DialogDesc {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string className, caption, fontName;
    WORD fontPoints = 8;
    std::vector<ItemDesc> items;
};

// A name-or-ordinal field: 0 (none), 0xFFFF + ordinal, or a zero-ended
// UTF-16 string (kept as Latin-1).
const WORD* ReadField(const WORD* p, std::string& out, WORD& ordinal) {
    out.clear();
    ordinal = 0;
    if (*p == 0xFFFF) {
        ordinal = p[1];
        return p + 2;
    }
    for (; *p; ++p) out += static_cast<char>(*p < 0x100 ? *p : '?');
    return p + 1;
}

std::string AtomName(WORD atom) {
    const char* names[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    return (atom >= 0x80 && atom <= 0x85) ? names[atom - 0x80] : "";
}

DialogDesc ParseTemplate(const DLGTEMPLATE* t) {
    DialogDesc d;
    d.style = t->style;
    d.exStyle = t->dwExtendedStyle;
    d.x = t->x, d.y = t->y, d.cx = t->cx, d.cy = t->cy;
    const auto* base = reinterpret_cast<const WORD*>(t);
    const WORD* p = base + sizeof(DLGTEMPLATE) / 2;
    std::string ignored;
    WORD ordinal;
    p = ReadField(p, ignored, ordinal);  // menu
    p = ReadField(p, d.className, ordinal);
    p = ReadField(p, d.caption, ordinal);
    if (d.style & DS_SETFONT) {
        d.fontPoints = *p++;
        p = ReadField(p, d.fontName, ordinal);
    }
    for (WORD i = 0; i < t->cdit; ++i) {
        if ((p - base) % 2) ++p;
        DLGITEMTEMPLATE it;
        std::memcpy(&it, p, sizeof(it));
        p += sizeof(DLGITEMTEMPLATE) / 2;
        ItemDesc item;
        item.style = it.style;
        item.exStyle = it.dwExtendedStyle;
        item.x = it.x, item.y = it.y, item.cx = it.cx, item.cy = it.cy;
        item.id = it.id;
        p = ReadField(p, item.className, ordinal);
        if (ordinal) item.className = AtomName(ordinal);
        p = ReadField(p, item.text, ordinal);
        p += 1 + *p / 2;  // creation data: a byte count, then the bytes
        d.items.push_back(item);
    }
    return d;
}

int ToPixelsX(const Window* dlg, int du) { return (du * dlg->baseUnitX + 2) / 4; }
int ToPixelsY(const Window* dlg, int du) { return (du * dlg->baseUnitY + 4) / 8; }

std::vector<HWND> TabStops(HWND dialog) {
    std::vector<HWND> out;
    if (Window* d = GetWindow(dialog))
        for (HWND h : d->children)
            if (Window* c = GetWindow(h); c && c->visible && c->enabled && (c->style & WS_TABSTOP)) out.push_back(h);
    return out;
}

bool IsClass(HWND hwnd, const char* name) {
    Window* w = GetWindow(hwnd);
    return w && w->windowClass && strcasecmp(w->windowClass->name.c_str(), name) == 0;
}

bool IsPushButton(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    return IsClass(hwnd, "BUTTON") && (w->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

void Command(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control && !IsWindowEnabled(control)) return;
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

int DefaultButton(HWND dialog) {
    if (Window* d = GetWindow(dialog))
        for (HWND h : d->children)
            if (Window* c = GetWindow(h); c && IsClass(h, "BUTTON") && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                return c->id;
    return IDOK;
}

void MoveFocus(HWND dialog, bool backwards) {
    std::vector<HWND> stops = TabStops(dialog);
    if (stops.empty()) return;
    auto it = std::find(stops.begin(), stops.end(), FocusWindow());
    size_t i = it == stops.end() ? 0 : static_cast<size_t>(it - stops.begin());
    if (it != stops.end()) i = backwards ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
    SetFocus(stops[i]);
}

HWND CreateDialogWindow(const DialogDesc& d, HINSTANCE instance, HWND owner, DLGPROC proc, LPARAM param) {
    RegisterBuiltinClasses();
    // Every face maps to DejaVu Sans at the template's point size (96 dpi).
    FontSpec font;
    font.pixelSize = std::max(6, (d.fontPoints * 96 + 36) / 72);
    const FontMetrics m = MeasureFont(font);
    Window scale;
    scale.baseUnitX = std::max(1, m.averageWidth);
    scale.baseUnitY = std::max(1, m.height);

    const DWORD style = d.style & ~static_cast<DWORD>(WS_VISIBLE);
    const DWORD exStyle = d.exStyle | ((d.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    RECT r = {0, 0, ToPixelsX(&scale, d.cx), ToPixelsY(&scale, d.cy)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    int x = ToPixelsX(&scale, d.x), y = ToPixelsY(&scale, d.y);
    if (Window* o = TopLevel(GetWindow(owner))) x += o->x, y += o->y;
    const std::string cls = d.className.empty() ? "#32770" : d.className;
    HWND dlg = CreateWindowExA(exStyle, cls.c_str(), d.caption.c_str(), style, x, y, r.right - r.left, r.bottom - r.top,
                               owner, nullptr, instance, nullptr);
    Window* w = GetWindow(dlg);
    if (!w) return nullptr;
    w->dialogProc = proc;
    w->dialogWords[1] = reinterpret_cast<LONG_PTR>(proc);
    w->dialogFont = font;
    w->font = FontForSpec(font);
    w->baseUnitX = scale.baseUnitX;
    w->baseUnitY = scale.baseUnitY;
    for (const ItemDesc& item : d.items) {
        HWND c = CreateWindowExA(item.exStyle, item.className.c_str(), item.text.c_str(), item.style | WS_CHILD,
                                 ToPixelsX(&scale, item.x), ToPixelsY(&scale, item.y), ToPixelsX(&scale, item.cx),
                                 ToPixelsY(&scale, item.cy), dlg,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)), instance, nullptr);
        if (!c) {
            DestroyWindow(dlg);
            return nullptr;
        }
        SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(FontForSpec(font)), FALSE);
        if (item.style & WS_VISIBLE) ShowWindow(c, SW_SHOWNA);
    }
    std::vector<HWND> stops = TabStops(dlg);
    HWND first = stops.empty() ? nullptr : stops.front();
    if (SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) && IsWindow(dlg)) {
        stops = TabStops(dlg);
        if (!stops.empty()) SetFocus(stops.front());
    }
    return IsWindow(dlg) ? dlg : nullptr;
}

void RunModal(HWND dlg) {
    for (Window* w = GetWindow(dlg); w && !w->dialogEnded; w = GetWindow(dlg)) {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            WaitForInput();
            continue;
        }
        if (msg.message == WM_QUIT) {
            // The loop that asked to quit sees the request again.
            PostQuitMessage(static_cast<int>(msg.wParam));
            EndDialog(dlg, 0);
            break;
        }
        if (!HandleDialogKey(dlg, msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

}  // namespace

bool HandleDialogKey(HWND dialog, const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !msg.hwnd) return false;
    Window* top = TopLevel(GetWindow(msg.hwnd));
    if (!top || top->handle != dialog) return false;
    HWND focus = FocusWindow();
    const bool comboOpen = IsClass(focus, "COMBOBOX") && SendMessageA(focus, CB_GETDROPPEDSTATE, 0, 0);
    switch (msg.wParam) {
    case VK_TAB: MoveFocus(dialog, (SDL_GetModState() & KMOD_SHIFT) != 0); return true;
    case VK_ESCAPE:
        if (comboOpen) return false;
        Command(dialog, IDCANCEL);
        return true;
    case VK_RETURN:
        if (comboOpen) return false;
        Command(dialog, IsPushButton(focus) ? GetDlgCtrlID(focus) : DefaultButton(dialog));
        return true;
    default: return false;
    }
}

LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = GetWindow(hwnd);
    if (w && w->dialogProc) {
        const INT_PTR handled = CallProc(w->dialogProc, hwnd, msg, wParam, lParam);
        if (handled) {
            if (msg == WM_INITDIALOG) return handled;
            Window* still = GetWindow(hwnd);
            return still ? still->dialogWords[0] : handled;
        }
    }
    return DefDlgProcA(hwnd, msg, wParam, lParam);
}

}  // namespace win32

using namespace win32;

LRESULT WINAPI DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE: Command(hwnd, IDCANCEL); return 0;
    case WM_LBUTTONDOWN: CloseDropLists(hwnd); return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            HWND focus = FocusWindow();
            Window* f = GetWindow(focus);
            if (!f || TopLevel(f)->handle != hwnd) {
                std::vector<HWND> stops = TabStops(hwnd);
                SetFocus(stops.empty() ? hwnd : stops.front());
            }
        }
        return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dlgTemplate, HWND owner, DLGPROC proc,
                                       LPARAM param) {
    if (!dlgTemplate) return -1;
    const int answer = Win32GetDialogAnswer();
    if (!answer && !Win32DisplayIsVisible()) return -1;  // nobody could answer it
    const DialogDesc desc = ParseTemplate(dlgTemplate);
    if (Window* o = TopLevel(GetWindow(owner))) owner = o->handle;
    HWND dlg = CreateDialogWindow(desc, instance, owner, proc, param);
    if (!dlg) return -1;
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (answer) {
        if (!GetWindow(dlg)->dialogEnded) Command(dlg, answer);
    } else {
        if (ownerWasEnabled) EnableWindow(owner, FALSE);
        ShowWindow(dlg, SW_SHOW);
        RunModal(dlg);
    }
    Window* w = GetWindow(dlg);
    const INT_PTR result = (w && w->dialogEnded) ? w->dialogResult : -1;
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    DestroyWindow(dlg);
    return result;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    const DLGTEMPLATE* t = IS_INTRESOURCE(templateName)
                               ? Win32FindDialogResource(static_cast<WORD>(reinterpret_cast<uintptr_t>(templateName)))
                               : nullptr;
    if (!t) {
        SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
        return -1;
    }
    return DialogBoxIndirectParamA(instance, t, owner, proc, param);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window* w = GetWindow(dialog);
    if (!w || !w->dialogProc) return FALSE;
    w->dialogEnded = true;
    w->dialogResult = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* d = GetWindow(dialog);
    if (!d) return nullptr;
    for (HWND h : d->children)
        if (Window* c = GetWindow(h); c && static_cast<WORD>(c->id) == static_cast<WORD>(id)) return h;
    SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
    Window* w = GetWindow(hwnd);
    return (w && (w->style & WS_CHILD)) ? w->id : 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item ? SendMessageA(item, msg, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) return FALSE;
    SendMessageA(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) {
        if (text && maxCount > 0) text[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, text, maxCount));
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    Window* d = GetWindow(dialog);
    if (!d || !rect || !d->dialogProc) return FALSE;
    rect->left = ToPixelsX(d, rect->left);
    rect->right = ToPixelsX(d, rect->right);
    rect->top = ToPixelsY(d, rect->top);
    rect->bottom = ToPixelsY(d, rect->bottom);
    return TRUE;
}
