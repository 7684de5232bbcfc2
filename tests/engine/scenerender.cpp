#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include "engine/device3d.h"
#include "engine/scene.h"
#include "tracedevice.h"

using tracetest::LinesWith;
using tracetest::MakeSceneDevice;
using tracetest::TraceDevice;

namespace {

// A drawn node that notes every hook call in a shared list.
class ProbeNode : public SceneNode {
public:
    ProbeNode(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {
        hookFlags = HookPrepare | HookDraw;
    }
    void Prepare(Device3D&) override { log_.push_back("prepare " + name_); }
    void Draw(Device3D&) override { log_.push_back("draw " + name_); }

private:
    std::vector<std::string>& log_;
    std::string name_;
};

struct RenderTest : ::testing::Test {
    void SetUp() override {
        device = MakeSceneDevice();
        camera = scene.AddNode(std::make_unique<SceneCamera>());
        CameraParameters p;
        p.environmentNear = 10.0f;
        p.environmentFar = 110.0f;
        p.fovHorizontal = p.fovVertical = 1.5707964f;
        p.clip = 1;
        p.nearClip = 1.0f;
        p.farClip = 1000.0f;
        camera->SetParameters(p);
        camera->UpdateFrustum(p);
        camera->SetParent(&scene);
        camera->SetLocal(Matrix4::Translation(0.0f, 0.0f, -10.0f));
    }

    ProbeNode* Probe(const std::string& name, SceneNode* parent) {
        ProbeNode* node = scene.AddNode(std::make_unique<ProbeNode>(hooks, name));
        node->SetParent(parent);
        return node;
    }

    TraceDevice device;
    Scene scene;
    SceneCamera* camera = nullptr;
    std::vector<std::string> hooks;
};

TEST_F(RenderTest, HiddenNodesKeepTheirChildrenPrunedOnesDoNot) {
    ProbeNode* hidden = Probe("hidden", &scene);
    Probe("under-hidden", hidden);
    ProbeNode* pruned = Probe("pruned", &scene);
    Probe("under-pruned", pruned);
    hidden->Hide();
    pruned->stateFlags |= SceneNode::Pruned;

    scene.Render(*device, *camera);
    EXPECT_EQ(hooks,
              (std::vector<std::string>{"prepare under-hidden", "draw under-hidden", "prepare pruned", "draw pruned"}));
}

TEST_F(RenderTest, CulledNodesArePreparedButNotDrawn) {
    ProbeNode* behind = Probe("behind", &scene);
    behind->bounds.sphereRadius = 1.0f;
    behind->bounds.flags = NodeBounds::SphereValid;
    behind->SetLocal(Matrix4::Translation(0.0f, 0.0f, -20.0f));
    ProbeNode* ahead = Probe("ahead", &scene);
    ahead->bounds = behind->bounds;

    scene.Render(*device, *camera);
    EXPECT_EQ(hooks, (std::vector<std::string>{"prepare behind", "prepare ahead", "draw ahead"}));
    EXPECT_EQ(scene.sphereTests, 2);
    EXPECT_EQ(scene.nodesPassed, 1);
}

TEST_F(RenderTest, SetsProjectionViewAndDrawsTheQueueLast) {
    D3D8Trace_Clear();
    scene.Render(*device, *camera);
    const std::vector<std::string> lines = D3D8Trace_Lines();
    ASSERT_GE(lines.size(), 3u);
    // 90-degree square frustum, near 1, far 1000.
    EXPECT_NE(lines[0].find("SetTransform(D3DTS_PROJECTION, [1 0 0 0 0 1 0 0 -0 -0 1.002 1 0 0 -2.002 0])"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("SetTransform(D3DTS_VIEW, [1 0 0 0 0 1 0 0 0 0 1 0 -0 -0 10 1])"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines.back().find("SetTransform(D3DTS_WORLD, [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1])"), std::string::npos)
        << lines.back();
}

TEST_F(RenderTest, CameraWithATargetLooksAtIt) {
    SceneNode* target = scene.AddNode(std::make_unique<SceneNode>());
    target->SetParent(&scene);
    target->SetLocal(Matrix4::Translation(10.0f, 0.0f, -10.0f));
    camera->SetTarget(target);
    scene.Render(*device, *camera);
    // The camera's +z now points along +x.
    const Matrix4& world = camera->GetWorld();
    EXPECT_NEAR(world.m[8], 1.0f, 1e-6f);
    EXPECT_NEAR(world.m[10], 0.0f, 1e-6f);
    EXPECT_EQ(world.GetTranslation(), Vector3(0.0f, 0.0f, -10.0f));

    // Below a moved parent the eye stays where the parent puts it, render
    // after render: the same view each time.
    SceneNode* rig = scene.AddNode(std::make_unique<SceneNode>());
    rig->SetParent(&scene);
    rig->SetLocal(Matrix4::Translation(0.0f, 5.0f, 0.0f));
    camera->SetParent(rig);
    camera->SetLocal(Matrix4::Translation(0.0f, 0.0f, -10.0f));
    D3D8Trace_Clear();
    for (int frame = 0; frame < 3; ++frame) {
        scene.Render(*device, *camera);
    }
    const std::vector<std::string> views = LinesWith("SetTransform(D3DTS_VIEW");
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[0], views[1]);
    EXPECT_EQ(views[0], views[2]);
    const Vector3 eye = camera->GetWorld().GetTranslation();
    EXPECT_NEAR(eye.y, 5.0f, 1e-5f);
    EXPECT_NEAR(eye.z, -10.0f, 1e-5f);
}

TEST_F(RenderTest, DebugBoxIsTwelveLines) {
    ProbeNode* node = Probe("boxed", &scene);
    node->bounds.boxMinimum = {-1.0f, -1.0f, -1.0f};
    node->bounds.boxMaximum = {1.0f, 1.0f, 1.0f};
    node->bounds.flags = NodeBounds::BoxValid | NodeBounds::DrawBox;
    D3D8Trace_Clear();
    scene.Render(*device, *camera);
    EXPECT_EQ(LinesWith("DrawPrimitiveUP(D3DPT_LINELIST, 12,", ", 12)").size(), 1u);
    EXPECT_EQ(LinesWith("SetVertexShader(0x2)").size(), 1u);
}

TEST_F(RenderTest, FogRangesComeFromTheCamera) {
    scene.fogEnabled = 1;
    scene.fogColor = 0xFF204060;
    scene.fogNearFactor = 0.5f;
    scene.fogFarDivisor = 2.0f;
    D3D8Trace_Clear();
    scene.ApplyFog(*device, *camera);
    // a = 10, b = 110: start 10 - 100 x 0.5, end 10 + 100 / 2.
    EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGENABLE, 1)").size(), 1u);
    EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGSTART, -40)").size(), 1u);
    EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGEND, 60)").size(), 1u);
    EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGCOLOR, 0xff204060)").size(), 1u);

    scene.fogEnabled = 0;
    D3D8Trace_Clear();
    scene.ApplyFog(*device, *camera);
    EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGENABLE, 0)").size(), 1u);
    EXPECT_TRUE(LinesWith("D3DRS_FOGSTART").empty());
}

TEST(SceneFog, FollowsTheFogCaps) {
    Scene scene;
    scene.fogEnabled = 1;
    SceneCamera camera;
    for (DWORD caps : {DWORD(D3DPRASTERCAPS_FOGTABLE), DWORD(0)}) {
        D3D8TraceConfig config;
        config.adapters[0].caps.RasterCaps = caps;
        auto device = MakeSceneDevice(true, config);
        D3D8Trace_Clear();
        scene.ApplyFog(*device, camera);
        if (caps != 0) {
            EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGTABLEMODE, 3)").size(), 1u);
            EXPECT_TRUE(LinesWith("D3DRS_FOGVERTEXMODE").empty());
            EXPECT_EQ(LinesWith("SetRenderState(D3DRS_FOGENABLE, 1)").size(), 1u);
        } else {
            EXPECT_TRUE(D3D8Trace_Lines().empty());  // fog left alone
        }
    }
}

struct LightTest : RenderTest {
    SceneLight* Light(D3DLIGHTTYPE type, const Vector3& at, uint8_t enabled) {
        SceneLight* light = scene.AddNode(std::make_unique<SceneLight>(device.get()));
        light->light.Type = type;
        light->enabled = enabled;
        light->SetParent(&scene);
        light->SetLocal(Matrix4::Translation(at));
        scene.AddLight(light);
        return light;
    }
};

TEST_F(LightTest, DisabledLightsUseNoIndex) {
    Light(D3DLIGHT_POINT, {1.0f, 2.0f, 3.0f}, 1);
    Light(D3DLIGHT_POINT, {0.0f, 0.0f, 0.0f}, 0);
    Light(D3DLIGHT_POINT, {4.0f, 5.0f, 6.0f}, 1);
    D3D8Trace_Clear();
    scene.Update(0.0f);
    const auto set = LinesWith("SetLight(");
    ASSERT_EQ(set.size(), 2u);
    EXPECT_NE(set[0].find("SetLight(0, "), std::string::npos);
    EXPECT_NE(set[1].find("SetLight(1, "), std::string::npos);
    EXPECT_EQ(LinesWith("LightEnable(0, 1)").size(), 1u);
    EXPECT_EQ(LinesWith("LightEnable(1, 1)").size(), 1u);
    EXPECT_TRUE(LinesWith("LightEnable(2").empty());
}

TEST_F(LightTest, TargetedLightsAimFromTheirOwnPosition) {
    SceneLight* spot = Light(D3DLIGHT_SPOT, {10.0f, 0.0f, 0.0f}, 1);
    SceneNode* target = scene.AddNode(std::make_unique<SceneNode>());
    target->SetParent(&scene);
    target->SetLocal(Matrix4::Translation(10.0f, 0.0f, 5.0f));
    spot->SetTarget(target);
    SceneLight* sun = Light(D3DLIGHT_DIRECTIONAL, {0.0f, 0.0f, 0.0f}, 1);
    sun->SetLocal(Matrix4(Quaternion(0.70710678f, 0.0f, 0.0f, 0.70710678f)));  // y turned to z

    scene.Update(0.0f);
    const D3DVECTOR& aim = spot->light.Direction;
    EXPECT_FLOAT_EQ(aim.x, 0.0f);
    EXPECT_FLOAT_EQ(aim.z, 5.0f);
    EXPECT_FLOAT_EQ(spot->light.Position.x, 10.0f);
    // Without a target the second row of the world matrix is the direction.
    EXPECT_NEAR(sun->light.Direction.y, 0.0f, 1e-6f);
    EXPECT_NEAR(sun->light.Direction.z, 1.0f, 1e-6f);
}

}  // namespace
