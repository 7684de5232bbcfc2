#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "cvcore/object.h"
#include "cvcore/stream.h"

namespace cvcore {

// Describes one kind of container that FileStream can open entries of. The
// operations are plain functions so a descriptor is just a table of them.
class ArchiveType : public Object {
public:
    using NameCountFn = int32_t (*)();
    using NameFn = const char* (*)(int32_t index);
    using CapabilityFn = bool (*)();
    // Opens entry inside container (mode 1 read, 2 write, 3 read/write) and
    // returns a stream the caller owns, or null.
    using OpenFn = std::unique_ptr<Stream> (*)(const char* container, const char* entry, int32_t mode,
                                               const char* password);

    ArchiveType(NameCountFn nameCount, NameFn name, CapabilityFn canRead, CapabilityFn canWrite, OpenFn open)
        : GetNameCount(nameCount), GetName(name), CanRead(canRead), CanWrite(canWrite), Open(open) {}

    NameCountFn GetNameCount;
    NameFn GetName;  // "" for an index outside 0 .. count-1
    CapabilityFn CanRead;
    CapabilityFn CanWrite;
    OpenFn Open;
};

// The registered archive types in registration order. The registry fills
// itself on first use (the ZIP reader, answering to "zip" and "pak") and never
// changes afterwards.
const std::vector<ArchiveType>& ArchiveTypes();

// The fallback for names without an archive extension: opens the entry name
// (a full path) as a PlainFileStream. Not part of the registry.
const ArchiveType& PlainFileType();

}  // namespace cvcore
