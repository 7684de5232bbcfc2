#pragma once
// IDirect3DTexture8 and IDirect3DSurface8: pixels kept in Direct3D's memory
// layout in system memory, handed to the back end level by level when a
// lock ends.
#include <d3d8.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "backend.h"
#include "formatinfo.h"
#include "refcounted.h"

namespace d3d8 {

class Device8;
class Texture8;

// A surface: one level of a texture (sharing the texture's reference count),
// the device's back buffer or depth buffer (sharing the device's), or a
// stand-alone image surface in system memory.
class Surface8 final : public RefCounted<IDirect3DSurface8> {
public:
    enum class Kind { TextureLevel, BackBuffer, DepthBuffer, Image };

    Surface8(Device8* device, Kind kind, IUnknown* container, const D3DSURFACE_DESC& desc, Texture8* texture,
             UINT level);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;

    std::vector<uint8_t>& ImageBits() { return bits_; }
    void SetTrace(TraceLog* trace, std::string name);
    Kind GetKind() const { return kind_; }
    const std::string& TraceName() const { return traceName_; }
    const D3DSURFACE_DESC& Desc() const { return desc_; }
    bool Locked() const;
    // The surface's pixels in its own layout (rows pitch bytes apart), and
    // a rectangle of it written from rows starting at bits; for copies
    // between surfaces.
    HRESULT ReadPixels(std::vector<uint8_t>& bits, UINT& pitch);
    HRESULT WritePixels(const uint8_t* bits, UINT pitch, const RECT& rect);

private:
    friend class Texture8;
    friend class Device8;
    ~Surface8() override;
    void LastRelease() override;

    Device8* device_;
    Kind kind_;
    IUnknown* container_;  // whose reference count this surface shares; null for images
    D3DSURFACE_DESC desc_;
    Texture8* texture_;
    UINT level_;
    std::vector<uint8_t> bits_;  // image surfaces; a locked back buffer
    bool locked_ = false;
    bool lockReadOnly_ = false;
    RECT lockRect_ = {};
};

// Whether rect (whole surface when null) lies inside a width x height
// surface and is not empty; out receives it.
bool ValidSurfaceRect(const RECT* rect, UINT width, UINT height, RECT& out);

class Texture8 final : public RefCounted<IDirect3DTexture8> {
public:
    Texture8(Device8* device, const TextureDesc& desc, DWORD usage, D3DPOOL pool,
             std::unique_ptr<BackendResource> backend);

    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    DWORD SetPriority(DWORD PriorityNew) override;
    DWORD GetPriority() override;
    void PreLoad() override;
    D3DRESOURCETYPE GetType() override;
    DWORD SetLOD(DWORD LODNew) override;
    DWORD GetLOD() override;
    DWORD GetLevelCount() override;
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface8** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;
    HRESULT AddDirtyRect(CONST RECT* pDirtyRect) override;

    const TextureDesc& Desc() const { return desc_; }
    BackendResource* Backend() const { return backend_.get(); }
    const std::string& TraceName() const { return traceName_; }

    // The locking behind both this interface and its level surfaces.
    HRESULT Lock(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT Unlock(UINT level);
    bool LevelLocked(UINT level) const { return level < levels_.size() && levels_[level].locked; }
    const std::vector<uint8_t>& LevelBits(UINT level) const { return levels_[level].bits; }
    UINT LevelPitch(UINT level) const { return levels_[level].pitch; }
    D3DPOOL Pool() const { return pool_; }

private:
    ~Texture8() override;
    void LastRelease() override;

    struct Level {
        UINT width = 0;
        UINT height = 0;
        UINT pitch = 0;
        std::vector<uint8_t> bits;
        bool locked = false;
        bool readOnly = false;
        RECT dirty = {};
        Surface8* surface = nullptr;  // made on first GetSurfaceLevel; owned
    };

    Device8* device_;
    TextureDesc desc_;
    const FormatInfo* info_;
    DWORD usage_;
    D3DPOOL pool_;
    DWORD priority_ = 0;
    DWORD lod_ = 0;
    std::unique_ptr<BackendResource> backend_;
    std::vector<Level> levels_;
};

}  // namespace d3d8
