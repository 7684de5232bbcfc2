// The show's schedule and part start settings as the show builds them from
// the real content, on the trace back end, against the table they must match.
#include <gtest/gtest.h>

#include <d3d8ext.h>

#include <algorithm>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assets.h"
#include "parts.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

namespace {

struct Row {
    float time;
    int type;
    int value;
    int count;
    float interval;
};

// Music seconds, type, value, and runs of `count` events `interval` apart.
const Row kSchedule[] = {
    {0.387f, 1, -48, 14, 1.26f}, {0.862f, 1, -32, 14, 1.26f},  {2.5f, 666, 0, 100, 5.0f}, {3.815f, 1, -20, 3, 5.0f},
    {4.0f, 1, 30, 3, 5.0f},      {9.0f, 5, 0, 1, 0},           {16.2f, 2, 0, 1, 0},       {22.0f, 4, 22000, 1, 0},
    {39.0f, 3, 0, 1, 0},         {40.0f, 6, 0, 1, 0},          {60.0f, 6, 0, 1, 0},       {82.84f, 1, 70, 1, 0},
    {83.0f, 1, 65, 1, 0},        {83.086f, 1, -60, 5, 0.181f}, {85.391f, 1, 320, 1, 0},   {85.6f, 1, 60, 1, 0},
    {85.665f, 1, 30, 1, 0},      {85.779f, 6, 0, 1, 0},        {114.299f, 6, 0, 1, 0},    {128.488f, 1, -40, 4, 0.44f},
    {131.299f, 6, 0, 1, 0},      {152.791f, 3, 0, 1, 0},       {163.0f, 6, 0, 1, 0},
};

// Every event of the table, each run's times accumulated in float, in the
// order they fire (the schedule has no two events at one time).
std::vector<ShowEvent> ExpectedEvents() {
    std::vector<ShowEvent> events;
    for (const Row& row : kSchedule) {
        float time = row.time;
        for (int i = 0; i < row.count; ++i, time += row.interval) events.push_back({time, row.type, row.value});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ShowEvent& a, const ShowEvent& b) { return a.time < b.time; });
    return events;
}

class ShowSchedule : public ::testing::Test {
protected:
    // The show's own loading, from the content beside the executables (the
    // tests' working folder).
    static void SetUpTestSuite() {
        D3D8Trace_Enable();
        app = std::make_unique<ShowApp>();
        LoadAssets(*app);
    }
    static void TearDownTestSuite() {
        MusicClose();
        FreeAssets();
        app.reset();
        D3D8Trace_Disable();
    }
    static std::unique_ptr<ShowApp> app;
};
std::unique_ptr<ShowApp> ShowSchedule::app;

}  // namespace

TEST_F(ShowSchedule, LoadingBuildsEveryEventOfTheTable) {
    const std::vector<ShowEvent> expected = ExpectedEvents();
    const std::list<ShowEvent>& built = showContent.eventTrack->Events();
    ASSERT_EQ(built.size(), expected.size());
    size_t i = 0;
    for (const ShowEvent& e : built) {
        // Exact: a run whose times were multiplied instead of accumulated
        // drifts by a float step or two.
        EXPECT_EQ(e.time, expected[i].time) << "event " << i;
        EXPECT_EQ(e.type, expected[i].type) << "event " << i << " at " << e.time;
        EXPECT_EQ(e.value, expected[i].value) << "event " << i << " at " << e.time;
        ++i;
    }
    EXPECT_EQ(showState.flash, 255.0f);
    EXPECT_EQ(showState.sceneFade, 0.0f);
    EXPECT_EQ(showState.endFade, 0.0f);
    EXPECT_EQ(showState.logoLevel, 0.0f);
    EXPECT_EQ(showState.creditsStart, 0.0f);
}

TEST_F(ShowSchedule, EachPartStartsWithItsSettings) {
    struct Start {
        std::optional<bool> lighting;
        std::optional<float> lastStep, flash, sceneFade, endFade;
        int fogScene;  // -1: none
    };
    const Start starts[PART_COUNT] = {
        {{}, {}, {}, {}, {}, -1},   {{}, 0.0f, {}, {}, {}, -1},    {{}, 0.0f, 0.0f, {}, {}, -1},
        {true, {}, {}, {}, {}, -1}, {{}, {}, 255.0f, 0.0f, {}, 3}, {false, {}, {}, 255.0f, 0.0f, 4},
    };
    IDirect3DDevice8* d = app->device.GetDevice();
    constexpr float kUntouched = 7.5f;
    for (int part = 0; part < PART_COUNT; ++part) {
        const Start& want = starts[part];
        showState.lastStep = showState.flash = showState.sceneFade = showState.endFade = kUntouched;
        D3D8Trace_Clear();
        ApplyPartStart(*app, SHOW_PARTS[part].start);
        const std::vector<std::string> applied = D3D8Trace_Lines();
        EXPECT_EQ(showState.lastStep, want.lastStep.value_or(kUntouched)) << "part " << part + 1;
        EXPECT_EQ(showState.flash, want.flash.value_or(kUntouched)) << "part " << part + 1;
        EXPECT_EQ(showState.sceneFade, want.sceneFade.value_or(kUntouched)) << "part " << part + 1;
        EXPECT_EQ(showState.endFade, want.endFade.value_or(kUntouched)) << "part " << part + 1;

        // The device calls are the lighting switch, then the scene's fog.
        D3D8Trace_Clear();
        if (want.lighting) d->SetRenderState(D3DRS_LIGHTING, *want.lighting ? TRUE : FALSE);
        if (want.fogScene >= 0) {
            Scene& scene = showContent.scenes[want.fogScene];
            ASSERT_GT(scene.GetCameraCount(), 0);
            scene.ApplyFog(app->device, *scene.GetCamera(0));
        }
        EXPECT_EQ(applied, D3D8Trace_Lines()) << "part " << part + 1;
    }
    // Parts 5 and 6 fog through different scenes, so the comparison above
    // tells them apart.
    EXPECT_NE(showContent.scenes[3].fogColor, showContent.scenes[4].fogColor);
}
