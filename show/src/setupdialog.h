#pragma once
#include <windows.h>

#include "engine/devicesettings.h"

// The viewer's device choices, read and written by the setup dialog.
extern DeviceSettings deviceSettings;

// Dialog resource 101: adapter, display mode, fullscreen, hardware transform
// and lighting. Run it with DialogBoxParamA(..., MAKEINTRESOURCEA(101),
// owner, SetupDialogProc, (LPARAM)&device) where device is the Device3D;
// it returns 1 for OK and 0 for Cancel.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// Control ids of the dialog.
enum SetupDialogControl {
    IDC_HARDWARE_TNL = 1000,
    IDC_MODES = 1001,
    IDC_FULLSCREEN = 1002,
    IDC_ADAPTERS = 1003,
};
