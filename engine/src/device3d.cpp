#include "engine/device3d.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>
#include "cvcore/exception.h"
#include "devicestatesnapshot.h"
#include "engine/material.h"

namespace {

constexpr UINT kSdkVersion = 120;
constexpr uint32_t kRateDefault = 0;
constexpr uint32_t kRateUnlimited = 0x7FFFFFFF;

const char* const kModule = "device3d";

bool SameShape(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Format == b.Format;
}

}  // namespace

Device3D::Device3D() : Device3D(Direct3DCreate8) {}

Device3D::Device3D(Direct3DCreator create) {
    direct3d_ = create != nullptr ? create(kSdkVersion) : nullptr;
    if (direct3d_ == nullptr) {
        throw cvcore::Exception("Direct3DCreate8()", "Failed!", kModule);
    }
    EnumerateAdapters();
}

Device3D::~Device3D() {
    // Textures go first: they belong to the device about to be released.
    textureFactory.ReleaseAll();
    textureFactory.Unbind();
    if (device_ != nullptr) {
        device_->Release();
    }
    direct3d_->Release();
}

void Device3D::EnumerateAdapters() {
    const UINT count = direct3d_->GetAdapterCount();
    adapters_.clear();
    adapters_.resize(count);
    for (UINT i = 0; i < count; ++i) {
        AdapterInfo& info = adapters_[i];
        direct3d_->GetDeviceCaps(i, D3DDEVTYPE_HAL, &info.caps);
        direct3d_->GetAdapterIdentifier(i, D3DENUM_NO_WHQL_LEVEL, &info.identifier);
        const UINT modes = direct3d_->GetAdapterModeCount(i);
        info.modes.reserve(modes);
        for (UINT j = 0; j < modes; ++j) {
            D3DDISPLAYMODE mode{};
            direct3d_->EnumAdapterModes(i, j, &mode);
            info.modes.push_back(mode);
        }
    }
}

int Device3D::GetAdapterCount() const { return static_cast<int>(adapters_.size()); }

const char* Device3D::GetAdapterDescription(int adapter) const {
    if (adapter < 0 || adapter >= GetAdapterCount()) {
        return "";
    }
    return adapters_[static_cast<size_t>(adapter)].identifier.Description;
}

bool Device3D::SupportsHardwareTnL(int adapter) const {
    if (adapter < 0 || adapter >= GetAdapterCount()) {
        return false;
    }
    return (adapters_[static_cast<size_t>(adapter)].caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
}

int Device3D::GetModeCount(int adapter) const {
    if (adapter < 0 || adapter >= GetAdapterCount()) {
        return 0;
    }
    return static_cast<int>(adapters_[static_cast<size_t>(adapter)].modes.size());
}

const D3DDISPLAYMODE& Device3D::GetMode(int adapter, int n) const {
    // Callers stay below GetModeCount; anything else reads as an empty mode
    // rather than outside the list.
    static const D3DDISPLAYMODE none{};
    if (n < 0 || n >= GetModeCount(adapter)) {
        return none;
    }
    return adapters_[static_cast<size_t>(adapter)].modes[static_cast<size_t>(n)];
}

void Device3D::FilterModes(int adapter, uint32_t rate) {
    if (adapter < 0 || adapter >= GetAdapterCount()) {
        return;
    }
    std::vector<D3DDISPLAYMODE>& modes = adapters_[static_cast<size_t>(adapter)].modes;
    std::vector<D3DDISPLAYMODE> kept;
    kept.reserve(modes.size());
    if (rate != kRateDefault && rate != kRateUnlimited) {
        for (const D3DDISPLAYMODE& mode : modes) {
            if (mode.RefreshRate == rate) {
                kept.push_back(mode);
            }
        }
    } else {
        for (const D3DDISPLAYMODE& mode : modes) {
            bool seen = false;
            for (const D3DDISPLAYMODE& k : kept) {
                if (SameShape(k, mode)) {
                    seen = true;
                    break;
                }
            }
            if (!seen) {
                kept.push_back(mode);
                kept.back().RefreshRate = rate;
            }
        }
    }
    modes.swap(kept);
}

cvcore::String Device3D::ModeString(const D3DDISPLAYMODE& mode, bool withSize, bool withBits, bool withRate) {
    cvcore::String text;
    char number[16];
    if (withSize) {
        std::snprintf(number, sizeof number, "%u", mode.Width);
        text.Append(number).Append(" x ");
        std::snprintf(number, sizeof number, "%u", mode.Height);
        text.Append(number);
    }
    if (withBits) {
        if (withSize) {
            text.Append(" x ");
        }
        std::snprintf(number, sizeof number, "%d", FormatBits(mode.Format));
        text.Append(number).Append("bits");
    }
    if (withRate) {
        if (withSize || withBits) {
            text.Append(" @ ");
        }
        std::snprintf(number, sizeof number, "%u", mode.RefreshRate);
        text.Append(number).Append("hz");
    }
    return text;
}

int Device3D::FormatBits(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4: return 16;
    case D3DFMT_R3G3B2: return 8;
    default: return 0;
    }
}

D3DPRESENT_PARAMETERS Device3D::PresentParameters(const DeviceSettings& settings) {
    D3DPRESENT_PARAMETERS parameters;
    std::memset(&parameters, 0, sizeof parameters);
    if ((settings.flags & DeviceSettings::FULLSCREEN) != 0) {
        parameters.BackBufferWidth = settings.width;
        parameters.BackBufferHeight = settings.height;
        parameters.BackBufferFormat = settings.format;
        parameters.Windowed = FALSE;
        parameters.FullScreen_RefreshRateInHz = settings.refreshRate;
    } else {
        D3DDISPLAYMODE desktop{};
        if (FAILED(direct3d_->GetAdapterDisplayMode(settings.adapter, &desktop))) {
            throw cvcore::Exception("GetAdapterDisplayMode", "Failed!", kModule);
        }
        parameters.BackBufferFormat = desktop.Format;
        parameters.Windowed = TRUE;
    }
    parameters.BackBufferCount = 2;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = nullptr;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = FindDepthStencilFormat(settings);
    parameters.Flags =
        (settings.flags & DeviceSettings::LOCKABLE_BACKBUFFER) != 0 ? D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;
    parameters.FullScreen_PresentationInterval = 0;
    return parameters;
}

void Device3D::CreateDevice(const DeviceSettings& settings) {
    if (device_ != nullptr) {
        textureFactory.ReleaseAll();
        textureFactory.Unbind();
        device_->Release();
        device_ = nullptr;
    }

    const D3DPRESENT_PARAMETERS parameters = PresentParameters(settings);

    // Each behaviour is tried twice: a first attempt can fail while the
    // display is still settling after a mode switch.
    static const DWORD hardware[] = {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     D3DCREATE_MIXED_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING};
    static const DWORD software[] = {D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING};
    const bool tnl = (settings.flags & DeviceSettings::HARDWARE_TNL) != 0;
    const DWORD* behaviours = tnl ? hardware : software;
    const size_t tries = tnl ? std::size(hardware) : std::size(software);
    for (size_t i = 0; i < tries && device_ == nullptr; ++i) {
        D3DPRESENT_PARAMETERS attempt = parameters;
        IDirect3DDevice8* created = nullptr;
        if (SUCCEEDED(direct3d_->CreateDevice(settings.adapter, D3DDEVTYPE_HAL, settings.window, behaviours[i],
                                              &attempt, &created))) {
            device_ = created;
        }
    }
    if (device_ == nullptr) {
        throw cvcore::Exception("CreateDevice()", "Failed!", kModule);
    }
    parameters_ = parameters;
    lost_ = released_ = false;
    textureFactory.Bind(*this);
}

bool Device3D::Present() {
    if (device_ == nullptr) return false;
    if (!lost_) {
        if (device_->Present(nullptr, nullptr, nullptr, nullptr) != D3DERR_DEVICELOST) return true;
        lost_ = true;
    }
    // Whatever was drawn while the device was lost never reached it: the
    // first frame after a reset is the next one drawn.
    Restore();
    return false;
}

bool Device3D::Restore() {
    // Long enough to leave the core to others, short enough that the show
    // comes back within a frame or two of the focus.
    constexpr DWORD kLostWaitMs = 20;
    const HRESULT state = device_->TestCooperativeLevel();
    if (state == D3DERR_DEVICELOST) {
        Sleep(kLostWaitMs);
        return false;
    }
    if (state == D3DERR_DEVICENOTRESET) {
        if (!released_) {
            if (!snapshot_) snapshot_ = std::make_unique<DeviceStateSnapshot>();
            snapshot_->Capture(device_);
            for (DeviceLostHandler* handler : lostHandlers_) handler->OnDeviceLost();
            released_ = true;
        }
        D3DPRESENT_PARAMETERS parameters = parameters_;
        if (FAILED(device_->Reset(&parameters))) {
            Sleep(kLostWaitMs);
            return false;
        }
        snapshot_->Restore(device_);
    }
    if (released_) {
        released_ = false;
        for (DeviceLostHandler* handler : lostHandlers_) handler->OnDeviceReset();
    }
    lost_ = false;
    return true;
}

void Device3D::AddLostHandler(DeviceLostHandler* handler) { lostHandlers_.push_back(handler); }

void Device3D::RemoveLostHandler(DeviceLostHandler* handler) {
    lostHandlers_.erase(std::remove(lostHandlers_.begin(), lostHandlers_.end(), handler), lostHandlers_.end());
}

D3DFORMAT Device3D::FindDepthStencilFormat(const DeviceSettings& settings) {
    static const D3DFORMAT withStencil[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1};
    static const D3DFORMAT plain[] = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
    auto accepts = [&](D3DFORMAT candidate) {
        return SUCCEEDED(direct3d_->CheckDeviceFormat(settings.adapter, D3DDEVTYPE_HAL, settings.format,
                                                      D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, candidate));
    };
    if ((settings.flags & DeviceSettings::STENCIL) != 0) {
        for (D3DFORMAT candidate : withStencil) {
            if (accepts(candidate)) {
                return candidate;
            }
        }
    }
    for (D3DFORMAT candidate : plain) {
        if (accepts(candidate)) {
            return candidate;
        }
    }
    throw cvcore::Exception("No DepthStencil Format Found!", "Error!", kModule);
}

void Device3D::AddTransparentTriangle(uint32_t key, const void* vertexA, const void* vertexB, const void* vertexC,
                                      uint32_t fvf, uint32_t stride, Material* material) {
    // A record holds three vertices of at most MAX_STRIDE bytes; a wider
    // vertex would not fit, so it is not queued at all.
    if (stride > TransparentTriangle::MAX_STRIDE || vertexA == nullptr || vertexB == nullptr || vertexC == nullptr) {
        return;
    }
    if (transparent_.size() == transparent_.capacity()) {
        const size_t capacity = transparent_.capacity();
        transparent_.reserve(capacity == 0 ? 4 : 2 * capacity + 1);
        keys_.reserve(transparent_.capacity());
    }
    keys_.push_back(key);
    TransparentTriangle& t = transparent_.emplace_back();
    t.key = key;
    t.fvf = fvf;
    t.stride = stride;
    t.material = material;
    t.vertices = StoreVertices(vertexA, vertexB, vertexC, stride);
}

const uint8_t* Device3D::StoreVertices(const void* a, const void* b, const void* c, uint32_t stride) {
    constexpr size_t kBlock = 256 * 1024;  // many triangles: 3 x MAX_STRIDE is 300 bytes
    const size_t bytes = 3 * static_cast<size_t>(stride);
    if (vertexBlock_ >= vertexBlocks_.size() || vertexBlockUsed_ + bytes > kBlock) {
        if (vertexBlock_ < vertexBlocks_.size()) {
            ++vertexBlock_;
        }
        if (vertexBlock_ == vertexBlocks_.size()) {
            vertexBlocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kBlock));
        }
        vertexBlockUsed_ = 0;
    }
    uint8_t* out = vertexBlocks_[vertexBlock_].get() + vertexBlockUsed_;
    vertexBlockUsed_ += bytes;
    std::memcpy(out, a, stride);
    std::memcpy(out + stride, b, stride);
    std::memcpy(out + 2 * stride, c, stride);
    return out;
}

const TransparentTriangle* const* Device3D::SortTransparent() {
    const size_t count = transparent_.size();
    if (sortScratch_.size() < 2 * count) {
        sortScratch_.resize(2 * count);
        sorted_.resize(count);
    }
    uint32_t* from = sortScratch_.data();
    uint32_t* to = from + count;

    // One pass over the keys fills all four byte histograms.
    uint32_t histogram[4][256] = {};
    const uint32_t* keys = keys_.data();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t key = keys[i];
        ++histogram[0][key & 0xFF];
        ++histogram[1][(key >> 8) & 0xFF];
        ++histogram[2][(key >> 16) & 0xFF];
        ++histogram[3][key >> 24];
        from[i] = static_cast<uint32_t>(i);
    }
    // Least significant byte first; each pass is a stable counting sort. A
    // byte that is the same in every key would leave the order as it is, so
    // its pass is skipped.
    for (int pass = 0; pass < 4; ++pass) {
        const uint32_t* counts = histogram[pass];
        const int shift = pass * 8;
        if (counts[(keys[0] >> shift) & 0xFF] == count) {
            continue;
        }
        uint32_t offset[256];
        uint32_t sum = 0;
        for (int b = 0; b < 256; ++b) {
            offset[b] = sum;
            sum += counts[b];
        }
        for (size_t i = 0; i < count; ++i) {
            const uint32_t index = from[i];
            to[offset[(keys[index] >> shift) & 0xFF]++] = index;
        }
        std::swap(from, to);
    }
    for (size_t i = 0; i < count; ++i) {
        sorted_[i] = &transparent_[from[i]];
    }
    return sorted_.data();
}

void Device3D::FlushTransparent() {
    if (transparent_.empty()) {
        return;
    }
    IDirect3DDevice8* device = device_;
    if (device == nullptr) {
        ClearTransparent();
        return;
    }
    const size_t count = transparent_.size();
    const TransparentTriangle* const* sorted = SortTransparent();

    const TransparentTriangle* farthest = sorted[count - 1];
    Material* applied = farthest->material;
    if (applied != nullptr) {
        applied->Apply();
    }
    uint32_t fvf = farthest->fvf;
    device->SetVertexShader(fvf);
    for (size_t i = count; i-- > 0;) {
        const TransparentTriangle* t = sorted[i];
        if (t->material != nullptr && t->material != applied) {
            t->material->Apply();
            applied = t->material;
        }
        if (t->fvf != fvf) {
            device->SetVertexShader(t->fvf);
            fvf = t->fvf;
        }
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t->vertices, t->stride);
    }
    ClearTransparent();
}

void Device3D::ClearTransparent() {
    transparent_.clear();
    keys_.clear();
    vertexBlock_ = 0;
    vertexBlockUsed_ = 0;
}
