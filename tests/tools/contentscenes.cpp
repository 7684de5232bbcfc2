// The six scenes of the show's data loaded by the engine: the properties the
// show's parts rely on (on the trace back end), and frames rendered through
// OpenGL, saved beside the test binaries as content-<scene>-<camera>-<n>.png
// for looking at, and checked for being more than a cleared screen.
#include <gtest/gtest.h>

#include <d3d8.h>
#include <d3d8ext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../engine/goldenimage.h"
#include "tracedevice.h"
#include "cvcore/filestream.h"
#include "engine/bitmapfont.h"
#include "engine/material.h"
#include "engine/scene.h"
#include "engine/scenecamera.h"
#include "engine/skintrimesh.h"
#include "engine/trimesh.h"
#include "engine/vatrimesh.h"
#include "scratchdir.h"

namespace fs = std::filesystem;

using tracetest::MakeSceneDevice;
using tracetest::TraceDevice;

namespace {

std::string BinDir() {
    const char* bin = std::getenv("HALCYON2_BIN_DIR");
    return bin ? bin : ".";
}

struct SceneFile {
    const char* folder;
    const char* file;
    bool lit;
};
const SceneFile kScenes[] = {
    {"smokeandcredits/scene/", "vempula.klx", false},
    {"lightfloor/", "ground.klx", false},
    {"muikula/", "muikula.klx", false},
    {"nakyleipa/", "nakyleipa.klx", true},
    {"kukka/", "kukka.klx", true},
    {"landscape/", "maasto.klx", false},
};

class ContentScenes : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        std::string bin = BinDir();
        if (fs::exists(bin + "/data.zip")) {
            dir_ = bin;
            return;
        }
        scratch_ = std::make_unique<testsupport::ScratchDir>();
        ASSERT_EQ(testsupport::Run(testsupport::Quote(bin + "/halcyon2-content") + " " +
                                   testsupport::Quote(scratch_->Path()) + " 2>/dev/null"),
                  0);
        dir_ = scratch_->Path();
    }
    static void TearDownTestSuite() { scratch_.reset(); }

protected:
    // Loads a scene the way the show does: base path in its folder.
    static void Load(Scene& scene, Device3D& device, const SceneFile& s) {
        cvcore::SetArchivePassword("hopla");
        cvcore::SetBasePath((dir_ + "/data.zip/" + s.folder).c_str());
        scene.Load(device, s.file);
    }
    static std::vector<SceneNode*> Children(SceneNode& node) {
        std::vector<SceneNode*> out;
        for (const ChildCell* c = node.GetFirstChild(); c; c = c->next) out.push_back(c->node);
        return out;
    }
    static bool Drawn(const SceneNode* n) { return (n->hookFlags & SceneNode::HookDraw) != 0; }

    static std::string dir_;
    static std::unique_ptr<testsupport::ScratchDir> scratch_;
};
std::string ContentScenes::dir_;
std::unique_ptr<testsupport::ScratchDir> ContentScenes::scratch_;

Vector3 At(SceneNode* n) { return n->GetWorld().GetTranslation(); }

}  // namespace

TEST_F(ContentScenes, LightFloorFindsItsFloorAndTwoMovingLightCarriers) {
    auto device = MakeSceneDevice();
    Scene scene;
    Load(scene, *device, kScenes[1]);
    EXPECT_GE(scene.GetCameraCount(), 1);
    EXPECT_LE(scene.GetCameraCount(), 4);

    // The floor: the first drawn node among the root's children, or the
    // first drawn child of one of them.
    SceneNode* floor = nullptr;
    for (SceneNode* child : Children(scene)) {
        if (Drawn(child)) {
            floor = child;
            break;
        }
        for (SceneNode* grandchild : Children(*child))
            if (Drawn(grandchild)) {
                floor = grandchild;
                break;
            }
        if (floor) break;
    }
    ASSERT_NE(floor, nullptr);
    ASSERT_GT(static_cast<TriMesh*>(floor)->GetVertexCount(), 0);

    // The carriers: the 7th and 8th undrawn nodes met walking the root's
    // children and, inside each, its children. Counting the second level only
    // must find the same places, so either reading of the walk works.
    auto carriers = [&](bool countFirstLevel) {
        std::vector<SceneNode*> met;
        for (SceneNode* child : Children(scene)) {
            if (countFirstLevel && !Drawn(child)) met.push_back(child);
            for (SceneNode* grandchild : Children(*child))
                if (!Drawn(grandchild)) met.push_back(grandchild);
        }
        return met;
    };
    for (float t : {1.0f, 7.0f}) {
        scene.Update(t);
        std::vector<SceneNode*> both = carriers(true), second = carriers(false);
        ASSERT_GE(both.size(), 8u);
        ASSERT_GE(second.size(), 8u);
        for (int k : {6, 7}) {
            Vector3 a = At(both[static_cast<std::size_t>(k)]), b = At(second[static_cast<std::size_t>(k)]);
            EXPECT_LT((a - b).Length(), 1e-3f) << "carrier " << k + 1 << " at " << t << " s";
        }
        EXPECT_GT((At(both[6]) - At(both[7])).Length(), 1.0f);
    }
    scene.Update(1.0f);
    Vector3 first = At(carriers(true)[6]);
    scene.Update(4.0f);
    EXPECT_GT((At(carriers(true)[6]) - first).Length(), 5.0f);  // the light wanders
}

TEST_F(ContentScenes, CrispbreadHasItsHiddenRaySourceFogAndMaterials) {
    auto device = MakeSceneDevice();
    Scene scene;
    Load(scene, *device, kScenes[3]);
    EXPECT_EQ(scene.GetCameraCount(), 2);
    EXPECT_TRUE(scene.fogEnabled);
    EXPECT_GE(scene.GetLights().size(), 3u);

    // The mesh burst's choice: the second drawn node met among the children
    // of the root's children.
    int drawn = 0;
    SceneNode* rays = nullptr;
    for (SceneNode* child : Children(scene))
        for (SceneNode* grandchild : Children(*child))
            if (Drawn(grandchild) && ++drawn == 2 && !rays) rays = grandchild;
    ASSERT_NE(rays, nullptr);
    EXPECT_GT(static_cast<TriMesh*>(rays)->GetSubmeshCount(), 0);

    bool translucent = false, lightMapped = false;
    for (int32_t i = 0; i < scene.GetMaterialCount(); ++i) {
        const Material* m = scene.GetMaterialAt(i);
        translucent |= m->opacity < 1.0f;
        for (const TextureStage& s : m->stages)
            lightMapped |= s.texture && s.texture == scene.GetTexture(0) && s.texCoordIndex == 1;
    }
    EXPECT_TRUE(translucent);
    EXPECT_TRUE(lightMapped);
}

TEST_F(ContentScenes, FlowerIsSkinnedToMovingBonesFishMorphsLandscapeHasItsDetailSet) {
    auto device = MakeSceneDevice();
    Scene flower, fish, land;
    Load(flower, *device, kScenes[4]);
    Load(fish, *device, kScenes[2]);
    Load(land, *device, kScenes[5]);
    EXPECT_TRUE(flower.fogEnabled);
    EXPECT_TRUE(land.fogEnabled);
    EXPECT_FALSE(fish.GetVertexAnimatedMeshes().empty());

    SkinTriMesh* skin = nullptr;
    TriMesh* terrain = nullptr;
    for (Scene* s : {&flower, &land})
        for (int32_t i = 0; i < s->GetNodeList().Count(); ++i) {
            SceneNode* n = s->GetNodeList().Get(i);
            if (auto* m = dynamic_cast<SkinTriMesh*>(n))
                skin = m;
            else if (auto* t = dynamic_cast<TriMesh*>(n); t && t->GetVertexCount() == 4018)
                terrain = t;
        }
    ASSERT_NE(skin, nullptr);
    ASSERT_GT(skin->GetBoneCount(), 4);
    flower.Update(1.0f);
    std::vector<Matrix4> before;
    for (int32_t b = 0; b < skin->GetBoneCount(); ++b) before.push_back(skin->GetBone(b).node->GetWorld());
    flower.Update(8.0f);
    int moved = 0;
    for (int32_t b = 0; b < skin->GetBoneCount(); ++b)
        moved += !(skin->GetBone(b).node->GetWorld() == before[static_cast<std::size_t>(b)]);
    EXPECT_GE(moved, 4);

    ASSERT_NE(terrain, nullptr);
    EXPECT_EQ((terrain->GetFVF() & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 2u);
}

TEST_F(ContentScenes, FontBuildsWithAGlyphForEveryCharacterOfTheShowsOrder) {
    // The show's glyph order, in Windows-1252.
    const char order[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!'#@$\xF4%&/"
        "()=+'-\xC5\xC4\xD6\xE5\xE4\xF6^*,.;:<>|\xCF";
    ASSERT_EQ(sizeof order - 1, 93u);
    auto device = MakeSceneDevice();
    cvcore::SetArchivePassword("hopla");
    cvcore::SetBasePath((dir_ + "/data.zip/").c_str());
    BitmapFont font;
    font.Load(device.get(), "font.tga", order, 8, 0);
    ASSERT_NE(font.GetTexture(), nullptr);
    for (const char* c = order; *c; ++c)
        EXPECT_GT(font.GetGlyph(static_cast<unsigned char>(*c)).width, 0)
            << "glyph " << int(static_cast<unsigned char>(*c));
    // Distinct characters sit side by side: each has its own rectangle.
    EXPECT_LT(font.GetGlyph('A').right, font.GetGlyph('B').left + 1e-6f);
}

TEST_F(ContentScenes, EverySceneRendersThroughEachCamera) {
    TraceDevice device;
    try {
        device = MakeSceneDevice(false);
    } catch (const std::exception& e) {
        GTEST_SKIP() << e.what();
    }
    IDirect3DDevice8* d3d = device->GetDevice();
    for (DWORD stage = 0; stage < 8; ++stage)
        for (D3DTEXTURESTAGESTATETYPE f : {D3DTSS_MAGFILTER, D3DTSS_MINFILTER, D3DTSS_MIPFILTER})
            d3d->SetTextureStageState(stage, f, D3DTEXF_LINEAR);
    for (const SceneFile& s : kScenes) {
        Scene scene;
        Load(scene, *device, s);
        float length = static_cast<float>(scene.time.endTick) /
                       static_cast<float>(scene.time.framesPerSecond * scene.time.ticksPerFrame);
        for (int32_t c = 0; c < scene.GetCameraCount(); ++c) {
            std::size_t most = 0;
            for (int n = 0; n < 3; ++n) {
                float t = length * (0.15f + 0.35f * static_cast<float>(n));
                DWORD clear = scene.fogEnabled && std::string(s.file) == "maasto.klx" ? scene.fogColor : 0xFF000000u;
                d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
                d3d->BeginScene();
                d3d->SetRenderState(D3DRS_LIGHTING, s.lit ? TRUE : FALSE);
                scene.ApplyFog(*device, *scene.GetCamera(0));
                scene.Update(t);
                scene.Render(*device, *scene.GetCamera(c));
                d3d->EndScene();
                RgbaPicture frame;
                UINT w = 0, h = 0;
                ASSERT_EQ(D3D8_ReadBackBuffer(d3d, nullptr, 0, &w, &h), D3D_OK);
                frame.width = w;
                frame.height = h;
                frame.pixels.resize(static_cast<std::size_t>(w) * h);
                ASSERT_EQ(D3D8_ReadBackBuffer(d3d, frame.pixels.data(), w * 4, &w, &h), D3D_OK);
                d3d->Present(nullptr, nullptr, nullptr, nullptr);
                std::string name = std::string(s.file).substr(0, std::string(s.file).size() - 4);
                WritePng(BinDir() + "/content-" + name + "-" + std::to_string(c) + "-" + std::to_string(n) + ".png",
                         frame);
                std::size_t covered = 0;
                for (uint32_t p : frame.pixels) covered += (p & 0xFFFFFFu) != (clear & 0xFFFFFFu);
                // Something in every frame (the fish is only entering or
                // leaving in some), a good part of the screen in one of them.
                EXPECT_GT(covered, frame.pixels.size() / 1000) << name << " camera " << c << " frame " << n;
                most = std::max(most, covered);
            }
            EXPECT_GT(most, std::size_t{640 * 480 / 20}) << s.file << " camera " << c;
        }
    }
}
