// The whole show on the trace back end and the virtual clock, losing the
// device in the middle of every part as a full-screen program does when it
// loses the focus: the show resets it, restores its default-pool buffers and
// its device state, and goes on to the end with the music.
#include <gtest/gtest.h>

#include <SDL.h>
#include <d3d8ext.h>
#include <virtualclock.h>
#include <win32host.h>
#include <windows.h>

#include <cmath>
#include <string>

#include "assets.h"
#include "showapp.h"
#include "showmain.h"
#include "showstate.h"
#include "usefmod.h"

namespace {

constexpr int kFullscreenBox = 1002;
constexpr double kFrameSeconds = 0.25;
const double kPartMiddles[6] = {20, 50, 72.9, 100, 122.8, 147};

struct Loss {
    double music = -1;                  // when the device was lost
    double backMusic = -1;              // the first presented frame after the reset
    std::string log;                    // the calls in between
    DWORD lighting = 0, magFilter = 0;  // as the part had them before
    DWORD lightingAfter = 0, magFilterAfter = 0;
};

struct ShowRun {
    Loss losses[6];
    int lostPart = 0;  // part whose loss waits for its reset; 0: none
    double lastMusic = 0;
    int lastPart = 0;
};

void AnswerDialog() {
    HWND dialog = GetActiveWindow();
    if (!dialog) return;
    CheckDlgButton(dialog, kFullscreenBox, BST_UNCHECKED);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void OnPresent(void* user, IDirect3DDevice8* device) {
    ShowRun& run = *static_cast<ShowRun*>(user);
    VirtualClockAdvance(static_cast<int64_t>(kFrameSeconds * 1e9));
    if (showContent.eventTrack == nullptr) return;
    const double music = MusicTime();
    const int part = showState.part;
    run.lastMusic = music;
    run.lastPart = part;
    if (run.lostPart) {
        Loss& loss = run.losses[run.lostPart - 1];
        loss.backMusic = music;
        loss.log = D3D8Trace_Log();
        device->GetRenderState(D3DRS_LIGHTING, &loss.lightingAfter);
        device->GetTextureStageState(3, D3DTSS_MAGFILTER, &loss.magFilterAfter);
        run.lostPart = 0;
    }
    D3D8Trace_Clear();  // keeps the log to one frame's calls
    if (part >= 1 && part <= 6 && music >= kPartMiddles[part - 1] && run.losses[part - 1].music < 0) {
        Loss& loss = run.losses[part - 1];
        loss.music = music;
        device->GetRenderState(D3DRS_LIGHTING, &loss.lighting);
        device->GetTextureStageState(3, D3DTSS_MAGFILTER, &loss.magFilter);
        run.lostPart = part;
        D3D8_LoseDevice(device);
    }
}

TEST(DeviceLost, InTheMiddleOfEveryPartTheShowResetsAndGoesOn) {
    D3D8Trace_Enable();
    VirtualClockEnable(true);
    Win32SetIdleHook(AnswerDialog);
    ShowRun run;
    D3D8_SetDefaultPresentHook(OnPresent, &run);
    char name[] = "halcyon2";
    char* argv[] = {name};
    EXPECT_EQ(show::main(1, argv), 0);
    D3D8_SetDefaultPresentHook(nullptr, nullptr);
    Win32SetIdleHook(nullptr);
    VirtualClockEnable(false);
    D3D8Trace_Disable();

    EXPECT_EQ(run.lastPart, 6);
    EXPECT_GE(run.lastMusic, 163.0 - kFrameSeconds - 1e-3);
    for (int part = 1; part <= 6; ++part) {
        const Loss& loss = run.losses[part - 1];
        SCOPED_TRACE("part " + std::to_string(part));
        ASSERT_GE(loss.music, 0);
        // The music went on while the device was lost, and the show came
        // back within two frames of the reset.
        EXPECT_GT(loss.backMusic, loss.music);
        EXPECT_LE(loss.backMusic, loss.music + 3 * kFrameSeconds);
        EXPECT_NE(loss.log.find("Present(null, null, null, null) = D3DERR_DEVICELOST"), std::string::npos);
        EXPECT_NE(loss.log.find("TestCooperativeLevel() = D3DERR_DEVICELOST"), std::string::npos);
        EXPECT_NE(loss.log.find("TestCooperativeLevel() = D3DERR_DEVICENOTRESET"), std::string::npos);
        EXPECT_NE(loss.log.find("Reset({"), std::string::npos);
        EXPECT_EQ(loss.log.find("Reset({", loss.log.find("Reset({") + 1), std::string::npos) << "one reset";
        // The background layers' buffer is the show's one default-pool
        // resource: freed before the reset and made again after it.
        const size_t reset = loss.log.find("Reset({");
        const size_t made = loss.log.find("CreateVertexBuffer(96, 0x8, 0x142, D3DPOOL_DEFAULT)");
        EXPECT_NE(made, std::string::npos);
        EXPECT_GT(made, reset);
        EXPECT_EQ(loss.lightingAfter, loss.lighting);
        EXPECT_EQ(loss.magFilterAfter, loss.magFilter);
        EXPECT_EQ(loss.magFilter, static_cast<DWORD>(D3DTEXF_LINEAR));
    }
}

}  // namespace
