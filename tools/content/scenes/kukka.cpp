// Part five's scene: a flower on a swaying stem opening its petals. Stem,
// leaves, petals and heart are one skinned mesh over a chain of stem bones
// and one bone per petal; the mesh is authored in world space in its closed
// pose, which is the bind pose at tick 0.
#include <cmath>

#include "scenes/scenelist.h"
#include "scenes/scenekit.h"
#include "scenes/scenetextures.h"

namespace content {
namespace {

enum : std::uint32_t { kStem = 1, kPetal, kHeart, kMoss };
constexpr int kPetals = 6;
constexpr float kHeadY = 72.0f;

struct Builder {
    MeshData mesh;
    std::vector<std::vector<KlxWeight>> weights;

    std::uint32_t Add(const Vector3& p, float u, float v, std::vector<KlxWeight> w) {
        KlxVertex vert;
        vert.position = p;
        vert.uv[0] = Vector2(u, v);
        mesh.vertices.push_back(vert);
        weights.push_back(std::move(w));
        return static_cast<std::uint32_t>(mesh.vertices.size() - 1);
    }
};

// Bones 0..3 run up the stem at these heights; weights blend the two around
// a height.
const float kBoneY[4] = {0.0f, 25.0f, 50.0f, kHeadY};

std::vector<KlxWeight> StemWeights(float y) {
    for (std::uint32_t b = 0; b < 3; ++b)
        if (y <= kBoneY[b + 1]) {
            float f = (y - kBoneY[b]) / (kBoneY[b + 1] - kBoneY[b]);
            f = f * f * (3.0f - 2.0f * f);
            return {{b, 1.0f - f}, {b + 1, f}};
        }
    return {{3, 1.0f}};
}

void Stem(Builder& b) {
    const int rings = 16, around = 10;
    auto first = static_cast<std::uint32_t>(b.mesh.vertices.size());
    for (int i = 0; i <= rings; ++i) {
        float y = kHeadY * static_cast<float>(i) / rings;
        float r = 1.8f - 0.6f * static_cast<float>(i) / rings;
        for (int j = 0; j <= around; ++j) {
            float a = 6.2831853f * static_cast<float>(j) / around;
            b.Add({r * std::cos(a), y, r * std::sin(a)}, static_cast<float>(j) / around, y / 20.0f, StemWeights(y));
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < around; ++j) {
            std::uint32_t a = first + static_cast<std::uint32_t>(i * (around + 1) + j);
            std::uint32_t c = a + static_cast<std::uint32_t>(around + 1);
            b.mesh.Triangle(a, c, a + 1);
            b.mesh.Triangle(a + 1, c, c + 1);
        }
    // Two leaves low on the stem, curving outwards.
    for (int side = 0; side < 2; ++side) {
        float dir = side ? 1.0f : -1.0f;
        float y0 = 14.0f + 9.0f * side;
        auto base = static_cast<std::uint32_t>(b.mesh.vertices.size());
        const int steps = 8;
        for (int s = 0; s <= steps; ++s) {
            float t = static_cast<float>(s) / steps;
            float x = dir * 26.0f * t, y = y0 + 12.0f * t - 10.0f * t * t;
            float w = 5.0f * std::sin(3.1415927f * t);
            b.Add({x, y, -w}, t, 0.0f, StemWeights(y0));
            b.Add({x, y, w}, t, 1.0f, StemWeights(y0));
        }
        for (std::uint32_t s = 0; s < static_cast<std::uint32_t>(steps); ++s) {
            std::uint32_t a = base + s * 2;
            b.mesh.Triangle(a, a + 2, a + 1);
            b.mesh.Triangle(a + 1, a + 2, a + 3);
        }
    }
}

// A petal from the head outwards in direction theta, curled up (closed).
void Petal(Builder& b, int index) {
    float theta = 6.2831853f * static_cast<float>(index) / kPetals;
    Vector3 out(std::cos(theta), 0.0f, std::sin(theta)), side(-std::sin(theta), 0.0f, std::cos(theta));
    const int along = 10, across = 4;
    auto base = static_cast<std::uint32_t>(b.mesh.vertices.size());
    for (int i = 0; i <= along; ++i) {
        float t = static_cast<float>(i) / along;
        // Closed: nearly upright, curling inwards at the tip.
        Vector3 spine = Vector3(0.0f, kHeadY + 1.0f, 0.0f) + out * (2.0f + 7.0f * t - 5.0f * t * t) +
                        Vector3(0.0f, 24.0f * t, 0.0f);
        float width = 9.0f * std::sin(3.1415927f * std::min(1.0f, t * 0.85f + 0.1f));
        for (int j = 0; j <= across; ++j) {
            float s = static_cast<float>(j) / across * 2.0f - 1.0f;
            Vector3 p = spine + side * (s * width) + out * (1.5f * s * s);
            float stick = std::min(1.0f, t * 6.0f);
            b.Add(p, (s + 1.0f) * 0.5f, t, {{static_cast<std::uint32_t>(4 + index), stick}, {3, 1.0f - stick}});
        }
    }
    for (int i = 0; i < along; ++i)
        for (int j = 0; j < across; ++j) {
            std::uint32_t a = base + static_cast<std::uint32_t>(i * (across + 1) + j);
            std::uint32_t c = a + static_cast<std::uint32_t>(across + 1);
            b.mesh.Triangle(a, a + 1, c);
            b.mesh.Triangle(a + 1, c + 1, c);
        }
}

void Heart(Builder& b) {
    MeshData s = Sphere(4.0f, 12, 6);
    auto base = static_cast<std::uint32_t>(b.mesh.vertices.size());
    for (const KlxVertex& v : s.vertices)
        b.Add(v.position + Vector3(0.0f, kHeadY + 3.0f, 0.0f), v.uv[0].u, v.uv[0].v, {{3, 1.0f}});
    for (std::uint16_t i : s.indices) b.mesh.indices.push_back(static_cast<std::uint16_t>(base + i));
}

}  // namespace

std::vector<ArchiveEntry> MakeKukka() {
    const std::string dir = "kukka/";
    SceneKit k(16.0f);
    k.Fog(0xFF2A1040, 0.0f, 1.0f);
    k.Material(kStem, "stem", 0xFFFFFFFF, {"stem.jpg", "", ""}, 1.0f, 1, 0xFF203020);
    k.Material(kPetal, "petal", 0xFFFFFFFF, {"petal.jpg", "", ""}, 1.0f, 1, 0xFF604070, 0xFF301838);
    k.Material(kHeart, "heart", 0xFFFFE080, {"heart.jpg", "", ""}, 1.0f, 0, 0xFF806020, 0xFF402800);
    k.Material(kMoss, "moss", 0xFFFFFFFF, {"moss.jpg", "", ""}, 1.0f, 0, 0xFF303030);
    int32_t groundLight = k.Image(ChunkImageTga, MossLightMap().Tga(false));

    // The bone chain: the stem sways, the head nods, each petal opens
    // outwards between 2 and 9 seconds and then stays open.
    std::uint32_t bones[4 + kPetals];
    bones[0] = k.Node("stem-0", NONE, {0.0f, 0.0f, 0.0f});
    for (int i = 1; i < 4; ++i)
        bones[i] = k.Node("stem-" + std::to_string(i), bones[i - 1], {0.0f, kBoneY[i] - kBoneY[i - 1], 0.0f});
    k.Rotations(bones[1], {{0.0f, AxisAngle({0, 0, 1}, 0.06f)}, {2.2f, AxisAngle({0.3f, 0, 1}, -0.08f)}}, true, 4, 4,
                0.5f);
    k.Rotations(bones[2], {{0.0f, AxisAngle({1, 0, 0.2f}, -0.05f)}, {1.7f, AxisAngle({1, 0, 0}, 0.09f)}}, true, 4, 4,
                0.5f);
    k.Rotations(bones[3], {{0.0f, AxisAngle({0, 0, 1}, -0.04f)}, {2.9f, AxisAngle({0.2f, 0, 1}, 0.1f)}}, true, 4, 4,
                0.5f);
    for (int p = 0; p < kPetals; ++p) {
        float theta = 6.2831853f * static_cast<float>(p) / kPetals;
        Vector3 out(std::cos(theta), 0.0f, std::sin(theta)), axis(-std::sin(theta), 0.0f, std::cos(theta));
        bones[4 + p] = k.Node("petal", bones[3], {0.0f, 1.0f, 0.0f});
        // Open means the tip falls outwards: pick the turn that does that.
        float angle = 1.25f;
        Matrix4 m(AxisAngle(axis, angle));
        if (m.TransformVector({0.0f, 1.0f, 0.0f}).Dot(out) < 0.0f) angle = -angle;
        float lag = 0.25f * static_cast<float>(p);
        k.Rotations(bones[4 + p],
                    {{0.0f, Quaternion()}, {2.0f + lag, Quaternion()}, {9.0f + lag, AxisAngle(axis, angle)}}, true, 1,
                    1, 0.4f);
    }

    Builder b;
    Stem(b);
    std::size_t stemIndices = b.mesh.indices.size();
    for (int p = 0; p < kPetals; ++p) Petal(b, p);
    std::size_t petalIndices = b.mesh.indices.size();
    Heart(b);
    b.mesh.ComputeNormals();

    std::uint32_t flower = k.Node("flower", NONE, {0.0f, 0.0f, 0.0f});
    MeshData stemPart;
    stemPart.vertices = b.mesh.vertices;
    stemPart.indices.assign(b.mesh.indices.begin(), b.mesh.indices.begin() + static_cast<long>(stemIndices));
    KlxMesh& mesh = k.Mesh(flower, stemPart, kStem);
    KlxFaceGroup petals;
    petals.materialId = kPetal;
    petals.indices.assign(b.mesh.indices.begin() + static_cast<long>(stemIndices),
                          b.mesh.indices.begin() + static_cast<long>(petalIndices));
    mesh.faceGroups.push_back(petals);
    KlxFaceGroup heart;
    heart.materialId = kHeart;
    heart.indices.assign(b.mesh.indices.begin() + static_cast<long>(petalIndices), b.mesh.indices.end());
    mesh.faceGroups.push_back(heart);
    for (std::uint32_t i = 0; i < 4 + kPetals; ++i) mesh.bones.push_back(bones[i]);
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) mesh.vertices[v].weights = b.weights[v];

    // Moss underfoot, lit by a baked pool of light.
    MeshData ground = Lathe({{0.0f, 0.0f}, {40.0f, 0.0f}, {90.0f, -3.0f}, {160.0f, -12.0f}}, 40);
    ground.OrientUp();
    ground.ComputeNormals();
    for (KlxVertex& v : ground.vertices) {
        v.uv[0] = Vector2(v.position.x / 40.0f, v.position.z / 40.0f);
        v.uv[1] = Vector2(0.5f + v.position.x / 320.0f, 0.5f + v.position.z / 320.0f);
    }
    k.Mesh(k.Node("ground", NONE, {0.0f, 0.0f, 0.0f}), ground, kMoss, groundLight, 2);

    std::uint32_t sun = k.Node("sun", NONE, {0.0f, 200.0f, 0.0f}, AimY({0.4f, -0.8f, 0.5f}));
    k.Light(sun, 5, 0xFFFFE8D0, 0x1 | 0x2 | 0x4);
    std::uint32_t glow = k.Node("glow", NONE, {-40.0f, 90.0f, -50.0f});
    k.Light(glow, 1, 0xFFB060FF, 0x1 | 0x2 | 0x40, 200.0f);

    std::uint32_t cam = k.Node("camera", NONE, {0.0f, 30.0f, -110.0f});
    k.Positions(cam,
                {{0.0f, {-20.0f, 35.0f, -120.0f}}, {8.0f, {10.0f, 80.0f, -105.0f}}, {16.0f, {45.0f, 110.0f, -80.0f}}},
                true, 1, 1, 0.3f);
    std::uint32_t target = k.Node("camera-target", NONE, {0.0f, 60.0f, 0.0f});
    k.Positions(target, {{0.0f, {0.0f, 55.0f, 0.0f}}, {16.0f, {0.0f, 75.0f, 0.0f}}}, true, 1, 1, 0.3f);
    k.SetTarget(cam, target);
    k.Camera(cam, 1.0f, 2.0f, 2000.0f, 60.0f, 420.0f);

    std::vector<ArchiveEntry> out;
    out.push_back({dir + "kukka.klx", k.Finish()});
    out.push_back({dir + "stem.jpg", StemTexture().Jpeg(90)});
    out.push_back({dir + "petal.jpg", PetalTexture().Jpeg(90)});
    out.push_back({dir + "heart.jpg", OrbTexture(0xFFC040).Jpeg(90)});
    out.push_back({dir + "moss.jpg", MossTexture().Jpeg(88)});
    return out;
}

}  // namespace content
