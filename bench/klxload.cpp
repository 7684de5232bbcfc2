// Loads a 200,000-triangle KLX scene with one embedded 1024 x 1024 JPEG, from
// a file through FileStream and from memory; reports file MB/s and ms. The
// rate is per CPU second: on a shared machine wall time mostly measures the
// neighbours.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include "cvcore/memorystream.h"
#include "engine/klxdocument.h"
#include "engine/klxwriter.h"

namespace {

// Four grid meshes of 125 x 200 quads (16-bit indices allow at most 65,536
// vertices a mesh): 4 x 50,000 = 200,000 triangles.
KlxMesh GridMesh(uint32_t id) {
    constexpr int kW = 125, kH = 200;
    KlxMesh mesh;
    mesh.nodeId = id;
    mesh.vertexFlags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | (1u << KLX_VERTEX_SET_SHIFT);
    for (int y = 0; y <= kH; ++y) {
        for (int x = 0; x <= kW; ++x) {
            KlxVertex v;
            v.position = {float(x), std::sin(x * 0.1f) * std::cos(y * 0.1f), float(y)};
            v.normal = {0, 1, 0};
            v.uv[0] = {x / float(kW), y / float(kH)};
            mesh.vertices.push_back(v);
        }
    }
    KlxFaceGroup g;
    g.materialId = 1;
    g.lightMap = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const uint16_t a = static_cast<uint16_t>(y * (kW + 1) + x);
            const uint16_t b = static_cast<uint16_t>(a + 1), c = static_cast<uint16_t>(a + kW + 1),
                           d = static_cast<uint16_t>(c + 1);
            g.indices.insert(g.indices.end(), {a, c, b, b, c, d});
        }
    }
    mesh.faceGroups.push_back(std::move(g));
    return mesh;
}

std::vector<uint8_t> Jpeg1024(const std::string& dir) {
    const std::string path = dir + "/picture.jpg";
    const std::string command = "convert -size 1024x1024 -seed 7 plasma:fractal -quality 90 " + path + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The scene file, written once per run into a temporary folder that goes
// away at exit.
struct Scene {
    std::string dir;
    std::string path;
    std::vector<uint8_t> bytes;

    Scene() {
        char folder[] = "/tmp/halcyon2-bench-XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        dir = folder;
        path = dir + "/scene.klx";
        KlxDocument doc;
        doc.sceneTime = {0, 16000, 30, 160, 0};
        KlxImage image;
        image.file = Jpeg1024(dir);
        doc.images.push_back(std::move(image));
        KlxMaterial m;
        m.id = 1;
        m.name = "ground";
        doc.materials.push_back(m);
        for (uint32_t id = 1; id <= 4; ++id) {
            KlxNode n;
            n.id = id;
            n.name = "grid";
            n.SetDefaultTracks();
            doc.nodes.push_back(n);
            doc.meshes.push_back(GridMesh(id));
        }
        KlxWriter w;
        w.WriteDocument(doc);
        w.Save(path.c_str());
        bytes = w.Take();
    }
    ~Scene() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
};

const Scene& TheScene() {
    static const Scene scene;
    return scene;
}

void Report(benchmark::State& state, const Scene& scene, const KlxDocument& last) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(scene.bytes.size()));
    state.counters["file_MB"] = static_cast<double>(scene.bytes.size()) / 1e6;
    state.counters["image_w"] = last.images.empty() ? 0 : last.images[0].image.GetWidth();
}

void BM_KlxLoadFile(benchmark::State& state) {
    const Scene& scene = TheScene();
    std::unique_ptr<KlxDocument> doc;
    for (auto _ : state) {
        doc = std::make_unique<KlxDocument>(scene.path.c_str());
        benchmark::DoNotOptimize(doc->meshes.size());
    }
    Report(state, scene, *doc);
}
BENCHMARK(BM_KlxLoadFile)->Unit(benchmark::kMillisecond);

void BM_KlxLoadMemory(benchmark::State& state) {
    const Scene& scene = TheScene();
    std::unique_ptr<KlxDocument> doc;
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[scene.bytes.size()]);
        std::memcpy(copy.get(), scene.bytes.data(), scene.bytes.size());
        cvcore::MemoryStream stream(std::move(copy), static_cast<int32_t>(scene.bytes.size()));
        doc = std::make_unique<KlxDocument>(stream);
        benchmark::DoNotOptimize(doc->meshes.size());
    }
    Report(state, scene, *doc);
}
BENCHMARK(BM_KlxLoadMemory)->Unit(benchmark::kMillisecond);

}  // namespace
