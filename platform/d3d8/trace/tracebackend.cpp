// The trace back end: a null renderer. Every call is accepted (and recorded
// by the front end's call log); nothing is drawn. Adapters, formats and
// failures come from the session's configuration so tests can reach paths
// real hardware would take.
#include <algorithm>
#include <cstring>

#include "d3d8/backend.h"
#include "d3d8/formatinfo.h"
#include "d3d8/presentparams.h"

namespace d3d8 {
namespace {

class TraceResource final : public BackendResource {};

// A texture knows its format, so uploads count the bytes GL would be sent.
class TraceTexture final : public BackendResource {
public:
    explicit TraceTexture(const TextureDesc& desc) : info(FindFormat(desc.format)) {}
    const FormatInfo* info;
};

class TraceDevice final : public DeviceBackend {
public:
    TraceDevice(UINT width, UINT height) : width_(width), height_(height) {}

    std::unique_ptr<BackendResource> CreateTexture(const TextureDesc& desc) override {
        return std::make_unique<TraceTexture>(desc);
    }
    void UploadTexture(BackendResource& texture, UINT, const TextureLevelView& data, const RECT& dirty) override {
        if (const FormatInfo* info = static_cast<TraceTexture&>(texture).info)
            stats_.bytesUploaded +=
                FormatUploadSize(*info, data.width, data.height, dirty.left, dirty.top, dirty.right, dirty.bottom);
        ++stats_.textureUploads;
    }
    std::unique_ptr<BackendResource> CreateBuffer(UINT, bool) override { return std::make_unique<TraceResource>(); }
    void UploadBuffer(BackendResource&, const uint8_t*, UINT, UINT size, bool) override {
        stats_.bytesUploaded += size;
        ++stats_.bufferUploads;
    }
    void Flush() override {}
    // A recognisable pattern that is no sensible vertex, index or colour:
    // code that reads what it did not write after a discard shows up.
    void Discarded(uint8_t* bytes, size_t size) override {
        static const uint8_t kPoison[4] = {0xDE, 0xAD, 0xBE, 0xEF};
        for (size_t i = 0; i < size; ++i) bytes[i] = kPoison[i & 3];
    }
    // What a renderer would have to send and bind for the draw.
    void Draw(const DeviceState&, const DrawCall& call) override {
        for (int i = 0; i < STAGES; ++i)
            if (call.textures[i] != bound_[i]) {
                bound_[i] = call.textures[i];
                if (bound_[i]) ++stats_.textureBinds;
            }
        if (!call.userVertices) return;
        const UINT vertices = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
        stats_.bytesUploaded += uint64_t(vertices) * call.userStride;
        if (call.indexed) stats_.bytesUploaded += uint64_t(call.vertexCount) * (call.userIndices32 ? 4 : 2);
    }
    // Nothing is drawn: frames are black but for the pixels a program wrote
    // into a lockable back buffer itself, which a Clear of the target wipes.
    void Clear(const DeviceState&, DWORD, const D3DRECT*, DWORD flags, D3DCOLOR, float, DWORD) override {
        if (flags & D3DCLEAR_TARGET) image_.clear();
    }
    void Present() override { front_ = image_; }
    HRESULT ReadBackBuffer(void* pixels, UINT pitch) override {
        Copy(image_, pixels, pitch);
        return D3D_OK;
    }
    HRESULT WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) override {
        if (image_.empty()) image_.assign(size_t(width_) * height_, 0xFF000000u);
        const size_t w = size_t(rect.right - rect.left);
        for (LONG y = rect.top; y < rect.bottom; ++y)
            std::memcpy(&image_[size_t(y) * width_ + size_t(rect.left)],
                        static_cast<const uint8_t*>(pixels) + size_t(y - rect.top) * pitch, w * 4);
        return D3D_OK;
    }
    HRESULT ReadFrontBuffer(void* pixels, UINT pitch) override {
        Copy(front_, pixels, pitch);
        return D3D_OK;
    }
    HRESULT Reset(D3DPRESENT_PARAMETERS& params) override {
        CompletePresentParams(params, UNMEASURED_WINDOW_WIDTH, UNMEASURED_WINDOW_HEIGHT, D3DFMT_UNKNOWN);
        width_ = params.BackBufferWidth;
        height_ = params.BackBufferHeight;
        image_.clear();
        front_.clear();
        return D3D_OK;
    }
    D3D8Stats Stats() const override { return stats_; }
    void CountIgnoredState() override { ++stats_.ignoredStates; }

private:
    void Copy(const std::vector<uint32_t>& from, void* pixels, UINT pitch) const {
        for (UINT y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * pitch);
            if (from.empty())
                std::fill(row, row + width_, 0xFF000000u);
            else
                std::memcpy(row, &from[size_t(y) * width_], size_t(width_) * 4);
        }
    }

    UINT width_;
    UINT height_;
    std::vector<uint32_t> image_, front_;  // empty: black
    D3D8Stats stats_ = {};
    // Only compared, never followed: a texture released since may share
    // the address of a new one, which then counts no bind (as GL's names
    // would be reused too).
    const BackendResource* bound_[STAGES] = {};
};

class TraceBackend final : public Backend {
public:
    explicit TraceBackend(const D3D8TraceConfig& config) : config_(config) {
        for (const D3D8TraceAdapter& a : config_.adapters) {
            AdapterInfo info;
            std::strncpy(info.identifier.Driver, a.driver.c_str(), MAX_DEVICE_IDENTIFIER_STRING - 1);
            std::strncpy(info.identifier.Description, a.description.c_str(), MAX_DEVICE_IDENTIFIER_STRING - 1);
            info.modes = a.modes;
            if (info.modes.empty()) info.modes = ModesFromEnvironment();
            if (info.modes.empty()) info.modes = StandardModes();
            info.desktop = a.desktop;
            info.desktopModeFails = a.desktopModeFails;
            info.caps = a.caps;
            info.capsFail = a.capsFail;
            adapters_.push_back(info);
        }
    }

    const std::vector<AdapterInfo>& Adapters() const override { return adapters_; }

    bool SupportsFormat(UINT, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const override {
        const std::vector<D3DFORMAT>& list =
            (usage & D3DUSAGE_DEPTHSTENCIL) ? config_.depthFormats : config_.textureFormats;
        if ((usage & D3DUSAGE_DEPTHSTENCIL) && type != D3DRTYPE_SURFACE) return false;
        return std::find(list.begin(), list.end(), format) != list.end();
    }

    HRESULT CreateDevice(UINT adapter, HWND, DWORD behaviour, D3DPRESENT_PARAMETERS& params,
                         std::shared_ptr<DeviceBackend>& device) override {
        if (calls_++ < config_.failCreateDeviceCount || (behaviour & config_.failCreateDeviceBehaviors))
            return D3DERR_NOTAVAILABLE;
        CompletePresentParams(params, UNMEASURED_WINDOW_WIDTH, UNMEASURED_WINDOW_HEIGHT,
                              adapters_[adapter].desktop.Format);
        device = std::make_shared<TraceDevice>(params.BackBufferWidth, params.BackBufferHeight);
        return D3D_OK;
    }

    std::vector<unsigned> LosePresents() const override { return config_.losePresents; }
    int LostChecks() const override { return config_.lostChecks; }

    bool FailCreate(D3DRESOURCETYPE type) const override {
        switch (type) {
        case D3DRTYPE_TEXTURE: return config_.failCreateTexture;
        case D3DRTYPE_VERTEXBUFFER: return config_.failCreateVertexBuffer;
        case D3DRTYPE_INDEXBUFFER: return config_.failCreateIndexBuffer;
        default: return false;
        }
    }

private:
    D3D8TraceConfig config_;
    std::vector<AdapterInfo> adapters_;
    int calls_ = 0;
};

}  // namespace

std::unique_ptr<Backend> CreateTraceBackend(const D3D8TraceConfig& config) {
    return std::make_unique<TraceBackend>(config);
}

}  // namespace d3d8
