#include "showmain.h"

#include <memory>
#include <vector>

#include "assets.h"
#include "cvcore/report.h"
#include "parts.h"
#include "showapp.h"
#include "showstate.h"
#include "usefmod.h"

int show::main(int, char**) {
    auto app = std::make_unique<ShowApp>();
    try {
        LoadAssets(*app);
        MusicPlay();
        for (int part = 1; part <= PART_COUNT; ++part) {
            showState.part = part;
            ApplyPartStart(*app, SHOW_PARTS[part - 1].start);
            app->RunPart(SHOW_PARTS[part - 1].frame);
        }
    } catch (...) {
        // What was loaded holds the device's resources and its lost-device
        // handlers: it must go before the device does, on failure as well.
        FreeAssets();
        throw;
    }
    MusicClose();
    FreeAssets();
    app.reset();
    return 0;
}

// Tabs and quotes mean nothing: only the space separates.
std::vector<char*> SplitCommandLine(char* line) {
    std::vector<char*> tokens;
    char* p = line;
    while (p && *p) {
        while (*p == ' ') ++p;
        if (!*p) break;
        tokens.push_back(p);
        while (*p && *p != ' ') ++p;
        if (*p) *p++ = 0;
    }
    return tokens;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    const std::vector<char*> tokens = SplitCommandLine(commandLine);
    char modulePath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
    std::vector<char*> argv;
    argv.push_back(modulePath);
    argv.insert(argv.end(), tokens.begin(), tokens.end());
    return CallWithReport(show::main, static_cast<int>(argv.size()), argv.data());
}

// Whatever escapes, not only the framework's exception: anything else would
// end the process with an abort and no word to the viewer.
int CallWithReport(int (*body)(int, char**), int argc, char** argv) {
    try {
        return body(argc, argv);
    } catch (...) {
        cvcore::ShowCurrentReport();
    }
    return 0;
}
