#include "d3d8/gl/glpresenter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "d3d8/formatinfo.h"

namespace d3d8 {

GLPresenter::GLPresenter(GLContext& context, GLBindCache& cache, GLFixedFunction& fixed,
                         const D3DPRESENT_PARAMETERS& params)
    : context_(context), cache_(cache), fixed_(fixed) {
    TakeParams(params);
    CreateTarget();
    SetSwapInterval(params);
}

GLPresenter::~GLPresenter() {
    for (GLsync& fence : frameFences_)
        if (fence) glDeleteSync(fence);
    DeleteTarget();
}

void GLPresenter::TakeParams(const D3DPRESENT_PARAMETERS& params) {
    width_ = params.BackBufferWidth;
    height_ = params.BackBufferHeight;
    depthBuffer_ = params.EnableAutoDepthStencil != FALSE;
    stencilBuffer_ = depthBuffer_ && FormatHasStencil(params.AutoDepthStencilFormat);
    keepFront_ = keepFront_ || (params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    fixed_.SetTarget(height_, depthBuffer_, stencilBuffer_);
}

void GLPresenter::Reset(const D3DPRESENT_PARAMETERS& params) {
    DeleteTarget();
    TakeParams(params);
    context_.ResizeOwnWindow(int(width_), int(height_));
    CreateTarget();
    SetSwapInterval(params);
}

void GLPresenter::SetSwapInterval(const D3DPRESENT_PARAMETERS& params) {
    // A windowed device presents at once; a full-screen one waits for the
    // vertical blank (or as its swap effect asks).
    const bool vsync = !params.Windowed || params.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    context_.SetSwapInterval(vsync && params.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE ? 1 : 0);
}

void GLPresenter::DeleteTarget() {
    if (framebuffer_) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colorBuffer_);
        glDeleteRenderbuffers(1, &depthStencilBuffer_);
        cache_.ForgetFramebuffer(framebuffer_);
        cache_.ForgetRenderbuffer(colorBuffer_);
        cache_.ForgetRenderbuffer(depthStencilBuffer_);
    }
    if (frontFramebuffer_) {
        glDeleteFramebuffers(1, &frontFramebuffer_);
        glDeleteRenderbuffers(1, &frontBuffer_);
        cache_.ForgetFramebuffer(frontFramebuffer_);
        cache_.ForgetRenderbuffer(frontBuffer_);
    }
    framebuffer_ = colorBuffer_ = depthStencilBuffer_ = 0;
    frontFramebuffer_ = frontBuffer_ = 0;
    cache_.BindFramebuffer(0);
}

void GLPresenter::CreateTarget() {
    // Draw straight into the window when it has the back buffer's size and
    // the buffers the device needs; otherwise into our own framebuffer that
    // Present copies (scaled) into the window.
    if (framebuffer_) return;
    GLint depthBits = 0, stencilBits = 0;
    cache_.BindFramebuffer(0);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                          &stencilBits);
    glGetError();
    const bool fits = context_.DrawableWidth() == int(width_) && context_.DrawableHeight() == int(height_) &&
                      (!depthBuffer_ || depthBits >= 16) && (!stencilBuffer_ || stencilBits >= 1);
    if (fits) return;
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colorBuffer_);
    glGenRenderbuffers(1, &depthStencilBuffer_);
    cache_.BindRenderbuffer(colorBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width_), GLsizei(height_));
    cache_.BindRenderbuffer(depthStencilBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(width_), GLsizei(height_));
    cache_.BindFramebuffer(framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencilBuffer_);
}

void GLPresenter::Clear(const D3DVIEWPORT8& vp, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) {
    GLbitfield mask = 0;
    RasterState raster;
    raster.colorMask = 0xF;
    DepthState depth;
    StencilState stencilState;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        GLColorOf(color, c);
        glClearColor(c[0], c[1], c[2], 1.0f);  // no alpha channel: it stays one
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_ZBUFFER) && depthBuffer_) {
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_STENCIL) && stencilBuffer_) {
        glClearStencil(GLint(stencil));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    const bool whole = count == 0 && vp.X == 0 && vp.Y == 0 && vp.Width >= width_ && vp.Height >= height_;
    mask = SkipUnchanged(mask, whole, z, stencil);
    if (!mask) return;
    cache_.SetRaster(raster);
    cache_.SetDepth(depth);
    cache_.SetStencil(stencilState);
    fixed_.InvalidatePipeline();
    // Direct3D clears the viewport, or the parts of the rectangles inside it.
    auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
        x1 = std::max<LONG>(x1, LONG(vp.X));
        y1 = std::max<LONG>(y1, LONG(vp.Y));
        x2 = std::min<LONG>(x2, LONG(vp.X + vp.Width));
        y2 = std::min<LONG>(y2, LONG(vp.Y + vp.Height));
        if (x1 >= x2 || y1 >= y2) return;
        const bool whole = x1 == 0 && y1 == 0 && x2 == LONG(width_) && y2 == LONG(height_);
        cache_.Scissor(!whole, x1, LONG(height_) - y2, x2 - x1, y2 - y1);
        glClear(mask);
    };
    if (count == 0) clearRect(0, 0, LONG(width_), LONG(height_));
    for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    cache_.Scissor(false);
}

GLbitfield GLPresenter::SkipUnchanged(GLbitfield mask, bool whole, float z, DWORD stencil) {
    if (fixed_.TakeDepthWritten()) {
        clearedDepth_.reset();
        clearedStencil_.reset();
    }
    if (mask & GL_DEPTH_BUFFER_BIT) {
        if (whole && clearedDepth_ == z) mask &= ~GLbitfield(GL_DEPTH_BUFFER_BIT);
        clearedDepth_ = whole ? std::optional<float>(z) : std::nullopt;
    }
    if (mask & GL_STENCIL_BUFFER_BIT) {
        if (whole && clearedStencil_ == stencil) mask &= ~GLbitfield(GL_STENCIL_BUFFER_BIT);
        clearedStencil_ = whole ? std::optional<DWORD>(stencil) : std::nullopt;
    }
    return mask;
}

void GLPresenter::Present() {
    if (keepFront_) KeepFrontBuffer();
    if (framebuffer_) ShowScaled();
    context_.Swap();
    PaceFrames();
    // A window that no longer has the back buffer's size (it went full
    // screen, or was resized) gets our own framebuffer from the next frame.
    if (!framebuffer_ && (context_.DrawableWidth() != int(width_) || context_.DrawableHeight() != int(height_)))
        CreateTarget();
}

PictureRect FitPicture(UINT width, UINT height, int windowWidth, int windowHeight) {
    const double scale = std::min(double(windowWidth) / width, double(windowHeight) / height);
    const int w = std::max(1, int(std::lround(width * scale)));
    const int h = std::max(1, int(std::lround(height * scale)));
    return {(windowWidth - w) / 2, (windowHeight - h) / 2, w, h};
}

void GLPresenter::ShowScaled() {
    // The largest rectangle of the back buffer's shape, centred, with black
    // bars: the picture keeps its proportions on any window or display.
    const int dw = context_.DrawableWidth(), dh = context_.DrawableHeight();
    const PictureRect r = FitPicture(width_, height_, dw, dh);
    const int x = r.x, y = r.y, w = r.w, h = r.h;
    cache_.BindDrawFramebuffer(0);
    if (w != dw || h != dh) {
        RasterState raster;
        raster.colorMask = 0xF;
        cache_.SetRaster(raster);
        fixed_.InvalidatePipeline();
        glClearColor(0, 0, 0, 1);
        // Only the bars: the picture covers the rest.
        cache_.Scissor(true, 0, 0, w == dw ? dw : x, w == dw ? y : dh);
        glClear(GL_COLOR_BUFFER_BIT);
        cache_.Scissor(true, w == dw ? 0 : x + w, w == dw ? y + h : 0, w == dw ? dw : dw - x - w,
                       w == dw ? dh - y - h : dh);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    cache_.Scissor(false);
    cache_.BindReadFramebuffer(framebuffer_);
    glBlitFramebuffer(0, 0, GLint(width_), GLint(height_), x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    cache_.BindFramebuffer(framebuffer_);
}

void GLPresenter::PaceFrames() {
    GLsync& oldest = frameFences_[frameFence_];
    if (oldest) {
        glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(10) * 1000 * 1000 * 1000);
        glDeleteSync(oldest);
    }
    oldest = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    frameFence_ = (frameFence_ + 1) % FRAMES_IN_FLIGHT;
}

void GLPresenter::ReadRows(void* pixels, UINT pitch) {
    std::vector<uint8_t> rows(size_t(width_) * height_ * 4);
    glReadPixels(0, 0, GLsizei(width_), GLsizei(height_), GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    // GL's rows run bottom-up.
    for (UINT y = 0; y < height_; ++y) {
        uint8_t* dst = static_cast<uint8_t*>(pixels) + size_t(y) * pitch;
        std::memcpy(dst, rows.data() + size_t(height_ - 1 - y) * width_ * 4, size_t(width_) * 4);
        for (UINT x = 0; x < width_; ++x) dst[4 * x + 3] = 0xFF;
    }
}

void GLPresenter::ReadBackBuffer(void* pixels, UINT pitch) { ReadRows(pixels, pitch); }

void GLPresenter::WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) {
    // Through a texture blitted into place, upside down, since GL's rows run
    // bottom-up; blits ignore every pipeline state but the scissor test.
    const GLsizei w = GLsizei(rect.right - rect.left), h = GLsizei(rect.bottom - rect.top);
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    cache_.BindTexture(0, texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pitch / 4));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glGenFramebuffers(1, &framebuffer);
    cache_.BindReadFramebuffer(framebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    cache_.BindDrawFramebuffer(framebuffer_);
    cache_.Scissor(false);
    glBlitFramebuffer(0, 0, w, h, GLint(rect.left), GLint(height_) - GLint(rect.top), GLint(rect.right),
                      GLint(height_) - GLint(rect.bottom), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    cache_.BindFramebuffer(framebuffer_);
    glDeleteFramebuffers(1, &framebuffer);
    cache_.ForgetFramebuffer(framebuffer);
    glDeleteTextures(1, &texture);
    cache_.ForgetTexture(texture);
}

void GLPresenter::KeepFrontBuffer() {
    // Same size and format: GL copies the pixels without a draw.
    if (!frontFramebuffer_) {
        glGenFramebuffers(1, &frontFramebuffer_);
        glGenRenderbuffers(1, &frontBuffer_);
        cache_.BindRenderbuffer(frontBuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width_), GLsizei(height_));
        cache_.BindDrawFramebuffer(frontFramebuffer_);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frontBuffer_);
    }
    cache_.BindDrawFramebuffer(frontFramebuffer_);
    cache_.BindReadFramebuffer(framebuffer_);
    cache_.Scissor(false);
    glBlitFramebuffer(0, 0, GLint(width_), GLint(height_), 0, 0, GLint(width_), GLint(height_), GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    cache_.BindFramebuffer(framebuffer_);
}

void GLPresenter::ReadFrontBuffer(void* pixels, UINT pitch) {
    if (!keepFront_) {
        keepFront_ = true;
        ReadShownFrame(pixels, pitch);
        return;
    }
    if (!frontFramebuffer_) {
        for (UINT y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * pitch);
            std::fill(row, row + width_, 0xFF000000u);
        }
        return;
    }
    cache_.BindReadFramebuffer(frontFramebuffer_);
    ReadRows(pixels, pitch);
    cache_.BindReadFramebuffer(framebuffer_);
}

void GLPresenter::ReadShownFrame(void* pixels, UINT pitch) {
    cache_.BindReadFramebuffer(framebuffer_);
    ReadRows(pixels, pitch);
}

}  // namespace d3d8
