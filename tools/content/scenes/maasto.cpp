// Part six's scene: hills and a lake in dawn fog, the camera gliding low.
// The terrain is a 98 x 41 grid (4,018 vertices): the engine gives exactly
// such a mesh a second coordinate set, fifteen times the first, which the
// detail texture uses. The scene is drawn unlit, so the dawn light is baked
// into the terrain's colour map.
#include <algorithm>
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

enum : std::uint32_t { kTerrain = 1, kWater, kStone };

}  // namespace

std::vector<ArchiveEntry> MakeMaasto() {
    const std::string dir = "landscape/";
    SceneKit k(32.0f);
    k.Fog(0xFF5A4A72, 0.0f, 1.0f);
    k.Material(kTerrain, "terrain", 0xFFFFFFFF, {"maasto.jpg", "detail.jpg", ""});
    k.Material(kWater, "water", 0xFFFFFFFF, {"water.jpg", "", "sky.jpg"});
    k.Material(kStone, "stone", 0xFFFFFFFF, {"stone.jpg", "", ""});

    std::uint32_t terrain = k.Node("terrain", NONE, {0.0f, 0.0f, 0.0f});
    k.Mesh(terrain, Grid(98, 41, TERRAIN_SIZE_X, TERRAIN_SIZE_Z, TerrainHeight), kTerrain);

    MeshData water = Grid(43, 33, 4200.0f, 3200.0f, [](float, float) { return 0.0f; });
    for (KlxVertex& v : water.vertices) v.uv[0] = Vector2(v.uv[0].u * 20.0f, v.uv[0].v * 15.0f);
    // The lake is one triangle strip.
    KlxMesh& lake = k.Mesh(k.Node("lake", NONE, {0.0f, 0.0f, 0.0f}), water, kWater);
    lake.faceGroups.front().indexType = KLX_TRIANGLE_STRIP;
    lake.faceGroups.front().indices = GridStrip(43, 33);

    // A few standing stones on the shore, for scale.
    for (int i = 0; i < 5; ++i) {
        float x = -200.0f + 110.0f * static_cast<float>(i),
              z = -150.0f + 40.0f * std::sin(static_cast<float>(i) * 1.7f);
        float h = TerrainHeight(x, z);
        k.Mesh(k.Node("stone", NONE, {x, h + 6.0f, z}, AxisAngle({0.2f, 1.0f, 0.1f}, static_cast<float>(i))),
               Box({2.5f, 6.0f + static_cast<float>(i % 3) * 2.0f, 2.0f}), kStone);
    }

    // The glide: low over the water, then up over the hills, always clear of
    // the ground beneath.
    std::uint32_t cam = k.Node("camera", NONE, {0.0f, 40.0f, -450.0f});
    std::uint32_t target = k.Node("camera-target", NONE, {0.0f, 20.0f, 0.0f});
    std::vector<PosKey> path, look;
    for (int i = 0; i <= 4; ++i) {
        float t = static_cast<float>(i) / 4.0f;
        float x = -380.0f + 520.0f * t, z = -330.0f + 360.0f * t;
        float clearance = 0.0f;
        for (float dx = -60.0f; dx <= 60.0f; dx += 20.0f)
            for (float dz = -60.0f; dz <= 60.0f; dz += 20.0f)
                clearance = std::max(clearance, TerrainHeight(x + dx, z + dz));
        path.push_back({32.0f * t, {x, std::max(clearance, 0.0f) + 28.0f + 30.0f * t, z}});
        look.push_back({32.0f * t, {x + 260.0f - 120.0f * t, 25.0f + 30.0f * t, z + 420.0f}});
    }
    k.Positions(cam, path, true, 1, 1, 0.15f);
    k.Positions(target, look, true, 1, 1, 0.15f);
    k.SetTarget(cam, target);
    k.Camera(cam, 1.15f, 2.0f, 4000.0f, 120.0f, 1300.0f);

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "maasto.klx", k.Finish()});
    out.push_back({dir + "maasto.jpg", TerrainColour(512).Jpeg(90)});
    out.push_back({dir + "detail.jpg", DetailTexture().Jpeg(88)});
    out.push_back({dir + "water.jpg", WaterTexture().Jpeg(88)});
    out.push_back({dir + "sky.jpg", EnvironmentMap(0x3A3050, 0x6A4A60, 0x101018, 0x806048).Jpeg(90)});
    out.push_back({dir + "stone.jpg", MetalTexture(41u, 0x4A4650, false).Jpeg(88)});
    return out;
}

}  // namespace content
