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

bool FrameEnd(ShowApp& app, float time, PartSteps step, PartSteps clamp, unsigned clearColour) {
    if (showState.grabRequest || app.IsKeyDown(KEY_F5)) {
        GrabFrame(app.device);
        showState.grabRequest = false;
    }
    IDirect3DDevice8* d = app.device.GetDevice();
    SetShow2DState(d);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);

    showContent.eventTrack->Update(MusicTime());

    // Levels move in fixed 1 ms steps, so fades run at the same speed
    // whatever the frame rate.
    while (showState.lastStep < time) {
        if (step) step();
        showState.lastStep += 0.001f;
    }
    showState.lastStep = time;
    if (clamp) clamp();

    if (showState.partDone) {
        showState.partDone = false;
        return false;
    }
    if (app.IsKeyDown(KEY_ESCAPE)) app.Quit();
    return true;
}
