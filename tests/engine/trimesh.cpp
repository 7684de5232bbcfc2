#include "engine/trimesh.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

#include "cvcore/exception.h"
#include "engine/material.h"
#include "tracedevice.h"

using tracetest::LinesWith;
using tracetest::MakeDevice;

namespace {

class TriMeshTest : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeDevice(); }
    void TearDown() override {
        device_.reset();
        D3D8Trace_Disable();
    }

    // A mesh with count vertices at (i, 0, z[i]) and one submesh.
    std::unique_ptr<TriMesh> Mesh(int count, uint32_t fvf, const std::vector<uint16_t>& indices, D3DPRIMITIVETYPE type,
                                  Material* material, const std::vector<uint32_t>& diffuse = {}) {
        auto mesh = std::make_unique<TriMesh>(device_.get());
        mesh->CreateVertexBuffer(count, fvf);
        mesh->LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
        for (int i = 0; i < count; ++i) {
            MeshVertex v;
            v.position = Vector3(static_cast<float>(i), 0.0f, static_cast<float>(10 + i));
            v.normal = Vector3(0.0f, 1.0f, 0.0f);
            v.diffuse = i < static_cast<int>(diffuse.size()) ? diffuse[static_cast<size_t>(i)] : 0xFF808080u;
            mesh->SetVertex(i, v);
        }
        mesh->UnlockVertices(TriMesh::UNLOCK_SPHERE);
        mesh->SetSubmeshCount(1);
        mesh->CreateIndexBuffer(0, static_cast<int>(indices.size()), type, material);
        uint16_t* out = mesh->LockIndices(0);
        std::memcpy(out, indices.data(), indices.size() * 2);
        mesh->UnlockIndices(0);
        D3D8Trace_Clear();
        return mesh;
    }

    // Positions of the queued triangles, as vertex x coordinates.
    std::vector<std::array<float, 3>> QueuedXs() const {
        std::vector<std::array<float, 3>> out;
        for (int i = 0; i < device_->GetTransparentCount(); ++i) {
            const TransparentTriangle& t = device_->GetTransparent(i);
            std::array<float, 3> xs{};
            for (int k = 0; k < 3; ++k) std::memcpy(&xs[static_cast<size_t>(k)], t.vertices + k * t.stride, 4);
            out.push_back(xs);
        }
        return out;
    }

    tracetest::TraceDevice device_;
};

TEST(TriMeshFormatTest, StridesOfTheFormats) {
    EXPECT_EQ(TriMesh::StrideOf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1), 32);
    EXPECT_EQ(TriMesh::StrideOf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1), 36);
    EXPECT_EQ(TriMesh::StrideOf(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL), 36);
    EXPECT_EQ(TriMesh::StrideOf(D3DFVF_XYZRHW | D3DFVF_TEX1), 24);
    EXPECT_EQ(TriMesh::StrideOf(D3DFVF_XYZB5 | D3DFVF_SPECULAR), 36);
    // Point size and coordinate size bits are dropped; at most eight sets.
    EXPECT_EQ(TriMesh::AcceptedFVF(D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(0)),
              static_cast<uint32_t>(D3DFVF_XYZ | D3DFVF_TEX2));
    EXPECT_EQ(TriMesh::AcceptedFVF(D3DFVF_XYZ | 0xF00), static_cast<uint32_t>(D3DFVF_XYZ | D3DFVF_TEX8));
}

TEST(TriMeshFormatTest, PrimitiveCounts) {
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_POINTLIST, 5), 5);
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_LINELIST, 5), 2);
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_LINESTRIP, 5), 4);
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_TRIANGLELIST, 7), 2);
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_TRIANGLESTRIP, 5), 3);
    EXPECT_EQ(TriMesh::PrimitiveCount(D3DPT_TRIANGLEFAN, 5), 3);
}

TEST_F(TriMeshTest, VerticesRoundTripThroughTheFormat) {
    TriMesh mesh(device_.get());
    mesh.CreateVertexBuffer(
        2, D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2);
    EXPECT_EQ(mesh.GetStride(), 24 + 12 + 4 + 4 + 16);
    EXPECT_EQ(LinesWith("CreateVertexBuffer(120, 0x0, 0x12da, D3DPOOL_MANAGED)").size(), 1u);
    MeshVertex in;
    in.position = Vector3(1, 2, 3);
    in.weights[0] = 0.25f;
    in.weights[1] = 0.5f;
    in.weights[2] = 99.0f;  // not stored: the indices take that word
    const uint32_t packed = 0x03020100;
    std::memcpy(&in.weights[4], &packed, 4);
    in.normal = Vector3(0, 0, 1);
    in.diffuse = 0x11223344;
    in.specular = 0x55667788;
    in.texCoords[0] = Vector2(0.5f, 0.75f);
    in.texCoords[1] = Vector2(2, 3);
    in.texCoords[2] = Vector2(7, 7);  // beyond the two sets
    mesh.LockVertices(0);
    mesh.SetVertex(1, in);
    mesh.SetVertex(2, in);  // outside the buffer: ignored
    mesh.SetVertex(-1, in);
    const MeshVertex out = mesh.GetVertex(1);
    mesh.UnlockVertices(0);
    EXPECT_EQ(out.position, in.position);
    EXPECT_EQ(out.weights[0], 0.25f);
    EXPECT_EQ(out.weights[1], 0.5f);
    EXPECT_FLOAT_EQ(out.weights[2], 0.25f);  // the implicit last weight
    uint32_t indices;
    std::memcpy(&indices, &out.weights[4], 4);
    EXPECT_EQ(indices, packed);
    EXPECT_EQ(out.normal, in.normal);
    EXPECT_EQ(out.diffuse, in.diffuse);
    EXPECT_EQ(out.specular, in.specular);
    EXPECT_EQ(out.texCoords[1], in.texCoords[1]);
    EXPECT_EQ(out.texCoords[2], Vector2());
}

TEST_F(TriMeshTest, BoundsTracking) {
    TriMesh mesh(device_.get());
    mesh.CreateVertexBuffer(3, D3DFVF_XYZ);
    mesh.LockVertices(TriMesh::LOCK_RESET_BOX);
    mesh.UnlockVertices(0);
    EXPECT_EQ(mesh.bounds.boxMinimum.x, FLT_MAX);
    EXPECT_EQ(mesh.bounds.boxMaximum.z, -FLT_MAX);

    mesh.LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
    MeshVertex v;
    v.position = Vector3(-1, 0, 4);
    mesh.SetVertex(0, v);
    v.position = Vector3(3, 2, 0);
    mesh.SetVertex(1, v);
    v.position = Vector3(1, 1, 2);
    mesh.SetVertex(2, v);
    mesh.UnlockVertices(TriMesh::UNLOCK_SPHERE);
    EXPECT_EQ(mesh.bounds.boxMinimum, Vector3(-1, 0, 0));
    EXPECT_EQ(mesh.bounds.boxMaximum, Vector3(3, 2, 4));
    EXPECT_EQ(mesh.bounds.sphereCentre, Vector3(1, 1, 2));
    EXPECT_FLOAT_EQ(mesh.bounds.sphereRadius, 3.0f);
    EXPECT_TRUE((mesh.hookFlags & SceneNode::HookDraw) != 0);
}

TEST_F(TriMeshTest, OpaqueSubmeshDrawsItsIndexRange) {
    Material opaque(device_.get());
    auto mesh = Mesh(12, D3DFVF_XYZ | D3DFVF_DIFFUSE, {7, 3, 9}, D3DPT_TRIANGLELIST, &opaque);
    EXPECT_EQ(mesh->GetSubmesh(0).minIndex, 3);
    EXPECT_EQ(mesh->GetSubmesh(0).maxIndex, 9);
    mesh->Draw(*device_);
    EXPECT_EQ(LinesWith("SetStreamSource(0, vb#1, 16)").size(), 1u);
    EXPECT_EQ(LinesWith("SetVertexShader(0x42)").size(), 1u);
    EXPECT_EQ(LinesWith("SetMaterial(").size(), 1u);
    EXPECT_EQ(LinesWith("SetIndices(ib#1, 0)").size(), 1u);
    EXPECT_EQ(LinesWith("DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 7, 0, 1)").size(), 1u);
    EXPECT_EQ(device_->GetTransparentCount(), 0);
}

TEST_F(TriMeshTest, SubmeshWithoutMaterialKeepsTheCurrentState) {
    auto mesh = Mesh(4, D3DFVF_XYZ, {0, 1, 2, 1, 2, 3, 0}, D3DPT_TRIANGLELIST, nullptr);
    EXPECT_EQ(mesh->GetSubmesh(0).primitiveCount, 2);
    mesh->Draw(*device_);
    EXPECT_TRUE(LinesWith("SetMaterial(").empty());
    EXPECT_EQ(LinesWith("DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2)").size(), 1u);
}

TEST_F(TriMeshTest, OpacityBelowOneGoesToTheQueue) {
    Material full(device_.get());
    full.opacity = 1.0f;
    auto solid = Mesh(3, D3DFVF_XYZ, {0, 1, 2}, D3DPT_TRIANGLELIST, &full);
    solid->Draw(*device_);
    EXPECT_EQ(LinesWith("DrawIndexedPrimitive(").size(), 1u);
    EXPECT_EQ(device_->GetTransparentCount(), 0);

    Material almost(device_.get());
    almost.opacity = 0.999f;
    auto glass = Mesh(3, D3DFVF_XYZ, {0, 1, 2}, D3DPT_TRIANGLELIST, &almost);
    glass->Draw(*device_);
    EXPECT_TRUE(LinesWith("DrawIndexedPrimitive(").empty());
    EXPECT_TRUE(LinesWith("SetMaterial(").empty());
    ASSERT_EQ(device_->GetTransparentCount(), 1);
    EXPECT_EQ(device_->GetTransparent(0).material, &almost);
}

TEST_F(TriMeshTest, StripOfFiveQueuesThreeTrianglesWithItsWinding) {
    Material glass(device_.get());
    glass.opacity = 0.5f;
    auto mesh = Mesh(5, D3DFVF_XYZ, {0, 1, 2, 3, 4}, D3DPT_TRIANGLESTRIP, &glass);
    EXPECT_EQ(mesh->GetSubmesh(0).primitiveCount, 3);
    mesh->Draw(*device_);
    const auto xs = QueuedXs();
    ASSERT_EQ(xs.size(), 3u);
    // (0 1 2), then (3 2 1) = (1 3 2), then (3 4 2) = (2 3 4): the strip's
    // own alternating order, so culling sees the same faces.
    EXPECT_EQ(xs[0], (std::array<float, 3>{0, 1, 2}));
    EXPECT_EQ(xs[1], (std::array<float, 3>{3, 2, 1}));
    EXPECT_EQ(xs[2], (std::array<float, 3>{3, 4, 2}));
    // Keys: view depth of the vertex last put in slot 2 (identity view: z).
    auto key = [](float depth) {
        uint32_t k;
        std::memcpy(&k, &depth, 4);
        return k;
    };
    EXPECT_EQ(device_->GetTransparent(0).key, key(12.0f));
    EXPECT_EQ(device_->GetTransparent(1).key, key(12.0f));
    EXPECT_EQ(device_->GetTransparent(2).key, key(12.0f));
}

TEST_F(TriMeshTest, TranslucentVerticesAreInWorldSpaceWithViewDepthKeys) {
    Material glass(device_.get());
    glass.opacity = 0.5f;
    auto mesh = Mesh(3, D3DFVF_XYZ | D3DFVF_NORMAL, {0, 1, 2}, D3DPT_TRIANGLELIST, &glass);
    // World: scale x by 2 and move by (0, 5, 0); view: move by (0, 0, -4).
    D3DMATRIX world{};
    world._11 = 2;
    world._22 = world._33 = world._44 = 1;
    world._42 = 5;
    D3DMATRIX view{};
    view._11 = view._22 = view._33 = view._44 = 1;
    view._43 = -4;
    device_->GetDevice()->SetTransform(D3DTS_WORLD, &world);
    device_->GetDevice()->SetTransform(D3DTS_VIEW, &view);
    mesh->Draw(*device_);
    ASSERT_EQ(device_->GetTransparentCount(), 1);
    const TransparentTriangle& t = device_->GetTransparent(0);
    float v[6];
    std::memcpy(v, t.vertices + 24, sizeof v);  // vertex 1: position and normal
    EXPECT_EQ(v[0], 2.0f);
    EXPECT_EQ(v[1], 5.0f);
    EXPECT_EQ(v[2], 11.0f);
    EXPECT_EQ(v[4], 1.0f);  // the normal turns without translation
    float depth;
    std::memcpy(&depth, &t.key, 4);
    EXPECT_EQ(depth, 6.0f);  // vertex 0: z 10 in the world, 6 in view space
    // The mesh's own buffer keeps model space.
    mesh->LockVertices(TriMesh::LOCK_READ_ONLY);
    EXPECT_EQ(mesh->GetVertex(1).position, Vector3(1, 0, 11));
    mesh->UnlockVertices(0);
}

TEST_F(TriMeshTest, DiffuseAlphaTakesTheOpacity) {
    Material half(device_.get());
    half.opacity = 0.5f;
    auto mesh = Mesh(3, D3DFVF_XYZ | D3DFVF_DIFFUSE, {0, 1, 2}, D3DPT_TRIANGLELIST, &half,
                     {0xFF102030, 0x80102030, 0x00102030});
    mesh->Draw(*device_);
    ASSERT_EQ(device_->GetTransparentCount(), 1);
    const TransparentTriangle& t = device_->GetTransparent(0);
    uint32_t colour[3];
    for (int k = 0; k < 3; ++k) std::memcpy(&colour[k], t.vertices + k * 16 + 12, 4);
    EXPECT_EQ(colour[0], 0xFF102030u);
    EXPECT_EQ(colour[1], 0xFF102030u);
    EXPECT_EQ(colour[2], 0x7F102030u);
}

TEST_F(TriMeshTest, ListRemainderIsLeftOut) {
    Material glass(device_.get());
    glass.opacity = 0.25f;
    auto mesh = Mesh(4, D3DFVF_XYZ, {0, 1, 2, 1, 3, 2, 0, 3}, D3DPT_TRIANGLELIST, &glass);
    mesh->Draw(*device_);
    const auto xs = QueuedXs();
    ASSERT_EQ(xs.size(), 2u);
    EXPECT_EQ(xs[1], (std::array<float, 3>{1, 3, 2}));
}

TEST_F(TriMeshTest, IndicesBeyondTheVerticesAreNeverDrawn) {
    Material opaque(device_.get());
    auto mesh = Mesh(4, D3DFVF_XYZ, {0, 1, 4}, D3DPT_TRIANGLELIST, &opaque);
    mesh->Draw(*device_);
    EXPECT_TRUE(LinesWith("DrawIndexedPrimitive(").empty());
    EXPECT_FALSE(mesh->IndicesValid(0));

    Material glass(device_.get());
    glass.opacity = 0.5f;
    auto translucent = Mesh(4, D3DFVF_XYZ, {0, 1, 2, 0, 2, 60000}, D3DPT_TRIANGLELIST, &glass);
    translucent->Draw(*device_);
    EXPECT_EQ(device_->GetTransparentCount(), 0);

    // Recreating the buffer with fewer vertices invalidates the old indices.
    auto shrinking = Mesh(6, D3DFVF_XYZ, {3, 4, 5}, D3DPT_TRIANGLELIST, &opaque);
    shrinking->CreateVertexBuffer(4, D3DFVF_XYZ);
    shrinking->Draw(*device_);
    EXPECT_TRUE(LinesWith("DrawIndexedPrimitive(").empty());
}

TEST_F(TriMeshTest, SubmeshesAndBuffersAreReleased) {
    {
        auto mesh = Mesh(3, D3DFVF_XYZ, {0, 1, 2}, D3DPT_TRIANGLELIST, nullptr);
        mesh->LockIndices(0);  // destroyed while locked
        mesh->LockVertices(0);
        mesh->SetSubmeshCount(2);
        EXPECT_EQ(mesh->GetSubmesh(0).indexBuffer, nullptr);
        mesh->CreateIndexBuffer(1, 3, D3DPT_TRIANGLELIST, nullptr);
    }
    // Both locks were undone before the buffers went.
    EXPECT_EQ(LinesWith("vb#1 Unlock()").size(), 1u);
    EXPECT_EQ(LinesWith("ib#1 Unlock()").size(), 1u);
    EXPECT_EQ(LinesWith("vb#1 Release() = 0").size(), 1u);
    EXPECT_EQ(LinesWith("ib#1 Release() = 0").size(), 1u);
    EXPECT_EQ(LinesWith("ib#2 Release() = 0").size(), 1u);
}

TEST_F(TriMeshTest, BufferFailuresThrow) {
    D3D8TraceConfig config;
    config.failCreateVertexBuffer = true;
    config.failCreateIndexBuffer = true;
    auto device = MakeDevice(config);
    TriMesh mesh(device.get());
    try {
        mesh.CreateVertexBuffer(3, D3DFVF_XYZ);
        ADD_FAILURE();
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "TriMesh::CreateVertexBuffer()");
        EXPECT_STREQ(e.Message().Text(), "Failed!");
        EXPECT_STREQ(e.File().Text(), "trimesh");
    }
    EXPECT_EQ(mesh.GetVertexBuffer(), nullptr);
    mesh.SetSubmeshCount(1);
    try {
        mesh.CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, nullptr);
        ADD_FAILURE();
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "TriMesh::CreateIndexBuffer()");
    }
    mesh.Draw(*device);  // no buffers: nothing happens
}

}  // namespace
