#include "engine/device3d.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cvcore/exception.h"
#include "engine/material.h"
#include "tracedevice.h"

using tracetest::Calls;
using tracetest::LinesWith;
using tracetest::MakeDevice;

namespace {

D3DDISPLAYMODE Mode(UINT width, UINT height, UINT rate, D3DFORMAT format = D3DFMT_X8R8G8B8) {
    D3DDISPLAYMODE mode;
    mode.Width = width;
    mode.Height = height;
    mode.RefreshRate = rate;
    mode.Format = format;
    return mode;
}

std::string Text(const cvcore::String& s) { return s.Text(); }

uint32_t Key(float depth) {
    uint32_t key;
    std::memcpy(&key, &depth, 4);
    return key;
}

// Expects a cvcore::Exception with the three texts.
template <class F>
void ExpectThrows(F&& f, const char* method, const char* message, const char* file) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << method;
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), method);
        EXPECT_STREQ(e.Message().Text(), message);
        EXPECT_STREQ(e.File().Text(), file);
    }
}

class Device3DTest : public ::testing::Test {
protected:
    void TearDown() override { D3D8Trace_Disable(); }
};

TEST(ModeStringTest, FormsOfTheText) {
    EXPECT_EQ(Text(Device3D::ModeString(Mode(640, 480, 60, D3DFMT_R5G6B5), true, true, true)),
              "640 x 480 x 16bits @ 60hz");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(640, 480, 60, D3DFMT_R5G6B5), true, true, false)), "640 x 480 x 16bits");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(640, 480, 60), false, false, false)), "");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(640, 480, 60), false, false, true)), "60hz");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(800, 600, 75), true, false, true)), "800 x 600 @ 75hz");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(800, 600, 75, D3DFMT_A2R10G10B10), false, true, false)), "0bits");
    EXPECT_EQ(Text(Device3D::ModeString(Mode(1920, 1080, 0, D3DFMT_X8R8G8B8), false, true, true)), "32bits @ 0hz");
}

TEST(FormatBitsTest, Table) {
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_R8G8B8), 24);
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_A8R8G8B8), 32);
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_X8R8G8B8), 32);
    for (D3DFORMAT f :
         {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4}) {
        EXPECT_EQ(Device3D::FormatBits(f), 16) << f;
    }
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_R3G3B2), 8);
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_A2R10G10B10), 0);
    EXPECT_EQ(Device3D::FormatBits(D3DFMT_D16), 0);
}

TEST_F(Device3DTest, AdaptersAndModesAsReported) {
    D3D8TraceConfig config;
    config.adapters.resize(2);
    config.adapters[0].description = "First display";
    config.adapters[0].modes = {Mode(640, 480, 60), Mode(640, 480, 75), Mode(800, 600, 60)};
    config.adapters[0].caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    config.adapters[1].description = "Second display";
    config.adapters[1].caps.DevCaps = 0;
    D3D8Trace_Enable(config);
    Device3D device;
    ASSERT_EQ(device.GetAdapterCount(), 2);
    EXPECT_STREQ(device.GetAdapterDescription(0), "First display");
    EXPECT_STREQ(device.GetAdapterDescription(1), "Second display");
    EXPECT_STREQ(device.GetAdapterDescription(2), "");
    EXPECT_TRUE(device.SupportsHardwareTnL(0));
    EXPECT_FALSE(device.SupportsHardwareTnL(1));
    EXPECT_FALSE(device.SupportsHardwareTnL(-1));
    ASSERT_EQ(device.GetModeCount(0), 3);
    EXPECT_EQ(device.GetMode(0, 1).RefreshRate, 75u);
    EXPECT_EQ(device.GetModeCount(5), 0);
    EXPECT_EQ(device.GetMode(0, 3).Width, 0u);
    EXPECT_EQ(device.GetMode(7, 0).Width, 0u);
    EXPECT_EQ(device.GetDevice(), nullptr);
}

TEST_F(Device3DTest, FilterModesCollapsesOrSelectsRates) {
    D3D8TraceConfig config;
    config.adapters[0].modes = {Mode(640, 480, 60), Mode(640, 480, 75), Mode(800, 600, 60),
                                Mode(640, 480, 60, D3DFMT_R5G6B5)};
    D3D8Trace_Enable(config);
    {
        Device3D device;
        device.FilterModes(0, 0);
        ASSERT_EQ(device.GetModeCount(0), 3);
        EXPECT_EQ(device.GetMode(0, 0).Width, 640u);
        EXPECT_EQ(device.GetMode(0, 0).RefreshRate, 0u);
        EXPECT_EQ(device.GetMode(0, 1).Width, 800u);
        EXPECT_EQ(device.GetMode(0, 2).Format, D3DFMT_R5G6B5);
        device.FilterModes(3, 0);  // no such adapter: nothing happens
    }
    {
        Device3D device;
        device.FilterModes(0, 75);
        ASSERT_EQ(device.GetModeCount(0), 1);
        EXPECT_EQ(device.GetMode(0, 0).Height, 480u);
        EXPECT_EQ(device.GetMode(0, 0).RefreshRate, 75u);
    }
    {
        Device3D device;
        device.FilterModes(0, 0x7FFFFFFF);
        ASSERT_EQ(device.GetModeCount(0), 3);
        EXPECT_EQ(device.GetMode(0, 2).RefreshRate, 0x7FFFFFFFu);
    }
}

TEST_F(Device3DTest, CreateDeviceTriesEachBehaviourTwice) {
    D3D8TraceConfig config;
    config.failCreateDeviceBehaviors = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    settings.flags = DeviceSettings::HARDWARE_TNL;
    device.CreateDevice(settings);
    const auto tries = LinesWith("CreateDevice(");
    ASSERT_EQ(tries.size(), 3u);
    EXPECT_NE(tries[0].find(", 0x40, "), std::string::npos) << tries[0];
    EXPECT_NE(tries[0].find("= D3DERR_NOTAVAILABLE"), std::string::npos) << tries[0];
    EXPECT_NE(tries[1].find(", 0x40, "), std::string::npos) << tries[1];
    EXPECT_NE(tries[2].find(", 0x80, "), std::string::npos) << tries[2];
    EXPECT_NE(tries[2].find("= device#1"), std::string::npos) << tries[2];
    EXPECT_NE(device.GetDevice(), nullptr);
}

TEST_F(Device3DTest, CreateDeviceFailureTexts) {
    D3D8TraceConfig config;
    config.failCreateDeviceBehaviors =
        D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    settings.flags = DeviceSettings::HARDWARE_TNL;
    ExpectThrows([&] { device.CreateDevice(settings); }, "CreateDevice()", "Failed!", "device3d");
    const auto hardware = LinesWith("CreateDevice(");
    ASSERT_EQ(hardware.size(), 4u);
    EXPECT_NE(hardware[1].find(", 0x40, "), std::string::npos);
    EXPECT_NE(hardware[3].find(", 0x80, "), std::string::npos);
    EXPECT_EQ(device.GetDevice(), nullptr);

    D3D8Trace_Clear();
    settings.flags = 0;
    ExpectThrows([&] { device.CreateDevice(settings); }, "CreateDevice()", "Failed!", "device3d");
    const auto software = LinesWith("CreateDevice(");
    ASSERT_EQ(software.size(), 2u);
    EXPECT_NE(software[0].find(", 0x20, "), std::string::npos);
    EXPECT_NE(software[1].find(", 0x20, "), std::string::npos);
}

TEST_F(Device3DTest, SecondTryOfABehaviourCanSucceed) {
    D3D8TraceConfig config;
    config.failCreateDeviceCount = 1;
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    device.CreateDevice(settings);
    const auto tries = LinesWith("CreateDevice(");
    ASSERT_EQ(tries.size(), 2u);
    EXPECT_NE(tries[1].find(", 0x20, "), std::string::npos);
    EXPECT_NE(device.GetDevice(), nullptr);
}

TEST_F(Device3DTest, WindowedDeviceNeedsTheDesktopMode) {
    D3D8TraceConfig config;
    config.adapters[0].desktopModeFails = true;
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    ExpectThrows([&] { device.CreateDevice(settings); }, "GetAdapterDisplayMode", "Failed!", "device3d");
    // Full screen does not ask for the desktop mode, but the texture
    // factory does when it binds to the new device: its failure comes out.
    settings.flags = DeviceSettings::FULLSCREEN;
    settings.width = 800;
    settings.height = 600;
    settings.window = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));  // never dereferenced
    D3D8Trace_Clear();
    ExpectThrows([&] { device.CreateDevice(settings); }, "GetImageFormat:GetAdapterDisplayMode", "Failed!",
                 "texturefactory");
    const auto created = LinesWith("CreateDevice(");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_NE(created[0].find("{800 600 D3DFMT_R5G6B5 2 "), std::string::npos) << created[0];
    EXPECT_NE(created[0].find("= device#1"), std::string::npos) << created[0];
}

TEST_F(Device3DTest, WindowedDeviceTakesTheDesktopFormat) {
    D3D8TraceConfig config;
    config.adapters[0].desktop.Format = D3DFMT_X8R8G8B8;
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    settings.width = 800;
    settings.height = 600;
    device.CreateDevice(settings);
    const auto created = LinesWith("CreateDevice(");
    ASSERT_EQ(created.size(), 1u);
    // Windowed: no size, the desktop's format, two back buffers, discard,
    // an automatic depth buffer checked against the settings' format.
    EXPECT_NE(created[0].find("{0 0 D3DFMT_X8R8G8B8 2 "), std::string::npos) << created[0];
    const auto checks = LinesWith("CheckDeviceFormat(");
    ASSERT_FALSE(checks.empty());
    EXPECT_NE(checks[0].find("CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, 0x2, D3DRTYPE_SURFACE, "),
              std::string::npos)
        << checks[0];
    EXPECT_NE(created[0].find(" 0x0 0 0}"), std::string::npos) << created[0];

    // Only a tool that asks for it gets a back buffer it can lock.
    settings.flags |= DeviceSettings::LOCKABLE_BACKBUFFER;
    device.CreateDevice(settings);
    const auto lockable = LinesWith("CreateDevice(");
    ASSERT_EQ(lockable.size(), 2u);
    EXPECT_NE(lockable[1].find(" 0x1 0 0}"), std::string::npos) << lockable[1];
}

TEST_F(Device3DTest, DepthFormatChoice) {
    D3D8TraceConfig config;
    config.depthFormats = {D3DFMT_D16, D3DFMT_D24S8};
    D3D8Trace_Enable(config);
    Device3D device;
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    EXPECT_EQ(device.FindDepthStencilFormat(settings), D3DFMT_D16);
    settings.flags = DeviceSettings::STENCIL;
    EXPECT_EQ(device.FindDepthStencilFormat(settings), D3DFMT_D24S8);

    config.depthFormats = {D3DFMT_D32, D3DFMT_D15S1};
    D3D8Trace_Enable(config);
    Device3D second;
    EXPECT_EQ(second.FindDepthStencilFormat(settings), D3DFMT_D15S1);
    settings.flags = 0;
    EXPECT_EQ(second.FindDepthStencilFormat(settings), D3DFMT_D32);

    config.depthFormats = {D3DFMT_D16_LOCKABLE};
    D3D8Trace_Enable(config);
    Device3D none;
    ExpectThrows([&] { none.FindDepthStencilFormat(settings); }, "No DepthStencil Format Found!", "Error!", "device3d");
    ExpectThrows([&] { none.CreateDevice(settings); }, "No DepthStencil Format Found!", "Error!", "device3d");
}

TEST_F(Device3DTest, NoDirect3DRaisesAnException) {
    // A machine without a usable renderer: Direct3DCreate8 gives null.
    ExpectThrows([] { Device3D device([](UINT) -> IDirect3D8* { return nullptr; }); }, "Direct3DCreate8()", "Failed!",
                 "device3d");
    // The SDK version asked for is the one of Direct3D 8.0.
    static UINT asked = 0;
    D3D8Trace_Enable();
    Device3D device([](UINT version) {
        asked = version;
        return Direct3DCreate8(version);
    });
    EXPECT_EQ(asked, 120u);
}

TEST_F(Device3DTest, FlushDrawsFarthestFirstAndNegativeDepthsBeforeAll) {
    auto device = MakeDevice();
    const float near[9] = {2.0f};
    const float far[9] = {5.0f};
    const float behind[9] = {-1.0f};
    device->AddTransparentTriangle(Key(2.0f), near, near + 3, near + 6, D3DFVF_XYZ, 12, nullptr);
    device->AddTransparentTriangle(Key(5.0f), far, far + 3, far + 6, D3DFVF_XYZ, 12, nullptr);
    device->AddTransparentTriangle(Key(-1.0f), behind, behind + 3, behind + 6, D3DFVF_XYZ, 12, nullptr);
    device->FlushTransparent();
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "SetVertexShader(0x2)");
    EXPECT_EQ(calls[1], "DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, " + tracetest::DataTag(behind, 36) + ", 12)");
    EXPECT_EQ(calls[2], "DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, " + tracetest::DataTag(far, 36) + ", 12)");
    EXPECT_EQ(calls[3], "DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, " + tracetest::DataTag(near, 36) + ", 12)");
    EXPECT_EQ(device->GetTransparentCount(), 0);
}

TEST_F(Device3DTest, EmptyFlushIssuesNoCall) {
    auto device = MakeDevice();
    device->FlushTransparent();
    EXPECT_TRUE(D3D8Trace_Lines().empty());
}

TEST_F(Device3DTest, MaterialAndFormatChangeOnlyBetweenDifferentTriangles) {
    auto device = MakeDevice();
    Material glass(device.get());
    glass.opacity = 0.5f;
    Material smoke(device.get());
    smoke.textureFactor = 0x12345678;
    const float v[27] = {};
    // Farthest first: 9, 8, 7 use glass and XYZ, 6 glass with a diffuse
    // colour, 5 smoke, 4 no material, 3 glass again.
    device->AddTransparentTriangle(Key(9.0f), v, v, v, D3DFVF_XYZ, 12, &glass);
    device->AddTransparentTriangle(Key(8.0f), v, v, v, D3DFVF_XYZ, 12, &glass);
    device->AddTransparentTriangle(Key(7.0f), v, v, v, D3DFVF_XYZ, 12, &glass);
    device->AddTransparentTriangle(Key(6.0f), v, v, v, D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, &glass);
    device->AddTransparentTriangle(Key(5.0f), v, v, v, D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, &smoke);
    device->AddTransparentTriangle(Key(4.0f), v, v, v, D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, nullptr);
    device->AddTransparentTriangle(Key(3.0f), v, v, v, D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, &glass);
    device->FlushTransparent();
    const auto materials = LinesWith("SetMaterial(");
    EXPECT_EQ(materials.size(), 3u);  // glass, smoke, glass
    const auto factors = LinesWith("SetRenderState(D3DRS_TEXTUREFACTOR");
    ASSERT_EQ(factors.size(), 3u);
    EXPECT_NE(factors[1].find("0x12345678"), std::string::npos) << factors[1];
    const auto shaders = LinesWith("SetVertexShader(");
    ASSERT_EQ(shaders.size(), 2u);
    EXPECT_NE(shaders[0].find("(0x2)"), std::string::npos);
    EXPECT_NE(shaders[1].find("(0x42)"), std::string::npos);
    EXPECT_EQ(LinesWith("DrawPrimitiveUP(").size(), 7u);
}

TEST_F(Device3DTest, QueueCopiesVerticesAndGrowsByDoublingPlusOne) {
    auto device = MakeDevice();
    EXPECT_EQ(device->GetTransparentCapacity(), 0);
    float a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, c[3] = {7, 8, 9};
    device->AddTransparentTriangle(1, a, b, c, D3DFVF_XYZ, 12, nullptr);
    a[0] = 100.0f;  // the queue holds its own copy
    const TransparentTriangle& t = device->GetTransparent(0);
    float copy[9];
    std::memcpy(copy, t.vertices, sizeof copy);
    EXPECT_EQ(copy[0], 1.0f);
    EXPECT_EQ(copy[4], 5.0f);
    EXPECT_EQ(copy[8], 9.0f);
    EXPECT_EQ(device->GetTransparentCapacity(), 4);
    for (int i = 0; i < 4; ++i) device->AddTransparentTriangle(1, a, b, c, D3DFVF_XYZ, 12, nullptr);
    EXPECT_EQ(device->GetTransparentCapacity(), 9);
    for (int i = 0; i < 5; ++i) device->AddTransparentTriangle(1, a, b, c, D3DFVF_XYZ, 12, nullptr);
    EXPECT_EQ(device->GetTransparentCapacity(), 19);
    device->ClearTransparent();
    EXPECT_EQ(device->GetTransparentCount(), 0);
    EXPECT_EQ(device->GetTransparentCapacity(), 19);
    // A vertex wider than a record's slot is not queued.
    std::vector<uint8_t> wide(3 * 116);
    device->AddTransparentTriangle(1, wide.data(), wide.data(), wide.data(), 0, 116, nullptr);
    EXPECT_EQ(device->GetTransparentCount(), 0);
}

TEST_F(Device3DTest, RadixSortIsStableAndOrdersKeys) {
    auto device = MakeDevice();
    const uint8_t v[12] = {};
    const uint32_t keys[] = {0x80000000u, 5, 0x01000000u, 5, 0xFFFFFFFFu, 0, 0x00010000u, 0x00000100u};
    for (uint32_t key : keys) device->AddTransparentTriangle(key, v, v, v, D3DFVF_XYZ, 12, nullptr);
    const TransparentTriangle* const* sorted = device->SortTransparent();
    const uint32_t expected[] = {0, 5, 5, 0x100, 0x10000, 0x01000000u, 0x80000000u, 0xFFFFFFFFu};
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(sorted[i]->key, expected[i]) << i;
    // Equal keys keep their queue order.
    EXPECT_EQ(sorted[1], &device->GetTransparent(1));
    EXPECT_EQ(sorted[2], &device->GetTransparent(3));
}

}  // namespace
