#include "assets.h"

#include <cstdio>

#include "cvcore/filestream.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

ShowContent showContent;

namespace {

void AddPart1Events(EventTrack& track) {
    track.AddRepeated(0.387f, 1.26f, 14, 1, -48);
    track.AddRepeated(0.862f, 1.26f, 14, 1, -32);
    track.AddRepeated(3.815f, 5.0f, 3, 1, -20);
    track.AddRepeated(4.0f, 5.0f, 3, 1, 30);
    showState.logoLevel = 0;
    track.Add(9.0f, 5, 0);
    showState.sceneFade = 0;
    track.Add(16.2f, 2, 0);
    showState.creditsStart = 0;
    track.Add(22.0f, 4, 22000);
    showState.endFade = 0;
    track.Add(39.0f, 3, 0);
    track.Add(40.0f, 6, 0);
}

void AddPart3Events(EventTrack& track) {
    track.Add(82.84f, 1, 70);
    track.Add(83.0f, 1, 65);
    track.AddRepeated(83.086f, 0.181f, 5, 1, -60);
    track.Add(85.391f, 1, 320);
    track.Add(85.6f, 1, 60);
    track.Add(85.665f, 1, 30);
    track.Add(85.779f, 6, 0);
}

void AddPart5Events(EventTrack& track) {
    track.AddRepeated(128.488f, 0.44f, 4, 1, -40);
    track.Add(131.299f, 6, 0);
}

void AddFinalEvents(EventTrack& track) {
    track.Add(152.791f, 3, 0);
    track.Add(163.0f, 6, 0);
    track.AddRepeated(2.5f, 5.0f, 100, 666, 0);
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
    showState.flash = 255;
    AddPart1Events(track);

    LoadSmokeAndCredits(device);

    cvcore::SetBasePath("data.zip/lightfloor/");
    c.lightFloor = std::make_unique<LightFloor>(device, "ground.klx");
    track.Add(60.0f, 6, 0);

    cvcore::SetBasePath("data.zip/muikula/");
    c.backwob = std::make_unique<Wobbler>(device, "backwob.jpg");
    c.lintu = std::make_unique<Wobbler>(device, "lintu.tga");
    c.scenes[1].Load(device, "muikula.klx");

    LoadGreetings(device);
    AddPart3Events(track);

    cvcore::SetBasePath("data.zip/nakyleipa/");
    c.scenes[2].Load(device, "nakyleipa.klx");
    c.meshBurst = std::make_unique<MeshBurst>(device, c.scenes[2]);
    track.Add(114.299f, 6, 0);

    cvcore::SetBasePath("data.zip/kukka/");
    c.scenes[3].Load(device, "kukka.klx");
    c.violetti = std::make_unique<Wobbler>(device, "violetti.jpg");
    AddPart5Events(track);

    cvcore::SetBasePath("data.zip/landscape/");
    c.scenes[4].Load(device, "maasto.klx");
    AddFinalEvents(track);

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
