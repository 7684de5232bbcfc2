// Keeps every shared object that is loaded now loaded until the process ends.
//
// System graphics drivers load their own modules behind SDL and EGL (Mesa's
// swrast_dri.so, for one) and unload them when the last display closes, while
// allocations they made stay behind until exit by design. Once such a module
// is unmapped, a leak checker can no longer say whose an allocation was, and
// the drivers' own allocations look like ours. Pinning costs nothing at run
// time: the process would have reloaded the same driver for its next window.
#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

#include "win32sdl.h"

namespace {

int CollectName(dl_phdr_info* info, size_t, void* out) {
    if (info->dlpi_name && info->dlpi_name[0] != '\0')
        static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
    return 0;
}

}  // namespace

void Win32PinLoadedModules() {
    // Names first: dlopen must not run inside dl_iterate_phdr's lock.
    std::vector<std::string> names;
    dl_iterate_phdr(CollectName, &names);
    for (const std::string& name : names) {
        // NOLOAD only raises the flags of an object that is already there;
        // the reference it takes is never dropped, which is the point.
        if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) (void)handle;
    }
}
