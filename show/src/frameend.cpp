#include "assets.h"
#include "parts.h"
#include "screen2d.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

namespace {
constexpr int KEY_ESCAPE = 1;
constexpr int KEY_F5 = 52;
}  // namespace

bool FrameEnd(ShowApp& app, int part, float time, unsigned clearColour) {
    if (showState.grabRequest || app.IsKeyDown(KEY_F5)) {
        GrabFrame(app.device);
        showState.grabRequest = false;
    }
    IDirect3DDevice8* d = app.device.GetDevice();
    SetShow2DState(d);
    d->EndScene();
    app.device.Present();
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);

    showContent.eventTrack->Update(MusicTime());

    AdvanceLevels(part, time);

    if (showState.partDone) {
        showState.partDone = false;
        return false;
    }
    if (app.IsKeyDown(KEY_ESCAPE)) app.Quit();
    return true;
}
