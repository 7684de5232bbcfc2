// The setup dialog driven as a person and as the program would: through its
// controls' messages, keys and clicks, on the trace Direct3D back end.
#include "setupdialog.h"

#include <SDL.h>
#include <d3d8ext.h>
#include <gtest/gtest.h>
#include <win32host.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/device3d.h"

DeviceSettings deviceSettings;

namespace {

constexpr uint8_t kFullscreen = DeviceSettings::FULLSCREEN;
constexpr uint8_t kTnL = DeviceSettings::HARDWARE_TNL;

D3DDISPLAYMODE Mode(UINT w, UINT h, UINT rate, D3DFORMAT f) { return {w, h, rate, f}; }

D3D8TraceAdapter Adapter(const char* name, std::vector<D3DDISPLAYMODE> modes, bool tnl) {
    D3D8TraceAdapter a;
    a.description = name;
    a.modes = std::move(modes);
    if (tnl)
        a.caps.DevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    else
        a.caps.DevCaps &= ~static_cast<DWORD>(D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    return a;
}

const std::vector<D3DDISPLAYMODE> kModesA = {Mode(800, 600, 60, D3DFMT_X8R8G8B8), Mode(640, 480, 60, D3DFMT_R5G6B5),
                                             Mode(640, 480, 60, D3DFMT_X8R8G8B8), Mode(640, 480, 75, D3DFMT_X8R8G8B8),
                                             Mode(1024, 768, 60, D3DFMT_R5G6B5)};
const std::vector<D3DDISPLAYMODE> kModesB = {Mode(1280, 1024, 85, D3DFMT_R5G6B5),
                                             Mode(1600, 1200, 60, D3DFMT_X8R8G8B8)};

std::string ComboText(HWND dialog, int id, int index) {
    char text[128] = {};
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

int Selection(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)); }

void Key(HWND dialog, SDL_Keycode key) {
    Win32InjectKey(dialog, key, true);
    Win32InjectKey(dialog, key, false);
}

// A control's rectangle in its dialog's client coordinates.
RECT InClient(HWND dialog, int id) {
    RECT d, c;
    GetWindowRect(dialog, &d);
    GetClientRect(dialog, &c);
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    const int clientLeft = d.left + ((d.right - d.left) - c.right) / 2;  // equal side frames
    const int clientTop = d.bottom - ((d.right - d.left) - c.right) / 2 - c.bottom;
    return {r.left - clientLeft, r.top - clientTop, r.right - clientLeft, r.bottom - clientTop};
}

POINT Centre(HWND dialog, int id) {
    const RECT r = InClient(dialog, id);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override {
        deviceSettings = {0, nullptr, 640, 480, 70, D3DFMT_R5G6B5, 0};
        Win32SetShowHeadless(true);
    }
    void TearDown() override {
        Win32SetIdleHook(nullptr);
        Win32SetShowHeadless(false);
        Win32SetDialogAnswer(-1);
        device.reset();
        D3D8Trace_Disable();
    }

    void MakeDevice(std::vector<D3D8TraceAdapter> adapters) {
        D3D8TraceConfig config;
        config.adapters = std::move(adapters);
        D3D8Trace_Enable(config);
        device = std::make_unique<Device3D>();
    }

    // Runs the dialog; each step runs once on a later idle turn, so the
    // messages a step causes are handled before the next one.
    INT_PTR Run(std::vector<std::function<void(HWND)>> steps) {
        size_t next = 0;
        int guard = 0;
        Win32SetIdleHook([&] {
            HWND dialog = GetActiveWindow();
            if (!dialog) return;
            if (next < steps.size()) {
                steps[next++](dialog);
            } else if (++guard > 100) {
                stuck = true;
                EndDialog(dialog, 99);
            }
        });
        const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(101), GetActiveWindow(),
                                               SetupDialogProc, reinterpret_cast<LPARAM>(device.get()));
        Win32SetIdleHook(nullptr);
        return result;
    }

    std::unique_ptr<Device3D> device;
    bool stuck = false;
};

TEST_F(SetupDialog, OpensWithTheSettingsAndTheDefaultModeAndCancelChangesNothing) {
    MakeDevice({Adapter("First adapter", kModesA, true), Adapter("Second adapter", kModesB, true)});
    deviceSettings.flags = kFullscreen | kTnL;
    const INT_PTR result = Run({[&](HWND d) {
                                    RECT r;
                                    GetWindowRect(d, &r);
                                    EXPECT_EQ(r.left, 350);
                                    EXPECT_EQ(r.top, 260);
                                    char caption[64];
                                    GetWindowTextA(d, caption, sizeof caption);
                                    EXPECT_STREQ(caption, "Halcyon 2 by quillmark");
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_FULLSCREEN), BST_CHECKED);
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_HARDWARE_TNL), BST_CHECKED);
                                    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_HARDWARE_TNL)));
                                    EXPECT_EQ(SendDlgItemMessageA(d, IDC_ADAPTERS, CB_GETCOUNT, 0, 0), 2);
                                    EXPECT_EQ(ComboText(d, IDC_ADAPTERS, 1), "Second adapter");
                                    EXPECT_EQ(Selection(d, IDC_ADAPTERS), 0);
                                    EXPECT_EQ(SendDlgItemMessageA(d, IDC_MODES, CB_GETCOUNT, 0, 0), 5);
                                    EXPECT_EQ(ComboText(d, IDC_MODES, 0), "800 x 600 x 32bits");
                                    // The last 640 x 480 x 32 entry.
                                    EXPECT_EQ(Selection(d, IDC_MODES), 3);
                                    std::vector<uint32_t> pixels;
                                    int w, h;
                                    ASSERT_TRUE(Win32ReadWindowPixels(d, pixels, w, h));
                                    if (const char* dir = std::getenv("HALCYON2_SNAPSHOT_DIR")) {
                                        std::FILE* f = std::fopen((std::string(dir) + "/setup.ppm").c_str(), "wb");
                                        std::fprintf(f, "P6 %d %d 255\n", w, h);
                                        for (uint32_t p : pixels) {
                                            const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                                                          static_cast<unsigned char>(p >> 8),
                                                                          static_cast<unsigned char>(p)};
                                            std::fwrite(rgb, 1, 3, f);
                                        }
                                        std::fclose(f);
                                    }
                                },
                                [](HWND d) { Key(d, SDLK_ESCAPE); }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(deviceSettings.width, 640u);
    EXPECT_EQ(deviceSettings.refreshRate, 70u);
    EXPECT_EQ(deviceSettings.format, D3DFMT_R5G6B5);
    EXPECT_EQ(deviceSettings.flags, kFullscreen | kTnL);
}

TEST_F(SetupDialog, WithoutA640By480By32ModeTheFirstModeIsSelected) {
    MakeDevice({Adapter("Only", kModesB, true)});
    Run({[](HWND d) {
        EXPECT_EQ(Selection(d, IDC_MODES), 0);
        EndDialog(d, 0);
    }});
    EXPECT_FALSE(stuck);
}

TEST_F(SetupDialog, AnAdapterWithoutHardwareTnLDisablesTheBoxAndClearsTheFlag) {
    MakeDevice({Adapter("Software", kModesA, false)});
    deviceSettings.flags = kTnL | 0x04;
    const INT_PTR result = Run({[](HWND d) {
                                    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_HARDWARE_TNL)));
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_HARDWARE_TNL), BST_UNCHECKED);
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_FULLSCREEN), BST_UNCHECKED);
                                    // A click on the disabled box does nothing.
                                    const POINT p = Centre(d, IDC_HARDWARE_TNL);
                                    Win32InjectClick(d, p.x, p.y);
                                },
                                [](HWND d) {
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_HARDWARE_TNL), BST_UNCHECKED);
                                    Key(d, SDLK_ESCAPE);
                                }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(deviceSettings.flags, 0x04);  // bit 1 cleared even on Cancel; bit 2 untouched
}

TEST_F(SetupDialog, OkCopiesTheChosenModeAndBoxes) {
    MakeDevice({Adapter("First", kModesA, true)});
    deviceSettings.flags = kTnL;
    const INT_PTR result = Run({[](HWND d) {
                                    // A click on Fullscreen, Hardware T&L unticked by message.
                                    const POINT p = Centre(d, IDC_FULLSCREEN);
                                    Win32InjectClick(d, p.x, p.y);
                                    CheckDlgButton(d, IDC_HARDWARE_TNL, BST_UNCHECKED);
                                    SendDlgItemMessageA(d, IDC_MODES, CB_SETCURSEL, 4, 0);
                                },
                                [](HWND d) {
                                    EXPECT_EQ(IsDlgButtonChecked(d, IDC_FULLSCREEN), BST_CHECKED);
                                    Key(d, SDLK_RETURN);  // the default button
                                }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceSettings.adapter, 0u);
    EXPECT_EQ(deviceSettings.width, 1024u);
    EXPECT_EQ(deviceSettings.height, 768u);
    EXPECT_EQ(deviceSettings.refreshRate, 60u);
    EXPECT_EQ(deviceSettings.format, D3DFMT_R5G6B5);
    EXPECT_EQ(deviceSettings.flags, kFullscreen);
}

TEST_F(SetupDialog, ChoosingAnotherAdapterRefillsTheModes) {
    MakeDevice({Adapter("First", kModesA, true), Adapter("Second", kModesB, false)});
    deviceSettings.flags = kTnL;
    const INT_PTR result = Run({[](HWND d) {
                                    // Tab to the adapter list, then the Down arrow.
                                    SetFocus(GetDlgItem(d, IDC_FULLSCREEN));
                                    Key(d, SDLK_TAB);
                                },
                                [](HWND d) {
                                    EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_ADAPTERS));
                                    Key(d, SDLK_DOWN);
                                },
                                [](HWND d) {
                                    EXPECT_EQ(Selection(d, IDC_ADAPTERS), 1);
                                    EXPECT_EQ(SendDlgItemMessageA(d, IDC_MODES, CB_GETCOUNT, 0, 0), 2);
                                    EXPECT_EQ(ComboText(d, IDC_MODES, 1), "1600 x 1200 x 32bits");
                                    EXPECT_EQ(Selection(d, IDC_MODES), 0);
                                    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_HARDWARE_TNL)));
                                    SendDlgItemMessageA(d, IDC_MODES, CB_SETCURSEL, 1, 0);
                                    const POINT ok = Centre(d, IDOK);
                                    Win32InjectClick(d, ok.x, ok.y);
                                }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceSettings.adapter, 1u);
    EXPECT_EQ(deviceSettings.width, 1600u);
    EXPECT_EQ(deviceSettings.height, 1200u);
    EXPECT_EQ(deviceSettings.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(deviceSettings.flags & kTnL, 0);
}

TEST_F(SetupDialog, AnAdapterIndexOutsideTheListIsNeverUsed) {
    MakeDevice({Adapter("Only", kModesA, true)});
    deviceSettings.adapter = 7;
    const INT_PTR result = Run({[](HWND d) {
        EXPECT_EQ(Selection(d, IDC_ADAPTERS), 0);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_MODES, CB_GETCOUNT, 0, 0), 5);
        // A typed adapter name leaves no selection in the adapter list.
        SendDlgItemMessageA(d, IDC_ADAPTERS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed"));
        SendMessageA(d, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
    }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceSettings.adapter, 0u);
    EXPECT_EQ(deviceSettings.width, 640u);
    EXPECT_EQ(deviceSettings.refreshRate, 75u);
}

TEST_F(SetupDialog, ATypedModeLeavesNoSelectionAndOkTakesTheFirstMode) {
    MakeDevice({Adapter("Only", kModesA, true)});
    const INT_PTR result = Run({[](HWND d) { SetFocus(GetDlgItem(d, IDC_MODES)); },
                                [](HWND d) {
                                    SDL_Event e = {};
                                    e.type = SDL_TEXTINPUT;
                                    e.text.windowID = SDL_GetWindowID(Win32GetSDLWindow(d));
                                    std::snprintf(e.text.text, sizeof e.text.text, "%s", "1x1");
                                    SDL_PushEvent(&e);
                                },
                                [](HWND d) {
                                    EXPECT_EQ(Selection(d, IDC_MODES), CB_ERR);
                                    char text[32];
                                    GetDlgItemTextA(d, IDC_MODES, text, sizeof text);
                                    EXPECT_STREQ(text, "640 x 480 x 32bits1x1");
                                    Key(d, SDLK_RETURN);
                                }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceSettings.width, 800u);
    EXPECT_EQ(deviceSettings.height, 600u);
}

TEST_F(SetupDialog, AMouseUserPicksAModeFromTheDroppedList) {
    MakeDevice({Adapter("Only", kModesA, true)});
    const INT_PTR result = Run({[](HWND d) {
                                    const POINT p = Centre(d, IDC_MODES);
                                    Win32InjectClick(d, p.x, p.y);
                                },
                                [](HWND d) {
                                    EXPECT_TRUE(SendDlgItemMessageA(d, IDC_MODES, CB_GETDROPPEDSTATE, 0, 0));
                                    // The list opens below the field, its rows one text line and 2 pixels high.
                                    const POINT p = Centre(d, IDC_MODES);
                                    RECT field;
                                    GetClientRect(GetDlgItem(d, IDC_MODES), &field);
                                    const int rowHeight = field.bottom - 6;
                                    // The selection (entry 3) is kept in view; click the row above it.
                                    Win32InjectClick(d, p.x, p.y + field.bottom / 2 + 1 + rowHeight / 2);
                                },
                                [](HWND d) {
                                    EXPECT_FALSE(SendDlgItemMessageA(d, IDC_MODES, CB_GETDROPPEDSTATE, 0, 0));
                                    const int chosen = Selection(d, IDC_MODES);
                                    EXPECT_GE(chosen, 0);
                                    EXPECT_NE(chosen, 3);
                                    EndDialog(d, 1);
                                }});
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, 1);
}

TEST_F(SetupDialog, ALongAdapterNameIsCutAtTheArrowButton) {
    // The name a software renderer gives its display.
    MakeDevice({Adapter("screen (llvmpipe (LLVM 15.0.6, 256 bits))", kModesA, true)});
    std::vector<uint32_t> longName, shortName;
    int width = 0, height = 0;
    RECT field = {};
    Run({[&](HWND d) {
             ASSERT_TRUE(Win32ReadWindowPixels(d, longName, width, height));
             SendDlgItemMessageA(d, IDC_ADAPTERS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("s"));
         },
         [&](HWND d) {
             ASSERT_TRUE(Win32ReadWindowPixels(d, shortName, width, height));
             field = InClient(d, IDC_ADAPTERS);
             EndDialog(d, 0);
         }});
    EXPECT_FALSE(stuck);
    ASSERT_EQ(longName.size(), shortName.size());
    ASSERT_LT(field.right, width);
    // The two names differ in the field; from the arrow button's left edge
    // to the dialog's, the pixels are the same.
    const int button = field.right - 2 - 16;
    int inField = 0, pastField = 0;
    for (int y = field.top; y < field.bottom; ++y)
        for (int x = field.left; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            (x < button ? inField : pastField) += longName[i] != shortName[i];
        }
    EXPECT_GT(inField, 50);
    EXPECT_EQ(pastField, 0);
}

TEST_F(SetupDialog, UnattendedAnswersAndAHeadlessRun) {
    MakeDevice({Adapter("Only", kModesA, true)});
    Win32SetDialogAnswer(IDOK);
    deviceSettings.flags = kFullscreen;
    EXPECT_EQ(Run({}), 1);
    EXPECT_EQ(deviceSettings.width, 640u);
    EXPECT_EQ(deviceSettings.height, 480u);
    EXPECT_EQ(deviceSettings.refreshRate, 75u);
    EXPECT_EQ(deviceSettings.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(deviceSettings.flags, kFullscreen);
    Win32SetDialogAnswer(IDCANCEL);
    EXPECT_EQ(Run({}), 0);
    // Nobody to answer and nobody to see it: the dialog cannot be shown.
    Win32SetDialogAnswer(0);
    Win32SetShowHeadless(false);
    deviceSettings.width = 1;
    EXPECT_EQ(Run({}), -1);
    EXPECT_EQ(deviceSettings.width, 1u);
}

}  // namespace
