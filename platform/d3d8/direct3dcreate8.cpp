// Entry point of the Direct3D 8 stand-in. The back ends are not in yet: no
// Direct3D object can be made.
#include <d3d8.h>
#include <d3d8ext.h>

IDirect3D8* WINAPI Direct3DCreate8(UINT) { return nullptr; }

D3D8TraceAdapter::D3D8TraceAdapter() : caps(D3D8Trace_DefaultCaps()) {}
D3D8TraceConfig::D3D8TraceConfig() = default;
D3DCAPS8 D3D8Trace_DefaultCaps() { return D3DCAPS8{}; }
void D3D8Trace_Enable(const D3D8TraceConfig&) {}
void D3D8Trace_Disable() {}
std::string D3D8Trace_Log() { return {}; }
std::vector<std::string> D3D8Trace_Lines() { return {}; }
void D3D8Trace_Clear() {}
HRESULT D3D8_ReadBackBuffer(IDirect3DDevice8*, void*, UINT, UINT*, UINT*) { return E_NOTIMPL; }
HRESULT D3D8_SetPresentHook(IDirect3DDevice8*, D3D8PresentHook, void*) { return E_NOTIMPL; }
HRESULT D3D8_GetStats(IDirect3DDevice8*, D3D8Stats*) { return E_NOTIMPL; }
