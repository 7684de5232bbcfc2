#include "datafolder.h"

#include <system_error>

#ifndef HALCYON2_DATA_FROM_BIN
#define HALCYON2_DATA_FROM_BIN "../share/halcyon2"
#endif

namespace fs = std::filesystem;

namespace {

bool HoldsData(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "data.zip", ec);
}

}  // namespace

fs::path ChooseDataFolder(const fs::path& working, const fs::path& exeDir) {
    if (HoldsData(working)) return working;
    // Relative to the executable rather than an absolute prefix, so a package
    // unpacked anywhere (or installed with DESTDIR) finds its own data.
    if (!exeDir.empty()) {
        const fs::path installed = (exeDir / HALCYON2_DATA_FROM_BIN).lexically_normal();
        if (HoldsData(installed)) return installed;
    }
    return working;
}

fs::path DefaultDataFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path working = fs::current_path(ec);
    return ChooseDataFolder(working.empty() ? fs::path(".") : working, exe.empty() ? fs::path() : exe.parent_path());
}
