// The entry point and the extension functions of the Direct3D 8 stand-in:
// which back end a new Direct3D object gets, the trace session, read-back.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "backend.h"
#include "device8.h"
#include "direct3d8.h"
#include "standincaps.h"
#include "tracelog.h"

namespace d3d8 {

namespace {

// The trace session the extension functions control: process-wide by
// nature, like the environment variable that can also ask for tracing.
struct TraceSession {
    bool forced = false;
    D3D8TraceConfig config;
    std::shared_ptr<TraceLog> log;
};

TraceSession& Session() {
    static TraceSession session;
    return session;
}

bool EnvironmentWantsTrace() {
    const char* choice = std::getenv("HALCYON2_D3D8");
    return choice && std::strcmp(choice, "trace") == 0;
}

}  // namespace

}  // namespace d3d8

using namespace d3d8;

IDirect3D8* WINAPI Direct3DCreate8(UINT SDKVersion) {
    // 120 is the Direct3D 8.0 interface version, 220 that of 8.1.
    if (SDKVersion != 120 && SDKVersion != 220) return nullptr;
    TraceSession& session = Session();
    std::unique_ptr<Backend> backend;
    if (session.forced) {
        backend = CreateTraceBackend(session.config);
    } else if (EnvironmentWantsTrace()) {
        if (!session.log) session.log = std::make_shared<TraceLog>(false);
        backend = CreateTraceBackend(D3D8TraceConfig());
    } else {
        backend = CreateGLBackend();
    }
    if (!backend) return nullptr;
    Direct3D8* d3d = new Direct3D8(std::move(backend), session.log);
    if (TraceLog* log = d3d->Trace()) log->Call("", "Direct3DCreate8", {std::to_string(SDKVersion)}, d3d->TraceName());
    return d3d;
}

D3D8TraceAdapter::D3D8TraceAdapter() : caps(D3D8Trace_DefaultCaps()) {}
D3D8TraceConfig::D3D8TraceConfig()
    : textureFormats(StandInTextureFormats()), depthFormats(StandInDepthStencilFormats()) {}

D3DCAPS8 D3D8Trace_DefaultCaps() { return StandInCaps(4096); }

void D3D8Trace_Enable(const D3D8TraceConfig& config) {
    TraceSession& session = Session();
    session.forced = true;
    session.config = config;
    session.log = std::make_shared<TraceLog>(config.record);
}

void D3D8Trace_Disable() {
    TraceSession& session = Session();
    session.forced = false;
    session.log.reset();
}

std::string D3D8Trace_Log() {
    std::shared_ptr<TraceLog> log = Session().log;
    return log ? log->Text() : std::string();
}

std::vector<std::string> D3D8Trace_Lines() {
    std::shared_ptr<TraceLog> log = Session().log;
    return log ? log->Lines() : std::vector<std::string>();
}

void D3D8Trace_Clear() {
    if (std::shared_ptr<TraceLog> log = Session().log) log->Clear();
}

HRESULT D3D8_ReadBackBuffer(IDirect3DDevice8* device, void* pixels, UINT pitch, UINT* width, UINT* height) {
    Device8* ours = device ? Device8::FromInterface(device) : nullptr;
    if (!ours) return D3DERR_INVALIDCALL;
    return ours->ReadBackBuffer(pixels, pitch, width, height);
}

HRESULT D3D8_SetPresentHook(IDirect3DDevice8* device, D3D8PresentHook hook, void* user) {
    Device8* ours = device ? Device8::FromInterface(device) : nullptr;
    if (!ours) return D3DERR_INVALIDCALL;
    ours->SetPresentHook(hook, user);
    return D3D_OK;
}

HRESULT D3D8_LoseDevice(IDirect3DDevice8* device) {
    Device8* ours = device ? Device8::FromInterface(device) : nullptr;
    if (!ours) return D3DERR_INVALIDCALL;
    ours->LoseAtNextPresent();
    return D3D_OK;
}

HRESULT D3D8_GetStats(IDirect3DDevice8* device, D3D8Stats* stats) {
    Device8* ours = device ? Device8::FromInterface(device) : nullptr;
    if (!ours || !stats) return D3DERR_INVALIDCALL;
    *stats = ours->Stats();
    return D3D_OK;
}

HRESULT D3D8_SetProfiling(IDirect3DDevice8* device, BOOL enable) {
    Device8* ours = device ? Device8::FromInterface(device) : nullptr;
    if (!ours) return D3DERR_INVALIDCALL;
    ours->BackendDevice().SetProfiling(enable != FALSE);
    return D3D_OK;
}
