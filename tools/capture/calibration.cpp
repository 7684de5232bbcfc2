#include "calibration.h"

#include <win32sdl.h>

#include "d3d8/gl/glcontext.h"

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr char kVertexShader[] = R"(#version 330 core
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 uv;
uniform vec2 scale;
out vec2 texCoord;
void main() {
    texCoord = uv;
    gl_Position = vec4(position * scale - 1.0, 0.0, 1.0);
}
)";

constexpr char kFragmentShader[] = R"(#version 330 core
uniform sampler2D picture;
uniform vec4 tint;
in vec2 texCoord;
out vec4 color;
void main() { color = texture(picture, texCoord) * tint; }
)";

// The mesh: a grid of cells of two triangles, small enough that setting up
// a triangle costs far more than shading its one or two fragments.
constexpr int kMeshColumns = 256, kMeshRows = 192;
constexpr int kTextureSize = 256;

struct Vertex {
    float x, y, u, v;
};

GLuint Compile(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

GLuint Link() {
    const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

void VertexLayout() {
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<const void*>(2 * sizeof(float)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
}

// Seconds fn takes once GL has finished what it queued, best of runs.
template <typename Fn>
double BestSeconds(int runs, Fn fn) {
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        glFinish();
        const auto start = std::chrono::steady_clock::now();
        fn();
        glFinish();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

std::unique_ptr<Calibrator> Calibrator::Create(int width, int height, std::string& error) {
    std::unique_ptr<Calibrator> c(new Calibrator(width, height));
    if (!c->Setup(error)) return nullptr;
    return c;
}

bool Calibrator::Setup(std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("no video: ") + SDL_GetError();
        return false;
    }
    videoInit_ = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    window_ = SDL_CreateWindow("halcyon2 calibration", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width_,
                               height_, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window_) context_ = SDL_GL_CreateContext(window_);
    if (!context_) {
        error = std::string("no OpenGL 3.3 core context: ") + SDL_GetError();
        return false;
    }
    SDL_GL_MakeCurrent(window_, context_);
    // The driver then stays loaded after this context goes, as it does for
    // the show's own: the leak check can tell its allocations from ours.
    Win32PinLoadedModules();
    program_ = Link();
    if (!program_) {
        error = "the calibration's shaders do not build";
        return false;
    }
    glUseProgram(program_);
    glUniform2f(glGetUniformLocation(program_, "scale"), 2.0f / float(width_), 2.0f / float(height_));
    glUniform4f(glGetUniformLocation(program_, "tint"), 1.0f, 1.0f, 1.0f, 0.5f);
    glUniform1i(glGetUniformLocation(program_, "picture"), 0);

    // A target of exactly the frame size, whatever the window's drawable is.
    glGenRenderbuffers(1, &colorBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    glViewport(0, 0, width_, height_);

    // A busy picture, so texture reads cannot be answered from one texel.
    std::vector<uint32_t> texels(size_t(kTextureSize) * kTextureSize);
    uint32_t seed = 12345;
    for (uint32_t& t : texels) t = (seed = seed * 1664525u + 1013904223u) | 0xFF000000u;
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSize, kTextureSize, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    // The quad maps texels about one to one, as the show's layers do.
    const float w = float(width_), h = float(height_), s = float(kTextureSize);
    const Vertex quad[4] = {{0, 0, 0, 0}, {w, 0, w / s, 0}, {0, h, 0, h / s}, {w, h, w / s, h / s}};
    glGenVertexArrays(1, &quadArray_);
    glBindVertexArray(quadArray_);
    glGenBuffers(1, &quadBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    VertexLayout();
    MakeMesh();
    glGenQueries(1, &query_);
    countsShaded_ = d3d8::GLHasExtension("GL_ARB_pipeline_statistics_query");
    return true;
}

void Calibrator::MakeMesh() {
    const float cell = std::min({2.0f, float(width_) / kMeshColumns, float(height_) / kMeshRows});
    std::vector<Vertex> vertices;
    for (int y = 0; y <= kMeshRows; ++y)
        for (int x = 0; x <= kMeshColumns; ++x)
            vertices.push_back({float(x) * cell, float(y) * cell, float(x) / 32.0f, float(y) / 32.0f});
    std::vector<uint32_t> indices;
    for (int y = 0; y < kMeshRows; ++y)
        for (int x = 0; x < kMeshColumns; ++x) {
            const uint32_t a = uint32_t(y * (kMeshColumns + 1) + x), b = a + 1, c = a + kMeshColumns + 1, d = c + 1;
            indices.insert(indices.end(), {a, b, c, c, b, d});
        }
    meshIndices_ = int(indices.size());
    glGenVertexArrays(1, &meshArray_);
    glBindVertexArray(meshArray_);
    glGenBuffers(2, meshBuffers_);
    glBindBuffer(GL_ARRAY_BUFFER, meshBuffers_[0]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vertex)), vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, meshBuffers_[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 4), indices.data(), GL_STATIC_DRAW);
    VertexLayout();
}

Calibrator::~Calibrator() {
    if (context_) {
        SDL_GL_MakeCurrent(window_, context_);
        glDeleteQueries(1, &query_);
        glDeleteBuffers(2, meshBuffers_);
        glDeleteBuffers(1, &quadBuffer_);
        glDeleteVertexArrays(1, &meshArray_);
        glDeleteVertexArrays(1, &quadArray_);
        glDeleteTextures(1, &texture_);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colorBuffer_);
        glDeleteProgram(program_);
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    if (window_) SDL_DestroyWindow(window_);
    if (videoInit_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Fragments fn shades, counted the way the profile counts a frame's: shader
// invocations where the driver counts them, else samples that pass.
template <typename Fn>
double Calibrator::Shaded(Fn fn) {
    const GLenum target = countsShaded_ ? GL_FRAGMENT_SHADER_INVOCATIONS : GL_SAMPLES_PASSED;
    glBeginQuery(target, query_);
    fn();
    glEndQuery(target);
    GLuint64 fragments = 0;
    glGetQueryObjectui64v(query_, GL_QUERY_RESULT, &fragments);
    return double(fragments);
}

double Calibrator::NsPerFragment(double fragments, int runs) {
    const int layers = std::max(4, int(fragments / (double(width_) * height_)));
    SDL_GL_MakeCurrent(window_, context_);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindVertexArray(quadArray_);
    auto draw = [&] {
        for (int i = 0; i < layers; ++i) glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    };
    const double seconds = BestSeconds(runs, draw);
    return seconds * 1e9 / Shaded(draw);
}

double Calibrator::NsPerTriangle(double nsPerFragment, int draws, int runs) {
    SDL_GL_MakeCurrent(window_, context_);
    glDisable(GL_BLEND);
    glBindVertexArray(meshArray_);
    auto draw = [&] {
        for (int i = 0; i < draws; ++i) glDrawElements(GL_TRIANGLES, meshIndices_, GL_UNSIGNED_INT, nullptr);
    };
    const double seconds = BestSeconds(runs, draw);
    const double triangles = double(draws) * MeshTriangles();
    return std::max(0.0, seconds * 1e9 - Shaded(draw) * nsPerFragment) / triangles;
}

Calibration Calibrator::Measure() {
    Calibration c;
    c.nsPerFragment = NsPerFragment();
    c.nsPerTriangle = NsPerTriangle(c.nsPerFragment);
    c.shaded = countsShaded_;
    return c;
}

Calibration Better(const Calibration& a, const Calibration& b) {
    return {std::min(a.nsPerFragment, b.nsPerFragment), std::min(a.nsPerTriangle, b.nsPerTriangle), a.shaded};
}

bool Calibrate(int width, int height, Calibration& result, std::string& error) {
    SDL_Window* const window = SDL_GL_GetCurrentWindow();
    const SDL_GLContext context = SDL_GL_GetCurrentContext();
    if (context) glFinish();
    bool made = false;
    {
        std::unique_ptr<Calibrator> calibrator = Calibrator::Create(width, height, error);
        if (calibrator) {
            result = calibrator->Measure();
            made = true;
        }
    }
    if (context) SDL_GL_MakeCurrent(window, context);
    return made;
}
