// The password check on the decrypted 12-byte header: two check bytes for
// entries made by versions below 2.0, one byte otherwise; checked against the
// CRC, or against the modification time when the entry was written streamed
// (flag bit 3, as Info-ZIP writes every encrypted entry).
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
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

// Offsets of the single entry of an archive without comment.
struct Entry {
    explicit Entry(const Bytes& zip) {
        const size_t end = zip.size() - 22;
        directory = Get32(zip, end + 16);
        local = Get32(zip, directory + 42);
        data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
        size = Get32(zip, directory + 20);
    }
    size_t directory, local, data, size;
};

// The traditional cipher, both ways, to rewrite an entry's header.
class Cipher {
public:
    explicit Cipher(const std::string& password) {
        for (char c : password) Update(static_cast<uint8_t>(c));
    }
    uint8_t Decrypt(uint8_t c) {
        const uint8_t p = c ^ Stream();
        Update(p);
        return p;
    }
    uint8_t Encrypt(uint8_t p) {
        const uint8_t c = p ^ Stream();
        Update(p);
        return c;
    }

private:
    uint8_t Stream() const {
        const uint32_t t = (k2_ & 0xffff) | 2;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }
    static uint32_t Crc(uint32_t crc, uint8_t b) { return get_crc_table()[(crc ^ b) & 0xff] ^ (crc >> 8); }
    void Update(uint8_t p) {
        k0_ = Crc(k0_, p);
        k1_ = (k1_ + (k0_ & 0xff)) * 134775813u + 1;
        k2_ = Crc(k2_, static_cast<uint8_t>(k1_ >> 24));
    }
    uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

class PasswordCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<testsupport::ScratchDir>();
        WriteBytes(*dir_ / "src/font.tga", testsupport::MixedBytes(4000, 7));
        ASSERT_EQ(testsupport::Run("cd " + Quote(*dir_ / "src") + " && zip -q -9 -P hopla ../time.zip font.tga"), 0);
        streamed_ = ReadBytes(*dir_ / "time.zip");
        ASSERT_EQ(Get16(streamed_, Entry(streamed_).directory + 8) & 9, 9) << "expected an encrypted, streamed entry";
    }
    static void TearDownTestSuite() { dir_.reset(); }

    bool Opens(const Bytes& archive) {
        WriteBytes(*dir_ / "t.zip", archive);
        cvcore::SetBasePath((*dir_ / "t.zip/").c_str());
        cvcore::SetArchivePassword("hopla");
        try {
            cvcore::FileStream stream("font.tga", 1);
            return stream.Size() == 4000;
        } catch (const cvcore::Exception&) {
            return false;
        }
    }

    static void SetMadeBy(Bytes& zip, uint8_t version) { zip[Entry(zip).directory + 4] = version; }

    // Rewrites the entry as a writer that knew the CRC up front: flag bit 3
    // cleared and the plain header's check bytes set to the given value.
    static Bytes WithCrcCheck(uint16_t checkBytes) {
        Bytes zip = streamed_;
        const Entry at(zip);
        for (size_t flags : {at.directory + 8, at.local + 6}) zip[flags] &= static_cast<uint8_t>(~8);
        Cipher decrypt("hopla"), encrypt("hopla");
        for (size_t i = 0; i < at.size; ++i) {
            uint8_t plain = decrypt.Decrypt(zip[at.data + i]);
            if (i == 10) plain = static_cast<uint8_t>(checkBytes);
            if (i == 11) plain = static_cast<uint8_t>(checkBytes >> 8);
            zip[at.data + i] = encrypt.Encrypt(plain);
        }
        return zip;
    }

    static uint32_t Crc() { return Get32(streamed_, Entry(streamed_).directory + 16); }

    static std::unique_ptr<testsupport::ScratchDir> dir_;
    static Bytes streamed_;
};

std::unique_ptr<testsupport::ScratchDir> PasswordCheck::dir_;
Bytes PasswordCheck::streamed_;

TEST_F(PasswordCheck, StreamedEntriesCheckTheModificationTime) {
    const size_t time = Entry(streamed_).directory + 12;
    Bytes zip = streamed_;
    EXPECT_TRUE(Opens(zip));
    SetMadeBy(zip, 10);
    EXPECT_TRUE(Opens(zip));

    // The time's low byte is only looked at by the two-byte check.
    zip = streamed_;
    zip[time] ^= 0x40;
    EXPECT_TRUE(Opens(zip));
    SetMadeBy(zip, 19);
    EXPECT_FALSE(Opens(zip));

    zip = streamed_;
    zip[time + 1] ^= 0x40;
    EXPECT_FALSE(Opens(zip));
}

TEST_F(PasswordCheck, EntriesWithKnownCrcCheckItsHighBytes) {
    const auto crcHigh = static_cast<uint16_t>(Crc() >> 16);
    Bytes zip = WithCrcCheck(crcHigh);
    EXPECT_TRUE(Opens(zip));
    SetMadeBy(zip, 10);
    EXPECT_TRUE(Opens(zip));

    // Only the CRC's top byte right: enough for one check byte, not for two.
    zip = WithCrcCheck(crcHigh ^ 0x00ff);
    SetMadeBy(zip, 20);
    EXPECT_TRUE(Opens(zip));
    SetMadeBy(zip, 19);
    EXPECT_FALSE(Opens(zip));

    zip = WithCrcCheck(crcHigh ^ 0xff00);
    SetMadeBy(zip, 20);
    EXPECT_FALSE(Opens(zip));
}

}  // namespace
