#pragma once
// How the Win32 stand-in meets the machine it runs on (not Win32 calls):
// whether anyone can see its windows, unattended answers for dialogs, and
// hooks that let tests and tools look at windows and act while a modal loop
// waits.
#include <cstdint>
#include <functional>
#include <vector>
#include "windef.h"

// True when windows are shown on a display someone can see: SDL's video
// starts and its driver is neither "offscreen" nor "dummy". Setting
// HALCYON2_SHOW_HEADLESS=1 (or Win32SetShowHeadless(true)) makes the
// offscreen driver count as visible, so tests can run dialogs and the report
// window headlessly.
bool Win32DisplayIsVisible();
void Win32SetShowHeadless(bool on);

// Unattended answer for modal dialogs: HALCYON2_DIALOG=ok or cancel (or this
// call with IDOK / IDCANCEL; 0 clears it). The dialog is built and
// initialised as usual, then the button is pressed.
void Win32SetDialogAnswer(int commandId);
int Win32GetDialogAnswer();

// Called whenever a blocking message loop (GetMessageA, a modal dialog)
// finds its queue empty, instead of waiting for input. Empty to clear.
void Win32SetIdleHook(std::function<void()> hook);

// Reads back the client area as the window shows it: 0x00RRGGBB per pixel,
// rows top to bottom. False when the handle names no top-level window.
bool Win32ReadWindowPixels(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height);

// Posts the SDL events a person would cause: a key press or release (SDL
// keycode), a left click at client coordinates of a top-level window.
void Win32InjectKey(HWND hwnd, int32_t sdlKeycode, bool down);
void Win32InjectClick(HWND hwnd, int x, int y);
