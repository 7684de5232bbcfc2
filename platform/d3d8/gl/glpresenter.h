#pragma once
// The GL back end's render target and its way to the screen: the back
// buffer (the window's own, or a framebuffer of the device's size scaled
// into the window), clears, the copy of the last presented frame, reading
// and writing pixels, frame pacing, and a new target on Reset.
#include <optional>

#include "d3d8/backend.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glcontext.h"
#include "d3d8/gl/glfixedfunction.h"

namespace d3d8 {

// Where a width x height picture goes in a window: the largest rectangle of
// its shape, centred (GL's lower-left origin; either way it is symmetric).
struct PictureRect {
    int x, y, w, h;
};
PictureRect FitPicture(UINT width, UINT height, int windowWidth, int windowHeight);

class GLPresenter {
public:
    GLPresenter(GLContext& context, GLBindCache& cache, GLFixedFunction& fixed, const D3DPRESENT_PARAMETERS& params);
    ~GLPresenter();
    GLPresenter(const GLPresenter&) = delete;
    GLPresenter& operator=(const GLPresenter&) = delete;

    UINT Width() const { return width_; }
    UINT Height() const { return height_; }
    bool DepthBuffer() const { return depthBuffer_; }
    bool StencilBuffer() const { return stencilBuffer_; }

    void Clear(const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
               DWORD stencil);
    void Present();
    void ReadBackBuffer(void* pixels, UINT pitch);
    void WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect);
    void ReadFrontBuffer(void* pixels, UINT pitch);
    // A new back buffer for the completed parameters.
    void Reset(const D3DPRESENT_PARAMETERS& params);

private:
    void TakeParams(const D3DPRESENT_PARAMETERS& params);
    void CreateTarget();
    void SetSwapInterval(const D3DPRESENT_PARAMETERS& params);
    void DeleteTarget();
    void ShowScaled();
    void KeepFrontBuffer();
    // Drops the depth and stencil bits of a clear that would change nothing.
    GLbitfield SkipUnchanged(GLbitfield mask, bool whole, float z, DWORD stencil);
    // The presented frame without a kept copy: the target, which holds it
    // until the next frame is drawn (Mesa's swap leaves the window's back
    // buffer as it was, and our own framebuffer is never swapped).
    void ReadShownFrame(void* pixels, UINT pitch);
    // Rows of the bound read framebuffer, top-down, into pixels.
    void ReadRows(void* pixels, UINT pitch);
    void PaceFrames();

    GLContext& context_;
    GLBindCache& cache_;
    GLFixedFunction& fixed_;
    UINT width_ = 0, height_ = 0;
    bool depthBuffer_ = false, stencilBuffer_ = false;
    GLuint framebuffer_ = 0;  // 0: drawing straight into the window
    GLuint colorBuffer_ = 0, depthStencilBuffer_ = 0;
    // A copy of the last presented frame, for GetFrontBuffer. Copying costs
    // a full-screen pass per frame, so it is kept only for devices that read
    // their buffers back (a lockable back buffer) and, from its first call
    // on, for those that ask for the front buffer.
    bool keepFront_ = false;
    // What the whole depth and stencil buffers hold since their last clear,
    // while no draw has written them: clearing them to it again is skipped
    // (a frame of flat 2D effects clears a depth buffer it never uses).
    std::optional<float> clearedDepth_;
    std::optional<DWORD> clearedStencil_;
    GLuint frontFramebuffer_ = 0, frontBuffer_ = 0;

    // Fences of the frames still in flight: Present waits for the one two
    // frames back, so a driver that never blocks on swap (an offscreen
    // window, a software rasteriser) cannot queue unbounded work and memory.
    static constexpr int FRAMES_IN_FLIGHT = 2;
    GLsync frameFences_[FRAMES_IN_FLIGHT] = {};
    int frameFence_ = 0;
};

}  // namespace d3d8
