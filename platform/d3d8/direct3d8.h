#pragma once
// IDirect3D8: adapters, their modes and capabilities, format checks and
// device creation, answered from the back end's adapter list.
#include <d3d8.h>

#include <memory>

#include "backend.h"
#include "refcounted.h"

namespace d3d8 {

class Direct3D8 final : public RefCounted<IDirect3D8> {
public:
    // log: where calls are recorded (null: nowhere).
    Direct3D8(std::unique_ptr<Backend> backend, std::shared_ptr<TraceLog> log);

    HRESULT RegisterSoftwareDevice(void* pInitializeFunction) override;
    UINT GetAdapterCount() override;
    HRESULT GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER8* pIdentifier) override;
    UINT GetAdapterModeCount(UINT Adapter) override;
    HRESULT EnumAdapterModes(UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) override;
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat, D3DFORMAT BackBufferFormat,
                            BOOL Windowed) override;
    HRESULT CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                              D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat, BOOL Windowed,
                                       D3DMULTISAMPLE_TYPE MultiSampleType) override;
    HRESULT CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                   D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) override;
    HRESULT GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) override;
    HMONITOR GetAdapterMonitor(UINT Adapter) override;
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice8** ppReturnedDeviceInterface) override;

    Backend& GetBackend() { return *backend_; }
    // What CreateDevice and Reset accept.
    HRESULT ValidatePresentParams(UINT adapter, const D3DPRESENT_PARAMETERS& p) const;
    TraceLog* Trace() const { return trace_; }
    const std::string& TraceName() const { return traceName_; }

private:
    ~Direct3D8() override = default;
    bool ValidAdapter(UINT adapter) const;
    HRESULT FormatResult(UINT adapter, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const;

    std::unique_ptr<Backend> backend_;
    std::shared_ptr<TraceLog> log_;
};

}  // namespace d3d8
