// Builds a scene from an arbitrary byte string read as a KLX file, on the
// trace back end, then poses it and renders it through every camera: the
// builder and the scene must turn whatever the reader accepts into a graph
// they can walk, or refuse it with the framework exception, never crash.
#include <cstdint>
#include <cstring>
#include <memory>
#include "cvcore/exception.h"
#include "cvcore/memorystream.h"
#include "engine/klxdocument.h"
#include "engine/scene.h"
#include "engine/scenebuilder.h"
#include "tracedevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const tracetest::TraceDevice fuzz = tracetest::MakeQuietDevice("scene fuzz", 64, 48);
    if (size > 1024 * 1024) return 0;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size + 1]);
    if (size) std::memcpy(copy.get(), data, size);
    cvcore::MemoryStream stream(std::move(copy), static_cast<int32_t>(size));
    try {
        const KlxDocument document(stream);
        Scene scene;
        SceneBuilder(scene, *fuzz, document).Build();
        for (float seconds : {0.0f, 0.37f, 5.0f, -2.0f}) {
            scene.Update(seconds);
            for (int32_t c = 0; c < scene.GetCameraCount() && c < 4; ++c) {
                scene.Render(*fuzz, *scene.GetCamera(c));
            }
        }
    } catch (const cvcore::Exception&) {
        // A refusal with the framework exception is a correct answer.
    }
    return 0;
}
