#include <gtest/gtest.h>
#include "engine/scene.h"

namespace {

// One node whose x position runs from 0 at tick 0 to 1000 at tick 1000.
struct UpdateTest : ::testing::Test {
    void SetUp() override {
        node = scene.AddNode(std::make_unique<SceneNode>());
        ControllerSlot& slot = scene.AddSlot(node, 7, 1);
        slot.controller.SetPositionTrack(0, 0, 1000, MakeOrt(ORT_CYCLE, ORT_CYCLE), 2);
        slot.controller.SetPositionKey(0, 0, Vector3(0.0f, 0.0f, 0.0f));
        slot.controller.SetPositionKey(1, 1000, Vector3(1000.0f, 0.0f, 0.0f));
        scene.time = {0, 1000, 30, 160, 0};
    }

    float X() { return node->GetWorld().GetTranslation().x; }

    Scene scene;
    SceneNode* node = nullptr;
};

TEST_F(UpdateTest, WrapsIntoTheRange) {
    scene.Update(1.0f);  // 4800 ticks
    EXPECT_FLOAT_EQ(scene.GetCurrentTick(), 800.0f);
    EXPECT_FLOAT_EQ(X(), 800.0f);
    scene.Update(-0.25f);  // -1200 ticks
    EXPECT_FLOAT_EQ(scene.GetCurrentTick(), 800.0f);
    scene.Update(1000.0f / 4800.0f);  // exactly the end stays there
    EXPECT_FLOAT_EQ(scene.GetCurrentTick(), 1000.0f);
    scene.Update(1.0e9f);  // far off: still lands in the range, at once
    EXPECT_GE(scene.GetCurrentTick(), 0.0f);
    EXPECT_LE(scene.GetCurrentTick(), 1000.0f);
}

TEST_F(UpdateTest, RangesFinerThanTheFloatSpacingStillWrap) {
    // Around 1e9 a float steps by 64 ticks: stepping by the one-tick span
    // could never move such a time.
    scene.time = {1000000000, 1000000001, 30, 160, 0};
    scene.Update(1.0e6f);
    EXPECT_GE(scene.GetCurrentTick(), 1.0e9f);
    EXPECT_LE(scene.GetCurrentTick(), 1.000000001e9f);
    scene.time = {-2000000000, 2000000000, 1000, 1000000, 0};
    scene.Update(-3.0e6f);
    EXPECT_GE(scene.GetCurrentTick(), -2.0e9f);
    EXPECT_LE(scene.GetCurrentTick(), 2.0e9f);
}

TEST_F(UpdateTest, EmptyRangeHoldsTheStartTick) {
    scene.time = {500, 500, 30, 160, 0};
    scene.Update(3.0f);
    EXPECT_FLOAT_EQ(scene.GetCurrentTick(), 500.0f);
    EXPECT_FLOAT_EQ(X(), 500.0f);
    scene.Update(0.0f);
    EXPECT_FLOAT_EQ(scene.GetCurrentTick(), 500.0f);
}

TEST_F(UpdateTest, SlotsWithSingleKeysAreLeftAlone) {
    SceneNode* still = scene.AddNode(std::make_unique<SceneNode>());
    ControllerSlot& slot = scene.AddSlot(still, 8, 1);
    slot.controller.SetPositionTrack(0, 0, 0, 0, 1);
    slot.controller.SetPositionKey(0, 0, Vector3(5.0f, 0.0f, 0.0f));
    still->SetLocal(Matrix4::Translation(0.0f, 9.0f, 0.0f));
    scene.Update(0.5f);
    EXPECT_EQ(still->GetWorld().GetTranslation(), Vector3(0.0f, 9.0f, 0.0f));
}

TEST_F(UpdateTest, PoseIsScaleThenRotateThenTranslate) {
    ControllerSlot& slot = *scene.FindSlot(7);
    slot.controller.SetRotationTrack(0, 0, 1000, MakeOrt(ORT_CYCLE, ORT_CYCLE), 2);
    // A quarter turn about y at both keys.
    const Quaternion q(0.0f, 0.70710678f, 0.0f, 0.70710678f);
    slot.controller.SetRotationKey(0, 0, q);
    slot.controller.SetRotationKey(1, 1000, q);
    slot.controller.SetScaleTrack(0, 0, 0, 0, 1);
    slot.controller.SetScaleKey(0, 0, Vector3(2.0f, 2.0f, 2.0f), Quaternion());
    scene.Update(0.0f);
    // (1, 0, 0) scaled to (2, 0, 0), turned to (0, 0, -2), then not moved.
    const Vector3 p = node->GetWorld().TransformPoint({1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(p.x, 0.0f, 1e-5f);
    EXPECT_NEAR(p.z, -2.0f, 1e-5f);
}

TEST(Scene, SlotLookupByIdTakesTheFirst) {
    Scene scene;
    SceneNode* a = scene.AddNode(std::make_unique<SceneNode>());
    SceneNode* b = scene.AddNode(std::make_unique<SceneNode>());
    scene.AddSlot(a, 0, 0, true);
    scene.AddSlot(b, 3, 1);
    scene.AddSlot(a, 3, 1);
    EXPECT_EQ(scene.FindSlot(3)->node, b);
    EXPECT_EQ(scene.FindSlot(0)->node, a);
    EXPECT_EQ(scene.FindObjectSlot(0), nullptr);
    EXPECT_EQ(scene.FindSlot(4), nullptr);
}

}  // namespace
