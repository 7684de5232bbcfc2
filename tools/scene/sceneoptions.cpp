#include "sceneoptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char SCENE_USAGE[] =
    "usage: halcyon2-scene [options] SCENE.klx\n"
    "\n"
    "Renders one KLX scene through the engine, as the show draws it, at one\n"
    "scene time and through one of its cameras, and saves the frame as a PNG.\n"
    "The scene's textures are looked up in the scene's own folder, as when\n"
    "the show loads it. SCENE may lie in a folder or inside a ZIP archive:\n"
    "\n"
    "  halcyon2-scene content/landscape/maasto.klx\n"
    "  halcyon2-scene --time 12.5 --out frame.png data.zip/landscape/maasto.klx\n"
    "  halcyon2-scene --list data.zip/nakyleipa/nakyleipa.klx\n"
    "  halcyon2-scene --bench 100 --step 0.04 data.zip/kukka/kukka.klx\n"
    "\n"
    "  --time S         scene time in seconds (default 0); past the scene's\n"
    "                   animation range it wraps, as in the show\n"
    "  --camera C       camera by node name or by index in file order\n"
    "                   (default 0, the camera the show uses first)\n"
    "  --size WxH       frame size (default 640x480)\n"
    "  --out FILE       PNG to write (default: the scene's name with .png, in\n"
    "                   the working folder; with --bench only when given)\n"
    "  --lighting M     on, off or auto: Direct3D lighting for the meshes\n"
    "                   (default auto: on when the scene has lights)\n"
    "  --password P     archive password (default: the show's)\n"
    "  --bench N        render and present N frames, then print the mean\n"
    "                   milliseconds per frame (frame drawn to the last\n"
    "                   pixel, the PNG not counted)\n"
    "  --step S         with --bench: add S seconds to the time each frame\n"
    "                   (default 0: the same frame N times)\n"
    "  --list           print the scene's cameras, lights and animation range\n"
    "                   and render nothing\n"
    "  --help           this text\n"
    "\n"
    "Fog is applied through the chosen camera and the frame is cleared to the\n"
    "fog colour when the scene has fog, black otherwise. The window is\n"
    "windowed; headless on Linux with SDL_VIDEODRIVER=offscreen.\n"
    "\n"
    "Exit codes: 0 done; 1 the scene did not load or render, or the PNG could\n"
    "not be written; 2 bad arguments.\n";

namespace {

bool ParseSize(const char* text, int& w, int& h) {
    char tail = 0;
    return std::sscanf(text, "%dx%d%c", &w, &h, &tail) == 2 && w >= 16 && h >= 16 && w <= 8192 && h <= 8192;
}

bool ParseFloat(const char* text, float& value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    value = static_cast<float>(v);
    return end != text && *end == 0 && std::isfinite(value);
}

bool ParseCount(const char* text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    value = static_cast<int>(v);
    return end != text && *end == 0 && v >= 1 && v <= 1000000;
}

bool ParseLighting(const char* text, SceneOptions::Lighting& lighting) {
    if (!std::strcmp(text, "auto"))
        lighting = SceneOptions::Lighting::Auto;
    else if (!std::strcmp(text, "on"))
        lighting = SceneOptions::Lighting::On;
    else if (!std::strcmp(text, "off"))
        lighting = SceneOptions::Lighting::Off;
    else
        return false;
    return true;
}

bool ParseValue(const char* option, const char* v, SceneOptions& o) {
    if (!std::strcmp(option, "--time")) return ParseFloat(v, o.time);
    if (!std::strcmp(option, "--step")) return ParseFloat(v, o.step);
    if (!std::strcmp(option, "--size")) return ParseSize(v, o.width, o.height);
    if (!std::strcmp(option, "--bench")) return ParseCount(v, o.bench);
    if (!std::strcmp(option, "--lighting")) return ParseLighting(v, o.lighting);
    if (!std::strcmp(option, "--camera")) o.camera = v;
    if (!std::strcmp(option, "--out")) o.out = v;
    if (!std::strcmp(option, "--password")) o.password = v;
    return *v != 0;
}

bool TakesValue(const char* option) {
    static const char* const kOptions[] = {"--time",     "--step",   "--size", "--bench",
                                           "--lighting", "--camera", "--out",  "--password"};
    for (const char* known : kOptions)
        if (!std::strcmp(option, known)) return true;
    return false;
}

}  // namespace

bool ParseSceneOptions(int argc, char** argv, SceneOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            o.help = true;
        } else if (!std::strcmp(a, "--list")) {
            o.list = true;
        } else if (TakesValue(a)) {
            if (i + 1 >= argc) {
                error = std::string("missing value after ") + a;
                return false;
            }
            const char* v = argv[++i];
            if (!ParseValue(a, v, o)) {
                error = std::string("bad value for ") + a + ": '" + v + "'";
                return false;
            }
        } else if (a[0] == '-' && a[1] != 0) {
            error = std::string("unknown option ") + a;
            return false;
        } else if (!o.scene.empty()) {
            error = std::string("more than one scene: ") + o.scene + " and " + a;
            return false;
        } else {
            o.scene = a;
        }
    }
    if (o.scene.empty() && !o.help) {
        error = "no scene given";
        return false;
    }
    return true;
}
