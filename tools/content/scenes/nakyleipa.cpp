// Parts four and five: a round crispbread with a hole, turning slowly in
// fog under warm and cool lights while light bursts out of it. The second
// mesh is the ray source the show hides; the bread's face group is lit by a
// light map embedded in the file.
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

enum : std::uint32_t { kBread = 1, kRays, kPlate, kGlass, kMilk, kBackdrop };

std::vector<P2> BreadProfile(bool coarse) {
    if (coarse)
        return {{10.0f, 2.0f},  {30.0f, 3.8f},  {54.0f, 1.5f}, {54.0f, -1.5f},
                {30.0f, -3.4f}, {10.0f, -1.5f}, {10.0f, 2.0f}};
    return {{10.0f, 2.0f},  {14.0f, 3.5f},  {22.0f, 4.2f},  {30.0f, 3.8f},  {40.0f, 4.0f},
            {50.0f, 3.2f},  {54.0f, 1.5f},  {55.0f, 0.0f},  {54.0f, -1.5f}, {50.0f, -3.0f},
            {30.0f, -3.4f}, {14.0f, -3.0f}, {10.0f, -1.5f}, {9.5f, 0.0f},   {10.0f, 2.0f}};
}

MeshData Bread(bool coarse) {
    MeshData m = Lathe(BreadProfile(coarse), coarse ? 16 : 48);
    // Faces out of the ring's own cross-section.
    for (std::size_t t = 0; t + 2 < m.indices.size(); t += 3) {
        Vector3 a = m.vertices[m.indices[t]].position, b = m.vertices[m.indices[t + 1]].position,
                c = m.vertices[m.indices[t + 2]].position;
        Vector3 mid = (a + b + c) / 3.0f;
        float r = std::sqrt(mid.x * mid.x + mid.z * mid.z);
        Vector3 core = r > 0.0f ? Vector3(mid.x / r * 32.0f, 0.0f, mid.z / r * 32.0f) : Vector3();
        if ((b - a).Cross(c - a).Dot(mid - core) < 0.0f) std::swap(m.indices[t + 1], m.indices[t + 2]);
    }
    m.ComputeNormals();
    // Planar coordinates from above: set 0 for the crust, set 1 for the light map.
    for (KlxVertex& v : m.vertices) {
        v.uv[0] = Vector2(0.5f + v.position.x / 110.0f, 0.5f + v.position.z / 110.0f);
        v.uv[1] = Vector2(0.5f + v.position.x / 112.0f, 0.5f - v.position.z / 112.0f);
    }
    return m;
}

}  // namespace

std::vector<ArchiveEntry> MakeNakyleipa() {
    const std::string dir = "nakyleipa/";
    SceneKit k(40.0f);
    k.Fog(0xFF1A1430, 0.0f, 1.0f);
    k.Material(kBread, "bread", 0xFFFFFFFF, {"rye.jpg", "", ""}, 1.0f, 0, 0xFF403830);
    k.Material(kRays, "rays", 0xFFFFE0B0, {"", "", ""});
    k.Material(kPlate, "plate", 0xFFFFFFFF, {"plate.jpg", "", "plateenv.jpg"}, 1.0f, 0, 0xFF303040);
    k.Material(kGlass, "glass", 0x60D0E8FF, {"", "", "plateenv.jpg"}, 0.35f, 1, 0xFF203040);
    k.Material(kMilk, "milk", 0xC0FFFFFF, {"", "", ""}, 0.8f, 0, 0xFF808080, 0xFF303030);
    k.Material(kBackdrop, "backdrop", 0xFFFFFFFF, {"backdrop.jpg", "", ""}, 1.0f, 1, 0xFF404040, 0xFF202020);
    int32_t lightMap = k.Image(ChunkImageJpeg, BreadLightMap().Jpeg(90));

    // The bread and its ray source share their motion: a slow turn and a
    // gentle hover.
    std::uint32_t bread = k.Node("bread", NONE, {0.0f, 0.0f, 0.0f});
    std::uint32_t rays = k.Node("rays", NONE, {0.0f, 0.0f, 0.0f});
    for (std::uint32_t n : {bread, rays}) {
        k.Spin(n, {0, 1, 0}, 30.0f, 0.0f, 2);
        k.Positions(n, {{0.0f, {0.0f, 0.0f, 0.0f}}, {3.0f, {0.0f, 4.0f, 0.0f}}}, true, 4, 4, 0.5f);
    }
    k.Mesh(bread, Bread(false), kBread, lightMap, 2);
    k.Mesh(rays, Bread(true), kRays);

    MeshData plate = Lathe({{0.0f, -9.0f},
                            {62.0f, -9.0f},
                            {70.0f, -6.0f},
                            {72.0f, -5.5f},
                            {70.0f, -7.0f},
                            {62.0f, -10.5f},
                            {0.0f, -10.5f}},
                           48);
    plate.OrientAway({0.0f, -9.75f, 0.0f});
    plate.ComputeNormals();
    k.Mesh(k.Node("plate", NONE, {0.0f, -6.0f, 0.0f}), plate, kPlate);

    std::uint32_t glass = k.Node("glass", NONE, {-95.0f, -16.0f, 45.0f});
    MeshData cup =
        Lathe({{0.0f, 0.0f}, {11.0f, 0.0f}, {12.0f, 38.0f}, {11.0f, 38.0f}, {10.0f, 1.5f}, {0.0f, 1.5f}}, 28);
    cup.ComputeNormals();
    k.Mesh(glass, cup, kGlass);
    k.Mesh(k.Node("milk", glass, {0.0f, 0.0f, 0.0f}), Cylinder(9.8f, 26.0f, 24), kMilk);

    MeshData dome = Sphere(700.0f, 24, 12);
    dome.OrientAway({0.0f, 0.0f, 0.0f});
    k.Mesh(k.Node("backdrop", NONE, {0.0f, 0.0f, 0.0f}), dome, kBackdrop);

    // Lights: a warm point circling, a spot from above, a cool directional
    // rim, a coneless spot and a faint ambient-only fill.
    std::uint32_t warm = k.Node("warm-light", NONE, {80.0f, 60.0f, 0.0f});
    std::vector<PosKey> circle;
    for (int i = 0; i <= 4; ++i) {
        float a = 1.5707963f * static_cast<float>(i);
        circle.push_back({7.5f * static_cast<float>(i), {90.0f * std::cos(a), 50.0f, 90.0f * std::sin(a)}});
    }
    circle.back().value = circle.front().value;
    k.Positions(warm, circle, true, 2, 2);
    k.Light(warm, 1, 0xFFFFD8A0, 0x1 | 0x2 | 0x4 | 0x40, 320.0f);
    std::uint32_t spot = k.Node("spot", NONE, {0.0f, 160.0f, 0.0f}, AimY({0.0f, -1.0f, 0.0f}));
    k.Light(spot, 2, 0xFFA0B8FF, 0x1 | 0x2, 0.0f, 0.35f, 0.75f);
    std::uint32_t rim = k.Node("rim", NONE, {0.0f, 0.0f, 0.0f}, AimY({-0.6f, -0.4f, 0.7f}));
    k.Light(rim, 4, 0xFF6070C0, 0x1 | 0x2);
    std::uint32_t wide = k.Node("wide", NONE, {-120.0f, 80.0f, -60.0f}, AimY({1.0f, -0.6f, 0.5f}));
    k.Light(wide, 3, 0xFF402838, 0x1 | 0x2 | 0x80);
    std::uint32_t fill = k.Node("fill", NONE, {0.0f, 40.0f, -100.0f});
    k.Light(fill, 1, 0xFF302840, 0x1 | 0x8);

    // Camera 0 circles high above; camera 1 skims low and draws closer.
    std::uint32_t cam0 = k.Node("camera", NONE, {0.0f, 150.0f, -170.0f});
    std::vector<PosKey> high;
    for (int i = 0; i <= 4; ++i) {
        float a = -1.5707963f + 0.35f * static_cast<float>(i);
        high.push_back({10.0f * static_cast<float>(i),
                        {150.0f * std::cos(a), 110.0f - 10.0f * static_cast<float>(i), 150.0f * std::sin(a)}});
    }
    k.Positions(cam0, high, true, 1, 1, 0.2f);
    k.Camera(cam0, 1.0f, 2.0f, 3000.0f, 150.0f, 750.0f);
    std::uint32_t cam1 = k.Node("camera", NONE, {-150.0f, 30.0f, -90.0f});
    k.Positions(
        cam1, {{0.0f, {-160.0f, 40.0f, -110.0f}}, {20.0f, {-90.0f, 22.0f, -80.0f}}, {40.0f, {-40.0f, 30.0f, -110.0f}}},
        true, 1, 1, 0.3f);
    k.Camera(cam1, 1.1f, 2.0f, 3000.0f, 120.0f, 650.0f);
    std::uint32_t target = k.Node("camera-target", NONE, {0.0f, 0.0f, 0.0f});
    k.SetTarget(cam0, target);
    k.SetTarget(cam1, target);

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "nakyleipa.klx", k.Finish()});
    out.push_back({dir + "rye.jpg", RyeTexture().Jpeg(90)});
    out.push_back({dir + "plate.jpg", MetalTexture(31u, 0x6A6478, false).Jpeg(88)});
    out.push_back({dir + "plateenv.jpg", EnvironmentMap(0x303A60, 0x181020, 0x050408, 0x907860).Jpeg(90)});
    out.push_back({dir + "backdrop.jpg", MossTexture().Jpeg(85)});
    return out;
}

}  // namespace content
