#include "engine/vatrimesh.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include "engine/device3d.h"
#include "engine/material.h"
#include "tracedevice.h"

using tracetest::LinesWith;
using tracetest::MakeSceneDevice;
using tracetest::TraceDevice;

namespace {

constexpr uint32_t kFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

MeshVertex Vertex(float x, const Vector3& normal, uint32_t diffuse, float u) {
    MeshVertex v;
    v.position = {x, 2.0f * x, 0.0f};
    v.normal = normal;
    v.diffuse = diffuse;
    v.texCoords[0] = {u, u};
    return v;
}

// Two vertices; frames at ticks 100, 200 and 400 move them along x by 10 per
// frame and turn the normal of vertex 0 from +x to +y at 200.
struct MorphTest : ::testing::Test {
    void SetUp() override {
        device = MakeSceneDevice();
        mesh = std::make_unique<VATriMesh>(device.get());
        mesh->CreateVertexBuffer(2, kFVF);
        mesh->LockVertices(0);
        mesh->SetVertex(0, Vertex(-5.0f, {1, 0, 0}, 0xFF000000, 0.0f));
        mesh->SetVertex(1, Vertex(-5.0f, {1, 0, 0}, 0xFF000000, 0.0f));
        mesh->UnlockVertices(0);
    }

    void Frames(const std::vector<int32_t>& times) {
        mesh->SetFrameCount(static_cast<int32_t>(times.size()));
        for (size_t k = 0; k < times.size(); ++k) {
            const int32_t frame = static_cast<int32_t>(k);
            mesh->LockFrame(frame);
            mesh->SetFrameTime(frame, times[k]);
            const Vector3 normal = k == 1 ? Vector3(0, 1, 0) : Vector3(1, 0, 0);
            mesh->SetFrameVertex(frame, 0,
                                 Vertex(10.0f * static_cast<float>(k), normal, 0xFF0000FF + static_cast<uint32_t>(k),
                                        0.5f * static_cast<float>(k)));
            mesh->SetFrameVertex(frame, 1, Vertex(100.0f, {0, 0, 1}, 0x11223344, 1.0f));
            mesh->UnlockFrame(frame);
        }
    }

    // Output vertex v as the mesh's own decoder reads it.
    MeshVertex Output(int32_t v) {
        IDirect3DVertexBuffer8* buffer = mesh->GetOutput().buffer;
        BYTE* data = nullptr;
        EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        MeshVertex out;
        const uint8_t* p = data + v * mesh->GetStride();
        float f[6];
        std::memcpy(f, p, sizeof f);
        out.position = {f[0], f[1], f[2]};
        out.normal = {f[3], f[4], f[5]};
        std::memcpy(&out.diffuse, p + 24, 4);
        std::memcpy(&out.texCoords[0], p + 28, 8);
        buffer->Unlock();
        return out;
    }

    TraceDevice device;
    std::unique_ptr<VATriMesh> mesh;
};

TEST_F(MorphTest, OutputStartsAsTheMeshVertices) {
    Frames({100, 200});
    EXPECT_EQ(Output(0).position.x, -5.0f);
}

TEST_F(MorphTest, FrameTimesSelectAndBlend) {
    Frames({100, 200, 400});
    mesh->SetTime(200.0f);  // exactly on a frame: that frame, f = 0
    EXPECT_EQ(Output(0).position, Vector3(10.0f, 20.0f, 0.0f));
    EXPECT_EQ(Output(0).normal, Vector3(0.0f, 1.0f, 0.0f));

    mesh->SetTime(150.0f);  // halfway between frames 0 and 1
    const MeshVertex half = Output(0);
    EXPECT_FLOAT_EQ(half.position.x, 5.0f);
    EXPECT_FLOAT_EQ(half.normal.x, 0.5f);  // not renormalised
    EXPECT_FLOAT_EQ(half.normal.y, 0.5f);
    EXPECT_EQ(half.diffuse, 0xFF0000FFu);  // colour and coordinates of the earlier frame
    EXPECT_EQ(half.texCoords[0].u, 0.0f);
    EXPECT_EQ(Output(1).position.x, 100.0f);

    mesh->SetTime(300.0f);  // between frames 1 and 2
    EXPECT_FLOAT_EQ(Output(0).position.x, 15.0f);
    EXPECT_EQ(Output(0).texCoords[0].u, 0.5f);

    mesh->SetTime(1000.0f);  // past the last frame: the last frame as it is
    EXPECT_EQ(Output(0).position.x, 20.0f);
    EXPECT_EQ(Output(0).diffuse, 0xFF000101u);

    mesh->SetTime(50.0f);  // before the first frame: extrapolates backwards
    EXPECT_FLOAT_EQ(Output(0).position.x, -5.0f);
}

TEST_F(MorphTest, OneFrameIsCopiedAtAnyTime) {
    Frames({100});
    for (float t : {-100.0f, 100.0f, 5000.0f}) {
        mesh->SetTime(t);
        EXPECT_EQ(Output(0).position.x, 0.0f) << t;
    }
}

TEST_F(MorphTest, FramesSharingATimeDoNotDivideByZero) {
    Frames({100, 100, 100});
    mesh->SetTime(50.0f);
    EXPECT_EQ(Output(0).position.x, 0.0f);
}

TEST_F(MorphTest, FrameVerticesReadBackWithTheMeshEncoding) {
    Frames({0, 10});
    mesh->LockFrame(1, TriMesh::LOCK_READ_ONLY);
    const MeshVertex v = mesh->GetFrameVertex(1, 0);
    mesh->UnlockFrame(1);
    EXPECT_EQ(v.position, Vector3(10.0f, 20.0f, 0.0f));
    EXPECT_EQ(v.diffuse, 0xFF000100u);
    EXPECT_EQ(mesh->GetFrameVertex(1, 0).position, Vector3());  // unlocked: nothing to read
}

TEST_F(MorphTest, DrawUsesTheOutputBuffer) {
    Frames({0, 10});
    mesh->SetSubmeshCount(1);
    mesh->CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, nullptr);
    uint16_t* indices = mesh->LockIndices(0);
    indices[0] = 0;
    indices[1] = 1;
    indices[2] = 0;
    mesh->UnlockIndices(0);
    IDirect3DVertexBuffer8* own = mesh->GetVertexBuffer();
    D3D8Trace_Clear();
    mesh->Draw(*device);
    // vb#1 is the mesh's own buffer, vb#2 the output, then the frames.
    EXPECT_EQ(LinesWith("SetStreamSource(0, vb#2, 36)").size(), 1u);
    EXPECT_EQ(LinesWith("DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 0, 1)").size(), 1u);
    EXPECT_EQ(mesh->GetVertexBuffer(), own);
}

TEST_F(MorphTest, TranslucentSubmeshesQueueFromTheOutput) {
    Frames({0, 10});
    Material glass(device.get());
    glass.opacity = 0.5f;
    mesh->SetSubmeshCount(1);
    mesh->CreateIndexBuffer(0, 3, D3DPT_TRIANGLELIST, &glass);
    uint16_t* indices = mesh->LockIndices(0);
    indices[0] = 0;
    indices[1] = 1;
    indices[2] = 0;
    mesh->UnlockIndices(0);
    mesh->SetTime(5.0f);
    D3D8Trace_Clear();
    mesh->Draw(*device);
    EXPECT_EQ(device.get()->GetTransparentCount(), 1);
    EXPECT_EQ(LinesWith("vb#2 Lock(").size(), 1u);  // the output, not the base
    EXPECT_TRUE(LinesWith("vb#1 Lock(").empty());
    device.get()->FlushTransparent();
}

}  // namespace
