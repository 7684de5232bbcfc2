#pragma once
#include <cstdint>
#include <memory>
#include "cvcore/memorystream.h"

namespace cvcore::zip {

// The ZIP reader behind the "zip" and "pak" archive extensions. Every Open
// maps and parses the archive afresh and releases it before returning.

int32_t GetNameCount();              // 2
const char* GetName(int32_t index);  // "zip", "pak", else ""
bool CanRead();                      // true
bool CanWrite();                     // false: archives are read-only

// Decrypts (traditional PKWARE) and inflates one entry whole into memory.
// Returns null for anything but mode 1, a missing or malformed archive, an
// unknown entry, a wrong or empty password, an unsupported method, a size or
// CRC mismatch and an empty entry. A null password reuses the previous one.
// Throws cvcore::Exception (method "Zip", file "zip") when zlib fails.
std::unique_ptr<MemoryStream> Open(const char* archivePath, const char* entryName, int32_t mode, const char* password);

// Raw-deflate decompression of exactly compressedSize input bytes into
// uncompressedSize bytes of output. Returns the number of bytes produced;
// throws cvcore::Exception on a zlib error.
int32_t Inflate(const uint8_t* compressed, uint8_t* output, int32_t compressedSize, int32_t uncompressedSize);

}  // namespace cvcore::zip
