// Reads an arbitrary byte string as a KLX scene into a document (no device):
// the reader must refuse or skip whatever it cannot store, never crash.
#include <cstdint>
#include <cstring>
#include <memory>
#include "cvcore/exception.h"
#include "cvcore/memorystream.h"
#include "engine/klxdocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16 * 1024 * 1024) return 0;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size + 1]);
    if (size) std::memcpy(copy.get(), data, size);
    cvcore::MemoryStream stream(std::move(copy), static_cast<int32_t>(size));
    try {
        const KlxDocument doc(stream);
        // Touch what a scene builder would walk.
        size_t sum = 0;
        for (const KlxMesh& m : doc.meshes) {
            for (const KlxVertex& v : m.vertices) sum += v.weights.size();
            for (const KlxFaceGroup& g : m.faceGroups) sum += g.indices.size();
            for (const KlxFrame& f : m.frames) sum += f.vertices.size();
        }
        for (const KlxNode& n : doc.nodes) sum += static_cast<size_t>(n.name.Length()) + n.positionTrack.keys.size();
        for (const KlxImage& i : doc.images) sum += static_cast<size_t>(i.image.GetWidth());
        if (sum == 0xFFFFFFFF) std::abort();
    } catch (const cvcore::Exception&) {
        // A refusal with the framework exception is a correct answer.
    }
    return 0;
}
