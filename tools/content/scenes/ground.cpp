// Part two's scene: a floor of tiles under two wandering lights, four
// cameras. The light floor effect finds the floor as the first mesh and
// takes its two lights from the 7th and 8th undrawn nodes it meets walking
// the root's children and their children. Each wanderer below is a dummy
// under its own transform node, so it is met twice there (both share one
// position); the four cameras come first and are met once. Counting either
// both levels or the second level only, the 7th and 8th positions are those
// of the first two wanderers, because wanderers 7 and 8 repeat the first two.
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

enum : std::uint32_t { kTiles = 1, kOrbWarm, kOrbCool };

std::vector<PosKey> Wander(float phase, float radius, float height) {
    std::vector<PosKey> keys;
    const int n = 8;
    for (int i = 0; i <= n; ++i) {
        float t = static_cast<float>(i) / n;
        float a = 6.2831853f * t + phase;
        // A wobbly loop over the floor, closing on itself after 20 s.
        float r = radius * (0.65f + 0.35f * std::sin(3.0f * a + phase * 2.0f));
        keys.push_back({20.0f * t, {r * std::cos(a), height + 3.0f * std::sin(2.0f * a), r * std::sin(a) * 0.8f}});
    }
    keys.back().value = keys.front().value;
    return keys;
}

}  // namespace

std::vector<ArchiveEntry> MakeGround() {
    const std::string dir = "lightfloor/";
    SceneKit k(20.0f);
    k.Material(kTiles, "tiles", 0xFFFFFFFF, {"tiles.jpg", "", ""});
    k.Material(kOrbWarm, "orb-warm", 0xFFFFFFFF, {"orbwarm.jpg", "", ""});
    k.Material(kOrbCool, "orb-cool", 0xFFFFFFFF, {"orbcool.jpg", "", ""});

    std::uint32_t floor = k.Node("floor", NONE, {0.0f, 0.0f, 0.0f});
    k.Mesh(floor, Grid(25, 25, 240.0f, 240.0f, [](float, float) { return 0.0f; }), kTiles);

    // Four cameras, each a slow move of its own.
    const Vector3 eyes[4][2] = {
        {{0.0f, 70.0f, -140.0f}, {40.0f, 55.0f, -120.0f}},
        {{-130.0f, 35.0f, -50.0f}, {-110.0f, 45.0f, 30.0f}},
        {{10.0f, 150.0f, -40.0f}, {-10.0f, 135.0f, 30.0f}},
        {{120.0f, 25.0f, 70.0f}, {90.0f, 30.0f, 110.0f}},
    };
    std::uint32_t cams[4];
    for (int c = 0; c < 4; ++c) {
        cams[c] = k.Node("camera", NONE, eyes[c][0]);
        k.Positions(cams[c], {{0.0f, eyes[c][0]}, {20.0f, eyes[c][1]}}, true, 1, 1, 0.3f);
        k.Camera(cams[c], c == 2 ? 0.9f : 1.1f, 2.0f, 2000.0f, 100.0f, 800.0f);
    }

    // Eight wanderers; the 7th and 8th repeat the 1st and 2nd. The two that
    // carry the lights travel a little under the floor, right below their
    // orbs: the glowing fins point away from a light, so from below they
    // rise out of the lit tiles instead of vanishing under the floor.
    std::vector<PosKey> paths[2] = {Wander(0.0f, 70.0f, 12.0f), Wander(2.4f, 85.0f, 15.0f)};
    std::vector<PosKey> lights[2] = {Wander(0.0f, 70.0f, -9.0f), Wander(2.4f, 85.0f, -9.0f)};
    for (int d = 0; d < 8; ++d) {
        const std::vector<PosKey>& path = d == 6   ? lights[0]
                                          : d == 7 ? lights[1]
                                          : d < 2  ? lights[d]
                                                   : Wander(1.1f * d, 60.0f + 5.0f * d, 20.0f);
        std::uint32_t w = k.Node("wanderer", NONE, path.front().value);
        k.Positions(w, path, true, 2, 2);
    }

    std::uint32_t targets[4];
    for (int c = 0; c < 4; ++c) {
        targets[c] = k.Node("camera-target", NONE, {0.0f, 0.0f, c == 2 ? 10.0f : 0.0f});
        k.SetTarget(cams[c], targets[c]);
    }
    k.Positions(targets[1], {{0.0f, {0.0f, 0.0f, 20.0f}}, {20.0f, {20.0f, 5.0f, -20.0f}}}, true, 1, 1, 0.3f);

    // Glowing orbs that ride with the two lights.
    for (int l = 0; l < 2; ++l) {
        std::uint32_t orb = k.Node("orb", NONE, paths[l].front().value);
        k.Positions(orb, paths[l], true, 2, 2);
        k.Mesh(orb, Sphere(4.0f, 14, 7), l == 0 ? kOrbWarm : kOrbCool);
    }

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "ground.klx", k.Finish()});
    out.push_back({dir + "tiles.jpg", TileTexture().Jpeg(90)});
    out.push_back({dir + "orbwarm.jpg", OrbTexture(0xC87CAC).Jpeg(90)});
    out.push_back({dir + "orbcool.jpg", OrbTexture(0x6DB1BF).Jpeg(90)});
    return out;
}

}  // namespace content
