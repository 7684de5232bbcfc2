// The translucent path through the OpenGL back end: triangles that a mesh
// defers to the queue must cover the same pixels, with the same faces culled,
// as the mesh drawn directly.
#include <d3d8.h>
#include <d3d8ext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/device3d.h"
#include "engine/material.h"
#include "engine/trimesh.h"
#include "tracedevice.h"

namespace {

constexpr uint32_t kBackground = 0xFF203040;

class TranslucentRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        D3D8Trace_Disable();
        device_ = std::make_unique<Device3D>();
        DeviceSettings settings;
        settings.format = D3DFMT_X8R8G8B8;
        device_->CreateDevice(settings);
        d_ = device_->GetDevice();
        ASSERT_NE(d_, nullptr);
        UINT w = 0, h = 0;
        ASSERT_EQ(D3D8_ReadBackBuffer(d_, nullptr, 0, &w, &h), D3D_OK);
        width_ = w;
        height_ = h;
    }

    // A zigzag strip of eight vertices, turned and moved by the world
    // transform, seen through a perspective camera; returns the pixels
    // that are not background.
    std::vector<bool> DrawStrip(float opacity, DWORD cull) {
        Material material(device_.get());
        material.opacity = opacity;
        material.cullMode = cull;
        material.zEnable = D3DZB_FALSE;
        TriMesh mesh(device_.get());
        mesh.CreateVertexBuffer(8, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        mesh.LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
        for (int i = 0; i < 8; ++i) {
            MeshVertex v;
            v.position = Vector3(-2.0f + static_cast<float>(i / 2) * 1.3f, (i % 2) ? 1.0f : -1.0f,
                                 static_cast<float>(i / 2) * 0.8f);
            v.diffuse = 0xFFFFFFFF;
            mesh.SetVertex(i, v);
        }
        mesh.UnlockVertices(TriMesh::UNLOCK_SPHERE);
        mesh.SetSubmeshCount(1);
        mesh.CreateIndexBuffer(0, 8, D3DPT_TRIANGLESTRIP, &material);
        uint16_t* indices = mesh.LockIndices(0);
        for (uint16_t i = 0; i < 8; ++i) indices[i] = i;
        mesh.UnlockIndices(0);

        d_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        d_->BeginScene();
        d_->SetRenderState(D3DRS_LIGHTING, FALSE);
        D3DMATRIX projection{};
        projection._11 = 1.5f;
        projection._22 = 2.0f;
        projection._33 = 100.0f / 99.0f;
        projection._34 = 1.0f;
        projection._43 = -100.0f / 99.0f;
        d_->SetTransform(D3DTS_PROJECTION, &projection);
        const float angle = 0.4f;
        D3DMATRIX world{};
        world._11 = std::cos(angle);
        world._13 = -std::sin(angle);
        world._22 = 1.0f;
        world._31 = std::sin(angle);
        world._33 = std::cos(angle);
        world._42 = 0.3f;
        world._43 = 5.0f;
        world._44 = 1.0f;
        d_->SetTransform(D3DTS_WORLD, &world);
        mesh.Draw(*device_);
        // The queue holds world-space vertices, as the scene draws it.
        D3DMATRIX identity{};
        identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
        d_->SetTransform(D3DTS_WORLD, &identity);
        device_->FlushTransparent();
        d_->EndScene();

        std::vector<uint32_t> frame(static_cast<size_t>(width_) * height_);
        EXPECT_EQ(D3D8_ReadBackBuffer(d_, frame.data(), width_ * 4, nullptr, nullptr), D3D_OK);
        std::vector<bool> covered(frame.size());
        for (size_t i = 0; i < frame.size(); ++i) covered[i] = (frame[i] | 0xFF000000u) != kBackground;
        return covered;
    }

    static size_t Count(const std::vector<bool>& mask) {
        size_t n = 0;
        for (bool b : mask) n += b ? 1 : 0;
        return n;
    }

    std::unique_ptr<Device3D> device_;
    IDirect3DDevice8* d_ = nullptr;
    UINT width_ = 0;
    UINT height_ = 0;
};

TEST_F(TranslucentRenderTest, QueuedStripCoversWhatTheStripCovers) {
    const std::vector<bool> direct = DrawStrip(1.0f, D3DCULL_CCW);
    const std::vector<bool> queued = DrawStrip(0.5f, D3DCULL_CCW);
    const size_t covered = Count(direct);
    ASSERT_GT(covered, 10000u);  // the strip faces the camera with this winding
    // The CPU transform may round an edge differently from the GPU one: allow
    // a pixel's width along the outline, nothing more.
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i) differing += direct[i] != queued[i] ? 1 : 0;
    EXPECT_LT(differing, 40u) << "of " << covered;
}

TEST_F(TranslucentRenderTest, QueuedStripIsCulledLikeTheStrip) {
    EXPECT_EQ(Count(DrawStrip(1.0f, D3DCULL_CW)), 0u);
    EXPECT_EQ(Count(DrawStrip(0.5f, D3DCULL_CW)), 0u);
    EXPECT_GT(Count(DrawStrip(0.5f, D3DCULL_NONE)), 10000u);
}

// The queue only reads the mesh's buffers. A discarding lock would leave
// their contents undefined and make the device take them again every frame:
// the trace shows read-only locks (0x10) only, frame after frame, and the
// same triangles queued each time.
TEST(TranslucentLocks, QueueReadsTheBuffersReadOnly) {
    auto device = tracetest::MakeDevice();
    Material glass(device.get());
    glass.opacity = 0.5f;
    TriMesh mesh(device.get());
    mesh.CreateVertexBuffer(3, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    mesh.LockVertices(0);
    for (int i = 0; i < 3; ++i) {
        MeshVertex v;
        v.position = Vector3(static_cast<float>(i), static_cast<float>(i % 2), 5.0f);
        v.diffuse = 0x80FFFFFF;
        mesh.SetVertex(i, v);
    }
    mesh.UnlockVertices(0);
    mesh.SetSubmeshCount(1);
    mesh.CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, &glass);
    uint16_t* indices = mesh.LockIndices(0);
    for (uint16_t i = 0; i < 3; ++i) indices[i] = i;
    mesh.UnlockIndices(0);

    D3D8Trace_Clear();
    mesh.Draw(*device);
    mesh.Draw(*device);
    const std::vector<std::string> locks = tracetest::LinesWith(" Lock(");
    ASSERT_EQ(locks.size(), 4u);  // vertices and indices, twice
    for (const std::string& line : locks) {
        EXPECT_NE(line.find(", 0x10)"), std::string::npos) << line;
    }
    ASSERT_EQ(device->GetTransparentCount(), 2);
    const TransparentTriangle& first = device->GetTransparent(0);
    const TransparentTriangle& second = device->GetTransparent(1);
    EXPECT_EQ(std::memcmp(first.vertices, second.vertices, 3 * first.stride), 0);

    // A read-only lock writes nothing.
    mesh.LockVertices(TriMesh::LOCK_READ_ONLY);
    mesh.SetVertex(0, MeshVertex{});
    EXPECT_EQ(mesh.GetVertex(0).diffuse, 0x80FFFFFFu);
    mesh.UnlockVertices(0);
    device.reset();
    D3D8Trace_Disable();
}

}  // namespace
