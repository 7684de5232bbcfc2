#include "cvcore/zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cvcore/bytereader.h"
#include "cvcore/exception.h"
#include "mappedfile.h"
#include "pkwarekeys.h"

namespace cvcore::zip {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kDirectoryHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kEncryptionHeaderSize = 12;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
// Deflate cannot expand by more than this factor; a larger claimed size is a
// lie we refuse before allocating for it.
constexpr uint64_t kMaxDeflateRatio = 1032;
// A deflated entry's buffer starts at this many times its compressed size
// (plus a little) and grows only as inflate fills it, so a claimed size
// within the ratio above still costs no more than the data really yields.
constexpr uint64_t kFirstGuessRatio = 4;
constexpr uint64_t kFirstGuessExtra = 64 * 1024;

struct ZipEndRecord {
    uint16_t thisDisk = 0;
    uint16_t directoryDisk = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t totalEntries = 0;
    uint32_t directorySize = 0;
    uint32_t directoryOffset = 0;
    uint16_t commentLength = 0;
};

// The fields of a central directory header this reader uses; the name is
// upper-cased for lookup.
struct ZipEntry {
    uint16_t versionMadeBy = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t localHeaderOffset = 0;
    std::string name;
};

// The password given to the last Open that found its entry; an Open without
// a password uses it again.
std::string& PasswordBuffer() {
    static std::string password;
    return password;
}

// ASCII only, whatever locale the process runs in: names compare the same
// everywhere.
std::string UpperCase(const char* text, size_t length) {
    std::string upper(text, length);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

struct Extracted {
    std::unique_ptr<uint8_t[]> data;
    int32_t size = 0;
};

// One parsed archive; lives for a single Open. Every offset and length read
// from the file is checked against the mapping before it is followed.
class ZipArchive {
public:
    explicit ZipArchive(const char* path) : file_(path) {
        isOpen_ = file_.IsOpen() && ReadEndRecord() && ReadDirectory();
    }

    bool IsOpen() const { return isOpen_; }

    const ZipEntry* Find(const char* name) const {
        if (!name) return nullptr;
        const std::string wanted = UpperCase(name, std::strlen(name));
        for (const ZipEntry& entry : entries_)
            if (entry.name == wanted) return &entry;
        return nullptr;
    }

    Extracted Extract(const ZipEntry& entry, const std::string& password) const;

private:
    bool Fits(uint64_t offset, uint64_t length) const {
        return offset <= file_.Size() && length <= file_.Size() - offset;
    }
    ByteReader Bytes() const { return ByteReader(file_.Base(), file_.Size()); }

    bool ReadEndRecord();
    bool ReadDirectory();
    const uint8_t* LocateData(const ZipEntry& entry) const;

    MappedFile file_;
    bool isOpen_ = false;
    ZipEndRecord endRecord_;
    std::vector<ZipEntry> entries_;
};

// Searches backwards over a trailing comment; offset 0 is never a candidate.
// The comment may itself hold the signature, so the record taken is the one
// whose comment ends exactly at the end of the file; when none does (bytes
// after the archive), the last signature found stands.
bool ZipArchive::ReadEndRecord() {
    const uint32_t size = file_.Size();
    if (size <= kEndRecordSize) return false;
    ByteReader bytes = Bytes();
    uint32_t found = 0;
    for (uint32_t at = size - kEndRecordSize; at >= 1; --at) {
        if (bytes.U32At(at) != kEndSignature) continue;
        if (found == 0) found = at;
        if (uint64_t{at} + kEndRecordSize + bytes.U16At(at + 20) == size) {
            found = at;
            break;
        }
        // A comment is at most 65535 bytes: no record further back can
        // reach the end exactly.
        if (found != 0 && size - at > kEndRecordSize + 0xffffu) break;
    }
    if (found == 0) return false;
    ByteReader record(file_.Base() + found, kEndRecordSize);
    endRecord_ = {record.U16At(4),  record.U16At(6),  record.U16At(8), record.U16At(10),
                  record.U32At(12), record.U32At(16), record.U16At(20)};
    const bool singleDisk = endRecord_.thisDisk == 0 && endRecord_.directoryDisk == 0 &&
                            endRecord_.entriesOnDisk == endRecord_.totalEntries;
    return singleDisk && Fits(endRecord_.directoryOffset, endRecord_.directorySize);
}

bool ZipArchive::ReadDirectory() {
    const uint8_t* base = file_.Base();
    uint64_t at = endRecord_.directoryOffset;
    entries_.reserve(std::min<uint64_t>(endRecord_.totalEntries, file_.Size() / kDirectoryHeaderSize));
    for (uint32_t i = 0; i < endRecord_.totalEntries; ++i) {
        if (!Fits(at, kDirectoryHeaderSize)) return false;
        ByteReader header(base + at, kDirectoryHeaderSize);
        const uint16_t nameLength = header.U16At(28);
        if (!Fits(at + kDirectoryHeaderSize, nameLength)) return false;
        ZipEntry entry;
        entry.versionMadeBy = header.U16At(4);
        entry.flags = header.U16At(8);
        entry.method = header.U16At(10);
        entry.modTime = header.U16At(12);
        entry.crc = header.U32At(16);
        entry.compressedSize = header.U32At(20);
        entry.uncompressedSize = header.U32At(24);
        entry.localHeaderOffset = header.U32At(42);
        entry.name = UpperCase(reinterpret_cast<const char*>(base + at + kDirectoryHeaderSize), nameLength);
        entries_.push_back(std::move(entry));
        at += uint64_t{kDirectoryHeaderSize} + nameLength + header.U16At(30) + header.U16At(32);
    }
    return true;
}

// The entry's data, or null when the local header disagrees with the
// directory or anything lies outside the file.
const uint8_t* ZipArchive::LocateData(const ZipEntry& entry) const {
    const uint64_t header = entry.localHeaderOffset;
    if (!Fits(header, kLocalHeaderSize)) return nullptr;
    ByteReader local(file_.Base() + header, kLocalHeaderSize);
    if (local.U32At(18) != entry.compressedSize) return nullptr;
    const uint64_t data = header + kLocalHeaderSize + local.U16At(26) + local.U16At(28);
    if (!Fits(data, entry.compressedSize)) return nullptr;
    return file_.Base() + data;
}

// Checks the decrypted 12-byte header against the CRC. Old writers (version
// made by below 2.0) put two check bytes there, later ones only one. Writers
// that encrypt while streaming (flag bit 3: the CRC comes after the data, as
// Info-ZIP does for every encrypted entry) use the modification time instead.
bool PasswordMatches(const ZipEntry& entry, const uint8_t* header) {
    const uint32_t check = (entry.flags & 8) ? uint32_t{entry.modTime} << 16 : entry.crc;
    if ((entry.versionMadeBy & 0xff) < 20) return ByteReader(header, kEncryptionHeaderSize).U16At(10) == check >> 16;
    return header[11] == check >> 24;
}

bool SizesPlausible(const ZipEntry& entry, uint32_t payloadSize) {
    if (entry.uncompressedSize == 0 || entry.uncompressedSize > INT32_MAX || payloadSize > INT32_MAX) return false;
    if (entry.method == kMethodStored) return entry.uncompressedSize <= payloadSize;
    if (entry.method == kMethodDeflate) return entry.uncompressedSize <= (uint64_t{payloadSize} + 1) * kMaxDeflateRatio;
    return false;
}

// Null when the memory is not there: an entry too large for this process is
// refused like any other unreadable entry instead of ending the process.
std::unique_ptr<uint8_t[]> TryAllocate(size_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

[[noreturn]] void Fail(const char* message) { throw Exception("Zip", message, "zip"); }

const char* InflateErrorText(int result) {
    switch (result) {
    case Z_BUF_ERROR: return "ZIP file decompression failed (buffer error).";
    case Z_MEM_ERROR: return "ZIP file decompression failed (memory error).";
    case Z_DATA_ERROR: return "ZIP file decompression failed (data error).";
    default: return "ZIP file decompression failed (unknown error).";
    }
}

// Ends the zlib stream on every path, including the error ones.
class InflateStream {
public:
    InflateStream() {
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) Fail("ZIP file decompression (inflateInit2) failed.");
    }
    ~InflateStream() {
        if (!ended_) inflateEnd(&stream_);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    z_stream& Get() { return stream_; }
    void End() {
        ended_ = true;
        if (inflateEnd(&stream_) != Z_OK) Fail("ZIP file decompression (inflateEnd) failed.");
    }

private:
    z_stream stream_{};
    bool ended_ = false;
};

// Inflates into a buffer that grows with the output, up to the claimed size:
// what the entry claims is only trusted as far as its data bears it out.
// Returns an empty result when the data ends short or memory runs out.
Extracted InflateEntry(const uint8_t* input, uint32_t inputSize, uint32_t claimed) {
    uint64_t capacity = std::min<uint64_t>(claimed, uint64_t{inputSize} * kFirstGuessRatio + kFirstGuessExtra);
    std::unique_ptr<uint8_t[]> buffer = TryAllocate(capacity);
    if (!buffer) return {};
    InflateStream inflater;
    z_stream& stream = inflater.Get();
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = inputSize;
    stream.next_out = buffer.get();
    stream.avail_out = static_cast<uInt>(capacity);
    for (;;) {
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) Fail(InflateErrorText(result));
        if (stream.avail_out != 0 || capacity == claimed) continue;
        const uint64_t grown = std::min<uint64_t>(claimed, capacity * 2);
        std::unique_ptr<uint8_t[]> larger = TryAllocate(grown);
        if (!larger) return {};
        std::memcpy(larger.get(), buffer.get(), capacity);
        buffer = std::move(larger);
        stream.next_out = buffer.get() + capacity;
        stream.avail_out = static_cast<uInt>(grown - capacity);
        capacity = grown;
    }
    const uint64_t produced = stream.total_out;
    inflater.End();
    if (produced != claimed) return {};
    return {std::move(buffer), static_cast<int32_t>(produced)};
}

Extracted ZipArchive::Extract(const ZipEntry& entry, const std::string& password) const {
    const uint8_t* input = LocateData(entry);
    if (!input) return {};
    uint32_t payloadSize = entry.compressedSize;
    std::unique_ptr<uint8_t[]> decrypted;
    if (entry.flags & 1) {
        if (password.empty() || payloadSize < kEncryptionHeaderSize) return {};
        payloadSize -= kEncryptionHeaderSize;
        if (!SizesPlausible(entry, payloadSize)) return {};
        PkwareKeys keys(password);
        uint8_t header[kEncryptionHeaderSize];
        keys.Decrypt(input, header, kEncryptionHeaderSize);
        if (!PasswordMatches(entry, header)) return {};
        decrypted = TryAllocate(payloadSize);
        if (!decrypted) return {};
        keys.Decrypt(input + kEncryptionHeaderSize, decrypted.get(), payloadSize);
        input = decrypted.get();
    } else if (!SizesPlausible(entry, payloadSize)) {
        return {};
    }

    Extracted out;
    if (entry.method == kMethodStored) {
        out = {TryAllocate(entry.uncompressedSize), static_cast<int32_t>(entry.uncompressedSize)};
        if (!out.data) return {};
        std::memcpy(out.data.get(), input, entry.uncompressedSize);
    } else {
        out = InflateEntry(input, payloadSize, entry.uncompressedSize);
        if (!out.data) return {};
    }
    if (crc32(0, out.data.get(), static_cast<uInt>(out.size)) != entry.crc) return {};
    return out;
}

}  // namespace

int32_t GetNameCount() { return 2; }

const char* GetName(int32_t index) {
    switch (index) {
    case 0: return "zip";
    case 1: return "pak";
    default: return "";
    }
}

bool CanRead() { return true; }
bool CanWrite() { return false; }

int32_t Inflate(const uint8_t* compressed, uint8_t* output, int32_t compressedSize, int32_t uncompressedSize) {
    InflateStream inflater;
    z_stream& stream = inflater.Get();
    stream.next_in = const_cast<Bytef*>(compressed);
    stream.avail_in = static_cast<uInt>(std::max(compressedSize, 0));
    stream.next_out = output;
    stream.avail_out = static_cast<uInt>(std::max(uncompressedSize, 0));
    for (;;) {
        const int result = inflate(&stream, Z_FINISH);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) Fail(InflateErrorText(result));
    }
    const auto produced = static_cast<int32_t>(stream.total_out);
    inflater.End();
    return produced;
}

std::unique_ptr<MemoryStream> Open(const char* archivePath, const char* entryName, int32_t mode, const char* password) {
    if (mode != STREAM_READ) return nullptr;
    const ZipArchive archive(archivePath);
    if (!archive.IsOpen()) return nullptr;
    const ZipEntry* entry = archive.Find(entryName);
    if (!entry) return nullptr;
    if (password) PasswordBuffer() = password;
    Extracted extracted = archive.Extract(*entry, PasswordBuffer());
    if (!extracted.data) return nullptr;
    return std::make_unique<MemoryStream>(std::move(extracted.data), extracted.size);
}

}  // namespace cvcore::zip
