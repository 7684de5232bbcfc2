// The scene system end to end on the OpenGL back end: a small scene with a
// skinned ribbon, a morphing pyramid, a translucent pane, a fogged floor and
// a point light, built from a document, posed, rendered offscreen and
// compared with the kept picture.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include "engine/device3d.h"
#include "engine/klxdocument.h"
#include "engine/scenebuilder.h"
#include "goldenimage.h"
#include "tracedevice.h"

using tracetest::MakeSceneDevice;

namespace {

constexpr uint32_t kFlags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL;

KlxNode Node(uint32_t id, uint32_t parent, const Vector3& position, uint32_t target = 0) {
    KlxNode node;
    node.id = id;
    node.parentId = parent;
    node.targetId = target;
    node.position = position;
    node.bindPose = Matrix4::Translation(position);
    node.SetDefaultTracks();
    return node;
}

KlxVertex V(float x, float y, float z, const Vector3& normal) {
    KlxVertex v;
    v.position = {x, y, z};
    v.normal = normal;
    return v;
}

KlxMaterial Colour(uint32_t id, uint32_t ambient, float opacity = 1.0f) {
    KlxMaterial m;
    m.id = id;
    m.ambient = ambient;
    m.diffuse = 0xFFFFFFFF;
    m.opacity = opacity;
    m.flags = 1;  // two-sided
    return m;
}

void AddQuads(KlxMesh& mesh, uint32_t material, uint16_t columns, uint16_t rows) {
    KlxFaceGroup group;
    group.materialId = material;
    for (uint16_t r = 0; r < rows; ++r) {
        for (uint16_t c = 0; c < columns; ++c) {
            const auto at = [&](uint16_t rr, uint16_t cc) { return static_cast<uint16_t>(rr * (columns + 1) + cc); };
            group.indices.insert(group.indices.end(),
                                 {at(r, c), at(r + 1, c), at(r + 1, c + 1), at(r, c), at(r + 1, c + 1), at(r, c + 1)});
        }
    }
    mesh.faceGroups.push_back(group);
}

// A ribbon two wide and four high, bound at x = -2.5; the upper half follows
// bone 12, which bends about z over the animation.
KlxMesh Ribbon() {
    KlxMesh mesh;
    mesh.nodeId = 10;
    mesh.vertexFlags = kFlags;
    mesh.bones = {11, 12};
    for (int i = 0; i <= 8; ++i) {
        const float y = 0.5f * static_cast<float>(i);
        const float upper = std::clamp((y - 1.5f) / 1.0f, 0.0f, 1.0f);
        for (float x : {-1.0f, 1.0f}) {
            KlxVertex v = V(x, y, 0.0f, {0.0f, 0.0f, -1.0f});
            v.weights = {{0, 1.0f - upper}, {1, upper}};
            mesh.vertices.push_back(v);
        }
    }
    AddQuads(mesh, 1, 1, 8);
    return mesh;
}

// A square whose centre rises toward the camera from frame 0 to frame 1.
KlxMesh Pyramid() {
    KlxMesh mesh;
    mesh.nodeId = 20;
    mesh.vertexFlags = kFlags;
    for (int r = 0; r <= 2; ++r) {
        for (int c = 0; c <= 2; ++c) {
            mesh.vertices.push_back(V(static_cast<float>(c - 1), static_cast<float>(r), 0.0f, {0, 0, -1}));
        }
    }
    for (uint32_t k = 0; k < 2; ++k) {
        KlxFrame frame;
        frame.time = 1000 * k;
        for (const KlxVertex& base : mesh.vertices) {
            KlxVertex v = base;
            const float dx = base.position.x, dy = base.position.y - 1.0f;
            if (k == 1) {
                v.position.z = (dx == 0.0f && dy == 0.0f) ? -1.5f : 0.0f;
                v.normal = Vector3(dx, dy, -1.0f).Normalized();
            }
            frame.vertices.push_back(v);
        }
        mesh.frames.push_back(frame);
    }
    AddQuads(mesh, 2, 2, 2);
    return mesh;
}

KlxMesh Flat(uint32_t nodeId, uint32_t material, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d,
             const Vector3& normal) {
    KlxMesh mesh;
    mesh.nodeId = nodeId;
    mesh.vertexFlags = kFlags;
    for (const Vector3& p : {a, b, c, d}) {
        mesh.vertices.push_back(V(p.x, p.y, p.z, normal));
    }
    AddQuads(mesh, material, 1, 1);
    return mesh;
}

// Fog is worked out per vertex, so the floor needs vertices along its depth.
KlxMesh Floor() {
    KlxMesh mesh;
    mesh.nodeId = 40;
    mesh.vertexFlags = kFlags;
    constexpr uint16_t kColumns = 6, kRows = 24;
    for (uint16_t r = 0; r <= kRows; ++r) {
        for (uint16_t c = 0; c <= kColumns; ++c) {
            mesh.vertices.push_back(V(-12.0f + 4.0f * c, 0.0f, -6.0f + 4.0f * r, {0.0f, 1.0f, 0.0f}));
        }
    }
    AddQuads(mesh, 4, kColumns, kRows);
    return mesh;
}

KlxDocument PictureDocument() {
    KlxDocument doc;
    doc.sceneTime = {0, 1000, 30, 160, 0};
    doc.fog = true;
    doc.environment.fogColor = 0xFF405070;
    doc.environment.fogNear = 0.0f;
    doc.environment.fogFar = 1.0f;
    doc.materials = {Colour(1, 0xFFC03020), Colour(2, 0xFF20B040), Colour(3, 0xFF3060FF, 0.5f), Colour(4, 0xFF909090)};

    doc.nodes = {
        Node(1, 0, {0.0f, 3.0f, -10.0f}, 2), Node(2, 0, {0.0f, 1.0f, 0.0f}),   Node(3, 0, {-4.0f, 6.0f, -6.0f}),
        Node(10, 0, {-2.5f, 0.0f, 0.0f}),    Node(11, 0, {-2.5f, 0.0f, 0.0f}), Node(12, 11, {0.0f, 2.0f, 0.0f}),
        Node(20, 0, {2.5f, 0.0f, 0.0f}),     Node(30, 0, {0.0f, 0.0f, -3.0f}), Node(40, 0, {})};
    // Bone 12 sits at (-2.5, 2, 0) in the bind pose and bends 50 degrees.
    KlxNode& bone = doc.nodes[5];
    bone.bindPose = Matrix4::Translation(-2.5f, 2.0f, 0.0f);
    bone.rotationTrack = {};
    bone.rotationTrack.ort = MakeOrt(ORT_CONSTANT, ORT_CONSTANT);
    bone.rotationTrack.end = 1000;
    const float half = 0.5f * 50.0f * 3.1415927f / 180.0f;
    bone.rotationTrack.Add(0, RotationKey{});
    RotationKey bent;
    bent.value = Quaternion(0.0f, 0.0f, std::sin(half), std::cos(half));
    bone.rotationTrack.Add(1000, bent);

    KlxCamera camera;
    camera.nodeId = 1;
    camera.environmentNear = 6.0f;
    camera.environmentFar = 25.0f;
    camera.fieldOfView = 1.0f;
    camera.flags = 1;
    camera.nearClip = 0.5f;
    camera.farClip = 200.0f;
    doc.cameras = {camera};

    KlxLight light;
    light.nodeId = 3;
    light.kind = 1;
    light.color = 0xFFB0B0B0;
    light.flags = 0x1 | 0x2;
    doc.lights = {light};

    doc.meshes = {
        Ribbon(), Pyramid(),
        Flat(30, 3, {-1.5f, 0.5f, 0.0f}, {1.5f, 0.5f, 0.0f}, {-1.5f, 2.5f, 0.0f}, {1.5f, 2.5f, 0.0f}, {0, 0, -1}),
        Floor()};
    return doc;
}

TEST(ScenePicture, SkinMorphGlassFogAndLight) {
    auto device = MakeSceneDevice(false);
    Scene scene;
    const KlxDocument document = PictureDocument();
    SceneBuilder(scene, *device, document).Build();
    ASSERT_EQ(scene.GetCameraCount(), 1);

    IDirect3DDevice8* d3d = device->GetDevice();
    scene.Update(0.125f);  // tick 600: bent 30 degrees, pyramid 60 % raised
    d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, scene.fogColor, 1.0f, 0);
    d3d->BeginScene();
    scene.ApplyFog(*device, *scene.GetCamera(0));
    scene.Render(*device, *scene.GetCamera(0));
    d3d->EndScene();

    RgbaPicture frame;
    ASSERT_EQ(D3D8_ReadBackBuffer(d3d, nullptr, 0, &frame.width, &frame.height), D3D_OK);
    frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height);
    ASSERT_EQ(D3D8_ReadBackBuffer(d3d, frame.pixels.data(), frame.width * 4, &frame.width, &frame.height), D3D_OK);
    ASSERT_TRUE(WritePng("scene_picture.png", frame));

    // Every mesh was drawn: nothing culled.
    EXPECT_EQ(scene.nodesPassed, 4);

    if (UpdatingGolden()) {
        ASSERT_TRUE(WritePng(GoldenPath("scene_picture"), frame));
    }
    RgbaPicture golden;
    ASSERT_TRUE(ReadPng(GoldenPath("scene_picture"), golden)) << "no kept picture; see scene_picture.png";
    const size_t differing = CountDifferentPixels(frame, golden, 6);
    EXPECT_LT(differing, frame.pixels.size() / 200) << "differs from the kept picture; see scene_picture.png";
}

}  // namespace
