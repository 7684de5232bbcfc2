#include <gtest/gtest.h>
#include <cmath>
#include "engine/scenecamera.h"
#include "engine/scenerenderer.h"

namespace {

// A camera at the origin looking down +z with a 90-degree square frustum,
// near 1, far 100: the right plane is x = z.
struct CullingTest : ::testing::Test {
    void SetUp() override {
        CameraParameters p;
        p.fovHorizontal = p.fovVertical = 1.5707964f;
        p.clip = 1;
        p.nearClip = 1.0f;
        p.farClip = 100.0f;
        camera.UpdateFrustum(p);
        renderer.frustum.SetShape(camera.GetFrustum());
        renderer.frustum.SetMatrix(Matrix4());
    }

    void Sphere(const Vector3& centre, float radius) {
        node.bounds.sphereCentre = centre;
        node.bounds.sphereRadius = radius;
        node.bounds.flags = NodeBounds::SphereValid;
    }

    void Box(const Vector3& lo, const Vector3& hi) {
        node.bounds.boxMinimum = lo;
        node.bounds.boxMaximum = hi;
        node.bounds.flags = NodeBounds::BoxValid;
    }

    SceneCamera camera;
    SceneRenderer renderer;
    SceneNode node;
};

TEST_F(CullingTest, PlanesFaceInward) {
    const FrustumPlane* planes = renderer.frustum.GetPlanes();
    const Vector3 inside(0.0f, 0.0f, 10.0f);
    for (int i = 0; i < Frustum::SideCount; ++i) {
        EXPECT_GT(planes[i].normal.Dot(inside) - planes[i].d, 0.0f) << "plane " << i;
    }
    EXPECT_NEAR(planes[Frustum::Near].d, 1.0f, 1e-6f);
    EXPECT_NEAR(planes[Frustum::Far].d, -100.0f, 1e-4f);
    EXPECT_NEAR(planes[Frustum::Right].normal.x, -std::sqrt(0.5f), 1e-6f);
}

TEST_F(CullingTest, SphereOnBothSidesOfAPlane) {
    // Distance of (x, 0, 10) outside the right plane: (x - 10) / sqrt 2.
    Sphere({10.0f + 1.0f * std::sqrt(2.0f), 0.0f, 10.0f}, 1.1f);  // 1.0 outside, radius 1.1
    EXPECT_TRUE(renderer.CullTest(node));
    Sphere({10.0f + 1.0f * std::sqrt(2.0f), 0.0f, 10.0f}, 0.9f);
    EXPECT_FALSE(renderer.CullTest(node));
    Sphere({0.0f, 0.0f, 0.5f}, 0.4f);  // in front of the near plane
    EXPECT_FALSE(renderer.CullTest(node));
    Sphere({0.0f, 0.0f, 101.0f}, 2.0f);  // straddles the far plane
    EXPECT_TRUE(renderer.CullTest(node));
    EXPECT_EQ(renderer.sphereTests, 4);
    EXPECT_EQ(renderer.nodesTested, 2);
    EXPECT_EQ(renderer.nodesPassed, 2);
}

TEST_F(CullingTest, SphereRadiusScalesWithTheWorldMatrix) {
    Sphere({0.0f, 0.0f, 0.0f}, 1.0f);
    // Centre 1.5 beyond the far plane: radius 1 fails, radius 1 x scale 2 passes.
    node.SetLocal(Matrix4::Translation(0.0f, 0.0f, 101.5f));
    EXPECT_FALSE(renderer.CullTest(node));
    node.SetLocal(Matrix4(2.0f) * Matrix4::Translation(0.0f, 0.0f, 101.5f));
    EXPECT_TRUE(renderer.CullTest(node));
}

TEST_F(CullingTest, BoxOnBothSidesOfAPlane) {
    Box({10.5f, -1.0f, 9.0f}, {12.0f, 1.0f, 10.0f});  // wholly right of x = z
    EXPECT_FALSE(renderer.CullTest(node));
    Box({9.5f, -1.0f, 9.0f}, {12.0f, 1.0f, 10.0f});  // one corner inside
    EXPECT_TRUE(renderer.CullTest(node));
    // Corners outside different planes do not cull a box that spans the view.
    Box({-50.0f, -50.0f, 5.0f}, {50.0f, 50.0f, 6.0f});
    EXPECT_TRUE(renderer.CullTest(node));
    EXPECT_EQ(renderer.boxTests, 3);
    EXPECT_EQ(renderer.nodesPassed, 2);
}

TEST_F(CullingTest, MovedCameraMovesThePlanes) {
    // Turned to look down +x from (0, 0, -5).
    const Matrix4 turn(Quaternion(0.0f, std::sin(0.7853982f), 0.0f, std::cos(0.7853982f)));
    renderer.frustum.SetMatrix(turn * Matrix4::Translation(0.0f, 0.0f, -5.0f));
    Sphere({20.0f, 0.0f, -5.0f}, 0.5f);
    EXPECT_TRUE(renderer.CullTest(node));
    Sphere({0.0f, 0.0f, 20.0f}, 0.5f);
    EXPECT_FALSE(renderer.CullTest(node));
}

TEST(SceneCamera, ClipFlagChoosesTheDepths) {
    SceneCamera camera;
    CameraParameters p;
    p.fovHorizontal = 1.0f;
    p.fovVertical = 0.75f;
    p.nearClip = 5.0f;
    p.farClip = 50.0f;
    camera.UpdateFrustum(p);
    EXPECT_EQ(camera.GetFrustum().nearZ, 1.0f);
    EXPECT_EQ(camera.GetFrustum().farZ, 10000.0f);
    EXPECT_FLOAT_EQ(camera.GetFrustum().right, std::tan(0.5f));
    EXPECT_FLOAT_EQ(camera.GetFrustum().bottom, -std::tan(0.375f));
    p.clip = 1;
    camera.UpdateFrustum(p);
    EXPECT_EQ(camera.GetFrustum().nearZ, 5.0f);
    EXPECT_EQ(camera.GetFrustum().farZ, 50.0f);
    EXPECT_FLOAT_EQ(camera.GetFrustum().left, -std::tan(0.5f) * 5.0f);
    EXPECT_EQ(camera.GetFrustum().orthographic, 0u);
}

}  // namespace
