#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include <d3d8.h>
#include "cvcore/object.h"
#include "cvcore/string.h"
#include "engine/devicelosthandler.h"
#include "engine/devicesettings.h"
#include "engine/texturefactory.h"

class Material;
class DeviceStateSnapshot;

// One display adapter as Direct3D reported it.
struct AdapterInfo {
    D3DADAPTER_IDENTIFIER8 identifier{};  // Description names the adapter
    D3DCAPS8 caps{};                      // of the HAL device
    std::vector<D3DDISPLAYMODE> modes;    // reporting order until FilterModes
};

// One deferred translucent triangle: its three vertices are copied into
// the queue's own storage so the mesh that queued them can unlock its
// buffers at once.
struct TransparentTriangle {
    static constexpr uint32_t MAX_STRIDE = 100;

    uint32_t key;  // bit pattern of a float view-space depth
    uint32_t fvf;
    uint32_t stride;
    Material* material;       // not owned, may be null
    const uint8_t* vertices;  // 3 x stride bytes, owned by the queue
};

// Wraps Direct3D 8 for the whole program: adapters and modes for the setup
// dialog, the rendering device, the texture factory and the queue of
// translucent triangles drawn back to front once per frame. It adds no state
// caching: drawing code calls the raw device from GetDevice.
class Device3D : public cvcore::Object {
public:
    // Direct3DCreate8(120), then EnumerateAdapters. Throws cvcore::Exception
    // when no Direct3D object can be made.
    Device3D();
    // The same with another source of the Direct3D object (tests stand in
    // a machine without Direct3D this way).
    using Direct3DCreator = IDirect3D8* (*)(UINT sdkVersion);
    explicit Device3D(Direct3DCreator create);
    ~Device3D() override;
    Device3D(const Device3D&) = delete;
    Device3D& operator=(const Device3D&) = delete;

    void EnumerateAdapters();
    int GetAdapterCount() const;
    // Empty text for an adapter outside the list.
    const char* GetAdapterDescription(int adapter) const;
    bool SupportsHardwareTnL(int adapter) const;
    int GetModeCount(int adapter) const;
    // n should be below GetModeCount(adapter); other values give a zero mode.
    const D3DDISPLAYMODE& GetMode(int adapter, int n) const;
    // rate 0 or 0x7FFFFFFF collapses refresh rates (each size and format once,
    // at that rate); any other rate keeps only the modes at that rate.
    void FilterModes(int adapter, uint32_t rate);

    // "640 x 480 x 16bits @ 60hz" and its shorter forms.
    static cvcore::String ModeString(const D3DDISPLAYMODE& mode, bool withSize, bool withBits, bool withRate);
    // Bits per pixel of a display format; 0 for formats outside the table.
    static int FormatBits(D3DFORMAT format);

    // Releases any earlier device, creates the new one (throws on failure)
    // and binds the texture factory to it.
    void CreateDevice(const DeviceSettings& settings);
    D3DFORMAT FindDepthStencilFormat(const DeviceSettings& settings);

    // Presents the frame. A lost device (a full-screen program that lost
    // the focus) is reset with the same parameters as soon as it can be:
    // until then each call waits a little instead of presenting, so the
    // program's loop keeps pumping messages and reading its clocks without
    // spinning a core. The default-pool resources of every handler are
    // released before the reset and made again after it, and the device
    // state is set back as it was. Returns whether the frame was shown.
    bool Present();
    bool IsLost() const { return lost_; }
    void AddLostHandler(DeviceLostHandler* handler);
    void RemoveLostHandler(DeviceLostHandler* handler);

    // The device without an added reference; null before CreateDevice.
    IDirect3DDevice8* GetDevice() const { return device_; }
    IDirect3D8* GetDirect3D() const { return direct3d_; }

    // Appends one triangle, copying stride bytes from each vertex in order.
    // A stride above TransparentTriangle::MAX_STRIDE queues nothing.
    void AddTransparentTriangle(uint32_t key, const void* vertexA, const void* vertexB, const void* vertexC,
                                uint32_t fvf, uint32_t stride, Material* material);
    // Draws the queued triangles farthest first (largest key first) and
    // empties the queue. An empty queue issues no call.
    void FlushTransparent();
    int GetTransparentCount() const { return static_cast<int>(transparent_.size()); }
    int GetTransparentCapacity() const { return static_cast<int>(transparent_.capacity()); }
    const TransparentTriangle& GetTransparent(int index) const { return transparent_[static_cast<size_t>(index)]; }
    // The queued records in ascending key order (equal keys in queue order),
    // valid until the queue changes. FlushTransparent draws them backwards.
    const TransparentTriangle* const* SortTransparent();
    // Empties the queue without drawing, keeping its storage.
    void ClearTransparent();

private:
    // Full screen at the settings' size and format, or windowed in the
    // desktop's format; with an automatic depth buffer.
    D3DPRESENT_PARAMETERS PresentParameters(const DeviceSettings& settings);

    // Tries to reset a lost device; waits a little while it cannot be yet.
    bool Restore();

    IDirect3D8* direct3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    D3DPRESENT_PARAMETERS parameters_{};  // as the device was created with
    bool lost_ = false;
    bool released_ = false;  // the handlers have released their resources
    std::vector<DeviceLostHandler*> lostHandlers_;
    std::unique_ptr<DeviceStateSnapshot> snapshot_;
    std::vector<AdapterInfo> adapters_;
    // Vertex storage of the queue: fixed blocks that never move, so the
    // records' vertex pointers stay valid while the queue grows. Kept, like
    // the records, from frame to frame.
    const uint8_t* StoreVertices(const void* a, const void* b, const void* c, uint32_t stride);
    std::vector<std::unique_ptr<uint8_t[]>> vertexBlocks_;
    size_t vertexBlock_ = 0;
    size_t vertexBlockUsed_ = 0;

    std::vector<TransparentTriangle> transparent_;
    // The keys again, packed, so the sort never walks the records; the two
    // index arrays of the radix passes and the sorted pointers. All reused
    // from frame to frame.
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> sortScratch_;
    std::vector<const TransparentTriangle*> sorted_;

public:
    TextureFactory textureFactory;
};
