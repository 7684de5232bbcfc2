#include "d3d8/gl/glcontext.h"

#include <SDL2/SDL.h>
#include <win32sdl.h>

#include <cstring>

#include "d3d8/gl/gl.h"

namespace d3d8 {
namespace {

// The context that is current on this (the only) thread, so switching
// between devices costs nothing when there is one.
GLContext* g_current = nullptr;

}  // namespace

void SetGLAttributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

std::unique_ptr<GLContext> GLContext::Create(HWND window, int width, int height, bool fullScreen)
{
    std::unique_ptr<GLContext> gl(new GLContext());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return nullptr;
    gl->videoInit_ = true;
    SetGLAttributes();
    SDL_Window* given = window ? Win32GetSDLWindow(window) : nullptr;
    if (given && (SDL_GetWindowFlags(given) & SDL_WINDOW_OPENGL)) {
        gl->window_ = given;
        gl->context_ = SDL_GL_CreateContext(given);
    }
    if (!gl->context_) {
        // No usable window of the program's: draw into a hidden one of ours.
        gl->window_ = SDL_CreateWindow("halcyon2 d3d8", SDL_WINDOWPOS_UNDEFINED,
                                       SDL_WINDOWPOS_UNDEFINED, width, height,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!gl->window_)
            return nullptr;
        gl->ownWindow_ = true;
        gl->context_ = SDL_GL_CreateContext(gl->window_);
        if (!gl->context_)
            return nullptr;
    } else if (fullScreen) {
        SDL_SetWindowFullscreen(gl->window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    g_current = gl.get();
    return gl;
}

GLContext::~GLContext()
{
    if (context_) {
        if (g_current == this)
            g_current = nullptr;
        SDL_GL_DeleteContext(context_);
    }
    if (ownWindow_ && window_)
        SDL_DestroyWindow(window_);
    if (videoInit_)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void GLContext::MakeCurrent()
{
    if (g_current != this) {
        SDL_GL_MakeCurrent(window_, context_);
        g_current = this;
    }
}

void GLContext::Swap()
{
    SDL_GL_SwapWindow(window_);
}

void GLContext::SetSwapInterval(int interval)
{
    MakeCurrent();
    if (SDL_GL_SetSwapInterval(interval) != 0 && interval != 0)
        SDL_GL_SetSwapInterval(0);
}

int GLContext::DrawableWidth() const
{
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return w;
}

int GLContext::DrawableHeight() const
{
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return h;
}

const GLProbe& ProbeGL()
{
    static const GLProbe probe = [] {
        GLProbe p;
        // The video subsystem and one hidden GL window stay until the process
        // ends: SDL unloads the GL driver with the last GL window, and
        // reloading it for every device is slow and leaves allocations of the
        // unloaded driver that no tool can attribute.
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return p;
        SetGLAttributes();
        SDL_Window* keeper = SDL_CreateWindow("halcyon2 d3d8 probe", SDL_WINDOWPOS_UNDEFINED,
                                              SDL_WINDOWPOS_UNDEFINED, 16, 16,
                                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!keeper)
            return p;
        SDL_GLContext context = SDL_GL_CreateContext(keeper);
        if (!context)
            return p;
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        int major = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        int minor = 0;
        glGetIntegerv(GL_MINOR_VERSION, &minor);
        p.usable = version && (major > 3 || (major == 3 && minor >= 3));
        p.renderer = renderer ? renderer : "OpenGL";
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &p.maxTextureSize);
        GLint count = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; i < count; ++i) {
            const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
            if (e && (std::strcmp(e, "GL_EXT_texture_compression_s3tc") == 0))
                p.s3tc = true;
        }
        SDL_GL_MakeCurrent(keeper, nullptr);
        SDL_GL_DeleteContext(context);
        g_current = nullptr;
        return p;
    }();
    return probe;
}

}  // namespace d3d8
