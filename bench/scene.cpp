// Per-frame CPU work of the animated meshes: skinning and morph blending,
// on the trace back end with its log off so only our own work is timed.
#include <benchmark/benchmark.h>
#include <memory>
#include "engine/device3d.h"
#include "engine/skintrimesh.h"
#include "engine/vatrimesh.h"
#include "tracedevice.h"

namespace {

constexpr int32_t kVertices = 100000;
constexpr uint32_t kFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

MeshVertex GridVertex(int32_t v, float lift) {
    MeshVertex vertex;
    const float x = static_cast<float>(v % 316);
    const float z = static_cast<float>(v / 316);
    vertex.position = {x, lift, z};
    vertex.normal = {0.0f, 1.0f, 0.0f};
    vertex.diffuse = 0xFFFFFFFF;
    vertex.texCoords[0] = {x / 316.0f, z / 316.0f};
    return vertex;
}

template <class Mesh>
void FillMesh(Mesh& mesh) {
    mesh.CreateVertexBuffer(kVertices, kFVF);
    mesh.LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
    for (int32_t v = 0; v < kVertices; ++v) {
        mesh.SetVertex(v, GridVertex(v, 0.0f));
    }
    mesh.UnlockVertices(TriMesh::UNLOCK_SPHERE);
}

void BM_SkinFourWeights(benchmark::State& state) {
    auto quiet = tracetest::MakeQuietDevice("scene bench");
    SkinTriMesh mesh(quiet.get());
    FillMesh(mesh);
    SceneNode bones[4];
    mesh.SetBindPose(Matrix4(), SkinTriMesh::BoundsFromVertex0 | SkinTriMesh::SphereFromPoints);
    mesh.SetBoneCount(4);
    for (int32_t b = 0; b < 4; ++b) {
        mesh.SetBone(b, &bones[b], Matrix4());
        bones[b].SetLocal(Matrix4(Quaternion(0.0f, 0.1f * static_cast<float>(b), 0.0f, 1.0f)) *
                          Matrix4::Translation(static_cast<float>(b), 0.0f, 0.0f));
    }
    for (int32_t v = 0; v < kVertices; ++v) {
        mesh.SetWeightCount(v, 4);
        for (int32_t k = 0; k < 4; ++k) {
            mesh.SetWeight(v, k, (v + k) % 4, 0.25f);
        }
    }
    for (auto _ : state) {
        mesh.Skin();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_SkinFourWeights)->Unit(benchmark::kMillisecond);

void BM_MorphBlend(benchmark::State& state) {
    auto quiet = tracetest::MakeQuietDevice("scene bench");
    VATriMesh mesh(quiet.get());
    FillMesh(mesh);
    mesh.SetFrameCount(2);
    for (int32_t k = 0; k < 2; ++k) {
        mesh.LockFrame(k);
        mesh.SetFrameTime(k, 1000 * k);
        for (int32_t v = 0; v < kVertices; ++v) {
            mesh.SetFrameVertex(k, v, GridVertex(v, static_cast<float>(k)));
        }
        mesh.UnlockFrame(k);
    }
    float t = 0.0f;
    for (auto _ : state) {
        mesh.SetTime(t);
        t = t < 999.0f ? t + 1.0f : 0.0f;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_MorphBlend)->Unit(benchmark::kMillisecond);

}  // namespace
