#include "frameend.h"

#include "assets.h"
#include "screen2d.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

bool FrameEnd(ShowApp& app, const PartLevels& levels, float time, unsigned clearColour) {
    if (showState.grabRequest || app.IsKeyDown(cvcore::KEY_F5)) {
        GrabFrame(app.device);
        showState.grabRequest = false;
    }
    IDirect3DDevice8* d = app.device.GetDevice();
    SetShow2DState(d);
    d->EndScene();
    app.device.Present();
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);

    showContent.eventTrack->Update(MusicTime());

    AdvanceLevels(levels, time);

    if (showState.partDone) {
        showState.partDone = false;
        return false;
    }
    if (app.IsKeyDown(cvcore::KEY_ESCAPE)) app.Quit();
    return true;
}
