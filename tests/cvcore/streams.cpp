// FileStream's page cache over plain files, PlainFileStream, MemoryStream,
// ByteReader and the path helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cvcore/bytereader.h"
#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "cvcore/memorystream.h"
#include "cvcore/plainfilestream.h"
#include "scratchdir.h"

using cvcore::FileStream;
using cvcore::MemoryStream;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 % 251);
    return bytes;
}

std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

class PlainFiles : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir_ / "pattern.bin", Pattern(20000));
        cvcore::SetBasePath((dir_.Path() + "/").c_str());
    }
    void TearDown() override { cvcore::SetBasePath(""); }

    Bytes ReadAt(FileStream& stream, int32_t position, int32_t count, int32_t expectDelivered) {
        Bytes bytes(static_cast<size_t>(count), 0xee);
        stream.Seek(position, 0);
        EXPECT_EQ(stream.Read(bytes.data(), count), expectDelivered);
        bytes.resize(static_cast<size_t>(std::max(expectDelivered, 0)));
        return bytes;
    }

    static Bytes Slice(size_t from, size_t count) {
        const Bytes all = Pattern(20000);
        return {all.begin() + static_cast<std::ptrdiff_t>(from),
                all.begin() + static_cast<std::ptrdiff_t>(from + count)};
    }

    testsupport::ScratchDir dir_;
};

TEST_F(PlainFiles, LargeReadsBypassTheCacheAndSmallOnesRefillIt) {
    FileStream stream("pattern.bin", 1);
    EXPECT_EQ(ReadAt(stream, 10, 3, 3), Slice(10, 3));
    EXPECT_EQ(stream.CachedPage(), 0);
    EXPECT_EQ(ReadAt(stream, 100, 5000, 5000), Slice(100, 5000));
    EXPECT_EQ(stream.CachedPage(), -1);
    EXPECT_EQ(stream.Tell(), 5100);
    Bytes next(4);
    EXPECT_EQ(stream.Read(next.data(), 4), 4);
    EXPECT_EQ(next, Slice(5100, 4));
    EXPECT_EQ(stream.CachedPage(), 1);
}

TEST_F(PlainFiles, ReadsStraddlePageBoundaries) {
    FileStream stream("pattern.bin", 1);
    EXPECT_EQ(ReadAt(stream, 4092, 10, 10), Slice(4092, 10));
    EXPECT_EQ(stream.CachedPage(), 1);
    EXPECT_EQ(stream.Tell(), 4102);
    // A full page's worth from the middle of one touches two pages.
    EXPECT_EQ(ReadAt(stream, 6000, 4096, 4096), Slice(6000, 4096));
    EXPECT_EQ(stream.CachedPage(), 2);
    // Byte-by-byte reading across a boundary.
    stream.Seek(8190, 0);
    Bytes one(1);
    for (size_t i = 8190; i < 8194; ++i) {
        ASSERT_EQ(stream.Read(one.data(), 1), 1);
        EXPECT_EQ(one[0], Slice(i, 1)[0]);
    }
}

TEST_F(PlainFiles, ReadsPastTheEndDeliverWhatExists) {
    FileStream stream("pattern.bin", 1);
    EXPECT_EQ(ReadAt(stream, 19995, 10, 5), Slice(19995, 5));
    EXPECT_EQ(stream.Tell(), 20000);
    EXPECT_TRUE(stream.IsEOF());
    EXPECT_EQ(ReadAt(stream, 15000, 8000, 5000), Slice(15000, 5000));
    EXPECT_EQ(stream.Tell(), 20000);
    ReadAt(stream, 20000, 10, 0);
    ReadAt(stream, 30000, 5000, 0);
    ReadAt(stream, -4, 10, 0);
    ReadAt(stream, INT32_MAX - 2, 10, 0);
    // The cache still serves correct data afterwards.
    EXPECT_EQ(ReadAt(stream, 16383, 2, 2), Slice(16383, 2));
}

TEST_F(PlainFiles, SeekMovesOnlyTheOwnPosition) {
    FileStream stream("pattern.bin", 1);
    EXPECT_EQ(stream.Size(), 20000);
    EXPECT_EQ(stream.Seek(100, 0), 100);
    EXPECT_EQ(stream.Seek(-40, 1), 60);
    EXPECT_EQ(stream.Seek(1000, 2), 19000);  // counted back from the end
    EXPECT_EQ(stream.Seek(5, 7), 19000);
    EXPECT_EQ(stream.Seek(INT32_MAX, 0), INT32_MAX);
    EXPECT_EQ(stream.Seek(INT32_MAX, 1), INT32_MAX);  // sticks, never wraps
    EXPECT_TRUE(stream.IsEOF());
}

TEST_F(PlainFiles, WritesLandAtThePositionAndRefreshTheCache) {
    {
        FileStream out("written.bin", 2);
        EXPECT_EQ(out.Write("abcdef", 6), 6);
        out.Seek(2, 0);
        EXPECT_EQ(out.Write("XY", 2), 2);
        EXPECT_EQ(out.Tell(), 4);
    }
    EXPECT_EQ(Text(ReadBytes(dir_ / "written.bin")), "abXYef");
    {
        FileStream both("written.bin", 3);
        Bytes bytes(6);
        EXPECT_EQ(both.Read(bytes.data(), 6), 6);  // caches page 0
        both.Seek(4, 0);
        EXPECT_EQ(both.Write("ZZ", 2), 2);
        EXPECT_EQ(ReadAt(both, 0, 6, 6), (Bytes{'a', 'b', 'X', 'Y', 'Z', 'Z'}));
    }
    EXPECT_EQ(Text(ReadBytes(dir_ / "written.bin")), "abXYZZ");
}

TEST_F(PlainFiles, FailuresNameTheFullPath) {
    auto message = [](const char* name, int32_t mode) {
        try {
            FileStream stream(name, mode);
        } catch (const cvcore::Exception& e) {
            EXPECT_STREQ(e.Method().Text(), "FileStream::FileStream()");
            EXPECT_STREQ(e.File().Text(), "filestream");
            return std::string(e.Message().Text());
        }
        return std::string("opened");
    };
    const std::string prefix = "cannot access file: " + dir_.Path() + "/";
    EXPECT_EQ(message("missing.bin", 1), prefix + "missing.bin");
    EXPECT_EQ(message("missing.bin", 3), prefix + "missing.bin");  // r+b does not create
    EXPECT_EQ(message("pattern.bin", 0), prefix + "pattern.bin");
    EXPECT_EQ(message("pattern.bin", 4), prefix + "pattern.bin");
    std::filesystem::create_directories(dir_ / "folder");
    EXPECT_EQ(message("folder", 1), prefix + "folder");
    EXPECT_EQ(ReadBytes(dir_ / "pattern.bin").size(), 20000u);
}

TEST_F(PlainFiles, LongPathsOpen) {
    std::string name;
    for (int i = 0; i < 8; ++i) name += std::string(90, static_cast<char>('a' + i)) + "/";
    name += "file.bin";
    WriteBytes(dir_ / name, Bytes{1, 2, 3});
    FileStream stream(name.c_str(), 1);
    EXPECT_EQ(stream.Size(), 3);
}

TEST_F(PlainFiles, NullSettingsAreIgnored) {
    cvcore::SetBasePath(nullptr);
    EXPECT_EQ(cvcore::GetBasePath().Text(), dir_.Path() + "/");
    cvcore::SetArchivePassword("hopla");
    cvcore::SetArchivePassword(nullptr);
    EXPECT_STREQ(cvcore::GetArchivePassword().Text(), "hopla");
}

TEST_F(PlainFiles, PlainFileStreamSeeksFromTheEndLikeTheRuntime) {
    auto stream = cvcore::PlainFileStream::Open((dir_ / "pattern.bin").c_str(), 1);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Seek(-5, 2), 19995);
    EXPECT_EQ(stream->Size(), 20000);
    EXPECT_EQ(stream->Tell(), 19995);
    EXPECT_FALSE(stream->IsEOF());
    Bytes bytes(10);
    EXPECT_EQ(stream->Read(bytes.data(), 10), 5);
    EXPECT_TRUE(stream->IsEOF());
    EXPECT_EQ(stream->Seek(3, 9), 20000);
}

TEST(GetExtension, TakesTheTextAfterTheLastDot) {
    EXPECT_STREQ(cvcore::GetExtension("font.tga").Text(), "tga");
    EXPECT_STREQ(cvcore::GetExtension("scene/v.1/a.JPG").Text(), "JPG");
    EXPECT_STREQ(cvcore::GetExtension("no/extension").Text(), "");
    EXPECT_STREQ(cvcore::GetExtension("trailing.").Text(), "");
    EXPECT_STREQ(cvcore::GetExtension("").Text(), "");
    EXPECT_STREQ(cvcore::GetExtension(nullptr).Text(), "");
}

TEST(MemoryStream, GrowsByAQuarterPlusTheWrite) {
    MemoryStream stream(16);
    const Bytes data = Pattern(100);
    stream.Seek(0, 0);
    EXPECT_EQ(stream.Write(data.data(), 100), 100);
    EXPECT_EQ(stream.Capacity(), 120);
    EXPECT_EQ(stream.Size(), 100);
    EXPECT_EQ(std::memcmp(stream.Buffer(), data.data(), 100), 0);
    EXPECT_EQ(stream.Write(data.data(), 0), 0);
    EXPECT_EQ(stream.Write(data.data(), -3), 0);
}

TEST(MemoryStream, ReadsAreCutAtTheEnd) {
    std::unique_ptr<uint8_t[]> owned(new uint8_t[10]);
    for (int i = 0; i < 10; ++i) owned[i] = static_cast<uint8_t>(i);
    MemoryStream stream(std::move(owned), 10);
    Bytes bytes(20);
    stream.Seek(6, 0);
    EXPECT_EQ(stream.Read(bytes.data(), 20), 4);
    EXPECT_EQ(bytes[3], 9);
    EXPECT_TRUE(stream.IsEOF());
    EXPECT_EQ(stream.Read(bytes.data(), 1), 0);
    EXPECT_EQ(stream.Seek(3, 2), 7);
    EXPECT_EQ(stream.Read(bytes.data(), -1), 0);
}

TEST(MemoryStream, PositionsOutsideTheDataReadNothing) {
    MemoryStream stream(32);
    Bytes bytes(8, 0xee);
    for (int32_t position : {-1, -100, 33, 1000, INT32_MAX, INT32_MIN}) {
        stream.Seek(position, 0);
        EXPECT_EQ(stream.Read(bytes.data(), 8), 0) << position;
    }
    EXPECT_EQ(bytes, Bytes(8, 0xee));
    // Relative seeks saturate instead of wrapping into range.
    stream.Seek(INT32_MAX, 0);
    EXPECT_EQ(stream.Seek(INT32_MAX, 1), INT32_MAX);
    stream.Seek(INT32_MIN, 0);
    EXPECT_EQ(stream.Seek(-1, 1), INT32_MIN);
    EXPECT_EQ(stream.Seek(INT32_MIN, 2), INT32_MAX);
}

TEST(MemoryStream, WritesOutsideTheDataGrowOrAreRefused) {
    MemoryStream stream(4);
    stream.Seek(-2, 0);
    EXPECT_EQ(stream.Write("ab", 2), 0);
    EXPECT_EQ(stream.Size(), 4);
    stream.Seek(0, 0);
    EXPECT_EQ(stream.Write("wxyz", 4), 4);
    // Past the end: the gap is zero-filled and counts as data.
    stream.Seek(10, 0);
    EXPECT_EQ(stream.Write("ab", 2), 2);
    EXPECT_EQ(stream.Size(), 12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Buffer()), 12), std::string("wxyz\0\0\0\0\0\0ab", 12));
    // A write that would end beyond the 32-bit range writes nothing.
    stream.Seek(INT32_MAX - 1, 0);
    EXPECT_EQ(stream.Write("abcd", 4), 0);
    EXPECT_EQ(stream.Size(), 12);
}

}  // namespace

// A field that does not fit must not be half-read: readers check Ok() once
// after a run of fields and store nothing when it failed.
TEST(ByteReader, AFieldPastTheEndGivesZeroAndStopsTheRest) {
    const std::vector<uint8_t> data = {0x44, 0x33, 0x22, 0x11, 0xAB, 0xCD, 0xEF};
    cvcore::ByteReader reader(data);
    EXPECT_EQ(reader.U32(), 0x11223344u);
    EXPECT_EQ(reader.U16BE(), 0xABCDu);
    EXPECT_EQ(reader.U32(), 0u);  // 1 of 4 bytes left
    EXPECT_FALSE(reader.Ok());
    EXPECT_EQ(reader.Remaining(), 0u);
    EXPECT_EQ(reader.U8(), 0u);
    // Seeking back reads again, but the failure stays recorded.
    EXPECT_TRUE(reader.Seek(6));
    EXPECT_EQ(reader.U8(), 0xEFu);
    EXPECT_FALSE(reader.Ok());
}

TEST(ByteReader, FieldsAtAnOffsetStayInsideAndDoNotMove) {
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    cvcore::ByteReader reader(data);
    EXPECT_EQ(reader.U32At(2), 0x06050403u);
    EXPECT_EQ(reader.Position(), 0u);
    EXPECT_TRUE(reader.Ok());
    EXPECT_EQ(reader.U16At(5), 0u);
    EXPECT_EQ(reader.U32At(SIZE_MAX - 1), 0u);  // an offset that would wrap
    EXPECT_FALSE(reader.Ok());
}
