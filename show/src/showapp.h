#pragma once
#include "cvcore/string.h"
#include "cvcore/timer.h"
#include "cvcore/windowwrapper.h"
#include "engine/bitmapfont.h"
#include "engine/device3d.h"
#include "engine/devicesettings.h"

class ShowApp;

// One frame of a show part: the part time in seconds since the part began;
// false ends the part.
using PartCallback = bool (*)(ShowApp& app, float time);

// The viewer's device choices: defaults before the setup dialog, its results
// after (adapter 0, 640 x 480 at 70 Hz, R5G6B5, no flags).
extern DeviceSettings deviceSettings;

// The show's application: window, part timer, rendering device and font.
class ShowApp : public cvcore::WindowWrapper {
public:
    static constexpr int SETUP_DIALOG = 101;

    // Everything up to the loading screen: dialog, window, device, font.
    // Cancel in the dialog ends the process with exit code 0.
    ShowApp();
    ~ShowApp() override;

    void RunPart(PartCallback callback);
    bool MainLoop() override;

    Device3D& GetDevice3D() { return device; }
    BitmapFont& GetFont() { return font; }

    cvcore::Timer timer;
    Device3D device;
    BitmapFont font;
    PartCallback partCallback = nullptr;

private:
    void RunSetupDialog();
    void OpenWindowAndDevice();
    void ShowLoadingScreen();
};

// The 93 glyphs of the font picture, in order.
extern const char FONT_GLYPH_ORDER[];
