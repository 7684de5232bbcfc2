#pragma once
// An OpenGL 3.3 core context on an SDL window: the window the device was
// given (through the Win32 stand-in) or, when there is none, a hidden window
// of the stand-in's own (offscreen under SDL's offscreen video driver, where
// SDL makes the context through EGL).
#include <windows.h>

#include <memory>
#include <string>

struct SDL_Window;

namespace d3d8 {

class GLContext {
public:
    // Null when no OpenGL 3.3 core context can be made.
    static std::unique_ptr<GLContext> Create(HWND window, int width, int height, bool fullScreen);
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    void MakeCurrent();
    void Swap();
    void SetSwapInterval(int interval);
    // Full screen covers the display; windowed gives the window back its
    // own size. Only for the program's window.
    void SetFullScreen(bool fullScreen);
    // The hidden window of our own follows the back buffer's size.
    void ResizeOwnWindow(int width, int height);
    int DrawableWidth() const;
    int DrawableHeight() const;
    bool OwnsWindow() const { return ownWindow_; }

private:
    GLContext() = default;

    SDL_Window* window_ = nullptr;
    bool ownWindow_ = false;
    struct {
        int x = 0, y = 0, w = 0, h = 0;
    } windowed_;  // where the window was before it covered the display
    void* context_ = nullptr;
    bool videoInit_ = false;
};

// What an OpenGL context on this machine offers (probed once per process).
struct GLProbe {
    bool usable = false;
    std::string renderer;
    int maxTextureSize = 0;
    bool s3tc = false;
};
const GLProbe& ProbeGL();

// Whether the current context offers the named extension.
bool GLHasExtension(const char* name);

// Sets the attributes every context of the stand-in asks for.
void SetGLAttributes();

}  // namespace d3d8
