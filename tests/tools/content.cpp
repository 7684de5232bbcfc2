// The show's data as the builder makes it: the archive, its pictures and
// scenes read back through the program's own readers, the soundtrack decoded
// and checked against the show's clock, and the build's determinism.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cvcore/filestream.h"
#include "cvcore/image.h"
#include "cvcore/imagecodec.h"
#include "engine/klxdocument.h"
#include "scratchdir.h"

namespace fs = std::filesystem;
using testsupport::Quote;

namespace {

std::string BinDir() {
    const char* bin = std::getenv("HALCYON2_BIN_DIR");
    return bin ? bin : ".";
}

// The data the build made, or, when it has not (content off), a fresh set.
class Content : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        std::string bin = BinDir();
        if (fs::exists(bin + "/data.zip") && fs::exists(bin + "/murikka.mp3")) {
            dir_ = bin;
            return;
        }
        scratch_ = std::make_unique<testsupport::ScratchDir>();
        ASSERT_EQ(testsupport::Run(Quote(bin + "/halcyon2-content") + " " + Quote(scratch_->Path()) + " 2>/dev/null"),
                  0);
        dir_ = scratch_->Path();
    }
    static void TearDownTestSuite() { scratch_.reset(); }

protected:
    void SetUp() override { cvcore::SetArchivePassword("hopla"); }
    static std::string Zip() { return dir_ + "/data.zip"; }
    // Opens an entry the way the show does: base path, then a relative name.
    static std::unique_ptr<cvcore::FileStream> Open(const std::string& folder, const std::string& name) {
        cvcore::SetBasePath((dir_ + "/data.zip/" + folder).c_str());
        return std::make_unique<cvcore::FileStream>(name.c_str(), cvcore::STREAM_READ);
    }
    static cvcore::Image Decode(const std::string& folder, const std::string& name) {
        auto stream = Open(folder, name);
        std::string ext = name.substr(name.rfind('.') + 1);
        const cvcore::ImageCodec* codec = cvcore::FindImageCodec(ext.c_str());
        cvcore::Image image;
        EXPECT_TRUE(codec && codec->Decode(image, *stream)) << name;
        return image;
    }
    static KlxDocument Scene(const std::string& folder, const std::string& name) {
        cvcore::SetBasePath((dir_ + "/data.zip/" + folder).c_str());
        return KlxDocument(name.c_str());
    }

    static std::string dir_;
    static std::unique_ptr<testsupport::ScratchDir> scratch_;
};
std::string Content::dir_;
std::unique_ptr<testsupport::ScratchDir> Content::scratch_;

// Every file the show opens from the archive, by folder, as it names them.
const std::vector<std::pair<std::string, std::vector<std::string>>> kLoaded = {
    {"", {"font.tga"}},
    {"smokeandcredits/scene/", {"vempula.klx", "2dlight.jpg"}},
    {"smokeandcredits/", {"quillmark_logo.tga", "halcyon2.tga", "byquillmark.tga"}},
    {"smokeandcredits/credits/",
     {"backlayer1.jpg", "backlayer2.jpg", "backlayer3.jpg", "bluecloud.tga", "credtext1.tga", "credpic1.tga",
      "credtext2.tga", "credpic2.tga", "credtext3.tga", "credpic3.tga"}},
    {"lightfloor/", {"ground.klx"}},
    {"muikula/", {"backwob.jpg", "lintu.tga", "muikula.klx"}},
    {"greets/", {"greet1.tga", "greet2.tga", "greet3.tga", "greet4.tga", "greet5.tga", "greet6.tga", "greet7.tga"}},
    {"nakyleipa/", {"nakyleipa.klx"}},
    {"kukka/", {"kukka.klx", "violetti.jpg"}},
    {"landscape/", {"maasto.klx"}},
};

const std::vector<std::pair<std::string, std::string>> kScenes = {
    {"smokeandcredits/scene/", "vempula.klx"}, {"lightfloor/", "ground.klx"}, {"muikula/", "muikula.klx"},
    {"nakyleipa/", "nakyleipa.klx"},           {"kukka/", "kukka.klx"},       {"landscape/", "maasto.klx"},
};

std::set<std::string> ArchiveNames(const std::string& zip) {
    std::set<std::string> names;
    std::string list = zip + ".names";
    EXPECT_EQ(testsupport::Run("unzip -Z1 " + Quote(zip) + " > " + Quote(list)), 0);
    std::FILE* f = std::fopen(list.c_str(), "r");
    char line[512];
    while (f && std::fgets(line, sizeof line, f)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        names.insert(s);
    }
    if (f) std::fclose(f);
    fs::remove(list);
    return names;
}

bool HasAlpha(const cvcore::Image& image) { return image.GetFormat().AlphaMask() != 0; }

}  // namespace

TEST_F(Content, InfoZipAcceptsTheArchiveWithThePasswordOnly) {
    EXPECT_EQ(testsupport::Run("unzip -tqq -P hopla " + Quote(Zip())), 0);
    EXPECT_NE(testsupport::Run("unzip -tqq -P wrong " + Quote(Zip()) + " >/dev/null 2>&1"), 0);
    EXPECT_LT(fs::file_size(Zip()), 25u * 1024u * 1024u);
}

TEST_F(Content, EveryFileTheShowLoadsIsThereAndOpensThroughTheBasePath) {
    std::set<std::string> names = ArchiveNames(Zip());
    for (const auto& [folder, files] : kLoaded)
        for (const std::string& file : files) {
            EXPECT_TRUE(names.count(folder + file)) << folder + file;
            auto stream = Open(folder, file);
            EXPECT_GT(stream->Size(), 0) << folder + file;
        }
}

TEST_F(Content, TexturesNamedInsideScenesLieInTheirSceneFolders) {
    std::set<std::string> names = ArchiveNames(Zip());
    for (const auto& [folder, file] : kScenes) {
        KlxDocument doc = Scene(folder, file);
        for (const KlxMaterial& m : doc.materials)
            for (const KlxMap& map : m.maps)
                if (map.enabled) {
                    EXPECT_TRUE(names.count(folder + map.fileName.Text())) << file << ": " << map.fileName.Text();
                }
    }
}

TEST_F(Content, FontIsArgbWithOneGlyphForEveryCharacterOfTheOrder) {
    cvcore::Image font = Decode("", "font.tga");
    ASSERT_EQ(font.GetFormat().BitsPerPixel(), 32);
    EXPECT_EQ(font.GetFormat().AlphaMask(), 0xFF000000u);
    EXPECT_EQ(font.GetFormat().RedMask(), 0x00FF0000u);
    // The font loader's column walk at its first threshold: runs of columns
    // with some alpha above 1, separated by columns without.
    auto alpha = [&](int x, int y) { return font.GetPixels()[y * font.GetPitch() + x * 4 + 3]; };
    int runs = 0;
    bool inside = false;
    for (int x = 0; x < font.GetWidth(); ++x) {
        int peak = 0;
        for (int y = 0; y < font.GetHeight(); ++y) peak = std::max(peak, static_cast<int>(alpha(x, y)));
        if (!inside && peak > 1)
            inside = true;
        else if (inside && peak < 1) {
            inside = false;
            ++runs;
        }
    }
    EXPECT_EQ(runs, 93);  // the 93 characters of the show's glyph order
    EXPECT_EQ(alpha(0, 0), 0);
}

TEST_F(Content, PicturesDecodeThroughTheProgramsCodecs) {
    for (const auto& [folder, files] : kLoaded)
        for (const std::string& file : files) {
            if (file.ends_with(".klx")) continue;
            cvcore::Image image = Decode(folder, file);
            EXPECT_GT(image.GetWidth(), 0) << file;
            bool sprite = file.ends_with(".tga") && !file.starts_with("credpic");
            if (sprite) {
                EXPECT_TRUE(HasAlpha(image)) << file;
            }
        }
}

TEST_F(Content, ScenesHoldWhatTheShowReliesOn) {
    for (const auto& [folder, file] : kScenes) {
        KlxDocument doc = Scene(folder, file);
        ASSERT_FALSE(doc.cameras.empty()) << file;
        EXPECT_GT(doc.sceneTime.endTick, doc.sceneTime.startTick) << file;
        std::size_t triangles = 0;
        for (const KlxMesh& m : doc.meshes)
            for (const KlxFaceGroup& g : m.faceGroups) triangles += g.indices.size() / 3;
        EXPECT_LT(triangles, 60000u) << file;
    }

    KlxDocument floor = Scene("lightfloor/", "ground.klx");
    EXPECT_LE(floor.cameras.size(), 4u);
    ASSERT_FALSE(floor.meshes.empty());
    EXPECT_EQ(floor.meshes.front().nodeId, floor.nodes.front().id);
    for (const KlxVertex& v : floor.meshes.front().vertices) {
        EXPECT_TRUE(v.uv[0].u >= 0.0f && v.uv[0].u <= 1.0f && v.uv[0].v >= 0.0f && v.uv[0].v <= 1.0f);
    }

    KlxDocument fish = Scene("muikula/", "muikula.klx");
    bool morphs = std::any_of(fish.meshes.begin(), fish.meshes.end(), [](const KlxMesh& m) {
        return m.frames.size() > 1 && !(m.frames[0].vertices[0].position == m.frames[3].vertices[0].position);
    });
    EXPECT_TRUE(morphs);

    KlxDocument bread = Scene("nakyleipa/", "nakyleipa.klx");
    EXPECT_GE(bread.meshes.size(), 2u);
    EXPECT_EQ(bread.cameras.size(), 2u);
    EXPECT_TRUE(bread.fog);
    std::set<int> kinds;
    for (const KlxLight& l : bread.lights) kinds.insert(l.kind == 1 ? 1 : l.kind <= 3 ? 2 : 4);
    EXPECT_EQ(kinds.size(), 3u);  // point, spot and directional
    EXPECT_TRUE(std::any_of(bread.materials.begin(), bread.materials.end(),
                            [](const KlxMaterial& m) { return m.opacity < 1.0f; }));
    bool lightMapped = false;
    for (const KlxMesh& m : bread.meshes)
        for (const KlxFaceGroup& g : m.faceGroups)
            if (g.lightMap >= 0 && g.lightMap < static_cast<int32_t>(bread.images.size()) && m.CoordinateSets() >= 2)
                lightMapped = bread.images[static_cast<std::size_t>(g.lightMap)].image.GetWidth() > 0;
    EXPECT_TRUE(lightMapped);

    KlxDocument flower = Scene("kukka/", "kukka.klx");
    EXPECT_TRUE(flower.fog);
    const KlxMesh* skinned = nullptr;
    for (const KlxMesh& m : flower.meshes)
        if (m.HasSkinWeights()) skinned = &m;
    ASSERT_NE(skinned, nullptr);
    int moving = 0;
    for (uint32_t bone : skinned->bones) {
        const KlxNode* n = flower.FindNode(bone);
        ASSERT_NE(n, nullptr);
        moving += n->rotationTrack.Count() > 1;
    }
    EXPECT_GE(moving, 4);

    KlxDocument land = Scene("landscape/", "maasto.klx");
    EXPECT_TRUE(land.fog);
    const KlxMesh* terrain = nullptr;
    for (const KlxMesh& m : land.meshes)
        if (m.vertices.size() == 4018) terrain = &m;
    ASSERT_NE(terrain, nullptr);
    EXPECT_EQ(terrain->CoordinateSets(), 1);
    const KlxMaterial* ground = nullptr;
    for (const KlxMaterial& m : land.materials)
        if (m.id == terrain->faceGroups.front().materialId) ground = &m;
    ASSERT_NE(ground, nullptr);
    EXPECT_TRUE(ground->maps[1].enabled && ground->maps[7].enabled);
    bool strip = false;
    for (const KlxMesh& m : land.meshes)
        for (const KlxFaceGroup& g : m.faceGroups) strip |= g.indexType == KLX_TRIANGLE_STRIP;
    EXPECT_TRUE(strip);  // the lake
}

TEST_F(Content, TheMachineStaysInsideTheSmokeBox) {
    KlxDocument doc = Scene("smokeandcredits/scene/", "vempula.klx");
    for (const KlxMesh& m : doc.meshes) {
        const KlxNode* n = doc.FindNode(m.nodeId);
        ASSERT_NE(n, nullptr);
        for (const KlxVertex& v : m.vertices) {
            Vector3 p = n->bindPose.TransformPoint(v.position);
            EXPECT_TRUE(p.x >= -100.0f && p.x <= 100.0f && p.y >= -20.5f && p.y <= 40.0f && p.z >= -200.0f &&
                        p.z <= 400.0f)
                << p.x << " " << p.y << " " << p.z;
        }
    }
}

namespace {

struct Pcm {
    long rate = 0;
    int channels = 0;
    std::vector<short> samples;  // interleaved
};

Pcm DecodeMp3(const std::string& path) {
    Pcm pcm;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (!h) return pcm;
    int encoding = 0;
    if (mpg123_open(h, path.c_str()) == MPG123_OK &&
        mpg123_getformat(h, &pcm.rate, &pcm.channels, &encoding) == MPG123_OK) {
        mpg123_format_none(h);
        mpg123_format(h, pcm.rate, pcm.channels, MPG123_ENC_SIGNED_16);
        std::vector<unsigned char> buffer(1 << 16);
        std::size_t done = 0;
        int rc;
        while ((rc = mpg123_read(h, buffer.data(), buffer.size(), &done)) == MPG123_OK || rc == MPG123_NEW_FORMAT ||
               done > 0) {
            const short* s = reinterpret_cast<const short*>(buffer.data());
            pcm.samples.insert(pcm.samples.end(), s, s + done / 2);
            if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) break;
        }
    }
    mpg123_close(h);
    mpg123_delete(h);
    return pcm;
}

// Energy of 10 ms windows every 2 ms (88.2 samples: the window starts are
// rounded, so they never drift from the clock).
std::vector<double> Energy(const Pcm& pcm) {
    const std::size_t window = static_cast<std::size_t>(pcm.rate / 100);
    std::size_t frames = pcm.samples.size() / static_cast<std::size_t>(pcm.channels);
    std::vector<double> e;
    for (std::size_t k = 0;; ++k) {
        auto start =
            static_cast<std::size_t>(std::llround(static_cast<double>(k) * static_cast<double>(pcm.rate) / 500.0));
        if (start + window >= frames) break;
        double sum = 0.0;
        for (std::size_t i = start; i < start + window; ++i)
            for (int c = 0; c < pcm.channels; ++c) {
                double v =
                    pcm.samples[i * static_cast<std::size_t>(pcm.channels) + static_cast<std::size_t>(c)] / 32768.0;
                sum += v * v;
            }
        e.push_back(sum / static_cast<double>(window));
    }
    return e;
}

// The loudest window starting within 30 ms of t, against the level just before.
double Rise(const std::vector<double>& e, double t) {
    auto at = [&](double s) { return static_cast<long>(std::lround(s * 500.0)); };
    double before = 0.0;
    int n = 0;
    for (long i = at(t - 0.045); i <= at(t - 0.015); ++i, ++n) before += e[static_cast<std::size_t>(std::max(0L, i))];
    before /= n;
    double after = 0.0;
    for (long i = at(t - 0.005); i <= at(t + 0.030); ++i) after = std::max(after, e[static_cast<std::size_t>(i)]);
    return after / std::max(before, 1e-9);
}

}  // namespace

TEST_F(Content, SoundtrackIsLongEnoughAndHitsTheShowsSchedule) {
    mpg123_init();
    Pcm pcm = DecodeMp3(dir_ + "/murikka.mp3");
    ASSERT_EQ(pcm.rate, 44100);
    ASSERT_EQ(pcm.channels, 2);
    EXPECT_GE(static_cast<double>(pcm.samples.size()) / 2.0 / 44100.0, 163.0);

    std::vector<double> e = Energy(pcm);
    std::vector<double> times = {40.0, 60.0, 85.779, 114.299, 131.299};
    for (int k = 0; k < 14; ++k) {
        times.push_back(0.387 + 1.26 * k);
        times.push_back(0.862 + 1.26 * k);
    }
    for (double t : times) EXPECT_GE(Rise(e, t), 2.0) << "no onset at " << t << " s";
    // Silence after the closing fade.
    double tail = 0.0;
    for (long i = 163 * 500 + 10; i < static_cast<long>(e.size()); ++i)
        tail = std::max(tail, e[static_cast<std::size_t>(i)]);
    EXPECT_LT(tail, 1e-6);
}

TEST_F(Content, TwoBuildsGiveTheSameBytes) {
    testsupport::ScratchDir again;
    ASSERT_EQ(testsupport::Run(Quote(BinDir() + "/halcyon2-content") + " " + Quote(again.Path()) + " 2>/dev/null"), 0);
    for (const char* name : {"data.zip", "murikka.mp3"})
        EXPECT_TRUE(testsupport::ReadBytes(dir_ + "/" + name) == testsupport::ReadBytes(again / name)) << name;
}
