#include "parts.h"

#include <cmath>
#include <vector>

#include "assets.h"
#include "engine/material.h"
#include "frameend.h"
#include "screen2d.h"
#include "showapp.h"
#include "showstate.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGreyBlue = 0x7F7F8F;
constexpr float kPi = 3.1415927f;

ShowState& S = showState;
ShowContent& C = showContent;

IDirect3DDevice8* Dev(ShowApp& app) { return app.device.GetDevice(); }

void Lighting(ShowApp& app, bool on) { Dev(app)->SetRenderState(D3DRS_LIGHTING, on ? TRUE : FALSE); }

void AddressModes(ShowApp& app, DWORD mode) {
    Dev(app)->SetTextureStageState(0, D3DTSS_ADDRESSU, mode);
    Dev(app)->SetTextureStageState(0, D3DTSS_ADDRESSV, mode);
}

// Poses a scene and draws it through one of its cameras; a scene without
// that camera draws nothing.
void RenderScene(ShowApp& app, Scene& scene, float time, int camera) {
    scene.Update(time);
    if (camera < scene.GetCameraCount()) scene.Render(app.device, *scene.GetCamera(camera));
}

void ApplySceneFog(ShowApp& app, Scene& scene, int camera) {
    if (camera < scene.GetCameraCount()) scene.ApplyFog(app.device, *scene.GetCamera(camera));
}

// ---- part 1: the machine in the smoke, the logo, the credits ----

void Part1Step() {
    S.flash += 0.048f;
    if (S.sceneFade > 0) S.sceneFade += 0.08f;
    if (S.endFade > 0) S.endFade += 0.4f;
    if (S.logoLevel > 0) S.logoLevel += 0.00015f;
}

void Part1Clamp() {
    if (S.flash > 255) S.flash = 255;
    if (S.sceneFade > 255) S.sceneFade = 255;
    if (S.endFade > 255) S.endFade = 255;
}

// ---- part 3: wobblers, the fish, greetings, flashes ----

void Part3Step() {
    if (S.flash > 0) S.flash -= 0.1f;
    if (S.flash < 0) S.flash -= 0.04f;
}

void Part3Clamp() {
    if (S.flash < -255) {
        S.flash = -255;
        S.wobblersOn = false;
    }
}

void DrawGreeting(ShowApp& app, float t) {
    if (t <= 2.5f) return;
    float c = t;
    int k = -3;
    do {
        c -= 2.5f;
        k += 1;
    } while (c > 2.5f);
    if (k < 0 || k >= ShowContent::GREETINGS) return;
    Begin2D(app.device);
    const D3DMATRIX shift = [] {
        D3DMATRIX m = IdentityMatrix();
        m._41 = -55.0f;
        m._42 = 70.0f;
        return m;
    }();
    Dev(app)->SetTransform(D3DTS_WORLD, &shift);
    const float z = 0.8f - c * 0.16666667f;
    const float alpha = c < 1.0f ? c * 255.0f : (c > 1.5f ? (2.5f - c) * 255.0f : 255.0f);
    Sprite(app.device, C.greetings[k], z, z * 0.25f, kWhite, alpha);
}

// ---- part 4: the crispbread, its fog reveal, rays and camera cross-fade ----

void FogReveal(ShowApp& app, Scene& scene, float t) {
    if (scene.GetCameraCount() < 1) return;
    SceneCamera& camera = *scene.GetCamera(0);
    const float l = t * 0.4f;
    const int a = static_cast<int>(l * 255.0f);
    const uint8_t fogEnabled = scene.fogEnabled;
    const uint32_t fogColor = scene.fogColor;
    const float nearFactor = scene.fogNearFactor, farDivisor = scene.fogFarDivisor;
    CameraParameters saved;
    camera.GetParameters(saved);

    CameraParameters reveal = saved;
    reveal.environmentNear = saved.environmentNear * l;
    reveal.environmentFar = saved.environmentNear + (saved.environmentFar - saved.environmentNear) * l;
    camera.SetParameters(reveal);
    uint32_t colour = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int byte = static_cast<int>((fogColor >> shift) & 0xFF);
        const int revealed = 255 + static_cast<int>(std::floor(static_cast<float>((byte - 255) * a) / 256.0f));
        colour |= static_cast<uint32_t>(revealed & 0xFF) << shift;
    }
    scene.fogColor = colour;
    scene.ApplyFog(app.device, camera);

    scene.fogEnabled = fogEnabled;
    scene.fogColor = fogColor;
    scene.fogNearFactor = nearFactor;
    scene.fogFarDivisor = farDivisor;
    camera.SetParameters(saved);
}

void RenderWithRays(ShowApp& app, Scene& scene, float time, int camera, float rayAlpha) {
    RenderScene(app, scene, time, camera);
    Lighting(app, false);
    C.meshBurst->Draw(rayAlpha);
    Lighting(app, true);
}

// The blend a material had before the cross-fade turned it translucent.
struct SavedBlend {
    Material* material;
    uint32_t alphaBlendEnable, srcBlend, destBlend, textureFactor;
    uint32_t alphaOp[Material::STAGES], alphaArg1[Material::STAGES];
};

// Every material of the scene draws with a constant alpha from the texture
// factor, blended source alpha over inverse source alpha.
std::vector<SavedBlend> FadeMaterials(Scene& scene, uint32_t factor) {
    std::vector<SavedBlend> saved;
    for (int i = 0; i < scene.GetMaterialCount(); ++i) {
        Material* m = scene.GetMaterialAt(i);
        SavedBlend s{m, m->alphaBlendEnable, m->srcBlend, m->destBlend, m->textureFactor, {}, {}};
        for (int k = 0; k < Material::STAGES; ++k) {
            s.alphaOp[k] = m->stages[k].alphaOp;
            s.alphaArg1[k] = m->stages[k].alphaArg1;
        }
        saved.push_back(s);
        m->alphaBlendEnable = TRUE;
        m->srcBlend = D3DBLEND_SRCALPHA;
        m->destBlend = D3DBLEND_INVSRCALPHA;
        m->textureFactor = factor;
        m->stages[0].alphaOp = D3DTOP_SELECTARG1;
        m->stages[0].alphaArg1 = D3DTA_TFACTOR;
        for (int k = 1; k < Material::STAGES && m->stages[k].colorOp != D3DTOP_DISABLE; ++k) {
            m->stages[k].alphaOp = D3DTOP_SELECTARG1;
            m->stages[k].alphaArg1 = D3DTA_CURRENT;
        }
    }
    return saved;
}

void RestoreMaterials(const std::vector<SavedBlend>& saved) {
    for (const SavedBlend& s : saved) {
        Material* m = s.material;
        m->alphaBlendEnable = s.alphaBlendEnable;
        m->srcBlend = s.srcBlend;
        m->destBlend = s.destBlend;
        m->textureFactor = s.textureFactor;
        for (int k = 0; k < Material::STAGES; ++k) {
            m->stages[k].alphaOp = s.alphaOp[k];
            m->stages[k].alphaArg1 = s.alphaArg1[k];
        }
    }
}

void CrossFade(ShowApp& app, Scene& scene, float t) {
    const float x = (t - 10.9f) * 0.2f;
    const float b = x < 0.5f ? 0.25f - 0.25f * std::cos(2 * kPi * x) : 0.75f - 0.25f * std::cos(2 * kPi * (x - 0.5f));
    const float A = b * 255.0f;
    const uint32_t B = static_cast<uint32_t>(static_cast<int>(A)) & 0xFFu;
    const std::vector<SavedBlend> saved = FadeMaterials(scene, B * 0x01010101u);
    Dev(app)->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    RenderWithRays(app, scene, t - 10.9f, 1, A);
    RestoreMaterials(saved);
}

// ---- part 5 and 6 ----

void Part5Step() {
    if (S.flash < 255) S.flash -= 0.04f;
}

void Part5Clamp() {
    if (S.flash < 0) S.flash = 0;
}

void Part6Step() {
    if (S.sceneFade > 0) S.sceneFade -= 0.03f;
    if (S.endFade > 0 && S.endFade < 255) S.endFade += 0.025f;
}

void Part6Clamp() {
    if (S.sceneFade < 0) S.sceneFade = 0;
    if (S.endFade > 255) S.endFade = 255;
}

float TitleAlpha(float t) { return t < 20 ? 255.0f : (27 - t) * 36.42857f; }

bool Part1(ShowApp& app, float t) {
    Dev(app)->BeginScene();
    if (S.sceneFade < 255) {
        RenderScene(app, C.scenes[0], t, 0);
        C.smoke->Run(t, t - S.lastStep);
        Begin2D(app.device);
        if (S.logoLevel > 0) {
            AddressModes(app, D3DTADDRESS_CLAMP);
            C.logo->DrawLogo(2 * t, (t - 9) * 0.33333334f);
            AddressModes(app, D3DTADDRESS_WRAP);
        }
        Overlay(app.device, kBlack, S.flash + S.sceneFade);
        End2D(app.device);
    }
    C.background->Draw(t, S.sceneFade * 0.003921569f);
    AddressModes(app, D3DTADDRESS_CLAMP);
    if (S.creditsStart > 0) C.credits->Draw(t - S.creditsStart, true);
    AddressModes(app, D3DTADDRESS_WRAP);
    if (t > 39.3f) {
        Begin2D(app.device);
        Overlay(app.device, kGreyBlue, (t - 39.25f) * 382.5f);
        End2D(app.device);
    }
    return FrameEnd(app, SHOW_PARTS[0].levels, t, kBlack);
}

bool Part2(ShowApp& app, float t) {
    Dev(app)->BeginScene();
    C.lightFloor->Draw(t);
    C.background->Draw(t, 0.4f);
    Begin2D(app.device);
    float m = t;
    while (m > 5) m -= 5;
    if (m < 1)
        Overlay(app.device, kGreyBlue, (1 - m) * 255);
    else if (m > 4.5f && t < 17)
        Overlay(app.device, kGreyBlue, (m - 4.5f) * 510);
    if (t > 17) Overlay(app.device, kBlack, (t - 17) * 85);
    End2D(app.device);
    if (t > 17) C.backwob->DrawWarp(t - 17, (t - 17) * 0.33333334f, false);
    return FrameEnd(app, SHOW_PARTS[1].levels, t, kBlack);
}

bool Part3(ShowApp& app, float t) {
    const float s = t + 3;
    Dev(app)->BeginScene();
    if (S.wobblersOn) {
        C.backwob->DrawWarp(s, 1, false);
        AddressModes(app, D3DTADDRESS_CLAMP);
        if (s > 11) C.lintu->DrawWarp(t - 25, s < 13 ? (s - 11) * 0.5f : 1.0f, true);
        AddressModes(app, D3DTADDRESS_WRAP);
        if (t > 1.8f && t < 4.8f) RenderScene(app, C.scenes[1], t - 1.8f, 0);
    }
    DrawGreeting(app, t);
    Begin2D(app.device);
    if (S.flash > 0) Overlay(app.device, kWhite, S.flash);
    if (S.flash < 0) Overlay(app.device, kBlack, -S.flash);
    End2D(app.device);
    return FrameEnd(app, SHOW_PARTS[2].levels, t, kBlack);
}

bool Part4(ShowApp& app, float t) {
    Scene& scene = C.scenes[2];
    Dev(app)->BeginScene();
    if (t < 2.5f) FogReveal(app, scene, t);
    if (t < 15.9f) {
        RenderWithRays(app, scene, t, 0, 255);
    } else {
        S.carryTime = t - 10.9f;
        RenderWithRays(app, scene, S.carryTime, 1, 255);
    }
    if (t > 10.9f && t < 15.9f) CrossFade(app, scene, t);
    return FrameEnd(app, SHOW_PARTS[3].levels, t, kBlack);
}

bool Part5(ShowApp& app, float t) {
    if (t > S.lastStep) S.carryTime += t - S.lastStep;
    Dev(app)->BeginScene();
    if (t < 5) {
        ApplySceneFog(app, C.scenes[2], 0);
        RenderScene(app, C.scenes[2], S.carryTime, 1);
        ApplySceneFog(app, C.scenes[3], 0);
        Begin2D(app.device);
        if (t > 0.5f) {
            Lighting(app, false);
            Overlay(app.device, kBlack, (t - 0.5f) * 56.666668f);
            C.violetti->DrawRipple(t, (t - 0.5f) * 0.22222222f);
        }
    } else {
        Lighting(app, false);
        Begin2D(app.device);
        C.violetti->DrawRipple(t, 1);
    }
    Lighting(app, true);
    End2D(app.device);
    RenderScene(app, C.scenes[3], t * 0.9f, 0);
    if (S.flash < 255) {
        Lighting(app, false);
        Begin2D(app.device);
        Overlay(app.device, kBlack, 255 - S.flash);
        End2D(app.device);
        Lighting(app, true);
    }
    return FrameEnd(app, SHOW_PARTS[4].levels, t, kBlack);
}

bool Part6(ShowApp& app, float t) {
    Scene& scene = C.scenes[4];
    Dev(app)->BeginScene();
    RenderScene(app, scene, t, 0);
    Begin2D(app.device);
    if (t < 27) Sprite(app.device, C.title, 1, 1, kWhite, TitleAlpha(t));
    if (t > 4 && t < 27) Sprite(app.device, C.by, 1, 1, kWhite, t < 6 ? (t - 4) * 127.5f : TitleAlpha(t));
    if (S.sceneFade != 0) Overlay(app.device, kBlack, S.sceneFade);
    if (S.endFade != 0) Overlay(app.device, kBlack, S.endFade);
    End2D(app.device);
    const uint32_t clear = scene.fogEnabled ? scene.fogColor : kBlack;
    return FrameEnd(app, SHOW_PARTS[5].levels, t, clear);
}

}  // namespace

void ApplyPartStart(ShowApp& app, const PartStart& start) {
    if (start.lighting) Lighting(app, *start.lighting);
    if (start.lastStep) S.lastStep = *start.lastStep;
    if (start.flash) S.flash = *start.flash;
    if (start.sceneFade) S.sceneFade = *start.sceneFade;
    if (start.endFade) S.endFade = *start.endFade;
    if (start.fogScene >= 0) ApplySceneFog(app, C.scenes[start.fogScene], 0);
}

// Before parts 4 to 6 lastStep still holds the previous part's last time, so
// their first frame applies no steps.
const ShowPart SHOW_PARTS[PART_COUNT] = {
    {Part1, {Part1Step, Part1Clamp}, {}},  // starts from the levels loading set
    {Part2, {nullptr, nullptr}, {.lastStep = 0.0f}},
    {Part3, {Part3Step, Part3Clamp}, {.lastStep = 0.0f, .flash = 0.0f}},
    {Part4, {nullptr, nullptr}, {.lighting = true}},
    {Part5, {Part5Step, Part5Clamp}, {.flash = 255.0f, .sceneFade = 0.0f, .fogScene = 3}},
    {Part6, {Part6Step, Part6Clamp}, {.lighting = false, .sceneFade = 255.0f, .endFade = 0.0f, .fogScene = 4}},
};
