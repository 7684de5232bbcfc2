// Part three's scene: a small silver fish swimming through the frame for
// three seconds. Its tail beats in morph frames; the body's path runs on
// beyond its last key by linear extrapolation.
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

enum : std::uint32_t { kSilver = 1, kFin };

constexpr float kLength = 30.0f;

// The fish along +x (head at +x), flattened sideways, with a tail fin and a
// dorsal fin; u runs along the body, v around it.
MeshData FishBody() {
    const int rings = 18, around = 14;
    MeshData m;
    for (int i = 0; i <= rings; ++i) {
        float s = static_cast<float>(i) / rings;  // 0 tail root .. 1 nose
        float x = (s - 0.5f) * kLength;
        float r = 5.0f * std::pow(std::sin(3.1415927f * (0.08f + 0.9f * s)), 0.8f) + 0.3f;
        for (int j = 0; j <= around; ++j) {
            float a = 6.2831853f * static_cast<float>(j) / around;
            KlxVertex v;
            v.position = {x, r * 1.15f * std::cos(a), r * 0.55f * std::sin(a)};
            v.uv[0] = Vector2(s, static_cast<float>(j) / around);
            m.vertices.push_back(v);
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < around; ++j) {
            auto a = static_cast<std::uint32_t>(i * (around + 1) + j);
            auto b = a + 1, c = a + static_cast<std::uint32_t>(around + 1), d = c + 1;
            m.Triangle(a, b, c);
            m.Triangle(b, d, c);
        }
    for (std::size_t t = 0; t + 2 < m.indices.size(); t += 3) {
        Vector3 p = m.vertices[m.indices[t]].position;
        Vector3 n = (m.vertices[m.indices[t + 1]].position - p).Cross(m.vertices[m.indices[t + 2]].position - p);
        Vector3 out(0.0f, p.y, p.z);
        if (n.Dot(out) < 0.0f) std::swap(m.indices[t + 1], m.indices[t + 2]);
    }
    // Tail fin: a forked fan behind the body; dorsal fin: a small sail.
    auto fin = [&](std::vector<Vector3> pts) {
        auto base = static_cast<std::uint32_t>(m.vertices.size());
        for (const Vector3& p : pts) {
            KlxVertex v;
            v.position = p;
            v.uv[0] = Vector2(0.05f, 0.5f + p.y / 20.0f);
            m.vertices.push_back(v);
        }
        for (std::uint32_t i = 1; i + 1 < pts.size(); ++i) m.Triangle(base, base + i, base + i + 1);
    };
    float tx = -0.5f * kLength;
    fin({{tx + 1.0f, 0.0f, 0.0f}, {tx - 9.0f, 8.0f, 0.0f}, {tx - 6.0f, 0.0f, 0.0f}, {tx - 9.0f, -8.0f, 0.0f}});
    fin({{-2.0f, 5.5f, 0.0f}, {-6.0f, 10.0f, 0.0f}, {4.0f, 5.8f, 0.0f}});
    m.ComputeNormals();
    return m;
}

// Bends the body sideways: nothing at the nose, most at the tail.
std::vector<KlxVertex> Bent(const MeshData& m, float phase) {
    std::vector<KlxVertex> out = m.vertices;
    for (KlxVertex& v : out) {
        float s = (0.5f * kLength - v.position.x) / (1.5f * kLength);  // 0 nose .. ~1 tail tip
        float bend = 7.0f * s * s * std::sin(phase - s * 2.5f);
        v.position.z += bend;
    }
    return out;
}

}  // namespace

std::vector<ArchiveEntry> MakeMuikula() {
    const std::string dir = "muikula/";
    SceneKit k(3.0f);
    k.Material(kSilver, "silver", 0xFFFFFFFF, {"scales.jpg", "", "silver.jpg"});
    k.Material(kFin, "fin", 0xFFFFFFFF, {"scales.jpg", "", ""}, 1.0f, 1);

    std::uint32_t cam = k.Node("camera", NONE, {10.0f, 15.0f, -95.0f});
    std::uint32_t target = k.Node("camera-target", NONE, {0.0f, 0.0f, 0.0f});
    k.SetTarget(cam, target);
    k.Camera(cam, 1.0f, 2.0f, 1000.0f, 100.0f, 400.0f);

    std::uint32_t fish = k.Node("fish", NONE, {-110.0f, -10.0f, 10.0f}, {}, {1.5f, 1.5f, 1.5f});
    // Across the frame, left to right; the path continues past 2 s.
    k.Positions(fish, {{0.0f, {-110.0f, -12.0f, 20.0f}}, {2.0f, {25.0f, 8.0f, -5.0f}}}, false, 5, 5);
    k.Rotations(fish, {{0.0f, AxisAngle({0, 1, 0}, 0.25f)}, {0.5f, AxisAngle({0, 1, 0}, 0.05f)}}, true, 4, 4, 0.5f);

    MeshData body = FishBody();
    KlxMesh& mesh = k.Mesh(fish, body, kSilver);
    const int frames = 31;
    for (int f = 0; f < frames; ++f) {
        KlxFrame frame;
        float t = 3.0f * static_cast<float>(f) / (frames - 1);
        frame.time = static_cast<std::uint32_t>(Ticks(t));
        frame.vertices = Bent(body, t * 6.2831853f * 2.5f);
        mesh.frames.push_back(std::move(frame));
    }

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "muikula.klx", k.Finish()});
    out.push_back({dir + "scales.jpg", ScaleTexture().Jpeg(90)});
    out.push_back({dir + "silver.jpg", EnvironmentMap(0x5A7090, 0x202838, 0x05080C, 0xA0A8B0).Jpeg(90)});
    return out;
}

}  // namespace content
