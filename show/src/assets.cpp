#include "assets.h"

#include <cstdio>
#include <span>

#include "cvcore/filestream.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

ShowContent showContent;

namespace {

// The schedule, in the groups LoadAssets adds as it loads each part's
// content. A row with a count above 1 is a run of events `interval` seconds
// apart.
struct ScheduledEvent {
    float time;
    int type;
    int value;
    int count = 1;
    float interval = 0;
};

constexpr ScheduledEvent kPart1Events[] = {
    {0.387f, EVENT_FLASH, -48, 14, 1.26f},
    {0.862f, EVENT_FLASH, -32, 14, 1.26f},
    {3.815f, EVENT_FLASH, -20, 3, 5.0f},
    {4.0f, EVENT_FLASH, 30, 3, 5.0f},
    {9.0f, EVENT_LOGO, 0},
    {16.2f, EVENT_SCENE_FADE, 0},
    {22.0f, EVENT_CREDITS, 22000},
    {39.0f, EVENT_END_FADE, 0},
    {40.0f, EVENT_PART_END, 0},
};
constexpr ScheduledEvent kPart2Events[] = {{60.0f, EVENT_PART_END, 0}};
constexpr ScheduledEvent kPart3Events[] = {
    {82.84f, EVENT_FLASH, 70},    {83.0f, EVENT_FLASH, 65}, {83.086f, EVENT_FLASH, -60, 5, 0.181f},
    {85.391f, EVENT_FLASH, 320},  {85.6f, EVENT_FLASH, 60}, {85.665f, EVENT_FLASH, 30},
    {85.779f, EVENT_PART_END, 0},
};
constexpr ScheduledEvent kPart4Events[] = {{114.299f, EVENT_PART_END, 0}};
constexpr ScheduledEvent kPart5Events[] = {
    {128.488f, EVENT_FLASH, -40, 4, 0.44f},
    {131.299f, EVENT_PART_END, 0},
};
constexpr ScheduledEvent kFinalEvents[] = {
    {152.791f, EVENT_END_FADE, 0},
    {163.0f, EVENT_PART_END, 0},
    {2.5f, EVENT_GRAB, 0, 100, 5.0f},
};

void AddEvents(EventTrack& track, std::span<const ScheduledEvent> events) {
    for (const ScheduledEvent& e : events) {
        if (e.count == 1)
            track.Add(e.time, e.type, e.value);
        else
            track.AddRepeated(e.time, e.interval, e.count, e.type, e.value);
    }
}

void LoadSmokeAndCredits(Device3D& device) {
    ShowContent& c = showContent;
    cvcore::SetBasePath("data.zip/smokeandcredits/scene/");
    c.scenes[0].Load(device, "vempula.klx");
    c.smoke = std::make_unique<ParticleSystem>(device, "2dlight.jpg");
    c.smoke->SetRate(0.15f);
    c.smoke->SetLifetime(2.5f);
    c.smoke->SetBox({-100, -20, -200}, {100, 40, 400});
    c.smoke->SetVelocity({0, 15, 0}, {0, 5, 0});
    c.smoke->SetAlpha(-0.25f, 2.0f);
    c.smoke->SetSize(0, 3.5f);

    cvcore::SetBasePath("data.zip/smokeandcredits/");
    c.logo = std::make_unique<Wobbler>(device, "quillmark_logo.tga");
    c.title = device.textureFactory.Load("halcyon2.tga", 0);
    c.by = device.textureFactory.Load("byquillmark.tga", 0);

    cvcore::SetBasePath("data.zip/smokeandcredits/credits/");
    c.background = std::make_unique<BackgroundLayers>(device);
    c.background->AddLayer("backlayer1.jpg");
    c.background->AddLayer("backlayer2.jpg");
    c.background->AddLayer("backlayer3.jpg");
    c.credits = std::make_unique<Credits>(device);
    c.credits->AddPage("credtext1.tga", "credpic1.tga");
    c.credits->AddPage("credtext2.tga", "credpic2.tga");
    c.credits->AddPage("credtext3.tga", "credpic3.tga");
}

void LoadGreetings(Device3D& device) {
    cvcore::SetBasePath("data.zip/greets/");
    for (int i = 0; i < ShowContent::GREETINGS; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "greet%d.tga", i + 1);
        showContent.greetings[i] = device.textureFactory.Load(name, 0);
    }
}

}  // namespace

void LoadAssets(ShowApp& app) {
    Device3D& device = app.device;
    ShowContent& c = showContent;
    MusicInit();
    MusicOpen("murikka.mp3");
    c.eventTrack = std::make_unique<EventTrack>(OnShowEvent);
    EventTrack& track = *c.eventTrack;
    // Part 1 starts at full flash; its events start the other levels moving.
    showState.flash = 255;
    showState.logoLevel = showState.sceneFade = showState.creditsStart = showState.endFade = 0;
    AddEvents(track, kPart1Events);

    LoadSmokeAndCredits(device);

    cvcore::SetBasePath("data.zip/lightfloor/");
    c.lightFloor = std::make_unique<LightFloor>(device, "ground.klx");
    AddEvents(track, kPart2Events);

    cvcore::SetBasePath("data.zip/muikula/");
    c.backwob = std::make_unique<Wobbler>(device, "backwob.jpg");
    c.lintu = std::make_unique<Wobbler>(device, "lintu.tga");
    c.scenes[1].Load(device, "muikula.klx");

    LoadGreetings(device);
    AddEvents(track, kPart3Events);

    cvcore::SetBasePath("data.zip/nakyleipa/");
    c.scenes[2].Load(device, "nakyleipa.klx");
    c.meshBurst = std::make_unique<MeshBurst>(device, c.scenes[2]);
    AddEvents(track, kPart4Events);

    cvcore::SetBasePath("data.zip/kukka/");
    c.scenes[3].Load(device, "kukka.klx");
    c.violetti = std::make_unique<Wobbler>(device, "violetti.jpg");
    AddEvents(track, kPart5Events);

    cvcore::SetBasePath("data.zip/landscape/");
    c.scenes[4].Load(device, "maasto.klx");
    AddEvents(track, kFinalEvents);

    cvcore::SetBasePath("grabs/");
}

// The logo wobbler and the background layers go too, so the process ends
// without leaks; the scenes stay until process exit.
void FreeAssets() {
    ShowContent& c = showContent;
    c.backwob.reset();
    c.lintu.reset();
    c.violetti.reset();
    c.meshBurst.reset();
    c.lightFloor.reset();
    c.credits.reset();
    c.smoke.reset();
    c.logo.reset();
    c.background.reset();
}
