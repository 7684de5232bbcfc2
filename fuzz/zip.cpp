// Opens entries of an arbitrary archive through the file system, as the show
// does: the input is written to a file and opened by entry name.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "cvcore/zip.h"

namespace {

std::string ArchivePath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/halcyon2-fuzz-" + std::to_string(getpid()) + ".zip";
    }();
    return path;
}

void RemoveArchive() { std::remove(ArchivePath().c_str()); }

void TryOpen(const char* name) {
    try {
        cvcore::FileStream stream(name, 1);
        uint8_t buffer[64];
        while (stream.Read(buffer, sizeof buffer) > 0) {
        }
    } catch (const cvcore::Exception&) {
        // Refusing bad input with the framework exception is the wanted result.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = ArchivePath();
    // Registered after the path exists, so it runs before the path is gone.
    static const bool cleanup = std::atexit(RemoveArchive) == 0;
    (void)cleanup;
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    cvcore::SetArchivePassword("hopla");
    cvcore::SetBasePath((path + "/").c_str());
    // Names the seed archives hold, in several spellings.
    for (const char* name : {"font.tga", "SMOKEANDCREDITS/SCENE/VEMPULA.KLX", "a", "empty.dat", "deep/er/x.bin"})
        TryOpen(name);
    return 0;
}
