#include "d3d8/gl/glcontext.h"

#include <SDL2/SDL.h>
#include <win32sdl.h>

#include <algorithm>
#include <cstring>

#include "d3d8/gl/gl.h"

namespace d3d8 {
namespace {

// The context that is current on this (the only) thread, so switching
// between devices costs nothing when there is one.
GLContext* g_current = nullptr;

}  // namespace

bool GLHasExtension(const char* name) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        if (e && std::strcmp(e, name) == 0) return true;
    }
    return false;
}

void SetGLAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

// The video subsystem and the GL library stay loaded until the process ends
// once a context has been made: the system's GL driver keeps allocations of
// its own until exit, and unloading it early would only hide where they came
// from from leak checkers (and cost a reload for the next device).
static void KeepGLLoaded() {
    static const bool kept = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    (void)kept;
}

std::unique_ptr<GLContext> GLContext::Create(HWND window, int width, int height, bool fullScreen) {
    std::unique_ptr<GLContext> gl(new GLContext());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    KeepGLLoaded();
    gl->videoInit_ = true;
    SetGLAttributes();
    SDL_Window* given = window ? Win32GetSDLWindow(window) : nullptr;
    if (given && (SDL_GetWindowFlags(given) & SDL_WINDOW_OPENGL)) {
        gl->window_ = given;
        gl->context_ = SDL_GL_CreateContext(given);
    }
    if (!gl->context_) {
        // No usable window of the program's: draw into a hidden one of ours.
        gl->window_ = SDL_CreateWindow("halcyon2 d3d8", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!gl->window_) return nullptr;
        gl->ownWindow_ = true;
        gl->context_ = SDL_GL_CreateContext(gl->window_);
        if (!gl->context_) return nullptr;
    } else if (fullScreen) {
        gl->SetFullScreen(true);
    }
    // Making the context may have loaded the driver behind it.
    Win32PinLoadedModules();
    g_current = gl.get();
    return gl;
}

GLContext::~GLContext() {
    if (context_) {
        if (g_current == this) g_current = nullptr;
        SDL_GL_DeleteContext(context_);
    }
    if (ownWindow_ && window_) SDL_DestroyWindow(window_);
    if (videoInit_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void GLContext::MakeCurrent() {
    if (g_current != this) {
        SDL_GL_MakeCurrent(window_, context_);
        g_current = this;
    }
}

void GLContext::Swap() { SDL_GL_SwapWindow(window_); }

void GLContext::SetFullScreen(bool fullScreen) {
    if (ownWindow_) return;
    const bool isFullScreen = (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    if (fullScreen && !isFullScreen) {
        SDL_GetWindowPosition(window_, &windowed_.x, &windowed_.y);
        SDL_GetWindowSize(window_, &windowed_.w, &windowed_.h);
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
        // An X server without a window manager (a kiosk) ignores the request
        // to cover the display: place and size the window ourselves too.
        SDL_Rect display;
        if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &display) == 0) {
            SDL_SetWindowPosition(window_, display.x, display.y);
            SDL_SetWindowSize(window_, display.w, display.h);
        }
    } else if (!fullScreen && isFullScreen) {
        SDL_SetWindowFullscreen(window_, 0);
        if (windowed_.w > 0) {
            SDL_SetWindowSize(window_, windowed_.w, windowed_.h);
            SDL_SetWindowPosition(window_, windowed_.x, windowed_.y);
        }
    }
}

void GLContext::ResizeOwnWindow(int width, int height) {
    if (ownWindow_) SDL_SetWindowSize(window_, width, height);
}

void GLContext::SetSwapInterval(int interval) {
    MakeCurrent();
    if (SDL_GL_SetSwapInterval(interval) != 0 && interval != 0) SDL_GL_SetSwapInterval(0);
}

int GLContext::DrawableWidth() const {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return w;
}

int GLContext::DrawableHeight() const {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return h;
}

const GLProbe& ProbeGL() {
    static const GLProbe probe = [] {
        GLProbe p;
        std::unique_ptr<GLContext> gl = GLContext::Create(nullptr, 16, 16, false);
        if (!gl) return p;
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        int major = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        int minor = 0;
        glGetIntegerv(GL_MINOR_VERSION, &minor);
        p.usable = version && (major > 3 || (major == 3 && minor >= 3));
        p.renderer = renderer ? renderer : "OpenGL";
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &p.maxTextureSize);
        p.s3tc = GLHasExtension("GL_EXT_texture_compression_s3tc");
        return p;
    }();
    return probe;
}

}  // namespace d3d8
