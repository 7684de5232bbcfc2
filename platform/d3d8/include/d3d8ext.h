#pragma once
// Extensions of the Direct3D 8 stand-in that the real interface does not
// have: choosing and configuring the back end, the call trace, and reading
// frames back. Tests, benchmarks and the capture tool use them; the show
// never does.
//
// Back end choice: the environment variable HALCYON2_D3D8 = "gl" (default) or
// "trace" picks the back end of every Direct3DCreate8 call, unless
// D3D8Trace_Enable has been called, which forces the trace back end.
// HALCYON2_D3D8_DUMP_GLSL = <folder> writes every generated GLSL program
// there (one file per program; "-" writes them to standard error).
#include <string>
#include <vector>

#include "d3d8.h"

// ---------------------------------------------------------------------------
// The trace back end.
//
// It accepts every call, keeps all state the front end keeps (so Get* calls
// answer as a real device would), validates arguments like the GL back end,
// draws nothing, and appends one line per interface call to its log. A vertex
// or index buffer locked with D3DLOCK_DISCARD hands out the bytes DE AD BE EF
// repeated, as Direct3D leaves its contents undefined:
//
//   <object> <Method>(<arguments>)[ = <result>]
//
// * <object> names the interface the call was made on: "d3d8#N", "device#N",
//   "texture#N", "surface#N", "vb#N" (vertex buffer), "ib#N" (index buffer).
//   N counts objects of that kind from 1 in creation order since the last
//   D3D8Trace_Enable; no pointer ever appears.
// * Arguments are written in declaration order: enumerations and the state
//   names of SetRenderState / SetTextureStageState / SetTransform by their
//   symbolic names (D3DRS_ZENABLE, D3DTSS_COLOROP, D3DTS_WORLD,
//   D3DPT_TRIANGLELIST, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DDEVTYPE_HAL...;
//   an unknown value as its decimal number); state values and counts in
//   decimal, except colour states (D3DRS_TEXTUREFACTOR, D3DRS_FOGCOLOR,
//   D3DRS_AMBIENT), Clear colours, flag words (usage, lock and clear flags,
//   FVF codes, behaviour flags) in hexadecimal "0x%x"; float states
//   (D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY...) and floats as "%g";
//   matrices as "[_11 _12 ... _44]"; materials and lights as "{...}" with
//   their fields in declaration order; objects by their handle name or
//   "null"; window handles as "hwnd" or "null"; user vertex and index data
//   as "data:<bytes>:<fnv1a-32 hash in hex>".
// * " = <result>" follows only a failed call (its D3DERR_* / E_* name) or a
//   call that created an object (the new handle name). Get* calls and
//   AddRef/Release are not recorded (Release of the last reference is, as
//   "<object> Release() = 0").
//
// Example:
//   d3d8#1 CreateDevice(0, D3DDEVTYPE_HAL, hwnd, 0x40, {...}) = device#1
//   device#1 SetRenderState(D3DRS_LIGHTING, 0)
//   device#1 CreateTexture(64, 64, 1, 0x0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED) = texture#1
//   device#1 SetTexture(0, texture#1)
//   device#1 DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, data:96:1a2b3c4d, 24)

struct D3D8TraceAdapter {
    std::string description = "Trace adapter";
    std::string driver = "trace";
    // Modes EnumAdapterModes reports, in order. Empty: the standard list
    // (640x480 to 1920x1080 at 16 and 32 bits, 60 Hz).
    std::vector<D3DDISPLAYMODE> modes;
    D3DDISPLAYMODE desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    bool desktopModeFails = false;  // GetAdapterDisplayMode fails
    bool capsFail = false;          // GetDeviceCaps fails
    D3DCAPS8 caps;                  // filled with D3D8Trace_DefaultCaps()

    D3D8TraceAdapter();
};

struct D3D8TraceConfig {
    // One adapter by default.
    std::vector<D3D8TraceAdapter> adapters = {D3D8TraceAdapter()};
    // Formats CheckDeviceFormat accepts for textures (RType D3DRTYPE_TEXTURE
    // or D3DRTYPE_SURFACE without usage) and for depth buffers (usage
    // D3DUSAGE_DEPTHSTENCIL); every display format is accepted as adapter
    // format. They start as what the GL back end supports; an empty list
    // refuses every format.
    std::vector<D3DFORMAT> textureFormats;
    std::vector<D3DFORMAT> depthFormats;
    // CreateDevice fails (D3DERR_NOTAVAILABLE) for every behaviour flag set
    // here (e.g. D3DCREATE_HARDWARE_VERTEXPROCESSING), and also for its first
    // failCreateDeviceCount calls whatever their flags.
    DWORD failCreateDeviceBehaviors = 0;
    int failCreateDeviceCount = 0;
    // Creation of textures / vertex buffers / index buffers fails.
    bool failCreateTexture = false;
    bool failCreateVertexBuffer = false;
    bool failCreateIndexBuffer = false;
    // Keep the log (off: calls cost only the front end's work; benchmarks).
    bool record = true;
    // Device loss, as when a full-screen program loses the focus: every
    // device loses itself at these Present calls (counted from 1 on each
    // device; that Present returns D3DERR_DEVICELOST). TestCooperativeLevel
    // then answers D3DERR_DEVICELOST lostChecks times, and
    // D3DERR_DEVICENOTRESET until a Reset succeeds.
    std::vector<unsigned> losePresents;
    int lostChecks = 2;

    D3D8TraceConfig();
};

D3DCAPS8 D3D8Trace_DefaultCaps();

// From now on Direct3DCreate8 makes trace objects with this configuration;
// clears the log and restarts handle numbering. Objects made before keep
// their back end.
void D3D8Trace_Enable(const D3D8TraceConfig& config = D3D8TraceConfig());
// Back to the back end the environment selects.
void D3D8Trace_Disable();
// The log recorded since Enable or the last Clear, one call per line, each
// line ending in '\n'.
std::string D3D8Trace_Log();
std::vector<std::string> D3D8Trace_Lines();
void D3D8Trace_Clear();

// ---------------------------------------------------------------------------
// Reading frames back (both back ends; the trace back end gives black).

// Copies the device's back buffer (what has been drawn since the last
// Present) as top-down rows of A8R8G8B8 pixels (alpha forced to 0xFF) into
// pixels, pitch bytes apart. width and height receive the back-buffer size;
// pixels may be null to ask only for the size.
HRESULT D3D8_ReadBackBuffer(IDirect3DDevice8* device, void* pixels, UINT pitch, UINT* width, UINT* height);

// Calls hook(user, device) inside every Present, before the frame is shown,
// so D3D8_ReadBackBuffer there reads the presented frame. Null removes it.
typedef void (*D3D8PresentHook)(void* user, IDirect3DDevice8* device);
HRESULT D3D8_SetPresentHook(IDirect3DDevice8* device, D3D8PresentHook hook, void* user);
// The same hook for every device created from now on (null removes it), for
// tools that capture a program they do not change.
void D3D8_SetDefaultPresentHook(D3D8PresentHook hook, void* user);

// HALCYON2_DISPLAY_MODES="WxHxBITS[,...]" (bits 16 or 32) replaces the mode
// list of every adapter of the OpenGL back end.

// Counters of the GL back end, for tests, benchmarks and profiles: what
// reached OpenGL and what the front end and the bind cache kept from it.
// The trace back end answers draws, skippedDraws, triangles, textureBinds
// (changes of a stage's texture between draws), textureUploads,
// bufferUploads, bytesUploaded and ignoredStates, and zero for the rest.
struct D3D8Stats {
    unsigned long long draws;         // Draw* calls accepted
    unsigned long long glDraws;       // GL draw calls issued
    unsigned long long skippedDraws;  // draws that could not change the frame
    unsigned long long programSwitches;
    unsigned long long programsBuilt;
    unsigned long long textureUploads;
    unsigned long long bufferUploads;
    unsigned long long ignoredStates;  // unsupported state values accepted
    unsigned long long bindHits;       // binds and settings GL already had
    unsigned long long bindMisses;     // binds and settings passed on to GL
    // Generated programs that did not compile or link; draws needing one
    // draw nothing (the first failure of each also goes to standard error).
    unsigned long long programsFailed;
    // Triangles of the draws handed to the back end (skipped draws and
    // point and line primitives have none).
    unsigned long long triangles;
    unsigned long long programBinds;   // programs made current
    unsigned long long textureBinds;   // textures bound to a unit
    unsigned long long bytesUploaded;  // texture, buffer and user vertex/index bytes sent to GL
    // While profiling is on: samples that passed every per-fragment test
    // (scissor, alpha, stencil, depth) in the frames counted so far, one
    // occlusion query per frame from its first draw to its Present. Clears
    // and Present's own copies are not counted. Results are read only once
    // GL has them, without waiting, so they trail the presented frames by
    // up to two frames: fragmentFrames says how many Present calls (counted
    // from the device's first, profiled or not) the figure covers.
    unsigned long long fragments;
    unsigned long long fragmentFrames;
    // Over the same frames, where the driver counts them (shadedCounted):
    // fragment shader invocations. A rasteriser that shades pixels in
    // blocks runs the shader on every pixel of a block a triangle's edge
    // crosses, so small triangles shade more fragments than pass.
    unsigned long long shadedFragments;
    int shadedCounted;
};
HRESULT D3D8_GetStats(IDirect3DDevice8* device, D3D8Stats* stats);

// Turns the fragment count of D3D8Stats on or off (off by default, when it
// costs nothing). The trace back end counts no fragments either way.
HRESULT D3D8_SetProfiling(IDirect3DDevice8* device, BOOL enable);

// Device loss on demand (both back ends): the device's next Present is lost
// as configured above. HALCYON2_D3D8_LOSE_AT="N[,N...]" loses every device
// at those Present calls (both back ends; with the trace configuration's
// own list, both apply).
HRESULT D3D8_LoseDevice(IDirect3DDevice8* device);
