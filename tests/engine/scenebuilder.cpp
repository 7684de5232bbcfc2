#include "engine/scenebuilder.h"
#include <gtest/gtest.h>
#include <functional>
#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "cvcore/filestream.h"
#include "engine/klxdocument.h"
#include "engine/klxwriter.h"
#include "engine/material.h"
#include "engine/skintrimesh.h"
#include "engine/vatrimesh.h"
#include "tracedevice.h"
#include "scratchdir.h"

using tracetest::LinesWith;
using tracetest::MakeSceneDevice;
using tracetest::TraceDevice;

namespace {

KlxNode Node(uint32_t id, uint32_t parent, uint32_t target, const Vector3& position = {}) {
    KlxNode node;
    node.id = id;
    node.parentId = parent;
    node.targetId = target;
    node.position = position;
    node.SetDefaultTracks();
    return node;
}

KlxVertex Vertex(float x, float u = 0.0f) {
    KlxVertex v;
    v.position = {x, 0.0f, 0.0f};
    v.normal = {0.0f, 1.0f, 0.0f};
    v.color = 0xFF123456;
    v.uv[0] = {u, 2.0f * u};
    return v;
}

KlxMesh Mesh(uint32_t nodeId, size_t vertices, uint32_t material, uint32_t indexType = KLX_TRIANGLE_LIST) {
    KlxMesh mesh;
    mesh.nodeId = nodeId;
    mesh.vertexFlags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | KLX_VERTEX_COLOR | (1u << KLX_VERTEX_SET_SHIFT);
    for (size_t v = 0; v < vertices; ++v) {
        mesh.vertices.push_back(Vertex(static_cast<float>(v), 0.1f));
    }
    KlxFaceGroup group;
    group.materialId = material;
    group.indexType = indexType;
    group.indices = {0, 1, 2};
    mesh.faceGroups.push_back(group);
    return mesh;
}

// Ids: 1 camera, 2 mesh, 3 dummy, 4 light, 5 skinned mesh, 6 morphing mesh,
// 8 terrain. No KLX node has id 0 or 99.
KlxDocument SmallDocument() {
    KlxDocument doc;
    doc.sceneTime = {100, 1000, 30, 160, 7};
    doc.fog = true;
    doc.environment.fogColor = 0xFF336699;
    doc.environment.fogNear = 0.25f;
    doc.environment.fogFar = 4.0f;

    KlxMaterial opaque;
    opaque.id = 5;
    KlxMaterial glass;
    glass.id = 6;
    glass.opacity = 0.5f;
    doc.materials = {opaque, glass};

    doc.nodes = {Node(1, 0, 2), Node(2, 3, 0), Node(3, 99, 0, {5.0f, 0.0f, 0.0f}), Node(4, 0, 2), Node(5, 0, 0),
                 Node(6, 0, 0), Node(8, 0, 0)};
    doc.nodes[1].objectOffset = Matrix4::Translation(0.0f, 1.0f, 0.0f);
    doc.nodes[4].bindPose = Matrix4::Translation(0.0f, 0.0f, 2.0f);

    KlxCamera camera;
    camera.nodeId = 1;
    camera.fieldOfView = 1.0f;
    camera.nearClip = 3.0f;
    doc.cameras = {camera};

    KlxLight light;
    light.nodeId = 4;
    light.kind = 2;
    light.color = 0xFFFF8000;
    light.flags = 0x1 | 0x2 | 0x40;
    light.range = 10.0f;
    doc.lights = {light};

    KlxMesh skinned = Mesh(5, 3, 5);
    skinned.bones = {3, 77};
    skinned.vertices[0].weights = {{0, 1.0f}};
    skinned.vertices[1].weights = {{1, 0.5f}, {9, 0.5f}};  // bone 9 is not in the list
    skinned.frames.resize(2);                              // ignored for a skinned mesh

    KlxMesh morphing = Mesh(6, 3, 5);
    for (uint32_t k = 0; k < 2; ++k) {
        KlxFrame frame;
        frame.time = 100 * k;
        for (int v = 0; v < 3; ++v) {
            frame.vertices.push_back(Vertex(10.0f * static_cast<float>(k + 1)));
        }
        morphing.frames.push_back(frame);
    }
    KlxMesh terrain = Mesh(8, 4018, 6, KLX_TRIANGLE_STRIP);
    terrain.faceGroups[0].lightMap = 0;

    doc.meshes = {Mesh(2, 3, 5), skinned, morphing, terrain};
    return doc;
}

struct BuilderTest : ::testing::Test {
    void SetUp() override {
        device = MakeSceneDevice();
        document = SmallDocument();
    }

    void Build() { SceneBuilder(scene, *device, document).Build(); }
    SceneNode* Object(int32_t id) { return scene.FindObjectSlot(id)->node; }

    TraceDevice device;
    KlxDocument document;
    Scene scene;
};

TEST_F(BuilderTest, TimeFogAndMaterials) {
    Build();
    EXPECT_EQ(scene.time.startTick, 100);
    EXPECT_EQ(scene.time.ticksPerFrame, 160);
    EXPECT_EQ(scene.time.reserved, 7);
    EXPECT_EQ(scene.fogEnabled, 1);
    EXPECT_EQ(scene.fogColor, 0xFF336699u);
    EXPECT_EQ(scene.fogFarDivisor, 4.0f);
    // Two materials plus the light-map variant the terrain asked for.
    EXPECT_EQ(scene.GetMaterialCount(), 3);
    EXPECT_EQ(static_cast<TriMesh*>(Object(2))->GetSubmesh(0).material, scene.FindMaterial(5, -1));
    EXPECT_EQ(static_cast<TriMesh*>(Object(8))->GetSubmesh(0).material, scene.FindMaterial(6, 0));
    EXPECT_EQ(scene.FindMaterial(6, -1)->opacity, 0.5f);
}

TEST_F(BuilderTest, CamerasTakeTheRenderTargetAspect) {
    Build();
    ASSERT_EQ(scene.GetCameraCount(), 1);
    const CameraParameters& p = scene.GetCamera(0)->GetParameters();
    EXPECT_FLOAT_EQ(p.fovVertical, 0.75f);  // 480 / 640
    EXPECT_EQ(p.clip, 0u);
    EXPECT_EQ(scene.GetCamera(0)->GetFrustum().nearZ, 1.0f);
    EXPECT_EQ(scene.FindSlot(1)->objectFlag, 0);
}

TEST_F(BuilderTest, ObjectsHangBelowTransformNodes) {
    Build();
    SceneNode* mesh = Object(2);
    SceneNode* dummy = Object(3);
    SceneNode* meshTransform = mesh->GetParent();
    SceneNode* dummyTransform = dummy->GetParent();
    ASSERT_NE(meshTransform, nullptr);
    ASSERT_NE(dummyTransform, nullptr);
    // The mesh's transform node hangs below the dummy's transform node; a
    // parent id that names no node leaves the dummy's under the root.
    EXPECT_EQ(meshTransform->GetParent(), dummyTransform);
    EXPECT_EQ(dummyTransform->GetParent(), &scene);
    EXPECT_EQ(dummy->hookFlags, 0);
    // Object offset, then the node pose at the start tick, then the parent.
    EXPECT_EQ(mesh->GetWorld().GetTranslation(), Vector3(5.0f, 1.0f, 0.0f));
    // Transform nodes are registered under id 0 with object flag 0.
    int32_t transforms = 0;
    for (int32_t i = 0; i < scene.GetSlotCount(); ++i) {
        transforms += scene.GetSlot(i).transformNode ? 1 : 0;
    }
    EXPECT_EQ(transforms, 6);  // every node but the camera
    EXPECT_EQ(scene.GetSlot(0).node, scene.GetCamera(0));
}

TEST_F(BuilderTest, IdsWithoutNodesMeanNoNode) {
    Build();
    // Camera and light name parent 0, which no KLX node has: they must not
    // land below the first transform node (registered with id 0).
    EXPECT_EQ(scene.GetCamera(0)->GetParent(), &scene);
    EXPECT_EQ(scene.GetLights()[0]->GetParent()->GetParent(), &scene);
    EXPECT_EQ(scene.GetCamera(0)->GetTarget(), Object(2));
    EXPECT_EQ(Object(2)->GetTarget(), nullptr);
}

TEST_F(BuilderTest, LightsFromTheirRecords) {
    Build();
    ASSERT_EQ(scene.GetLights().size(), 1u);
    SceneLight* light = scene.GetLights()[0];
    EXPECT_EQ(light->light.Type, D3DLIGHT_SPOT);
    EXPECT_FLOAT_EQ(light->light.Diffuse.g, 128.0f * 0.003921569f);
    EXPECT_EQ(light->light.Specular.r, 0.0f);
    EXPECT_EQ(light->light.Ambient.r, 1.0f);
    EXPECT_FLOAT_EQ(light->light.Attenuation2, 0.1f);
    EXPECT_EQ(light->light.Range, 10.0f);
    EXPECT_FALSE(light->IsHidden());
    EXPECT_EQ(light->GetTarget(), Object(2));
}

TEST_F(BuilderTest, MeshClassesAndVertices) {
    Build();
    auto* plain = dynamic_cast<TriMesh*>(Object(2));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(dynamic_cast<VATriMesh*>(plain), nullptr);
    EXPECT_NE(dynamic_cast<SkinTriMesh*>(Object(5)), nullptr);
    ASSERT_EQ(scene.GetVertexAnimatedMeshes().size(), 1u);
    EXPECT_EQ(scene.GetVertexAnimatedMeshes()[0], Object(6));

    EXPECT_EQ(plain->GetFVF(), static_cast<uint32_t>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_EQ(plain->bounds.flags & 3, 3);
    EXPECT_EQ(plain->bounds.boxMaximum.x, 2.0f);
    plain->LockVertices(TriMesh::LOCK_READ_ONLY);
    EXPECT_EQ(plain->GetVertex(1).diffuse, 0x00FFFFFFu);  // the file colour is not used
    plain->UnlockVertices(0);
}

TEST_F(BuilderTest, The4018VertexMeshGetsADetailSet) {
    Build();
    auto* terrain = static_cast<TriMesh*>(Object(8));
    EXPECT_EQ(terrain->GetTexCoordCount(), 2);
    terrain->LockVertices(TriMesh::LOCK_READ_ONLY);
    const MeshVertex v = terrain->GetVertex(4017);
    terrain->UnlockVertices(0);
    EXPECT_FLOAT_EQ(v.texCoords[1].u, 1.5f);
    EXPECT_FLOAT_EQ(v.texCoords[1].v, 3.0f);
    EXPECT_EQ(terrain->GetSubmesh(0).primitiveType, D3DPT_TRIANGLESTRIP);

    // Without a set in the file there is nothing to repeat.
    document.meshes[3].vertexFlags = KLX_VERTEX_POSITION;
    Scene other;
    SceneBuilder(other, *device, document).Build();
    EXPECT_EQ(static_cast<TriMesh*>(other.FindObjectSlot(8)->node)->GetTexCoordCount(), 0);
}

TEST_F(BuilderTest, SkinAndMorphFilling) {
    Build();
    auto* skin = static_cast<SkinTriMesh*>(Object(5));
    EXPECT_EQ(skin->GetBind().GetTranslation(), Vector3(0.0f, 0.0f, 2.0f));
    ASSERT_EQ(skin->GetBoneCount(), 2);
    EXPECT_EQ(skin->GetBone(0).node, Object(3));
    EXPECT_EQ(skin->GetBone(1).node, nullptr);  // no node 77
    EXPECT_EQ(skin->GetSkinVertex(0).weightCount, 1);
    EXPECT_EQ(skin->GetSkinVertex(1).weightCount, 1);  // the pair for bone 9 is dropped
    EXPECT_EQ(skin->GetSkinVertex(1).weights[0], 0.5f);
    EXPECT_EQ(skin->GetSkinVertex(2).weightCount, 0);
    EXPECT_EQ(skin->GetSkinVertex(2).bindPosition, Vector3(2.0f, 0.0f, 2.0f));

    auto* morph = static_cast<VATriMesh*>(Object(6));
    ASSERT_EQ(morph->GetFrameCount(), 2);
    EXPECT_EQ(morph->GetFrameTime(1), 100);
    scene.Update(0.0f);  // tick 100 (the start): frame 1
    morph->LockFrame(0, TriMesh::LOCK_READ_ONLY);
    EXPECT_EQ(morph->GetFrameVertex(0, 2).position.x, 10.0f);
    morph->UnlockFrame(0);
}

TEST_F(BuilderTest, PicturesThatDidNotDecodeGetNoTexture) {
    // The reader keeps an undecodable picture's number; the build goes on,
    // and the pictures after it keep theirs.
    document.images.resize(2);
    document.images[1].image = cvcore::Image(4, 4, cvcore::PixelFormat::Standard(cvcore::FORMAT_R8G8B8));
    document.meshes[3].faceGroups.push_back(document.meshes[3].faceGroups[0]);
    document.meshes[3].faceGroups[1].lightMap = 1;
    Build();
    ASSERT_EQ(scene.GetTextureCount(), 2);
    EXPECT_EQ(scene.GetTexture(0), nullptr);
    ASSERT_NE(scene.GetTexture(1), nullptr);
    const auto* terrain = static_cast<TriMesh*>(Object(8));
    EXPECT_EQ(terrain->GetSubmesh(0).material, scene.FindMaterial(6, 0));
    EXPECT_EQ(terrain->GetSubmesh(1).material->stages[0].texture, scene.GetTexture(1));
}

TEST_F(BuilderTest, UnknownIndexTypeStopsTheBuild) {
    document.meshes[0].faceGroups[0].indexType = 2;
    try {
        Build();
        FAIL() << "no exception";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "Unknown indexbuffer type!");
        EXPECT_STREQ(e.Message().Text(), "Error!");
        EXPECT_STREQ(e.File().Text(), "scenegraphklx");
    }
}

// A track of the dummy (node 3) that covers ticks 200..300 only: the scene
// starts at tick 100, before it.
void GiveDummyTrack(KlxDocument& document, uint32_t ort) {
    KlxTrack<PositionKey>& track = document.nodes[2].positionTrack;
    track = {};
    track.start = 200;
    track.end = 300;
    track.ort = ort;
    PositionKey key;
    track.Add(200, key);
    key.value = {0.0f, 10.0f, 0.0f};
    track.Add(300, key);
}

void ExpectControllerError(const std::function<void()>& action, const char* message) {
    try {
        action();
        FAIL() << "no exception";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "PRSController::TimeAdjust()");
        EXPECT_STREQ(e.Message().Text(), message);
        EXPECT_STREQ(e.File().Text(), "prscontroller");
    }
}

TEST_F(BuilderTest, BadOutOfRangeTypesLeaveBuildAndUpdate) {
    // The pose at the start tick already needs the type before the range.
    GiveDummyTrack(document, MakeOrt(0, ORT_CONSTANT));
    ExpectControllerError([&] { Build(); }, "Incompatible Before ort!");

    // A type that only the time after the range needs is met by Update.
    GiveDummyTrack(document, MakeOrt(ORT_CONSTANT, 7));
    Scene other;
    SceneBuilder(other, *device, document).Build();
    SceneNode* transform = other.FindObjectSlot(3)->node->GetParent();
    EXPECT_EQ(transform->GetLocal().GetTranslation(), Vector3());                   // held at the first key
    other.Update(0.04f);                                                            // tick 192: still before the range
    ExpectControllerError([&] { other.Update(0.1f); }, "Incompatible After ort!");  // tick 480
}

TEST_F(BuilderTest, ParentLoopsAreNotLinked) {
    document.nodes[1].parentId = 3;  // 2 below 3
    document.nodes[2].parentId = 2;  // and 3 below 2
    Build();
    // One link is refused; every node still reaches the root.
    for (int32_t id : {2, 3}) {
        int32_t depth = 0;
        SceneNode* n = Object(id);
        while (n != nullptr && n != &scene && depth < 10) {
            n = n->GetParent();
            ++depth;
        }
        EXPECT_EQ(n, &scene) << id;
    }
}

TEST_F(BuilderTest, AHundredThousandNodeChainLoadsUpdatesAndRenders) {
    // Node k hangs below node k - 1, listed top down; the top one moves
    // along x and a mesh hangs at the bottom. Linking must stay linear and
    // nothing on the way may recurse down the chain.
    constexpr uint32_t kNodes = 100000;
    KlxDocument chain;
    chain.sceneTime = {0, 1000, 30, 160, 0};
    chain.materials = document.materials;
    for (uint32_t id = 1; id <= kNodes; ++id) {
        chain.nodes.push_back(Node(id, id - 1, 0));
    }
    KlxTrack<PositionKey>& track = chain.nodes[0].positionTrack;
    track = {};
    track.end = 1000;
    track.ort = MakeOrt(ORT_CONSTANT, ORT_CONSTANT);
    PositionKey key;
    track.Add(0, key);
    key.value = {1000.0f, 0.0f, 0.0f};
    track.Add(1000, key);
    chain.nodes.push_back(Node(kNodes + 1, 0, 0, {0.0f, 0.0f, -10.0f}));
    chain.cameras = document.cameras;
    chain.cameras[0].nodeId = kNodes + 1;
    chain.meshes = {Mesh(kNodes, 3, 5)};

    SceneBuilder(scene, *device, chain).Build();
    SceneNode* mesh = Object(static_cast<int32_t>(kNodes));
    scene.Update(0.001f);  // tick 4.8
    D3D8Trace_Clear();
    scene.Render(*device, *scene.GetCamera(0));
    EXPECT_EQ(LinesWith("DrawIndexedPrimitive(").size(), 1u);
    EXPECT_NEAR(mesh->GetWorld().GetTranslation().x, 4.8f, 1e-3f);
}

TEST_F(BuilderTest, LoadReadsKlxFilesThroughTheBasePath) {
    testsupport::ScratchDir dir;
    document.meshes[1].frames.clear();  // frames the writer cannot give vertices
    KlxWriter writer;
    writer.WriteDocument(document);
    writer.Save((dir / "small.KLX").c_str());
    const cvcore::String saved = cvcore::GetBasePath();
    cvcore::SetBasePath((dir.Path() + "/").c_str());
    scene.Load(*device, "small.KLX");
    cvcore::SetBasePath(saved.Text());
    EXPECT_EQ(scene.GetCameraCount(), 1);
    EXPECT_EQ(scene.GetLights().size(), 1u);
    EXPECT_EQ(scene.GetVertexAnimatedMeshes().size(), 1u);
    EXPECT_NE(dynamic_cast<SkinTriMesh*>(Object(5)), nullptr);
    EXPECT_EQ(static_cast<TriMesh*>(Object(8))->GetVertexCount(), 4018);
}

TEST_F(BuilderTest, LoadIgnoresOtherExtensions) {
    scene.Load(*device, "picture.tga");
    scene.Load(*device, "noextension");
    EXPECT_EQ(scene.GetNodeList().Count(), 0);
}

}  // namespace
