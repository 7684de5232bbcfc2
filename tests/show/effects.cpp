// The effects' exact draw calls and vertex data, on the trace back end.
#include <gtest/gtest.h>

#include <d3d8ext.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "background.h"
#include "credits.h"
#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "engine/device3d.h"
#include "engine/klxdocument.h"
#include "engine/klxwriter.h"
#include "engine/scene.h"
#include "engine/trimesh.h"
#include "layerburst.h"
#include "lightfloor.h"
#include "meshburst.h"
#include "particlesystem.h"
#include "screen2d.h"
#include "wobler.h"

namespace fs = std::filesystem;

namespace {

int CountLines(const std::string& needle) {
    int n = 0;
    for (const std::string& line : D3D8Trace_Lines())
        if (line.find(needle) != std::string::npos) ++n;
    return n;
}

// The vertices the effect left in stream 0.
std::vector<ScreenVertex> StreamVertices(IDirect3DDevice8* d, int count) {
    IDirect3DVertexBuffer8* vb = nullptr;
    UINT stride = 0;
    std::vector<ScreenVertex> out;
    if (FAILED(d->GetStreamSource(0, &vb, &stride)) || !vb) return out;
    BYTE* data = nullptr;
    if (SUCCEEDED(vb->Lock(0, 0, &data, D3DLOCK_READONLY))) {
        auto* v = reinterpret_cast<const ScreenVertex*>(data);
        out.assign(v, v + count);
        vb->Unlock();
    }
    vb->Release();
    return out;
}

int Alpha(const ScreenVertex& v) { return static_cast<int>(v.diffuse >> 24); }

uint32_t Fnv1a(const void* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        h ^= static_cast<const uint8_t*>(data)[i];
        h *= 16777619u;
    }
    return h;
}

class EffectsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("halcyon2-effects-" + std::to_string(getpid()));
        fs::create_directories(dir);
        for (const char* name : {"tex.tga", "cloud.tga", "text.tga", "picture.tga"}) {
            const std::string cmd = "convert -size 16x16 xc:'#80808080' -depth 8 '" + (dir / name).string() + "'";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        fs::copy_file(dir / "cloud.tga", dir / "bluecloud.tga");
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    void SetUp() override {
        D3D8Trace_Enable();
        device = std::make_unique<Device3D>();
        DeviceSettings settings{0, nullptr, 640, 480, 60, D3DFMT_X8R8G8B8, 0};
        device->CreateDevice(settings);
        cvcore::SetBasePath((dir.string() + "/").c_str());
        D3D8Trace_Clear();
    }
    void TearDown() override {
        device.reset();
        D3D8Trace_Disable();
    }
    IDirect3DDevice8* D() { return device->GetDevice(); }

    static fs::path dir;
    std::unique_ptr<Device3D> device;
};
fs::path EffectsTest::dir;

}  // namespace

TEST(WobblerGrid, OneStripOverTheWholeGrid) {
    const std::vector<uint16_t> strip = BuildGridStrip(32, 24);
    ASSERT_EQ(strip.size(), 1518u);
    EXPECT_EQ(strip[0], 0);
    EXPECT_EQ(strip[1], 0);
    EXPECT_EQ(strip[2], 32);
    EXPECT_EQ(strip[64], 63);
    EXPECT_EQ(strip[65], 63);  // the row pair ends on a repeated index
    EXPECT_EQ(strip[66], 32);  // the next row pair starts on one
    for (uint16_t i : strip) EXPECT_LT(i, 768);
}

TEST_F(EffectsTest, WobblerDrawsTheGridAndSaturatesItsAlpha) {
    Wobbler wobbler(*device, "tex.tga");
    wobbler.DrawWarp(0.0f, 1.0f, false);
    EXPECT_EQ(CountLines("DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 768, 0, 1516)"), 1);
    std::vector<ScreenVertex> v = StreamVertices(D(), 768);
    ASSERT_EQ(v.size(), 768u);
    int highest = 0;
    for (const ScreenVertex& x : v) highest = std::max(highest, Alpha(x));
    EXPECT_LE(highest, 252);  // the plasma never reaches full opacity
    EXPECT_FLOAT_EQ(v[0].x, -100.0f);
    EXPECT_FLOAT_EQ(v[767].y, -100.0f);

    wobbler.DrawWarp(1.0f, 0.0f, true);
    for (const ScreenVertex& x : StreamVertices(D(), 768)) ASSERT_EQ(Alpha(x), 0);
    wobbler.DrawWarp(1.0f, 3.0f, true);
    for (const ScreenVertex& x : StreamVertices(D(), 768)) ASSERT_EQ(Alpha(x), 255);

    wobbler.DrawLogo(0.0f, 1.0f);  // untouched texture coordinates at time 0
    v = StreamVertices(D(), 768);
    EXPECT_FLOAT_EQ(v[0].u, 0.0f);
    EXPECT_NEAR(v[31].u, 1.0f, 1e-5);
    EXPECT_NEAR(v[767].v, 1.0f, 1e-5);
}

TEST_F(EffectsTest, BackgroundAlphasFollowIntensity) {
    BackgroundLayers layers(*device);
    layers.AddLayer("tex.tga");
    layers.Draw(0.0f, 1.0f);  // one layer at phase 0: vertex 0's curve peaks
    std::vector<ScreenVertex> v = StreamVertices(D(), 4);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(Alpha(v[0]), 255);
    layers.Draw(0.0f, 0.0f);
    for (const ScreenVertex& x : StreamVertices(D(), 4)) EXPECT_EQ(Alpha(x), 0);
    layers.AddLayer("cloud.tga");
    layers.AddLayer("picture.tga");
    D3D8Trace_Clear();
    layers.Draw(0.0f, 0.0f);
    EXPECT_EQ(CountLines("DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2)"), 3);  // invisible, still drawn
}

TEST_F(EffectsTest, BurstQuadReachesAlpha72After250Units) {
    LayerBurst burst(*device, "cloud.tga");
    burst.SetCount(1);
    burst.SetPath({0, 0, 500}, 50);
    burst.SetOrigin({0, 0, -250});
    burst.SetAxes({90, 0, 0}, {0, 70, 0});
    burst.SetHold(0);
    burst.SetFade(250);
    burst.Draw(0.0f, true);
    EXPECT_EQ(CountLines("DrawPrimitive("), 0);  // g = 0 draws nothing
    burst.Draw(0.5f, true);
    const std::vector<ScreenVertex> v = StreamVertices(D(), 4);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(Alpha(v[0]), 72);
    EXPECT_FLOAT_EQ(v[0].z, 0.0f);
    EXPECT_FLOAT_EQ(v[0].x, 90.0f);
    EXPECT_FLOAT_EQ(v[0].y, 70.0f);
}

TEST_F(EffectsTest, CreditsPagesAndTheirCrossFade) {
    Credits credits(*device);
    credits.AddPage("text.tga", "picture.tga");
    credits.AddPage("text.tga", "tex.tga");
    D3D8Trace_Clear();
    credits.Draw(0.0f, true);  // page 0 at s = 0: picture and card, no burst yet
    EXPECT_EQ(CountLines("DrawPrimitive("), 2);
    D3D8Trace_Clear();
    credits.Draw(2 * 3.1415927f + 0.02f, true);  // page 1: both pictures at half alpha
    EXPECT_EQ(CountLines("DrawPrimitive("), 4);
    D3D8Trace_Clear();
    credits.Draw(100.0f, true);  // past the last page: states only
    EXPECT_EQ(CountLines("DrawPrimitive("), 0);
    EXPECT_EQ(CountLines("SetRenderState(D3DRS_ZWRITEENABLE, 1)"), 1);
}

TEST_F(EffectsTest, CreditsDrawOnlyCompletePages) {
    Credits credits(*device);
    credits.AddPage("text.tga", "picture.tga");
    EXPECT_EQ(credits.PageCount(), 1);
}

TEST_F(EffectsTest, ParticlesEmitByFrameTimeAndDieInBirthOrder) {
    ParticleSystem smoke(*device, "tex.tga");
    smoke.SetRate(0.15f);
    smoke.SetLifetime(2.5f);
    smoke.SetBox({100, 40, 400}, {-100, -20, -200});
    smoke.SetVelocity({0, 15, 0}, {0, 5, 0});
    smoke.SetAlpha(-0.25f, 2.0f);
    smoke.SetSize(0, 3.5f);
    smoke.Run(0.0f, 0.0f);
    EXPECT_TRUE(smoke.Particles().empty());
    smoke.Run(1.0f, 1.0f);
    ASSERT_EQ(smoke.Particles().size(), 150u);
    for (const auto& p : smoke.Particles()) {
        EXPECT_GE(p.position.x, -100.0f);
        EXPECT_LE(p.position.x, 100.0f);
        EXPECT_EQ(p.colour >> 24, 0u);  // invisible at birth
    }
    EXPECT_EQ(CountLines("DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2"), 150);
    smoke.Run(3.9f, 0.0f);  // 2.9 s old: past the 2.5 s life
    EXPECT_TRUE(smoke.Particles().empty());
}

TEST_F(EffectsTest, ALongFrameEmitsManyDrawnInBatchesAndWidensTheSurvivalMargin) {
    ParticleSystem smoke(*device, "tex.tga");
    smoke.SetRate(0.15f);
    smoke.SetLifetime(2.5f);
    smoke.SetBox({-100, -20, -200}, {100, 40, 400});
    smoke.SetAlpha(-0.25f, 2.0f);
    smoke.SetSize(0, 3.5f);
    smoke.Run(10.0f, 10.0f);  // a ten-second stall
    ASSERT_EQ(smoke.Particles().size(), 1500u);
    EXPECT_EQ(CountLines("DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2"), 1500);  // two batch passes
    // 2.6 s old but the frame took 0.1 s: the margin is 2.5 + 0.15 s.
    smoke.Run(12.6f, 0.1f);
    EXPECT_EQ(smoke.Particles().size(), 1515u);
    // A zero-length frame has no margin: the stalled ones go, the new stay.
    smoke.Run(12.61f, 0.0f);
    ASSERT_EQ(smoke.Particles().size(), 15u);
    for (const auto& p : smoke.Particles()) EXPECT_EQ(p.birth, 12.6f);
}

TEST_F(EffectsTest, MeshBurstRayCollapsesForFactorZero) {
    Scene scene;
    TriMesh* mesh = scene.AddNode(std::make_unique<TriMesh>(device.get()));
    mesh->SetParent(&scene);
    mesh->CreateVertexBuffer(3, D3DFVF_XYZ);
    mesh->LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
    const Vector3 corners[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    for (int i = 0; i < 3; ++i) {
        MeshVertex v;
        v.position = corners[i];
        mesh->SetVertex(i, v);
    }
    mesh->UnlockVertices(TriMesh::UNLOCK_SPHERE);
    mesh->SetSubmeshCount(1);
    mesh->CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, nullptr);
    uint16_t* idx = mesh->LockIndices(0);
    idx[0] = 0, idx[1] = 1, idx[2] = 2;
    mesh->UnlockIndices(0);

    MeshBurst burst(*device, scene);
    ASSERT_EQ(burst.GetMesh(), mesh);
    EXPECT_TRUE(mesh->IsHidden());
    burst.Factors() = {0.0f, 2.0f, 1.0f};
    D3D8Trace_Clear();
    burst.Draw(0.0f);
    EXPECT_EQ(CountLines("SetRenderState(D3DRS_TEXTUREFACTOR, 0x0)"), 1);
    EXPECT_EQ(CountLines("DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2"), 3);

    // The first edge (0, 1): vertex 0 has factor 0, so its end is the centre.
    struct RayVertex {
        float x, y, z;
        uint32_t colour;
    };
    const Vector3 c{5, 5, 0};
    const Vector3 q = c + (corners[1] - c) * 2.0f;
    const RayVertex fan[4] = {
        {c.x, c.y, c.z, 0x257F6F5F}, {c.x, c.y, c.z, 0x257F6F5F}, {q.x, q.y, q.z, 0}, {c.x, c.y, c.z, 0}};
    char expected[64];
    std::snprintf(expected, sizeof expected, "data:64:%08x", Fnv1a(fan, sizeof fan));
    EXPECT_EQ(CountLines(expected), 1) << D3D8Trace_Log();
}

TEST_F(EffectsTest, MeshBurstWithoutAMeshReportsNodeNotFound) {
    Scene scene;
    try {
        MeshBurst burst(*device, scene);
        FAIL();
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "Node not found!");
        EXPECT_STREQ(e.Message().Text(), "Error!");
        EXPECT_STREQ(e.File().Text(), "layerburst");
    }
}

TEST_F(EffectsTest, OverlayClampsAlphaAndIgnoresTheColoursTopByte) {
    Begin2D(*device);
    Overlay(*device, 0xAA123456, 300.0f);
    Overlay(*device, 0xAA123456, -5.0f);
    struct V {
        float x, y, z;
        uint32_t c;
        float u, v;
    };
    auto hashOf = [](uint32_t colour) {
        const V quad[4] = {{-200, 200, 200, colour, 0, 0},
                           {200, 200, 200, colour, 1, 0},
                           {-200, -200, 200, colour, 0, 1},
                           {200, -200, 200, colour, 1, 1}};
        char text[64];
        std::snprintf(text, sizeof text, "data:96:%08x", Fnv1a(quad, sizeof quad));
        return std::string(text);
    };
    EXPECT_EQ(CountLines(hashOf(0xFF123456)), 1);
    EXPECT_EQ(CountLines(hashOf(0x00123456)), 1);
}

namespace {

KlxNode FloorNode(uint32_t id, const Vector3& position) {
    KlxNode node;
    node.id = id;
    node.parentId = 999;  // no such node: hangs below the root
    node.targetId = 999;
    node.position = position;
    node.SetDefaultTracks();
    return node;
}

KlxVertex FloorVertex(float x, float z) {
    KlxVertex v;
    v.position = {x, 0.0f, z};
    v.normal = {0.0f, 1.0f, 0.0f};
    v.uv[0] = {0.5f, 0.5f};
    return v;
}

// Two cameras (nodes 1 and 2), the floor (node 10): one triangle next to
// the origin and one far away from everything, and eight dummies (20..27)
// whose positions tell which of them the lights were taken from.
KlxDocument GroundDocument(bool withFloor) {
    KlxDocument doc;
    doc.sceneTime = {0, 1000, 30, 160, 0};
    doc.nodes = {FloorNode(1, {0, 100, -100}), FloorNode(2, {0, 100, 100})};
    for (uint32_t id : {1u, 2u}) {
        KlxCamera camera;
        camera.nodeId = id;
        camera.fieldOfView = 1.0f;
        doc.cameras.push_back(camera);
    }
    if (withFloor) {
        doc.nodes.push_back(FloorNode(10, {0, 0, 0}));
        KlxMesh floor;
        floor.nodeId = 10;
        floor.vertexFlags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | (1u << KLX_VERTEX_SET_SHIFT);
        floor.vertices = {FloorVertex(0, 0),     FloorVertex(10, 0),    FloorVertex(0, 10),
                          FloorVertex(900, 900), FloorVertex(910, 900), FloorVertex(900, 910)};
        KlxFaceGroup group;
        group.indices = {0, 1, 2, 3, 4, 5};
        floor.faceGroups = {group};
        doc.meshes = {floor};
    }
    for (uint32_t d = 0; d < 8; ++d) doc.nodes.push_back(FloorNode(20 + d, {-1000.0f - d, 0, 0}));
    return doc;
}

}  // namespace

class LightFloorTest : public EffectsTest {
protected:
    void Write(const KlxDocument& doc) {
        KlxWriter writer;
        writer.WriteDocument(doc);
        writer.Save((dir / "ground.klx").c_str());
    }
};

// Walking the root's children and their children, the undrawn nodes met are
// camera, camera, floor transform, dummy 20's transform and dummy 20, dummy
// 21's transform and dummy 21 (the 7th: light 0), dummy 22's transform (the
// 8th: light 1).
TEST_F(LightFloorTest, LightsFromThe7thAnd8thUndrawnNodesLightOnlyWithinReach) {
    KlxDocument doc = GroundDocument(true);
    doc.nodes[4] = FloorNode(21, {0, 0, 5});  // next to the near triangle
    Write(doc);
    LightFloor floor(*device, "ground.klx");
    D3D8Trace_Clear();
    floor.Draw(1.0f);
    EXPECT_EQ(floor.GetLight(0).position, Vector3(0, 0, 5));
    EXPECT_EQ(floor.GetLight(1).position, Vector3(-1002, 0, 0));

    // Light 0 reaches the three edges of the near triangle: two fans each.
    EXPECT_EQ(CountLines("DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2"), 6);
    EXPECT_FLOAT_EQ(floor.GetLight(0).factors[0], 25 * 0.0004f);
    EXPECT_FLOAT_EQ(floor.GetLight(0).factors[1], 125 * 0.0004f);
    TriMesh* mesh = floor.GetFloor();
    ASSERT_TRUE(mesh->GetFVF() & D3DFVF_DIFFUSE);
    mesh->LockVertices(TriMesh::LOCK_READ_ONLY);
    for (int i = 3; i < 6; ++i) {
        EXPECT_EQ(mesh->GetVertex(i).diffuse, 0u) << i;  // out of reach of both
        EXPECT_EQ(floor.GetLight(0).factors[i], 1.0f);
        EXPECT_EQ(floor.GetLight(1).factors[i], 1.0f);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mesh->GetVertex(i).diffuse & 0x00010101u, 0u) << "lit colours are even";
    mesh->UnlockVertices(0);
}

TEST_F(LightFloorTest, CameraAndLightColoursChangeJustAfterEveryFiveSeconds) {
    Write(GroundDocument(true));
    LightFloor floor(*device, "ground.klx");
    EXPECT_EQ(floor.CameraIndex(5.0f), 0);
    EXPECT_EQ(floor.CameraIndex(5.01f), 1);
    EXPECT_EQ(floor.CameraIndex(10.01f), 0);  // two cameras
    floor.Draw(5.0f);
    EXPECT_EQ(floor.GetLight(0).colour, 0xFF004D75u);
    floor.Draw(5.01f);
    EXPECT_EQ(floor.GetLight(0).colour, 0xFFC87CACu);
    EXPECT_EQ(floor.GetLight(1).colour, 0xFFBB4275u);
}

TEST_F(LightFloorTest, AFileWithoutAFloorIsReported) {
    Write(GroundDocument(false));
    try {
        LightFloor floor(*device, "ground.klx");
        FAIL();
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "Node not found!");
        EXPECT_STREQ(e.Message().Text(), "Error!");
        EXPECT_STREQ(e.File().Text(), "lightfloor");
    }
}
