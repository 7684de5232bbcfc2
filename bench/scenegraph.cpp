// Large scene graphs: building a scene of n chained KLX nodes (linking must
// grow linearly with n, in either order of the records) and one frame of it
// (update and render), on the trace back end with its log off.
#include <benchmark/benchmark.h>
#include <memory>
#include "engine/klxdocument.h"
#include "engine/scenebuilder.h"
#include "tracedevice.h"

namespace {

// Node k hangs below node k - 1, the first one moves along x, a small mesh
// hangs at the bottom and a camera at the top looks at it. Top down lists
// parents before children; bottom up the reverse.
KlxDocument ChainDocument(uint32_t count, bool topDown) {
    KlxDocument doc;
    doc.sceneTime = {0, 1000, 30, 160, 0};
    KlxMaterial material;
    material.id = 1;
    doc.materials = {material};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = topDown ? i + 1 : count - i;
        KlxNode node;
        node.id = id;
        node.parentId = id - 1;
        node.SetDefaultTracks();
        doc.nodes.push_back(std::move(node));
    }
    KlxNode& first = topDown ? doc.nodes.front() : doc.nodes.back();
    PositionKey key;
    first.positionTrack.Add(1000, key);
    first.positionTrack.end = 1000;

    KlxNode eye;
    eye.id = count + 1;
    eye.position = {0.0f, 0.0f, -10.0f};
    eye.SetDefaultTracks();
    doc.nodes.push_back(std::move(eye));
    KlxCamera camera;
    camera.nodeId = count + 1;
    camera.fieldOfView = 1.0f;
    doc.cameras = {camera};

    KlxMesh mesh;
    mesh.nodeId = count;
    mesh.vertexFlags = KLX_VERTEX_POSITION;
    mesh.vertices.resize(3);
    mesh.vertices[1].position = {1.0f, 0.0f, 0.0f};
    mesh.vertices[2].position = {0.0f, 1.0f, 0.0f};
    KlxFaceGroup group;
    group.materialId = 1;
    group.indices = {0, 1, 2};
    mesh.faceGroups.push_back(std::move(group));
    doc.meshes = {std::move(mesh)};
    return doc;
}

void BM_BuildChain(benchmark::State& state) {
    auto quiet = tracetest::MakeQuietDevice("scene graph bench");
    const auto count = static_cast<uint32_t>(state.range(0));
    const KlxDocument doc = ChainDocument(count, state.range(1) != 0);
    for (auto _ : state) {
        auto scene = std::make_unique<Scene>();
        SceneBuilder(*scene, *quiet, doc).Build();
        benchmark::DoNotOptimize(scene.get());
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_BuildChain)
    ->ArgNames({"nodes", "topdown"})
    ->Args({20000, 1})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond);

// Update moves the top of the chain, so the render recomputes every world
// matrix down to the mesh.
void BM_ChainFrame(benchmark::State& state) {
    auto quiet = tracetest::MakeQuietDevice("scene graph bench");
    const auto count = static_cast<uint32_t>(state.range(0));
    Scene scene;
    SceneBuilder(scene, *quiet, ChainDocument(count, true)).Build();
    SceneCamera& camera = *scene.GetCamera(0);
    float seconds = 0.0f;
    for (auto _ : state) {
        scene.Update(seconds);
        scene.Render(*quiet, camera);
        seconds += 0.001f;
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ChainFrame)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
