#include "engine/skintrimesh.h"
#include <gtest/gtest.h>
#include <cstring>
#include "engine/device3d.h"
#include "tracedevice.h"

using tracetest::LinesWith;
using tracetest::MakeSceneDevice;
using tracetest::TraceDevice;

namespace {

// Three vertices along x; bone 0 at the origin, bone 1 at x = 2. The mesh was
// bound with its node moved up by 1 in y.
struct SkinTest : ::testing::Test {
    void SetUp() override {
        device = MakeSceneDevice();
        mesh = std::make_unique<SkinTriMesh>(device.get());
        mesh->CreateVertexBuffer(3, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        mesh->LockVertices(0);
        for (int v = 0; v < 3; ++v) {
            MeshVertex vertex;
            vertex.position = {static_cast<float>(v), 0.0f, 0.0f};
            vertex.diffuse = 0xFFFFFFFF;
            mesh->SetVertex(v, vertex);
        }
        mesh->UnlockVertices(0);
        bone0.SetLocal(Matrix4());
        bone1.SetLocal(Matrix4::Translation(2.0f, 1.0f, 0.0f));
        mesh->SetBindPose(Matrix4::Translation(0.0f, 1.0f, 0.0f),
                          SkinTriMesh::BoundsFromVertex0 | SkinTriMesh::SphereFromPoints);
        mesh->SetBoneCount(2);
        mesh->SetBone(0, &bone0, Matrix4());
        Matrix4 inverse1;
        inverse1.SetInverse(bone1.GetWorld());
        mesh->SetBone(1, &bone1, inverse1);
    }

    Vector3 Output(int32_t v) {
        BYTE* data = nullptr;
        IDirect3DVertexBuffer8* buffer = mesh->GetOutput().buffer;
        EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        float f[3];
        std::memcpy(f, data + v * mesh->GetStride(), sizeof f);
        buffer->Unlock();
        return {f[0], f[1], f[2]};
    }

    TraceDevice device;
    std::unique_ptr<SkinTriMesh> mesh;
    SceneNode bone0, bone1;
};

TEST_F(SkinTest, BindPoseIsInWorldSpace) {
    EXPECT_EQ(mesh->GetSkinVertex(2).bindPosition, Vector3(2.0f, 1.0f, 0.0f));
    EXPECT_EQ(Output(2), Vector3(2.0f, 1.0f, 0.0f));
}

TEST_F(SkinTest, UnmovedBoneKeepsTheBindPosition) {
    mesh->SetWeightCount(2, 1);
    mesh->SetWeight(2, 0, 1, 1.0f);
    mesh->Skin();
    EXPECT_EQ(Output(2), Vector3(2.0f, 1.0f, 0.0f));
}

TEST_F(SkinTest, VerticesFollowTheirBones) {
    mesh->SetWeightCount(1, 2);
    mesh->SetWeight(1, 0, 0, 0.5f);
    mesh->SetWeight(1, 1, 1, 0.5f);
    mesh->SetWeightCount(2, 1);
    mesh->SetWeight(2, 0, 1, 1.0f);
    bone1.SetLocal(Matrix4::Translation(2.0f, 1.0f, 4.0f));  // bone 1 moves 4 along z
    mesh->Skin();
    EXPECT_EQ(Output(2), Vector3(2.0f, 1.0f, 4.0f));
    EXPECT_EQ(Output(1), Vector3(1.0f, 1.0f, 2.0f));  // half of it
    EXPECT_EQ(Output(0), Vector3(0.0f, 1.0f, 0.0f));  // no weights: untouched
}

TEST_F(SkinTest, WeightsAreNotNormalised) {
    mesh->SetWeightCount(2, 1);
    mesh->SetWeight(2, 0, 0, 0.5f);
    mesh->Skin();
    EXPECT_EQ(Output(2), Vector3(1.0f, 0.5f, 0.0f));  // pulled toward the origin
}

TEST_F(SkinTest, PairsWithoutABoneAddNothing) {
    mesh->SetWeightCount(2, 2);
    mesh->SetWeight(2, 0, 1, 1.0f);
    mesh->SetWeight(2, 1, 7, 1.0f);
    mesh->SetWeight(2, 5, 0, 1.0f);  // no such slot: ignored
    mesh->SetWeightCount(9, 1);      // no such vertex: ignored
    mesh->Skin();
    EXPECT_EQ(Output(2), Vector3(2.0f, 1.0f, 0.0f));
}

TEST_F(SkinTest, BoundsFollowTheDeformedMesh) {
    for (int v = 0; v < 3; ++v) {
        mesh->SetWeightCount(v, 1);
        mesh->SetWeight(v, 0, 0, 1.0f);
    }
    bone0.SetLocal(Matrix4::Translation(0.0f, 0.0f, 6.0f));
    mesh->Skin();
    // The box starts at vertex 0's bind position (0, 1, 0), grows over the
    // skinned points (0..2, 1, 6) and goes back to bind space: y - 1.
    EXPECT_EQ(mesh->bounds.boxMinimum, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh->bounds.boxMaximum, Vector3(2.0f, 0.0f, 6.0f));
    EXPECT_EQ(mesh->bounds.sphereCentre, Vector3(1.0f, 0.0f, 6.0f));
    EXPECT_FLOAT_EQ(mesh->bounds.sphereRadius, 1.0f);
}

TEST_F(SkinTest, DrawRestoresTheWorldTransform) {
    mesh->SetSubmeshCount(1);
    mesh->CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, nullptr);
    uint16_t* indices = mesh->LockIndices(0);
    indices[0] = 0;
    indices[1] = 1;
    indices[2] = 2;
    mesh->UnlockIndices(0);
    const Matrix4 world = Matrix4::Translation(3.0f, 4.0f, 5.0f);
    IDirect3DDevice8* d3d = device->GetDevice();
    d3d->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(world.m));
    D3D8Trace_Clear();
    mesh->Draw(*device);
    D3DMATRIX after{};
    d3d->GetTransform(D3DTS_WORLD, &after);
    EXPECT_EQ(std::memcmp(&after, world.m, sizeof after), 0);
    // Skinned vertices are in world space: drawn with the identity, then the
    // node's transform goes back.
    const auto worldSets = LinesWith("SetTransform(D3DTS_WORLD, ");
    ASSERT_EQ(worldSets.size(), 2u);
    EXPECT_NE(worldSets[0].find("[1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1]"), std::string::npos);
    EXPECT_NE(worldSets[1].find("[1 0 0 0 0 1 0 0 0 0 1 0 3 4 5 1]"), std::string::npos);
    EXPECT_EQ(LinesWith("SetStreamSource(0, vb#2, 16)").size(), 1u);
}

TEST(SkinTriMesh, MeshWithoutPositionsIsLeftAsItIs) {
    auto device = MakeSceneDevice();
    SkinTriMesh mesh(device.get());
    mesh.CreateVertexBuffer(2, D3DFVF_DIFFUSE);  // four bytes a vertex: no room for a position
    SceneNode bone;
    mesh.SetBindPose(Matrix4::Translation(1.0f, 2.0f, 3.0f), SkinTriMesh::BoundsFromVertex0);
    mesh.SetBoneCount(1);
    mesh.SetBone(0, &bone, Matrix4());
    mesh.SetWeightCount(1, 1);
    mesh.SetWeight(1, 0, 0, 1.0f);
    bone.SetLocal(Matrix4::Translation(5.0f, 0.0f, 0.0f));
    mesh.Skin();  // must not write twelve bytes into a four-byte vertex
    EXPECT_EQ(mesh.GetSkinVertex(1).bindPosition, Vector3());
}

}  // namespace
