#pragma once
// IDirect3DDevice8: validates every call, keeps the device state once and
// hands draws, clears and presents to its back end.
#include <d3d8.h>
#include <d3d8ext.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "backend.h"
#include "devicestate.h"
#include "refcounted.h"

namespace d3d8 {

class Direct3D8;
class Surface8;
class Texture8;
class VertexBuffer8;
class IndexBuffer8;

class Device8 final : public RefCounted<IDirect3DDevice8> {
public:
    Device8(Direct3D8* parent, UINT adapter, HWND focus, DWORD behaviour, const D3DPRESENT_PARAMETERS& params,
            std::shared_ptr<DeviceBackend> backend);

    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT ResourceManagerDiscardBytes(DWORD Bytes) override;
    HRESULT GetDirect3D(IDirect3D8** ppD3D8) override;
    HRESULT GetDeviceCaps(D3DCAPS8* pCaps) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    BOOL ShowCursor(BOOL bShow) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                    CONST RGNDATA* pDirtyRegion) override;
    HRESULT GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) override;
    HRESULT GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture8** ppTexture) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer8** ppVertexBuffer) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer8** ppIndexBuffer) override;
    HRESULT CreateImageSurface(UINT Width, UINT Height, D3DFORMAT Format, IDirect3DSurface8** ppSurface) override;
    HRESULT CopyRects(IDirect3DSurface8* pSourceSurface, CONST RECT* pSourceRectsArray, UINT cRects,
                      IDirect3DSurface8* pDestinationSurface, CONST POINT* pDestPointsArray) override;
    HRESULT GetFrontBuffer(IDirect3DSurface8* pDestSurface) override;
    HRESULT GetRenderTarget(IDirect3DSurface8** ppRenderTarget) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, CONST D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(CONST D3DVIEWPORT8* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* pViewport) override;
    HRESULT SetMaterial(CONST D3DMATERIAL8* pMaterial) override;
    HRESULT GetMaterial(D3DMATERIAL8* pMaterial) override;
    HRESULT SetLight(DWORD Index, CONST D3DLIGHT8* pLight) override;
    HRESULT GetLight(DWORD Index, D3DLIGHT8* pLight) override;
    HRESULT LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT ValidateDevice(DWORD* pNumPasses) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices, UINT startIndex,
                                 UINT primCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, CONST void* pVertexStreamZeroData,
                            UINT VertexStreamZeroStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertexIndices,
                                   UINT PrimitiveCount, CONST void* pIndexData, D3DFORMAT IndexDataFormat,
                                   CONST void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT SetVertexShader(DWORD Handle) override;
    HRESULT GetVertexShader(DWORD* pHandle) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) override;
    HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) override;

    // For the objects the device makes.
    void AddPrivateRef() { ++privateRefs_; }
    // Resources in D3DPOOL_DEFAULT, which must all be gone before a Reset.
    void CountDefaultResource(int change) { defaultResources_ += change; }
    void ReleasePrivateRef();
    DeviceBackend& BackendDevice() { return *backend_; }
    TraceLog* Trace() const { return trace_; }
    bool BackBufferLockable() const { return (params_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0; }
    // The whole back buffer in its own format, rows pitch bytes apart; and
    // a rectangle of it written back from such a copy.
    HRESULT ReadBackBufferAs(std::vector<uint8_t>& bits, UINT pitch);
    HRESULT WriteBackBufferFrom(const uint8_t* bits, UINT pitch, const RECT& rect);
    const std::string& TraceName() const { return traceName_; }

    // Extensions (d3d8ext.h).
    HRESULT ReadBackBuffer(void* pixels, UINT pitch, UINT* width, UINT* height);
    void SetPresentHook(D3D8PresentHook hook, void* user);
    void LoseAtNextPresent() { loseNext_ = true; }
    D3D8Stats Stats() const {
        D3D8Stats stats = backend_->Stats();
        stats.draws = draws_;
        stats.skippedDraws = skippedDraws_;
        stats.triangles = triangles_;
        return stats;
    }

    // Whether an interface pointer is one of this stand-in's devices.
    static Device8* FromInterface(IDirect3DDevice8* device);

private:
    ~Device8() override;
    void LastRelease() override;
    void ReleaseBindings();
    void DescribeSurfaces();
    void MaybeDestroy();

    // Marks state as changed after letting the back end finish batched work.
    void Touch(uint32_t dirty) {
        backend_->Flush();
        state_.dirty |= dirty;
    }
    void IgnoreState(const char* what, DWORD which, DWORD value);
    bool SupportedRenderState(D3DRENDERSTATETYPE state, DWORD value) const;
    bool SupportedStageState(D3DTEXTURESTAGESTATETYPE type, DWORD value) const;
    HRESULT CheckDrawState() const;
    // Completes call with what it reads and hands it to the back end.
    HRESULT Draw(DrawCall& call);
    // The native objects and bytes of what the draw reads.
    void Resolve(DrawCall& call) const;

    Direct3D8* parent_;
    UINT adapter_;
    HWND focus_;
    DWORD behaviour_;
    D3DPRESENT_PARAMETERS params_;
    unsigned long long draws_ = 0, skippedDraws_ = 0, triangles_ = 0;
    std::shared_ptr<DeviceBackend> backend_;
    DeviceState state_;
    D3DCAPS8 caps_;
    bool inScene_ = false;
    ULONG privateRefs_ = 0;
    int defaultResources_ = 0;
    // Simulated device loss: the Present calls it happens at, and how many
    // TestCooperativeLevel calls still answer D3DERR_DEVICELOST.
    std::vector<unsigned> losePresents_;
    int lostChecks_ = 2;
    unsigned presents_ = 0;
    bool loseNext_ = false;
    bool lost_ = false;
    int lostChecksLeft_ = 0;
    bool released_ = false;  // the last public reference is gone
    Surface8* backBuffer_ = nullptr;
    Surface8* depthBuffer_ = nullptr;
    bool hasDepthBuffer_ = false;
    D3D8PresentHook presentHook_ = nullptr;
    void* presentUser_ = nullptr;
    std::set<std::pair<DWORD, DWORD>> reported_;  // ignored (state, value) pairs reported
};

}  // namespace d3d8
