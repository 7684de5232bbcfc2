#pragma once
// What the front end needs from a back end. The front end validates every
// call and keeps all state; a back end only translates: it owns its
// resources' native objects, draws with the state the front end hands it,
// and describes the adapters it can drive.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devicestate.h"

namespace d3d8 {

struct AdapterInfo {
    D3DADAPTER_IDENTIFIER8 identifier = {};
    std::vector<D3DDISPLAYMODE> modes;
    D3DDISPLAYMODE desktop = {};
    bool desktopModeFails = false;
    D3DCAPS8 caps = {};
    bool capsFail = false;
};

// A back end's own object behind a texture or buffer.
class BackendResource {
public:
    virtual ~BackendResource() = default;
};

struct TextureDesc {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0;
    UINT height = 0;
    UINT levels = 0;
};

// One level of a texture in Direct3D's memory layout.
struct TextureLevelView {
    UINT width = 0;
    UINT height = 0;
    UINT pitch = 0;  // bytes per row (of 4x4 blocks for DXTn)
    const uint8_t* bits = nullptr;
};

// One draw, with its source already validated against the buffers.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    UINT vertexCount = 0;  // vertices (non-indexed) or indices (indexed)
    bool indexed = false;
    // Buffer draws: the stream-0 vertex buffer and its stride; for indexed
    // draws the index buffer, the base vertex index and first index.
    UINT startVertex = 0;  // non-indexed buffer draws
    UINT startIndex = 0;
    UINT minIndex = 0;
    UINT numVertices = 0;  // vertex range the indices reach (relative to minIndex)
    // User-pointer draws: vertices (and indices) in memory; null otherwise.
    const uint8_t* userVertices = nullptr;
    UINT userStride = 0;
    const void* userIndices = nullptr;
    bool userIndices32 = false;
    // What the draw reads, resolved by the front end: the native objects of
    // the bound textures and buffers, and the stream-0 vertex buffer's bytes
    // (buffer draws only).
    BackendResource* textures[STAGES] = {};
    BackendResource* vertexBuffer = nullptr;
    const uint8_t* vertexBytes = nullptr;
    UINT vertexStride = 0;
    BackendResource* indexBuffer = nullptr;
    UINT indexSize = 2;
    UINT baseVertexIndex = 0;
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;

    virtual std::unique_ptr<BackendResource> CreateTexture(const TextureDesc& desc) = 0;
    virtual void UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data,
                               const RECT& dirty) = 0;
    virtual std::unique_ptr<BackendResource> CreateBuffer(UINT size, bool index) = 0;
    virtual void UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size, bool discard) = 0;

    // Called before the front end changes any state or resource contents a
    // recorded draw may still depend on, so batched work is issued first.
    virtual void Flush() = 0;
    // state.dirty says what changed since the last draw; the front end
    // clears it afterwards, so a back end that defers work keeps its own
    // record of what it has not yet applied.
    virtual void Draw(const DeviceState& state, const DrawCall& call) = 0;
    virtual void Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                       float z, DWORD stencil) = 0;
    virtual void Present() = 0;
    // The back buffer as top-down rows of A8R8G8B8, and a rectangle of it
    // written from such rows (pixels holds the rectangle only).
    virtual HRESULT ReadBackBuffer(void* pixels, UINT pitch) = 0;
    virtual HRESULT WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) = 0;
    // The last presented frame in the same form; black before the first.
    virtual HRESULT ReadFrontBuffer(void* pixels, UINT pitch) = 0;
    // A new back buffer: another size, format, windowed or full screen.
    // params is completed as at creation (a windowed size of 0 takes the
    // window's); the front end has released every binding first.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS& params) = 0;
    // The contents a D3DLOCK_DISCARD lock hands out are undefined: a back
    // end may make them anything, so that code reading them shows up.
    virtual void Discarded(uint8_t* bytes, size_t size) {
        (void)bytes;
        (void)size;
    }
    virtual D3D8Stats Stats() const = 0;
    // Counting the fragments of each frame (D3D8_SetProfiling).
    virtual void SetProfiling(bool enable) { (void)enable; }
    virtual void CountIgnoredState() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;

    virtual const std::vector<AdapterInfo>& Adapters() const = 0;
    // Whether a resource of this kind may have this format on the adapter.
    virtual bool SupportsFormat(UINT adapter, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const = 0;
    // Creates the device's back end; params is completed (back-buffer size
    // and format) on success.
    virtual HRESULT CreateDevice(UINT adapter, HWND window, DWORD behaviour, D3DPRESENT_PARAMETERS& params,
                                 std::shared_ptr<DeviceBackend>& device) = 0;
    // Extra failures the trace configuration asks for.
    virtual bool FailCreate(D3DRESOURCETYPE) const { return false; }
    // When devices lose themselves (see D3D8TraceConfig).
    virtual std::vector<unsigned> LosePresents() const { return {}; }
    virtual int LostChecks() const { return 2; }
};

// The back ends (null when unusable here).
std::unique_ptr<Backend> CreateGLBackend();
std::unique_ptr<Backend> CreateTraceBackend(const D3D8TraceConfig& config);

// The standard list of modes for displays that report none of their own.
std::vector<D3DDISPLAYMODE> StandardModes();
// The mode list HALCYON2_DISPLAY_MODES forces on every adapter (empty: none).
std::vector<D3DDISPLAYMODE> ModesFromEnvironment();
// The Present calls HALCYON2_D3D8_LOSE_AT loses devices at (empty: none).
std::vector<unsigned> LosePresentsFromEnvironment();
// Installs the hook of D3D8_SetDefaultPresentHook on a new device.
void ApplyDefaultPresentHook(IDirect3DDevice8* device);

}  // namespace d3d8
