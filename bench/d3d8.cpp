// The Direct3D 8 stand-in beside raw OpenGL on the same machine, and the
// trace back end's cost per call. Frame times include the rasteriser's work
// (glFinish) at 640x480 and 1280x720; the CPU column is the whole process
// (the rasteriser's threads included), steadier than wall time on a
// busy machine.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <d3d8.h>
#include <d3d8ext.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kFans = 20000;
constexpr int kLayers = 10;

struct TLVertex {
    float x, y, z, rhw;
    DWORD color;
};

struct ScreenVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z;
    DWORD color;
    float u, v;
};

// 8 x 8 pixel quads spread over the screen, reproducible.
std::vector<TLVertex> Quads(int width, int height) {
    std::vector<TLVertex> v;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int i = 0; i < kFans; ++i) {
        const float x = float(next() % uint32_t(width - 8));
        const float y = float(next() % uint32_t(height - 8));
        const DWORD c = 0xFF000000u | (next() & 0xFFFFFF);
        v.push_back({x, y, 0.5f, 1, c});
        v.push_back({x + 8, y, 0.5f, 1, c});
        v.push_back({x + 8, y + 8, 0.5f, 1, c});
        v.push_back({x, y + 8, 0.5f, 1, c});
    }
    return v;
}

struct Device {
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    Device(int width, int height) {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d) return;
        D3DPRESENT_PARAMETERS p = {};
        p.Windowed = TRUE;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferWidth = UINT(width);
        p.BackBufferHeight = UINT(height);
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D24S8;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device);
    }
    ~Device() {
        if (device) device->Release();
        if (d3d) d3d->Release();
    }
};

void Offscreen() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    D3D8Trace_Disable();
}

// ---------------------------------------------------------------------------

void BM_D3D8_UserPointerFans(benchmark::State& state) {
    Offscreen();
    const int w = int(state.range(0)), h = int(state.range(1));
    Device d(w, h);
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    const std::vector<TLVertex> quads = Quads(w, h);
    IDirect3DDevice8* dev = d.device;
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_ZENABLE, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        dev->BeginScene();
        for (int i = 0; i < kFans; ++i)
            dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, &quads[size_t(i) * 4], sizeof(TLVertex));
        dev->EndScene();
        D3D8Stats stats;
        D3D8_GetStats(dev, &stats);  // issues the batch
        glFinish();
    }
    state.counters["draws/frame"] = kFans;
}
BENCHMARK(BM_D3D8_UserPointerFans)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// Raw OpenGL: a context of its own, the same triangles as one list.
struct RawGL {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    RawGL(int w, int h) {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        window = SDL_CreateWindow("raw", 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        context = window ? SDL_GL_CreateContext(window) : nullptr;
        glViewport(0, 0, w, h);
    }
    ~RawGL() {
        if (context) SDL_GL_DeleteContext(context);
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    static GLuint Program(const char* vs, const char* fs) {
        auto compile = [](GLenum type, const char* text) {
            GLuint s = glCreateShader(type);
            glShaderSource(s, 1, &text, nullptr);
            glCompileShader(s);
            return s;
        };
        GLuint p = glCreateProgram();
        glAttachShader(p, compile(GL_VERTEX_SHADER, vs));
        glAttachShader(p, compile(GL_FRAGMENT_SHADER, fs));
        glLinkProgram(p);
        return p;
    }
};

void BM_RawGL_Triangles(benchmark::State& state) {
    Offscreen();
    const int w = int(state.range(0)), h = int(state.range(1));
    RawGL gl(w, h);
    if (!gl.context) {
        state.SkipWithError("no context");
        return;
    }
    const std::vector<TLVertex> quads = Quads(w, h);
    // Positions already in clip space: the cheapest possible vertex work.
    struct V {
        float x, y;
        DWORD color;
    };
    std::vector<V> list;
    auto ndc = [&](const TLVertex& v) {
        return V{(v.x + 0.5f) * 2.0f / float(w) - 1.0f, 1.0f - (v.y + 0.5f) * 2.0f / float(h), v.color};
    };
    for (int i = 0; i < kFans; ++i) {
        const TLVertex* q = &quads[size_t(i) * 4];
        for (int k : {0, 1, 2, 0, 2, 3}) list.push_back(ndc(q[k]));
    }
    GLuint program = RawGL::Program(
        "#version 330 core\nlayout(location=0) in vec2 p;\nlayout(location=1) in vec4 c;\n"
        "out vec4 vc;\nvoid main(){ vc = c; gl_Position = vec4(p, 0.0, 1.0); }\n",
        "#version 330 core\nin vec4 vc;\nout vec4 o;\nvoid main(){ o = vc; }\n");
    GLuint vao, vbo;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(V), nullptr);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(V), reinterpret_cast<void*>(8));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glUseProgram(program);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(list.size() * sizeof(V)), list.data(), GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(list.size()));
        glFinish();
    }
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteProgram(program);
}
BENCHMARK(BM_RawGL_Triangles)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------

std::vector<uint32_t> LayerTexels() {
    std::vector<uint32_t> texels(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            texels[size_t(y) * 256 + size_t(x)] =
                (uint32_t((x ^ y) & 0xFF) << 24) | (uint32_t(x) << 16) | (uint32_t(y) << 8) | 0x40;
    return texels;
}

void BM_D3D8_BlendedLayers(benchmark::State& state) {
    Offscreen();
    const int w = int(state.range(0)), h = int(state.range(1));
    Device d(w, h);
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* dev = d.device;
    IDirect3DTexture8* texture = nullptr;
    dev->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    const std::vector<uint32_t> texels = LayerTexels();
    std::memcpy(locked.pBits, texels.data(), texels.size() * 4);
    texture->UnlockRect(0);
    IDirect3DVertexBuffer8* vb = nullptr;
    dev->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, 322, D3DPOOL_MANAGED, &vb);
    BYTE* data;
    vb->Lock(0, 0, &data, 0);
    // The screen-space projection the show uses: z = 200 and x, y in
    // -200..200 cover the screen.
    const ScreenVertex quad[4] = {{-200, 200, 200, 0x80FFFFFF, 0, 0},
                                  {200, 200, 200, 0x80FFFFFF, 1, 0},
                                  {-200, -200, 200, 0x80FFFFFF, 0, 1},
                                  {200, -200, 200, 0x80FFFFFF, 1, 1}};
    std::memcpy(data, quad, sizeof quad);
    vb->Unlock();
    D3DMATRIX proj = {};
    proj._11 = proj._22 = proj._33 = proj._34 = 1;
    proj._43 = -1;
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_ZENABLE, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev->SetTexture(0, texture);
    dev->SetVertexShader(322);
    dev->SetStreamSource(0, vb, sizeof(ScreenVertex));
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        dev->BeginScene();
        for (int i = 0; i < kLayers; ++i) dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        dev->EndScene();
        glFinish();
    }
    vb->Release();
    texture->Release();
}
BENCHMARK(BM_D3D8_BlendedLayers)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_RawGL_BlendedLayers(benchmark::State& state) {
    Offscreen();
    const int w = int(state.range(0)), h = int(state.range(1));
    RawGL gl(w, h);
    if (!gl.context) {
        state.SkipWithError("no context");
        return;
    }
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const std::vector<uint32_t> texels = LayerTexels();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // The same vertices as the Direct3D layers: position, colour, uv.
    struct V {
        float x, y, u, v;
        DWORD color;
    };
    const V quad[4] = {
        {-1, 1, 0, 0, 0x80FFFFFF}, {1, 1, 1, 0, 0x80FFFFFF}, {-1, -1, 0, 1, 0x80FFFFFF}, {1, -1, 1, 1, 0x80FFFFFF}};
    GLuint program = RawGL::Program(
        "#version 330 core\nlayout(location=0) in vec4 p;\nlayout(location=1) in vec4 c;\n"
        "out vec2 uv;\nout vec4 vc;\n"
        "void main(){ uv = p.zw; vc = c; gl_Position = vec4(p.xy, 0.0, 1.0); }\n",
        "#version 330 core\nin vec2 uv;\nin vec4 vc;\nuniform sampler2D t;\nout vec4 o;\n"
        "void main(){ o = texture(t, uv) * vc; }\n");
    GLuint vao, vbo;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(V), nullptr);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(V), reinterpret_cast<void*>(16));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glUseProgram(program);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < kLayers; ++i) glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glFinish();
    }
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteTextures(1, &texture);
    glDeleteProgram(program);
}
BENCHMARK(BM_RawGL_BlendedLayers)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// The trace back end: what a call costs the stand-in itself, recorded or not.

void BM_Trace_CallCost(benchmark::State& state) {
    D3D8TraceConfig config;
    config.record = state.range(0) != 0;
    D3D8Trace_Enable(config);
    {
        Device d(640, 480);
        IDirect3DDevice8* dev = d.device;
        TLVertex quad[4] = {};
        dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        int n = 0;
        for (auto _ : state) {
            // Four calls: two state changes, a stage state and a draw.
            dev->SetRenderState(D3DRS_ZENABLE, DWORD(n & 1));
            dev->SetRenderState(D3DRS_TEXTUREFACTOR, DWORD(n));
            dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TLVertex));
            if (++n == 4096 && config.record) {
                D3D8Trace_Clear();
                n = 0;
            }
        }
        state.SetItemsProcessed(state.iterations() * 4);
    }
    D3D8Trace_Disable();
}
BENCHMARK(BM_Trace_CallCost)->Arg(0)->Arg(1);

}  // namespace
