// halcyon2-scene: renders one KLX scene at one time through one camera into
// a PNG, or times how fast the engine draws it.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "pngfile.h"
#include "sceneoptions.h"
#include "scenesnapshot.h"

namespace {

constexpr int kFailed = 1;
constexpr int kBadArguments = 2;

// "maasto.png" for ".../landscape/maasto.klx".
std::string DefaultOutput(const std::string& scene) {
    const size_t slash = scene.find_last_of("/\\");
    std::string name = slash == std::string::npos ? scene : scene.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name + ".png";
}

void List(const SceneSnapshot& snapshot) {
    const Scene& scene = snapshot.GetScene();
    const SceneTime& t = scene.time;
    const double ticksPerSecond = double(t.framesPerSecond) * t.ticksPerFrame;
    std::printf("animation: ticks %d to %d, %d frames per second, %d ticks per frame", t.startTick, t.endTick,
                t.framesPerSecond, t.ticksPerFrame);
    if (ticksPerSecond > 0)
        std::printf(" (%.3f s to %.3f s)", t.startTick / ticksPerSecond, t.endTick / ticksPerSecond);
    std::printf("\nfog: %s", scene.fogEnabled ? "on" : "off");
    if (scene.fogEnabled) std::printf(", colour %06X", scene.fogColor & 0xFFFFFFu);
    std::printf("\nlights: %zu\ncameras: %zu\n", scene.GetLights().size(), snapshot.CameraNames().size());
    for (size_t i = 0; i < snapshot.CameraNames().size(); ++i) {
        const CameraParameters& p = scene.GetCamera(static_cast<int32_t>(i))->GetParameters();
        std::printf("  %zu \"%s\" field of view %.1f degrees\n", i, snapshot.CameraNames()[i].c_str(),
                    p.fovHorizontal * 57.29578);
    }
}

bool Save(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
    std::string error;
    if (WritePngFile(path, pixels.data(), width, height, error)) return true;
    std::fprintf(stderr, "halcyon2-scene: %s\n", error.c_str());
    return false;
}

// N frames drawn and presented; the last one is read back before it is
// presented, which waits until the device has drawn every frame, so the
// mean counts the whole work and not only the handing over of commands.
int Bench(SceneSnapshot& snapshot, const SceneOptions& o, int camera) {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < o.bench; ++i) {
        snapshot.Draw(o.time + o.step * static_cast<float>(i), camera);
        if (i == o.bench - 1) pixels = snapshot.ReadFrame(width, height);
        snapshot.Present();
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d frames at %dx%d, mean %.3f ms per frame\n", o.scene.c_str(), o.bench, width, height,
                ms / o.bench);
    return o.out.empty() || Save(o.out, pixels, width, height) ? 0 : kFailed;
}

int Render(SceneSnapshot& snapshot, const SceneOptions& o, int camera) {
    snapshot.Draw(o.time, camera);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = snapshot.ReadFrame(width, height);
    snapshot.Present();
    return Save(o.out.empty() ? DefaultOutput(o.scene) : o.out, pixels, width, height) ? 0 : kFailed;
}

int Run(const SceneOptions& o) {
    cvcore::SetArchivePassword(o.password.c_str());
    SceneSnapshot snapshot(o.scene, o.width, o.height);
    if (o.list) {
        List(snapshot);
        return 0;
    }
    if (snapshot.CameraNames().empty()) {
        std::fprintf(stderr, "halcyon2-scene: %s has no camera to render through\n", o.scene.c_str());
        return kFailed;
    }
    const int camera = snapshot.FindCamera(o.camera);
    if (camera < 0) {
        std::fprintf(stderr, "halcyon2-scene: no camera '%s' in %s (--list shows its %zu cameras)\n", o.camera.c_str(),
                     o.scene.c_str(), snapshot.CameraNames().size());
        return kBadArguments;
    }
    const bool lit = o.lighting == SceneOptions::Lighting::On ||
                     (o.lighting == SceneOptions::Lighting::Auto && !snapshot.GetScene().GetLights().empty());
    snapshot.SetLighting(lit);
    return o.bench > 0 ? Bench(snapshot, o, camera) : Render(snapshot, o, camera);
}

}  // namespace

int main(int argc, char** argv) {
    SceneOptions options;
    std::string error;
    if (!ParseSceneOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "halcyon2-scene: %s\n(halcyon2-scene --help lists the options)\n", error.c_str());
        return kBadArguments;
    }
    if (options.help) {
        std::fputs(SCENE_USAGE, stdout);
        return 0;
    }
    try {
        return Run(options);
    } catch (...) {
        const cvcore::Exception e = cvcore::CurrentException();
        std::fprintf(stderr, "halcyon2-scene: %s: %s %s (%s)\n", options.scene.c_str(), e.Method().Text(),
                     e.Message().Text(), e.File().Text());
        return kFailed;
    }
}
