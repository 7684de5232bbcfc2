#include "direct3d8.h"

#include "device8.h"
#include "formatinfo.h"

namespace d3d8 {
namespace {

bool IsDisplayFormat(D3DFORMAT format) {
    const FormatInfo* info = FindFormat(format);
    return info && info->display;
}

}  // namespace

Direct3D8::Direct3D8(std::unique_ptr<Backend> backend, std::shared_ptr<TraceLog> log)
    : backend_(std::move(backend)), log_(std::move(log)) {
    // A log that keeps nothing is not handed on: its objects then skip
    // formatting their calls' arguments, which would cost more than the work.
    trace_ = log_ && log_->Recording() ? log_.get() : nullptr;
    if (trace_) traceName_ = trace_->NewName("d3d8");
}

bool Direct3D8::ValidAdapter(UINT adapter) const { return adapter < backend_->Adapters().size(); }

HRESULT Direct3D8::RegisterSoftwareDevice(void*) {
    TraceCall("RegisterSoftwareDevice", {"ptr"}, trace::Result(D3DERR_INVALIDCALL));
    return D3DERR_INVALIDCALL;
}

UINT Direct3D8::GetAdapterCount() { return UINT(backend_->Adapters().size()); }

HRESULT Direct3D8::GetAdapterIdentifier(UINT Adapter, DWORD, D3DADAPTER_IDENTIFIER8* pIdentifier) {
    if (!ValidAdapter(Adapter) || !pIdentifier) return D3DERR_INVALIDCALL;
    *pIdentifier = backend_->Adapters()[Adapter].identifier;
    return D3D_OK;
}

UINT Direct3D8::GetAdapterModeCount(UINT Adapter) {
    if (!ValidAdapter(Adapter)) return 0;
    return UINT(backend_->Adapters()[Adapter].modes.size());
}

HRESULT Direct3D8::EnumAdapterModes(UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) {
    if (!ValidAdapter(Adapter) || !pMode || Mode >= GetAdapterModeCount(Adapter)) return D3DERR_INVALIDCALL;
    *pMode = backend_->Adapters()[Adapter].modes[Mode];
    return D3D_OK;
}

HRESULT Direct3D8::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
    if (!ValidAdapter(Adapter) || !pMode) return D3DERR_INVALIDCALL;
    const AdapterInfo& info = backend_->Adapters()[Adapter];
    if (info.desktopModeFails) {
        TraceCall("GetAdapterDisplayMode", {trace::Dec(Adapter)}, trace::Result(D3DERR_NOTAVAILABLE));
        return D3DERR_NOTAVAILABLE;
    }
    *pMode = info.desktop;
    return D3D_OK;
}

HRESULT Direct3D8::CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat,
                                   D3DFORMAT BackBufferFormat, BOOL Windowed) {
    HRESULT hr = D3D_OK;
    if (!ValidAdapter(Adapter))
        hr = D3DERR_INVALIDCALL;
    else if (CheckType != D3DDEVTYPE_HAL || !IsDisplayFormat(DisplayFormat) || !IsDisplayFormat(BackBufferFormat))
        hr = D3DERR_NOTAVAILABLE;
    TraceCall("CheckDeviceType",
              {trace::Dec(Adapter), trace::DevType(CheckType), trace::Format(DisplayFormat),
               trace::Format(BackBufferFormat), trace::Bool(Windowed)},
              hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Direct3D8::FormatResult(UINT adapter, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const {
    if (!ValidAdapter(adapter)) return D3DERR_INVALIDCALL;
    return backend_->SupportsFormat(adapter, usage, type, format) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D8::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                     D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) {
    HRESULT hr = FormatResult(Adapter, Usage, RType, CheckFormat);
    if (hr == D3D_OK && (DeviceType != D3DDEVTYPE_HAL || !IsDisplayFormat(AdapterFormat)))
        hr = DeviceType != D3DDEVTYPE_HAL ? D3DERR_NOTAVAILABLE : D3DERR_INVALIDCALL;
    TraceCall("CheckDeviceFormat",
              {trace::Dec(Adapter), trace::DevType(DeviceType), trace::Format(AdapterFormat), trace::Hex(Usage),
               trace::ResourceType(RType), trace::Format(CheckFormat)},
              hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Direct3D8::CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, BOOL,
                                              D3DMULTISAMPLE_TYPE MultiSampleType) {
    if (!ValidAdapter(Adapter)) return D3DERR_INVALIDCALL;
    return DeviceType == D3DDEVTYPE_HAL && MultiSampleType == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D8::CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT, D3DFORMAT,
                                          D3DFORMAT DepthStencilFormat) {
    HRESULT hr = FormatResult(Adapter, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, DepthStencilFormat);
    if (hr == D3D_OK && DeviceType != D3DDEVTYPE_HAL) hr = D3DERR_NOTAVAILABLE;
    return hr;
}

HRESULT Direct3D8::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) {
    if (!ValidAdapter(Adapter) || !pCaps) return D3DERR_INVALIDCALL;
    const AdapterInfo& info = backend_->Adapters()[Adapter];
    if (DeviceType != D3DDEVTYPE_HAL || info.capsFail) {
        TraceCall("GetDeviceCaps", {trace::Dec(Adapter), trace::DevType(DeviceType)},
                  trace::Result(D3DERR_NOTAVAILABLE));
        return D3DERR_NOTAVAILABLE;
    }
    *pCaps = info.caps;
    pCaps->AdapterOrdinal = Adapter;
    pCaps->DeviceType = DeviceType;
    return D3D_OK;
}

HMONITOR Direct3D8::GetAdapterMonitor(UINT) { return nullptr; }

HRESULT Direct3D8::ValidatePresentParams(UINT adapter, const D3DPRESENT_PARAMETERS& p) const {
    if (p.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (!p.Windowed && (p.BackBufferWidth == 0 || p.BackBufferHeight == 0)) return D3DERR_INVALIDCALL;
    if (p.Windowed && p.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT) return D3DERR_INVALIDCALL;
    if (p.BackBufferFormat != D3DFMT_UNKNOWN && !IsDisplayFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
    if (!p.Windowed && p.BackBufferFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil &&
        !backend_->SupportsFormat(adapter, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, p.AutoDepthStencilFormat))
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Direct3D8::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                D3DPRESENT_PARAMETERS* pPresentationParameters,
                                IDirect3DDevice8** ppReturnedDeviceInterface) {
    const DWORD processing = BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    HRESULT hr = D3D_OK;
    const std::string paramsText = Tracing() ? trace::PresentParams(pPresentationParameters) : std::string();
    if (ppReturnedDeviceInterface) *ppReturnedDeviceInterface = nullptr;
    if (!ValidAdapter(Adapter) || !pPresentationParameters || !ppReturnedDeviceInterface)
        hr = D3DERR_INVALIDCALL;
    else if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
             processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        hr = D3DERR_INVALIDCALL;  // exactly one kind of vertex processing
    else if (DeviceType != D3DDEVTYPE_HAL)
        hr = D3DERR_NOTAVAILABLE;
    else if (!hFocusWindow && !pPresentationParameters->hDeviceWindow && !pPresentationParameters->Windowed)
        hr = D3DERR_INVALIDCALL;
    else
        hr = ValidatePresentParams(Adapter, *pPresentationParameters);

    std::string created;
    if (hr == D3D_OK) {
        D3DPRESENT_PARAMETERS params = *pPresentationParameters;
        HWND window = params.hDeviceWindow ? params.hDeviceWindow : hFocusWindow;
        std::shared_ptr<DeviceBackend> device;
        hr = backend_->CreateDevice(Adapter, window, BehaviorFlags, params, device);
        if (hr == D3D_OK) {
            *pPresentationParameters = params;
            Device8* made = new Device8(this, Adapter, hFocusWindow, BehaviorFlags, params, std::move(device));
            created = made->TraceName();
            *ppReturnedDeviceInterface = made;
            ApplyDefaultPresentHook(made);
        }
    }
    TraceCall("CreateDevice",
              {trace::Dec(Adapter), trace::DevType(DeviceType), trace::Window(hFocusWindow), trace::Hex(BehaviorFlags),
               paramsText},
              hr == D3D_OK ? created : trace::Result(hr));
    return hr;
}

}  // namespace d3d8
