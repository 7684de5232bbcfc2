// Part one's scene: a whimsical steam machine, chrome and brass turning in a
// slowly orbiting view, the smoke rising around it. Unlit: its look comes
// from the textures and the reflection maps.
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

constexpr float PI = 3.1415927f;

enum : std::uint32_t { kIron = 1, kChrome, kBrass, kGlass, kSoot, kCore };

MeshData Flywheel() {
    MeshData wheel;
    std::vector<P2> rim;
    for (int i = 0; i <= 12; ++i) {
        float a = 2.0f * PI * static_cast<float>(i) / 12.0f;
        rim.push_back({26.0f + 3.0f * std::cos(a), 3.0f * std::sin(a)});
    }
    MeshData torus = Lathe(rim, 40);
    wheel.Append(torus, Rotation({1, 0, 0}, PI * 0.5f));
    wheel.Append(Cylinder(5.0f, 8.0f, 16), Rotation({1, 0, 0}, PI * 0.5f));
    for (int s = 0; s < 6; ++s)
        wheel.Append(Box({1.4f, 12.0f, 1.2f}),
                     Matrix4::Translation(0.0f, 13.0f, 0.0f) * Rotation({0, 0, 1}, PI * static_cast<float>(s) / 3.0f));
    return wheel;
}

MeshData Boiler() {
    MeshData m = Lathe({{0.0f, -30.0f},
                        {12.0f, -30.0f},
                        {15.0f, -27.0f},
                        {16.0f, -20.0f},
                        {16.5f, -19.0f},
                        {16.0f, -18.0f},
                        {16.0f, 18.0f},
                        {16.5f, 19.0f},
                        {16.0f, 20.0f},
                        {15.0f, 27.0f},
                        {12.0f, 30.0f},
                        {0.0f, 30.0f}},
                       32, 2.0f);
    m.OrientAway({0.0f, 0.0f, 0.0f});
    m.ComputeNormals();
    m.Transform(Rotation({0, 0, 1}, PI * 0.5f));
    return m;
}

MeshData Chimney() {
    MeshData m = Lathe({{0.0f, -12.0f},
                        {9.0f, -12.0f},
                        {7.0f, -6.0f},
                        {5.0f, 10.0f},
                        {5.5f, 24.0f},
                        {8.5f, 30.0f},
                        {7.5f, 31.0f},
                        {4.5f, 31.0f}},
                       24, 3.0f);
    m.OrientAway({0.0f, 8.0f, 0.0f});
    m.ComputeNormals();
    return m;
}

}  // namespace

std::vector<ArchiveEntry> MakeVempula() {
    const std::string dir = "smokeandcredits/scene/";
    SceneKit k(40.0f);
    k.Material(kIron, "iron", 0xFFB0B0B8, {"iron.jpg", "", ""});
    k.Material(kChrome, "chrome", 0xFFFFFFFF, {"steel.jpg", "", "chrome.jpg"});
    k.Material(kBrass, "brass", 0xFFFFD090, {"brass.jpg", "", "chrome.jpg"});
    k.Material(kGlass, "glass", 0x80C0E0FF, {"glass.tga", "", "chrome.jpg"}, 0.45f, 1 | 8);
    k.Material(kSoot, "soot", 0xFF606060, {"soot.jpg", "", ""});
    k.Material(kCore, "core", 0xFFFFFFFF, {"core.jpg", "", ""});

    const Vector3 centre(0.0f, 0.0f, 80.0f);
    auto at = [&](float x, float y, float z) { return centre + Vector3(x, y, z); };

    k.Mesh(k.Node("base", NONE, at(0, -16, 0)), Box({70.0f, 4.0f, 45.0f}), kIron);
    std::uint32_t boiler = k.Node("boiler", NONE, at(-5, 2, 15));
    k.Mesh(boiler, Boiler(), kChrome);

    std::uint32_t fly = k.Node("flywheel", NONE, at(-48, 10, -20));
    k.Mesh(fly, Flywheel(), kChrome);
    k.Spin(fly, {0, 0, 1}, 3.0f, 0.0f, 2);

    // Three gears in mesh: the ratios follow the tooth counts.
    std::uint32_t gearA = k.Node("gear-a", NONE, at(15, 17, -25));
    k.Mesh(gearA, Gear(12, 10.0f, 12.5f, 4.0f), kBrass);
    k.Spin(gearA, {0, 0, 1}, 6.0f, 0.0f, 2);
    std::uint32_t gearB = k.Node("gear-b", NONE, at(34, 17, -25));
    k.Mesh(gearB, Gear(8, 6.5f, 9.0f, 4.0f), kBrass);
    k.Spin(gearB, {0, 0, 1}, -4.0f, PI / 8.0f, 3);
    std::uint32_t gearC = k.Node("gear-c", NONE, at(34, 30.5f, -25));
    k.Mesh(gearC, Gear(6, 4.5f, 7.0f, 4.0f), kBrass);
    k.Spin(gearC, {0, 0, 1}, 3.0f, PI / 6.0f, 6);

    // Pistons: housings stand still, rods pump with eased curve keys.
    for (int i = 0; i < 2; ++i) {
        float x = 22.0f + 14.0f * static_cast<float>(i);
        k.Mesh(k.Node("housing", NONE, at(x, -4, 18)), Cylinder(6.0f, 20.0f, 20), kIron);
        std::uint32_t rod = k.Node("rod", NONE, at(x, 8, 18));
        k.Mesh(rod, Cylinder(3.5f, 22.0f, 16), kChrome);
        float lo = 4.0f, hi = 16.0f;
        k.Positions(rod, {{0.0f, at(x, i ? hi : lo, 18)}, {0.75f, at(x, i ? lo : hi, 18)}}, true, 4, 4, 0.6f);
    }

    std::uint32_t chimney = k.Node("chimney", NONE, at(50, 0, 35));
    k.Mesh(chimney, Chimney(), kSoot);
    std::uint32_t cap = k.Node("cap", chimney, {0.0f, 34.0f, 0.0f});
    MeshData capMesh = Lathe({{0.0f, 0.0f}, {9.0f, 0.0f}, {0.0f, 4.0f}}, 20);
    capMesh.OrientAway({0.0f, 1.0f, 0.0f});
    capMesh.ComputeNormals();
    k.Mesh(cap, capMesh, kChrome);
    k.Positions(cap, {{0.0f, {0.0f, 33.0f, 0.0f}}, {0.4f, {0.0f, 36.0f, 0.0f}}, {0.8f, {0.0f, 33.0f, 0.0f}}}, true, 6,
                6, 0.3f);

    k.Mesh(k.Node("dome", NONE, at(-5, 20, 15)), Sphere(9.0f, 20, 10), kGlass);
    std::uint32_t core = k.Node("core", NONE, at(-5, 20, 15));
    k.Mesh(core, Sphere(5.0f, 16, 8), kCore);
    k.Scales(core, {{0.0f, {0.8f, 0.8f, 0.8f}}, {0.63f, {1.15f, 1.15f, 1.15f}}}, true, 4, 4);

    // A pipe from the boiler to the chimney.
    MeshData pipe = Cylinder(2.5f, 40.0f, 12);
    k.Mesh(k.Node("pipe", NONE, at(28, 10, 35), AxisAngle({0, 0, 1}, PI * 0.5f)), pipe, kChrome);

    // The camera orbits a third of the way round in 40 s, easing in and out.
    std::uint32_t cam = k.Node("camera", NONE, at(0, 60, -260));
    std::uint32_t target = k.Node("camera-target", NONE, at(0, 6, 0));
    k.SetTarget(cam, target);
    std::vector<PosKey> orbit;
    for (int i = 0; i <= 4; ++i) {
        float a = -PI * 0.5f + (static_cast<float>(i) - 2.0f) * 0.28f;
        float r = 175.0f - 10.0f * static_cast<float>(i);
        orbit.push_back({10.0f * static_cast<float>(i),
                         at(r * std::cos(a), 55.0f - 7.0f * static_cast<float>(i), r * std::sin(a))});
    }
    k.Positions(cam, orbit, true, 1, 1, 0.2f);
    k.Positions(target, {{0.0f, at(0, 10, 0)}, {40.0f, at(-10, 4, 10)}}, true, 1, 1, 0.5f);
    k.Camera(cam, 0.95f, 5.0f, 3000.0f, 200.0f, 900.0f);

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "vempula.klx", k.Finish()});
    out.push_back({dir + "iron.jpg", MetalTexture(11u, 0x8A8C96, true).Jpeg(88)});
    out.push_back({dir + "steel.jpg", MetalTexture(12u, 0x4A5060, false).Jpeg(88)});
    out.push_back({dir + "brass.jpg", MetalTexture(13u, 0x7A5A26, false).Jpeg(88)});
    out.push_back({dir + "soot.jpg", MetalTexture(14u, 0x3A3640, true).Jpeg(88)});
    out.push_back({dir + "chrome.jpg", EnvironmentMap(0x4A6088, 0x281E38, 0x08060A, 0xC8A880).Jpeg(90)});
    out.push_back({dir + "glass.tga", GlassTexture().Tga(true)});
    out.push_back({dir + "core.jpg", OrbTexture(0xFF9040).Jpeg(90)});
    return out;
}

}  // namespace content
