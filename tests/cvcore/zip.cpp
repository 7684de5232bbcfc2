// Archives written at test time by Info-ZIP, read back through FileStream
// and compared with the files they were made from.
#include <gtest/gtest.h>
#include <zlib.h>

#include <dirent.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "scratchdir.h"

using cvcore::FileStream;
using testsupport::MixedBytes;
using testsupport::Quote;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

const std::string kLongName =
    std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c') + ".bin";

// name inside the archive -> contents
std::map<std::string, std::vector<uint8_t>> SourceFiles() {
    std::string credits;
    for (int i = 0; i < 400; ++i) credits += "Credits line " + std::to_string(i) + ": Code, Music, Graphics\n";
    // Deflates to far less than a quarter of its size, so the reader's
    // buffer must grow several times while inflating it.
    std::string greets;
    while (greets.size() < 1500000) greets += "Greetings to everyone at the party hall! ";
    return {
        {"font.tga", MixedBytes(3000, 1)},
        {"smokeandcredits/scene/Vempula.KLX", MixedBytes(70000, 2)},
        {"smokeandcredits/credits/Names.txt", std::vector<uint8_t>(credits.begin(), credits.end())},
        {"deep/er/and/deeper/Stored.BIN", MixedBytes(9000, 3)},
        {"empty.dat", {}},
        {kLongName, MixedBytes(500, 4)},
        {"greets/greetings.txt", std::vector<uint8_t>(greets.begin(), greets.end())},
    };
}

std::vector<uint8_t> ReadAll(FileStream& stream) {
    // Odd chunk sizes exercise page straddling and the large-read bypass.
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
    size_t at = 0;
    const int32_t chunks[] = {1, 7, 4095, 13, 5000, 300};
    for (int i = 0; at < bytes.size(); ++i) {
        const int32_t want = std::min<int32_t>(chunks[i % 6], static_cast<int32_t>(bytes.size() - at));
        const int32_t got = stream.Read(bytes.data() + at, want);
        if (got != want) ADD_FAILURE() << "short read at " << at;
        if (got <= 0) break;
        at += static_cast<size_t>(got);
    }
    return bytes;
}

class ZipArchives : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<testsupport::ScratchDir>();
        for (const auto& [name, bytes] : SourceFiles()) WriteBytes(*dir_ / ("src/" + name), bytes);
        const std::string src = "cd " + Quote(*dir_ / "src") + " && ";
        // The comment holds the end record's signature: the record is the
        // one whose comment ends exactly at the end of the file.
        ASSERT_EQ(testsupport::Run(src + "printf 'the show archive PK\\005\\006 with a signature in its comment\\n' | "
                                         "zip -q -r -9 -z -P hopla ../data.zip ."),
                  0);
        ASSERT_EQ(testsupport::Run(src + "zip -q -r -0 -P hopla ../stored.zip ."), 0);
        ASSERT_EQ(testsupport::Run(src + "zip -q -r -9 ../open.zip ."), 0);
        ASSERT_EQ(testsupport::Run("cp " + Quote(*dir_ / "data.zip") + " " + Quote(*dir_ / "data.pak")), 0);
        const auto archive = ReadBytes(*dir_ / "data.zip");
        ASSERT_NE(std::string(archive.end() - 80, archive.end()).find("archive PK\x05\x06 with"), std::string::npos);
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        cvcore::SetArchivePassword("hopla");
        cvcore::SetBasePath("");
    }

    static std::string At(const std::string& relative) { return *dir_ / relative; }

    static std::unique_ptr<testsupport::ScratchDir> dir_;
};

std::unique_ptr<testsupport::ScratchDir> ZipArchives::dir_;

// Expects construction to fail with the file-system's message for fullPath.
void ExpectCannotAccess(const std::string& name, int32_t mode, const std::string& fullPath) {
    try {
        FileStream stream(name.c_str(), mode);
        ADD_FAILURE() << "opened " << fullPath;
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), "FileStream::FileStream()");
        EXPECT_EQ(std::string(e.Message().Text()), "cannot access file: " + fullPath);
        EXPECT_STREQ(e.File().Text(), "filestream");
    }
}

TEST_F(ZipArchives, EveryEntryOfEveryArchiveReadsBackByteForByte) {
    for (const char* archive : {"data.zip/", "stored.zip/", "open.zip/", "data.pak/"}) {
        cvcore::SetBasePath(At(archive).c_str());
        for (const auto& [name, bytes] : SourceFiles()) {
            SCOPED_TRACE(std::string(archive) + name);
            if (bytes.empty()) {
                // An empty entry cannot be opened.
                ExpectCannotAccess(name, 1, At(archive) + name);
                continue;
            }
            FileStream stream(name.c_str(), 1);
            ASSERT_EQ(stream.Size(), static_cast<int32_t>(bytes.size()));
            EXPECT_TRUE(ReadAll(stream) == bytes);
            EXPECT_TRUE(stream.IsEOF());
        }
    }
}

TEST_F(ZipArchives, BasePathSplitsAtTheArchiveWithSlashOrBackslash) {
    const auto expected = ReadBytes(At("src/smokeandcredits/scene/Vempula.KLX"));
    cvcore::SetBasePath(At("data.zip/smokeandcredits/scene/").c_str());
    FileStream slash("Vempula.KLX", 1);
    EXPECT_TRUE(ReadAll(slash) == expected);
    cvcore::SetBasePath(At("data.zip\\smokeandcredits/scene/").c_str());
    FileStream backslash("Vempula.KLX", 1);
    EXPECT_TRUE(ReadAll(backslash) == expected);
}

TEST_F(ZipArchives, EntryNamesIgnoreCaseButNotSeparatorSpelling) {
    cvcore::SetBasePath(At("data.zip/").c_str());
    const auto expected = ReadBytes(At("src/smokeandcredits/scene/Vempula.KLX"));
    for (const char* name : {"SMOKEANDCREDITS/SCENE/VEMPULA.KLX", "smokeandcredits/scene/vempula.klx"}) {
        FileStream stream(name, 1);
        EXPECT_TRUE(ReadAll(stream) == expected) << name;
    }
    ExpectCannotAccess("smokeandcredits\\scene\\Vempula.KLX", 1, At("data.zip/smokeandcredits\\scene\\Vempula.KLX"));
    ExpectCannotAccess("no/such/entry.tga", 1, At("data.zip/no/such/entry.tga"));
}

// A wrong password is refused by the header check, except that one wrong
// password in 256 passes a one-byte check (Info-ZIP's streamed entries) by
// chance; then the decrypted data fails to inflate or its CRC. Either way
// nothing is delivered.
void ExpectWrongPasswordRefused(const std::string& name, const std::string& fullPath) {
    try {
        FileStream stream(name.c_str(), 1);
        ADD_FAILURE() << "opened " << fullPath;
    } catch (const cvcore::Exception& e) {
        if (std::string(e.File().Text()) == "zip") {
            EXPECT_STREQ(e.Method().Text(), "Zip");
            return;
        }
        EXPECT_STREQ(e.Method().Text(), "FileStream::FileStream()");
        EXPECT_EQ(std::string(e.Message().Text()), "cannot access file: " + fullPath);
        EXPECT_STREQ(e.File().Text(), "filestream");
    }
}

TEST_F(ZipArchives, WrongOrEmptyPasswordCannotOpenEncryptedEntries) {
    cvcore::SetBasePath(At("data.zip/").c_str());
    for (const char* password : {"hoplA", "", "hopla!", "x"}) {
        SCOPED_TRACE(password);
        cvcore::SetArchivePassword(password);
        ExpectWrongPasswordRefused("font.tga", At("data.zip/font.tga"));
        ExpectWrongPasswordRefused("smokeandcredits/credits/Names.txt",
                                   At("data.zip/smokeandcredits/credits/Names.txt"));
    }
    // Unencrypted entries need no password.
    cvcore::SetArchivePassword("");
    cvcore::SetBasePath(At("open.zip/").c_str());
    FileStream stream("font.tga", 1);
    EXPECT_EQ(stream.Size(), 3000);
}

TEST_F(ZipArchives, ArchivesAreReadOnly) {
    const auto before = ReadBytes(At("data.zip"));
    cvcore::SetBasePath(At("data.zip/").c_str());
    ExpectCannotAccess("font.tga", 2, At("data.zip/font.tga"));
    ExpectCannotAccess("font.tga", 3, At("data.zip/font.tga"));
    ExpectCannotAccess("font.tga", 0, At("data.zip/font.tga"));
    EXPECT_TRUE(ReadBytes(At("data.zip")) == before);
}

TEST_F(ZipArchives, UpperCaseExtensionIsAPlainPath) {
    // The extension search is case-sensitive: DATA.ZIP/ is just a folder.
    WriteBytes(At("upper/DATA.ZIP/font.tga"), {'p', 'l', 'a', 'i', 'n'});
    cvcore::SetBasePath(At("upper/").c_str());
    FileStream stream("DATA.ZIP/font.tga", 1);
    EXPECT_EQ(stream.Size(), 5);
    ExpectCannotAccess("DATA.ZIP/other.tga", 1, At("upper/DATA.ZIP/other.tga"));
}

TEST_F(ZipArchives, OnlyTheFirstOccurrenceOfAnExtensionIsExamined) {
    // "zip" first occurs in "zipped" without a separator after it, so the
    // later "data.zip/" does not split either: the whole path is a plain file.
    WriteBytes(At("zipped/data.zip/font.tga"), {'p', 'l', 'a', 'i', 'n'});
    cvcore::SetBasePath(At("zipped/").c_str());
    FileStream stream("data.zip/font.tga", 1);
    std::vector<uint8_t> bytes(5);
    EXPECT_EQ(stream.Read(bytes.data(), 5), 5);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "plain");
}

TEST_F(ZipArchives, LongEntryNamesAndLongPathsAreHandled) {
    // Entry names beyond 255 characters are found like any other.
    cvcore::SetBasePath(At("data.zip/").c_str());
    FileStream stream(kLongName.c_str(), 1);
    EXPECT_TRUE(ReadAll(stream) == ReadBytes(At("src/" + kLongName)));
    // A full path of well over 600 characters is reported, not truncated.
    const std::string missing = std::string(700, 'm') + ".tga";
    ExpectCannotAccess(missing, 1, At("data.zip/") + missing);
}

TEST_F(ZipArchives, RepeatedOpensReleaseTheArchive) {
    auto openFiles = [] {
        int count = 0;
        if (DIR* d = opendir("/proc/self/fd")) {
            while (readdir(d)) ++count;
            closedir(d);
        }
        return count;
    };
    auto archiveMapped = [this] {
        const auto maps = ReadBytes("/proc/self/maps");
        return std::string(maps.begin(), maps.end()).find(At("data.zip")) != std::string::npos;
    };
    cvcore::SetBasePath(At("data.zip/").c_str());
    const int before = openFiles();
    for (int i = 0; i < 50; ++i) {
        FileStream stream("font.tga", 1);
        EXPECT_EQ(stream.Size(), 3000);
        EXPECT_FALSE(archiveMapped());
    }
    EXPECT_EQ(openFiles(), before);
}

}  // namespace
