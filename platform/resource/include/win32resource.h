#pragma once
// The program's resources (not a Win32 call). A module describes its dialog
// in the terms of a resource script and registers it under its id. On Linux
// DialogBoxParamA(..., MAKEINTRESOURCE(id), ...) finds it there; the Windows
// build puts the same bytes into the executable as a dialog resource.
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

struct Win32DialogItem {
    int id;
    std::string className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"
    std::string text;       // as a resource script writes it: "&&" stands for '&'
    DWORD style;
    short x, y, cx, cy;
};

struct Win32Dialog {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string caption;
    WORD fontPoints;  // used when style has DS_SETFONT
    std::string fontName;
    std::vector<Win32DialogItem> items;
};

// Builds the classic in-memory dialog template (DLGTEMPLATE and
// DLGITEMTEMPLATE records with their WORD arrays, items DWORD-aligned).
std::vector<WORD> Win32BuildDialogTemplate(const Win32Dialog& dialog);

// Registers a built template under a resource id; the first registration of
// an id stays. Returns true when this call registered it.
bool Win32RegisterDialogResource(WORD id, std::vector<WORD> dialogTemplate);
// The registered template, or null.
const DLGTEMPLATE* Win32FindDialogResource(WORD id);
// The ids registered so far, ascending, with their templates' bytes: what a
// resource compiler would put into the executable.
std::vector<std::pair<WORD, std::vector<WORD>>> Win32DialogResources();
