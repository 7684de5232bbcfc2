#include "showapp.h"

#include <cstdlib>
#include <windows.h>

#include "cvcore/filestream.h"
#include "screen2d.h"
#include "setupdialog.h"

DeviceSettings deviceSettings = {0, nullptr, 640, 480, 70, D3DFMT_R5G6B5, 0};

const char FONT_GLYPH_ORDER[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!'#@$"
    "\xF4"
    "%&/()=+'-"
    "\xC5\xC4\xD6\xE5\xE4\xF6"
    "^*,.;:<>|"
    "\xCF";
static_assert(sizeof(FONT_GLYPH_ORDER) == 94);

namespace {
cvcore::String loadingText;
}

ShowApp::ShowApp() {
    cvcore::SetBasePath("data.zip/");
    cvcore::SetArchivePassword("hopla");
    partCallback = nullptr;
    device.FilterModes(0, 0);
    if (device.SupportsHardwareTnL(static_cast<int>(deviceSettings.adapter)))
        deviceSettings.flags |= DeviceSettings::HARDWARE_TNL;
    deviceSettings.flags |= DeviceSettings::FULLSCREEN;
    RunSetupDialog();
    OpenWindowAndDevice();
    ShowLoadingScreen();
}

ShowApp::~ShowApp() { Close(); }

// Only Cancel stops the show; a dialog that could not be shown (-1) counts
// as OK with the settings as they stand.
void ShowApp::RunSetupDialog() {
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(SETUP_DIALOG), GetActiveWindow(),
                                           SetupDialogProc, reinterpret_cast<LPARAM>(&device));
    if (result == 0) std::exit(0);
}

void ShowApp::OpenWindowAndDevice() {
    const bool fullscreen = (deviceSettings.flags & DeviceSettings::FULLSCREEN) != 0;
    Open(static_cast<int>(deviceSettings.width), static_cast<int>(deviceSettings.height), "Halcyon 2 by quillmark",
         fullscreen ? 320u : 0xFFFFFFFFu);
    if (fullscreen) HideCursor();
    deviceSettings.window = GetWindowHandle();
    device.CreateDevice(deviceSettings);

    IDirect3DDevice8* d = device.GetDevice();
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (DWORD stage = 0; stage < 8; ++stage) {
        d->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    }
}

void ShowApp::ShowLoadingScreen() {
    font.Load(&device, "font.tga", FONT_GLYPH_ORDER, 8, 0);
    IDirect3DDevice8* d = device.GetDevice();
    SetShow2DState(d);
    loadingText.Append("Initializing demo, please wait!\n");
    for (int i = 0; i < 10; ++i) {
        d->BeginScene();
        font.Print(10, 10, Vector2{1, 1}, "%s", loadingText.Text());
        d->EndScene();
        device.Present();
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    }
}

void ShowApp::RunPart(PartCallback callback) {
    partCallback = callback;
    timer.Reset();
    Run();
}

bool ShowApp::MainLoop() {
    OnPaint();
    if (!partCallback) return true;
    const float time = static_cast<float>(timer.Elapsed());
    return partCallback(*this, time);
}
