#include "cvcore/archivetype.h"

#include "cvcore/plainfilestream.h"
#include "cvcore/zip.h"

namespace cvcore {
namespace {

std::unique_ptr<Stream> OpenZipEntry(const char* container, const char* entry, int32_t mode, const char* password) {
    return zip::Open(container, entry, mode, password);
}

int32_t NoNames() { return 0; }
const char* NoName(int32_t) { return ""; }
bool Always() { return true; }

// The container path is meaningless for plain files: the entry name is the
// whole path.
std::unique_ptr<Stream> OpenPlainFile(const char*, const char* path, int32_t mode, const char*) {
    return PlainFileStream::Open(path, mode);
}

// Process-wide; constant-initialised, so usable during static start-up.
std::vector<ArchiveType> registry;
bool registryInitialised = false;

}  // namespace

const std::vector<ArchiveType>& ArchiveTypes() {
    if (!registryInitialised) {
        registry.emplace_back(zip::GetNameCount, zip::GetName, zip::CanRead, zip::CanWrite, OpenZipEntry);
        registryInitialised = true;
    }
    return registry;
}

const ArchiveType& PlainFileType() {
    static const ArchiveType plain(NoNames, NoName, Always, Always, OpenPlainFile);
    return plain;
}

}  // namespace cvcore
