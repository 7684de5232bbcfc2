#pragma once
#include <memory>
#include <d3d8.h>

#include "background.h"
#include "credits.h"
#include "engine/scene.h"
#include "eventtrack.h"
#include "lightfloor.h"
#include "meshburst.h"
#include "particlesystem.h"
#include "wobler.h"

class ShowApp;

// Everything the six parts draw, loaded in one pass before the music starts.
struct ShowContent {
    static constexpr int GREETINGS = 7;

    // vempula, muikula, nakyleipa, kukka, maasto
    Scene scenes[5];
    std::unique_ptr<EventTrack> eventTrack;
    std::unique_ptr<ParticleSystem> smoke;
    std::unique_ptr<Wobbler> logo;
    std::unique_ptr<Wobbler> backwob;
    std::unique_ptr<Wobbler> lintu;
    std::unique_ptr<Wobbler> violetti;
    std::unique_ptr<BackgroundLayers> background;
    std::unique_ptr<Credits> credits;
    std::unique_ptr<LightFloor> lightFloor;
    std::unique_ptr<MeshBurst> meshBurst;
    IDirect3DTexture8* title = nullptr;  // textures belong to the factory
    IDirect3DTexture8* by = nullptr;
    IDirect3DTexture8* greetings[GREETINGS] = {};
};

extern ShowContent showContent;

void LoadAssets(ShowApp& app);
void FreeAssets();
