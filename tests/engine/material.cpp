#include "engine/material.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cvcore/filestream.h"
#include "engine/device3d.h"
#include "engine/scene.h"
#include "tracedevice.h"

using tracetest::Calls;
using tracetest::LinesWith;
using tracetest::MakeDevice;

namespace {

class MaterialTest : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeDevice(); }
    void TearDown() override {
        device_.reset();
        D3D8Trace_Disable();
    }

    tracetest::TraceDevice device_;
};

TEST_F(MaterialTest, DefaultsApplyTheOneDisabledStage) {
    Material material(device_.get());
    material.Apply();
    const std::vector<std::string> expected = {
        "SetRenderState(D3DRS_CULLMODE, 3)",
        "SetRenderState(D3DRS_ZENABLE, 2)",
        "SetRenderState(D3DRS_ZWRITEENABLE, 1)",
        "SetRenderState(D3DRS_ALPHABLENDENABLE, 0)",
        "SetRenderState(D3DRS_BLENDOP, 1)",
        "SetRenderState(D3DRS_DESTBLEND, 1)",
        "SetRenderState(D3DRS_SRCBLEND, 2)",
        "SetRenderState(D3DRS_NORMALIZENORMALS, 0)",
        "SetRenderState(D3DRS_TEXTUREFACTOR, 0x0)",
        "SetMaterial({{1 1 1 1} {0 0 0 0} {0 0 0 0} {0 0 0 0} 0})",
        "SetTextureStageState(0, D3DTSS_COLOROP, 1)",
        "SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(3, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(4, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(5, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(6, D3DTSS_TEXCOORDINDEX, 0)",
        "SetTextureStageState(7, D3DTSS_TEXCOORDINDEX, 0)",
    };
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i == 9) {
            EXPECT_EQ(calls[i].rfind("SetMaterial(", 0), 0u) << calls[i];
            continue;
        }
        EXPECT_EQ(calls[i], expected[i]) << i;
    }
    EXPECT_TRUE(LinesWith("SetTexture(").empty());
}

TEST_F(MaterialTest, EnabledStagesSetEveryStateAndTheirTexture) {
    Material material(device_.get());
    material.stages[0].colorOp = D3DTOP_MODULATE;
    material.stages[1].colorOp = D3DTOP_BUMPENVMAP;
    material.stages[1].bumpEnvMat01 = 0.5f;
    material.stages[1].textureTransformFlags = D3DTTFF_COUNT2;
    material.stages[1].textureMatrix.m[12] = 0.25f;
    material.Apply();
    EXPECT_EQ(LinesWith("SetTexture(").size(), 2u);
    EXPECT_EQ(LinesWith("SetTextureStageState(1, D3DTSS_BUMPENVMAT").size(), 4u);
    EXPECT_EQ(LinesWith("SetTextureStageState(0, D3DTSS_BUMPENVMAT").size(), 0u);
    const auto transforms = LinesWith("SetTransform(");
    ASSERT_EQ(transforms.size(), 1u);
    EXPECT_NE(transforms[0].find("D3DTS_TEXTURE1"), std::string::npos) << transforms[0];
    // Stage 2 is disabled: it and the rest reset their coordinate index.
    EXPECT_EQ(LinesWith("SetTextureStageState(2, D3DTSS_COLOROP, 1)").size(), 1u);
    EXPECT_EQ(LinesWith("D3DTSS_TEXCOORDINDEX").size(), 2u + 6u);
}

// Texture files (DXT1 DDS) made by ImageMagick in a temporary folder, which
// becomes the base path the material's map names resolve against.
class MaterialBuildTest : public MaterialTest {
protected:
    void SetUp() override {
        MaterialTest::SetUp();
        folder_ = std::filesystem::temp_directory_path() / ("halcyon2-material-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        for (const char* name : {"base.dds", "second.dds", "chrome.dds"}) {
            const std::string command = "convert -size 4x4 xc:'#336699' '" + (folder_ / name).string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        cvcore::SetBasePath((folder_.string() + "/").c_str());
    }
    void TearDown() override {
        cvcore::SetBasePath("");
        std::filesystem::remove_all(folder_);
        MaterialTest::TearDown();
    }

    std::filesystem::path folder_;
};

TEST_F(MaterialBuildTest, OpaqueBaseTexture) {
    MaterialRecord record;
    record.diffuse = 0xFF804020;
    record.maps[MaterialRecord::SLOT_BASE] = "base.dds";
    Material m(device_.get());
    m.Build(record);
    EXPECT_EQ(m.alphaBlendEnable, 0u);
    EXPECT_EQ(m.zWriteEnable, 1u);
    EXPECT_EQ(m.cullMode, static_cast<uint32_t>(D3DCULL_CCW));
    EXPECT_FLOAT_EQ(m.material.Diffuse.r, 128 * 0.003921569f);
    EXPECT_FLOAT_EQ(m.material.Diffuse.a, 1.0f);
    EXPECT_EQ(m.stages[0].colorOp, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(m.stages[0].alphaOp, static_cast<uint32_t>(D3DTOP_SELECTARG1));
    EXPECT_EQ(m.stages[0].texCoordIndex, 0u);
    EXPECT_NE(m.stages[0].texture, nullptr);
    EXPECT_EQ(m.stages[1].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
    EXPECT_FLOAT_EQ(m.extra[1], 0.5f);
}

TEST_F(MaterialBuildTest, TranslucentBlendingAndTwoSided) {
    MaterialRecord record;
    record.opacity = 0.5f;
    record.flags = MaterialRecord::FLAG_ADDITIVE | MaterialRecord::FLAG_TWO_SIDED;
    record.maps[MaterialRecord::SLOT_BASE] = "base.dds";
    Material additive(device_.get());
    additive.Build(record);
    EXPECT_FLOAT_EQ(additive.opacity, 0.5f);
    EXPECT_EQ(additive.alphaBlendEnable, 1u);
    EXPECT_EQ(additive.zWriteEnable, 0u);
    EXPECT_EQ(additive.srcBlend, static_cast<uint32_t>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(additive.destBlend, static_cast<uint32_t>(D3DBLEND_ONE));
    EXPECT_EQ(additive.cullMode, static_cast<uint32_t>(D3DCULL_NONE));
    EXPECT_EQ(additive.stages[0].alphaOp, static_cast<uint32_t>(D3DTOP_MODULATE));

    record.flags = 0;
    Material blended(device_.get());
    blended.Build(record);
    EXPECT_EQ(blended.destBlend, static_cast<uint32_t>(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(blended.cullMode, static_cast<uint32_t>(D3DCULL_CCW));
}

TEST_F(MaterialBuildTest, ReflectionAloneIsASphereMapOnStageZero) {
    MaterialRecord record;
    record.maps[MaterialRecord::SLOT_REFLECTION] = "chrome.dds";
    Material m(device_.get());
    m.Build(record);
    EXPECT_EQ(m.stages[0].colorOp, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(m.stages[0].texCoordIndex, 0x10000u);
    EXPECT_EQ(m.stages[0].textureTransformFlags, static_cast<uint32_t>(D3DTTFF_COUNT2));
    const float* t = m.stages[0].textureMatrix.m;
    EXPECT_EQ(t[0], 0.5f);
    EXPECT_EQ(t[5], 0.5f);
    EXPECT_EQ(t[10], 0.0f);
    EXPECT_EQ(t[12], 0.5f);
    EXPECT_EQ(t[13], 0.5f);
    EXPECT_EQ(t[15], 1.0f);
    EXPECT_EQ(m.normalizeNormals, 1u);
}

TEST_F(MaterialBuildTest, ThreeMapsTakeConsecutiveStages) {
    MaterialRecord record;
    record.maps[MaterialRecord::SLOT_BASE] = "base.dds";
    record.maps[MaterialRecord::SLOT_SECOND] = "second.dds";
    record.maps[MaterialRecord::SLOT_REFLECTION] = "chrome.dds";
    record.maps[3] = "ignored.tga";  // slots other than 1, 7 and 9 are not used
    Material m(device_.get());
    m.Build(record);
    EXPECT_EQ(m.stages[1].colorOp, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(m.stages[1].texCoordIndex, 1u);
    EXPECT_EQ(m.stages[2].colorOp, static_cast<uint32_t>(D3DTOP_ADD));
    EXPECT_EQ(m.stages[2].texCoordIndex, 0x10002u);
    EXPECT_EQ(m.stages[3].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
    // Second texture alone reads coordinate set 0; an empty name is no map.
    MaterialRecord second;
    second.maps[MaterialRecord::SLOT_BASE] = "";
    second.maps[MaterialRecord::SLOT_SECOND] = "second.dds";
    Material s(device_.get());
    s.Build(second);
    EXPECT_EQ(s.stages[0].texCoordIndex, 0u);
    EXPECT_EQ(s.stages[1].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
}

TEST_F(MaterialBuildTest, LightMapVariant) {
    MaterialRecord record;
    record.maps[MaterialRecord::SLOT_BASE] = "base.dds";
    record.ambient = 0xFFFFFFFF;
    Material base(device_.get());
    base.Build(record);
    base.textureFactor = 0xAABBCCDD;
    auto* lightMap = reinterpret_cast<IDirect3DTexture8*>(&base);  // only compared
    auto variant = base.MakeLightMapVariant(lightMap);
    EXPECT_EQ(variant->textureFactor, 0xAABBCCDDu);
    EXPECT_EQ(variant->stages[0].texture, base.stages[0].texture);
    EXPECT_EQ(variant->stages[1].colorOp, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(variant->stages[1].texCoordIndex, 1u);
    EXPECT_EQ(variant->stages[1].alphaOp, static_cast<uint32_t>(D3DTOP_SELECTARG1));
    EXPECT_EQ(variant->stages[1].texture, lightMap);
    EXPECT_EQ(variant->stages[2].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
    // The lighting colours are not copied.
    EXPECT_EQ(variant->material.Ambient.r, 0.0f);

    // With no stage the light map goes to stage 0 on set 1; translucent
    // variants modulate alpha.
    Material bare(device_.get());
    bare.opacity = 0.5f;
    auto lit = bare.MakeLightMapVariant(lightMap);
    EXPECT_EQ(lit->stages[0].texCoordIndex, 1u);
    EXPECT_EQ(lit->stages[0].alphaOp, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_FLOAT_EQ(lit->opacity, 0.5f);

    // Two stages already: no light-map stage.
    record.maps[MaterialRecord::SLOT_SECOND] = "second.dds";
    Material twice(device_.get());
    twice.Build(record);
    auto same = twice.MakeLightMapVariant(lightMap);
    EXPECT_EQ(same->stages[2].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
    EXPECT_NE(same->stages[1].texture, lightMap);
}

}  // namespace

namespace {

// The scene's lookup that face groups use: one variant per (id, image), made
// on the first request and found again afterwards.
TEST_F(MaterialTest, SceneHandsOutOneVariantPerIdAndImage) {
    Scene scene;
    IDirect3DTexture8* lightMap = nullptr;
    ASSERT_EQ(device_->GetDevice()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &lightMap), D3D_OK);
    scene.AddTexture(lightMap);  // image 0; the scene releases it
    Material* base = scene.AddMaterial(std::make_unique<Material>(device_.get()));
    scene.RegisterMaterial(base, 7, -1);

    EXPECT_EQ(scene.GetMaterial(*device_, 7, -1), base);
    EXPECT_EQ(scene.GetMaterial(*device_, 8, -1), nullptr);
    EXPECT_EQ(scene.GetMaterial(*device_, 8, 0), nullptr);
    EXPECT_EQ(scene.GetMaterialCount(), 1);

    Material* variant = scene.GetMaterial(*device_, 7, 0);
    ASSERT_NE(variant, nullptr);
    EXPECT_NE(variant, base);
    EXPECT_EQ(scene.GetMaterial(*device_, 7, 0), variant);
    EXPECT_EQ(scene.GetMaterialCount(), 2);
    EXPECT_EQ(scene.FindMaterial(7, 0), variant);
    EXPECT_EQ(variant->stages[0].texture, lightMap);
    // An image index past the scene's textures gives a stage without texture.
    Material* beyond = scene.GetMaterial(*device_, 7, 5);
    ASSERT_NE(beyond, nullptr);
    EXPECT_EQ(beyond->stages[0].texture, nullptr);
    EXPECT_EQ(beyond->stages[0].texCoordIndex, 1u);
    EXPECT_EQ(scene.GetMaterialCount(), 3);
}

}  // namespace
