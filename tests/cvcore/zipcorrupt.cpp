// Truncated and hostile archives: every malformed field makes the open fail
// with the file system's message (or zlib's, for bad deflate data) and never
// reads outside the file.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "cvcore/zip.h"
#include "peakallocation.h"
#include "scratchdir.h"

using testsupport::Quote;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using Bytes = std::vector<uint8_t>;

namespace {

uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Where the fields of an archive's first entry live.
struct Layout {
    explicit Layout(const Bytes& zip) {
        for (end = zip.size() - 22; Get32(zip, end) != 0x06054b50; --end) {
        }
        directory = Get32(zip, end + 16);
        local = Get32(zip, directory + 42);
        data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    }
    size_t end, directory, local, data;
};

enum class Outcome { Opened, CannotAccess, ZipError };

class HostileArchives : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<testsupport::ScratchDir>();
        Bytes text;
        for (int i = 0; i < 3000; ++i) text.push_back(static_cast<uint8_t>("smoke and credits\n"[i % 18]));
        WriteBytes(*dir_ / "src/a.bin", text);
        WriteBytes(*dir_ / "src/b.bin", testsupport::MixedBytes(2000, 9));
        const std::string src = "cd " + Quote(*dir_ / "src") + " && ";
        ASSERT_EQ(testsupport::Run(src + "zip -q -9 ../deflated.zip a.bin b.bin"), 0);
        ASSERT_EQ(testsupport::Run(src + "zip -q -0 ../stored.zip a.bin b.bin"), 0);
        ASSERT_EQ(testsupport::Run(src + "zip -q -9 -P hopla ../encrypted.zip a.bin b.bin"), 0);
        deflated_ = ReadBytes(*dir_ / "deflated.zip");
        stored_ = ReadBytes(*dir_ / "stored.zip");
        encrypted_ = ReadBytes(*dir_ / "encrypted.zip");
    }
    static void TearDownTestSuite() { dir_.reset(); }

    // Writes the archive and opens entry a.bin (or name) through FileStream.
    Outcome Open(const Bytes& archive, const char* name = "a.bin") {
        WriteBytes(*dir_ / "t.zip", archive);
        cvcore::SetBasePath((*dir_ / "t.zip/").c_str());
        cvcore::SetArchivePassword("hopla");
        try {
            cvcore::FileStream stream(name, 1);
            Bytes bytes(static_cast<size_t>(stream.Size()));
            stream.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
            return Outcome::Opened;
        } catch (const cvcore::Exception& e) {
            lastMessage_ = e.Message().Text();
            if (lastMessage_ == "cannot access file: " + *dir_ / "t.zip/" + name) return Outcome::CannotAccess;
            EXPECT_STREQ(e.Method().Text(), "Zip");
            EXPECT_STREQ(e.File().Text(), "zip");
            return Outcome::ZipError;
        }
    }

    static std::unique_ptr<testsupport::ScratchDir> dir_;
    static Bytes deflated_, stored_, encrypted_;
    std::string lastMessage_;
};

std::unique_ptr<testsupport::ScratchDir> HostileArchives::dir_;
Bytes HostileArchives::deflated_, HostileArchives::stored_, HostileArchives::encrypted_;

TEST_F(HostileArchives, UnpatchedArchivesOpen) {
    for (const Bytes* zip : {&deflated_, &stored_, &encrypted_}) {
        EXPECT_EQ(Open(*zip, "a.bin"), Outcome::Opened);
        EXPECT_EQ(Open(*zip, "b.bin"), Outcome::Opened);
    }
}

TEST_F(HostileArchives, EveryTruncationIsRefused) {
    for (const Bytes* zip : {&deflated_, &encrypted_}) {
        for (size_t size = 0; size < zip->size(); size += size < 64 ? 1 : 7) {
            const Bytes cut(zip->begin(), zip->begin() + static_cast<std::ptrdiff_t>(size));
            const Outcome outcome = Open(cut);
            // Cutting only the end record's tail can leave everything findable
            // except that record; nothing short of the whole file may open.
            EXPECT_NE(outcome, Outcome::Opened) << size;
        }
    }
}

TEST_F(HostileArchives, EndRecordFieldsPointingOutsideAreRefused) {
    const Layout at(deflated_);
    auto patched = [&](auto patch) {
        Bytes zip = deflated_;
        patch(zip);
        return Open(zip);
    };
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.end + 16, static_cast<uint32_t>(z.size())); }),
              Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.end + 16, 0xfffffff0u); }), Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.end + 12, 0xffffffffu); }), Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) {
                  Put16(z, at.end + 8, 0xffff);
                  Put16(z, at.end + 10, 0xffff);
              }),
              Outcome::CannotAccess);
    // A comment length larger than the file is harmless: it is never followed.
    EXPECT_EQ(patched([&](Bytes& z) { Put16(z, at.end + 20, 0xffff); }), Outcome::Opened);
}

TEST_F(HostileArchives, MultiDiskArchivesAreRefused) {
    const Layout at(deflated_);
    for (size_t field : {size_t{4}, size_t{6}, size_t{8}}) {
        Bytes zip = deflated_;
        Put16(zip, at.end + field, static_cast<uint16_t>(Get16(zip, at.end + field) + 1));
        EXPECT_EQ(Open(zip), Outcome::CannotAccess) << field;
    }
}

TEST_F(HostileArchives, DirectoryLengthsPointingOutsideAreRefused) {
    const Layout at(deflated_);
    // Name, extra and comment lengths of the first entry push the walk (or
    // the name copy) past the end of the file.
    for (size_t field : {size_t{28}, size_t{30}, size_t{32}}) {
        Bytes zip = deflated_;
        Put16(zip, at.directory + field, 0xffff);
        EXPECT_EQ(Open(zip, "b.bin"), Outcome::CannotAccess) << field;
    }
}

TEST_F(HostileArchives, LocalHeaderAndDataOutsideTheFileAreRefused) {
    const Layout at(deflated_);
    auto patched = [&](auto patch) {
        Bytes zip = deflated_;
        patch(zip);
        return Open(zip);
    };
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.directory + 42, static_cast<uint32_t>(z.size() - 10)); }),
              Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.directory + 42, 0xffffffffu); }), Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) { Put16(z, at.local + 26, 0xffff); }), Outcome::CannotAccess);
    EXPECT_EQ(patched([&](Bytes& z) { Put16(z, at.local + 28, 0xffff); }), Outcome::CannotAccess);
    // Matching compressed sizes in both headers, far larger than the file.
    EXPECT_EQ(patched([&](Bytes& z) {
                  Put32(z, at.directory + 20, 0x7ffffff0u);
                  Put32(z, at.local + 18, 0x7ffffff0u);
              }),
              Outcome::CannotAccess);
    // The headers disagree (as with a trailing data descriptor).
    EXPECT_EQ(patched([&](Bytes& z) { Put32(z, at.local + 18, Get32(z, at.local + 18) + 1); }), Outcome::CannotAccess);
}

TEST_F(HostileArchives, SizesThatCannotBeTrueAreRefusedBeforeAllocating) {
    const Layout at(deflated_);
    for (uint32_t size : {0x7fffffffu, 0x80000000u, 0xffffffffu, 0u}) {
        Bytes zip = deflated_;
        Put32(zip, at.directory + 24, size);
        EXPECT_EQ(Open(zip), Outcome::CannotAccess) << size;
    }
    // A stored entry cannot hold more than its data.
    const Layout storedAt(stored_);
    Bytes zip = stored_;
    Put32(zip, storedAt.directory + 24, Get32(zip, storedAt.directory + 24) + 1);
    EXPECT_EQ(Open(zip), Outcome::CannotAccess);
    // An encrypted entry shorter than its 12-byte header.
    const Layout encryptedAt(encrypted_);
    zip = encrypted_;
    Put32(zip, encryptedAt.directory + 20, 5);
    Put32(zip, encryptedAt.local + 18, 5);
    EXPECT_EQ(Open(zip), Outcome::CannotAccess);
}

TEST_F(HostileArchives, ClaimedSizesCostOnlyWhatTheDataYields) {
    // A picture of 400 KB claiming a thousand times its deflated size, within
    // what deflate could yield: refused with no more memory than a small
    // multiple of the archive, never an allocation of the claim.
    WriteBytes(*dir_ / "src/font.tga", testsupport::MixedBytes(400000, 5));
    ASSERT_EQ(testsupport::Run("cd " + Quote(*dir_ / "src") + " && zip -q -9 -P hopla ../big.zip font.tga"), 0);
    const Bytes big = ReadBytes(*dir_ / "big.zip");
    const Layout at(big);
    const uint32_t payload = Get32(big, at.directory + 20) - 12;
    for (const uint32_t claim : {payload * 1000u, 400001u}) {
        Bytes zip = big;
        Put32(zip, at.directory + 24, claim);
        const testsupport::PeakAllocation peak;
        EXPECT_EQ(Open(zip, "font.tga"), Outcome::CannotAccess) << claim;
        EXPECT_LT(peak.Bytes(), 8 * big.size()) << claim;
    }
    const testsupport::PeakAllocation peak;
    EXPECT_EQ(Open(big, "font.tga"), Outcome::Opened);
    EXPECT_LT(peak.Bytes(), 8 * big.size());
}

TEST_F(HostileArchives, UnknownMethodAndWrongCrcAreRefused) {
    const Layout at(deflated_);
    Bytes zip = deflated_;
    Put16(zip, at.directory + 10, 12);
    EXPECT_EQ(Open(zip), Outcome::CannotAccess);
    for (const Bytes* source : {&deflated_, &stored_}) {
        const Layout here(*source);
        zip = *source;
        Put32(zip, here.directory + 16, Get32(zip, here.directory + 16) ^ 1);
        EXPECT_EQ(Open(zip), Outcome::CannotAccess);
    }
}

TEST_F(HostileArchives, BrokenDeflateDataRaisesTheDecompressionErrors) {
    const Layout at(deflated_);
    Bytes zip = deflated_;
    zip[at.data] |= 0x06;  // block type 3 does not exist
    EXPECT_EQ(Open(zip), Outcome::ZipError);
    EXPECT_EQ(lastMessage_, "ZIP file decompression failed (data error).");
    // A smaller declared size than the stream produces runs out of output.
    zip = deflated_;
    Put32(zip, at.directory + 24, Get32(zip, at.directory + 24) - 1);
    EXPECT_EQ(Open(zip), Outcome::ZipError);
    EXPECT_EQ(lastMessage_, "ZIP file decompression failed (buffer error).");
    // A larger one ends the stream early: unreadable, not an error.
    zip = deflated_;
    Put32(zip, at.directory + 24, Get32(zip, at.directory + 24) + 1);
    EXPECT_EQ(Open(zip), Outcome::CannotAccess);
}

TEST_F(HostileArchives, NotAnArchive) {
    Bytes endOnly(22, 0);
    Put32(endOnly, 0, 0x06054b50);
    EXPECT_EQ(Open(endOnly), Outcome::CannotAccess);  // 22 bytes are too few
    Bytes atStart(40, 0);
    Put32(atStart, 0, 0x06054b50);
    EXPECT_EQ(Open(atStart), Outcome::CannotAccess);  // offset 0 is not searched
    EXPECT_EQ(Open(Bytes(5000, 'x')), Outcome::CannotAccess);
    EXPECT_EQ(Open(Bytes()), Outcome::CannotAccess);
    // A folder named like an archive.
    std::filesystem::create_directories(*dir_ / "folder.zip");
    cvcore::SetBasePath((*dir_ / "folder.zip/").c_str());
    EXPECT_THROW(cvcore::FileStream("a.bin", 1), cvcore::Exception);
}

// Places bytes so that they end exactly where an unreadable page begins.
class GuardedBytes {
public:
    explicit GuardedBytes(const Bytes& bytes) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        span_ = (bytes.size() + page - 1) / page * page + page;
        void* map = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = static_cast<uint8_t*>(map);
        mprotect(base_ + span_ - page, page, PROT_NONE);
        data_ = base_ + span_ - page - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { munmap(base_, span_); }
    const uint8_t* Data() const { return data_; }

private:
    uint8_t* base_;
    uint8_t* data_;
    size_t span_;
};

TEST(Inflate, ReadsExactlyTheStoredBytes) {
    const Bytes plain = testsupport::MixedBytes(50000, 3);
    Bytes packed(compressBound(plain.size()));
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = const_cast<Bytef*>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    packed.resize(z.total_out);
    deflateEnd(&z);

    Bytes out(plain.size());
    const GuardedBytes whole(packed);
    EXPECT_EQ(cvcore::zip::Inflate(whole.Data(), out.data(), static_cast<int32_t>(packed.size()),
                                   static_cast<int32_t>(out.size())),
              static_cast<int32_t>(plain.size()));
    EXPECT_TRUE(out == plain);

    // Without its last byte the stream is incomplete; the reader must stop at
    // the guard page and report, not read on.
    packed.pop_back();
    const GuardedBytes cut(packed);
    try {
        cvcore::zip::Inflate(cut.Data(), out.data(), static_cast<int32_t>(packed.size()),
                             static_cast<int32_t>(out.size()));
        ADD_FAILURE() << "incomplete stream accepted";
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Message().Text(), "ZIP file decompression failed (buffer error).");
    }
}

}  // namespace
