// The setup dialog: adapter, display mode, fullscreen and hardware
// transform and lighting, from and into deviceSettings.
#include "setupdialog.h"

#include <cstring>

#include <win32resource.h>

#include "engine/device3d.h"

// The show's driver owns the record and its start values; this weak stand-in
// with the same values only serves programs that link the dialog without the
// driver (tests), where the linker may pull this module in on its own.
[[gnu::weak]] DeviceSettings deviceSettings = {0, nullptr, 640, 480, 70, D3DFMT_R5G6B5, 0};

namespace {

constexpr WORD kSetupDialogId = 101;

Win32Dialog SetupTemplate() {
    Win32Dialog d;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    d.exStyle = 0;
    d.x = 0, d.y = 0, d.cx = 197, d.cy = 82;
    d.caption = "Halcyon 2 by quillmark";
    d.fontPoints = 8;
    d.fontName = "MS Sans Serif";
    d.items = {
        {IDOK, "BUTTON", "OK", 0x50010001, 5, 65, 50, 14},
        {IDCANCEL, "BUTTON", "Cancel", 0x50010000, 60, 65, 50, 14},
        {IDC_HARDWARE_TNL, "BUTTON", "Hardware T&&L", 0x50010003, 70, 50, 61, 10},
        {IDC_MODES, "COMBOBOX", "", 0x50210002, 70, 25, 120, 60},
        {IDC_FULLSCREEN, "BUTTON", "Fullscreen", 0x50010003, 10, 50, 50, 10},
        {IDC_ADAPTERS, "COMBOBOX", "", 0x50210042, 70, 5, 120, 35},
        {-1, "STATIC", "Choose Device:", 0x50020000, 15, 5, 52, 8},
        {-1, "STATIC", "Choose Resolution:", 0x50020000, 5, 25, 62, 8},
    };
    return d;
}

// The program's resource table gets template 101 before main runs.
const bool kRegistered = Win32RegisterDialogResource(kSetupDialogId, Win32BuildDialogTemplate(SetupTemplate()));

Device3D* DeviceOf(HWND dialog) { return reinterpret_cast<Device3D*>(GetWindowLongPtrA(dialog, GWLP_USERDATA)); }

bool ValidAdapter(const Device3D& device, int adapter) { return adapter >= 0 && adapter < device.GetAdapterCount(); }

// The adapter whose modes the mode list shows, kept in the dialog's own slot.
int ShownAdapter(HWND dialog) { return static_cast<int>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void SetTnLBox(HWND dialog, const Device3D& device, int adapter, bool fromSettings) {
    HWND box = GetDlgItem(dialog, IDC_HARDWARE_TNL);
    if (device.SupportsHardwareTnL(adapter)) {
        EnableWindow(box, TRUE);
        if (fromSettings)
            CheckDlgButton(dialog, IDC_HARDWARE_TNL,
                           (deviceSettings.flags & DeviceSettings::HARDWARE_TNL) ? BST_CHECKED : BST_UNCHECKED);
    } else {
        EnableWindow(box, FALSE);
        CheckDlgButton(dialog, IDC_HARDWARE_TNL, BST_UNCHECKED);
        if (fromSettings) deviceSettings.flags &= static_cast<uint8_t>(~DeviceSettings::HARDWARE_TNL);
    }
}

// Lists the adapter's modes and selects the last 640 x 480 x 32 one, else
// the first.
void FillModes(HWND dialog, const Device3D& device, int adapter) {
    SendDlgItemMessageA(dialog, IDC_MODES, CB_RESETCONTENT, 0, 0);
    int selection = 0;
    for (int n = 0; n < device.GetModeCount(adapter); ++n) {
        const cvcore::String text = Device3D::ModeString(device.GetMode(adapter, n), true, true, false);
        SendDlgItemMessageA(dialog, IDC_MODES, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.Text()));
        if (std::strstr(text.Text(), "640") && std::strstr(text.Text(), "480") && std::strstr(text.Text(), "32"))
            selection = n;
    }
    SendDlgItemMessageA(dialog, IDC_MODES, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    SetWindowLongPtrA(dialog, DWLP_USER, adapter);
}

INT_PTR OnInitDialog(HWND dialog, Device3D* device) {
    SetWindowPos(dialog, nullptr, 350, 260, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(device));
    CheckDlgButton(dialog, IDC_FULLSCREEN,
                   (deviceSettings.flags & DeviceSettings::FULLSCREEN) ? BST_CHECKED : BST_UNCHECKED);
    if (!device) return TRUE;
    // An adapter index from outside the list would read no real adapter.
    int adapter = static_cast<int>(deviceSettings.adapter);
    if (!ValidAdapter(*device, adapter)) adapter = 0;
    SetTnLBox(dialog, *device, adapter, true);
    for (int a = 0; a < device->GetAdapterCount(); ++a)
        SendDlgItemMessageA(dialog, IDC_ADAPTERS, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(device->GetAdapterDescription(a)));
    SendDlgItemMessageA(dialog, IDC_ADAPTERS, CB_SETCURSEL, static_cast<WPARAM>(adapter), 0);
    FillModes(dialog, *device, adapter);
    return TRUE;
}

void OnAdapterChange(HWND dialog, const Device3D& device) {
    const int adapter = static_cast<int>(SendDlgItemMessageA(dialog, IDC_ADAPTERS, CB_GETCURSEL, 0, 0));
    if (!ValidAdapter(device, adapter) || adapter == ShownAdapter(dialog)) return;
    FillModes(dialog, device, adapter);
    SetTnLBox(dialog, device, adapter, false);
}

void OnOk(HWND dialog, const Device3D* device) {
    uint8_t flags =
        deviceSettings.flags & static_cast<uint8_t>(~(DeviceSettings::FULLSCREEN | DeviceSettings::HARDWARE_TNL));
    if (IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED) flags |= DeviceSettings::FULLSCREEN;
    if (IsDlgButtonChecked(dialog, IDC_HARDWARE_TNL) == BST_CHECKED) flags |= DeviceSettings::HARDWARE_TNL;
    deviceSettings.flags = flags;
    if (!device) return;
    // A typed adapter name leaves no selection: the adapter whose modes are
    // listed is the one meant.
    int adapter = static_cast<int>(SendDlgItemMessageA(dialog, IDC_ADAPTERS, CB_GETCURSEL, 0, 0));
    if (!ValidAdapter(*device, adapter)) adapter = ShownAdapter(dialog);
    if (!ValidAdapter(*device, adapter)) return;
    deviceSettings.adapter = static_cast<uint32_t>(adapter);
    const int count = device->GetModeCount(adapter);
    if (count <= 0) return;
    int mode = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MODES, CB_GETCURSEL, 0, 0));
    if (mode < 0 || mode >= count) mode = 0;  // no selection: the first mode
    const D3DDISPLAYMODE& m = device->GetMode(adapter, mode);
    deviceSettings.width = m.Width;
    deviceSettings.height = m.Height;
    deviceSettings.refreshRate = m.RefreshRate;
    deviceSettings.format = m.Format;
}

}  // namespace

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    (void)kRegistered;
    switch (msg) {
    case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<Device3D*>(lParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog, DeviceOf(dialog));
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        case IDC_ADAPTERS:
            if (HIWORD(wParam) == CBN_SELCHANGE && DeviceOf(dialog)) OnAdapterChange(dialog, *DeviceOf(dialog));
            return FALSE;
        default: return FALSE;
        }
    case WM_DESTROY: SetWindowLongPtrA(dialog, GWLP_USERDATA, 0); return TRUE;
    default: return FALSE;
    }
}
