// The program's dialog resources: classic templates built from a dialog
// description, kept by id.
#include <strings.h>

#include <map>

#include <win32resource.h>

namespace {

std::map<WORD, std::vector<WORD>>& Resources() {
    static std::map<WORD, std::vector<WORD>> resources;
    return resources;
}

void PutString(std::vector<WORD>& out, const std::string& s) {
    for (unsigned char c : s) out.push_back(c);  // Latin-1 to UTF-16
    out.push_back(0);
}

void PutDword(std::vector<WORD>& out, DWORD v) {
    out.push_back(static_cast<WORD>(v & 0xFFFF));
    out.push_back(static_cast<WORD>(v >> 16));
}

// Predefined control classes are stored as ordinals.
WORD ClassAtom(const std::string& name) {
    const char* names[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    for (WORD i = 0; i < 6; ++i)
        if (strcasecmp(name.c_str(), names[i]) == 0) return static_cast<WORD>(0x0080 + i);
    return 0;
}

}  // namespace

std::vector<WORD> Win32BuildDialogTemplate(const Win32Dialog& d) {
    std::vector<WORD> out;
    PutDword(out, d.style);
    PutDword(out, d.exStyle);
    out.push_back(static_cast<WORD>(d.items.size()));
    for (short v : {d.x, d.y, d.cx, d.cy}) out.push_back(static_cast<WORD>(v));
    out.push_back(0);  // no menu
    out.push_back(0);  // the default dialog class
    PutString(out, d.caption);
    if (d.style & DS_SETFONT) {
        out.push_back(d.fontPoints);
        PutString(out, d.fontName);
    }
    for (const Win32DialogItem& item : d.items) {
        if (out.size() % 2) out.push_back(0);  // items start on DWORD boundaries
        PutDword(out, item.style);
        PutDword(out, 0);
        for (short v : {item.x, item.y, item.cx, item.cy}) out.push_back(static_cast<WORD>(v));
        out.push_back(static_cast<WORD>(item.id));
        if (WORD atom = ClassAtom(item.className)) {
            out.push_back(0xFFFF);
            out.push_back(atom);
        } else {
            PutString(out, item.className);
        }
        PutString(out, item.text);
        out.push_back(0);  // no creation data
    }
    return out;
}

bool Win32RegisterDialogResource(WORD id, std::vector<WORD> dialogTemplate) {
    return Resources().emplace(id, std::move(dialogTemplate)).second;
}

const DLGTEMPLATE* Win32FindDialogResource(WORD id) {
    auto it = Resources().find(id);
    return it == Resources().end() ? nullptr : reinterpret_cast<const DLGTEMPLATE*>(it->second.data());
}

std::vector<std::pair<WORD, std::vector<WORD>>> Win32DialogResources() {
    return {Resources().begin(), Resources().end()};
}
