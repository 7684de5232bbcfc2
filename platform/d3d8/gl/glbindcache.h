#pragma once
// Every GL binding and fixed pipeline setting goes through here: the cache
// compares with what GL already has and calls GL only on a difference,
// counting the calls it made and saved.
#include <cstdint>

#include "d3d8/gl/gl.h"

namespace d3d8 {

struct BlendState {
    bool enable = false;
    GLenum src = GL_ONE, dst = GL_ZERO, equation = GL_FUNC_ADD;
    bool operator==(const BlendState&) const = default;
};

struct DepthState {
    bool test = false;
    bool write = true;
    GLenum func = GL_LESS;
    bool operator==(const DepthState&) const = default;
};

struct StencilState {
    bool enable = false;
    GLenum func = GL_ALWAYS;
    GLint ref = 0;
    GLuint readMask = 0xFFFFFFFF, writeMask = 0xFFFFFFFF;
    GLenum fail = GL_KEEP, zfail = GL_KEEP, pass = GL_KEEP;
    bool operator==(const StencilState&) const = default;
};

struct RasterState {
    bool cull = false;
    GLenum cullFace = GL_BACK;
    GLenum polygonMode = GL_FILL;
    uint8_t colorMask = 0xF;  // bit 0 red .. bit 3 alpha
    bool operator==(const RasterState&) const = default;
};

class GLBindCache {
public:
    void Reset();  // forget everything: GL state is unknown

    void UseProgram(GLuint program);
    void BindVertexArray(GLuint vao);
    void BindArrayBuffer(GLuint buffer);
    void BindElementBuffer(GLuint buffer);  // part of the vertex array's state
    void BindTexture(int unit, GLuint texture);
    void BindSampler(int unit, GLuint sampler);
    void BindFramebuffer(GLuint framebuffer);  // for both reading and drawing
    void BindReadFramebuffer(GLuint framebuffer);
    void BindDrawFramebuffer(GLuint framebuffer);
    void BindRenderbuffer(GLuint renderbuffer);
    void Viewport(GLint x, GLint y, GLsizei w, GLsizei h);
    void DepthRange(float near, float far);
    void Scissor(bool enable, GLint x = 0, GLint y = 0, GLsizei w = 0, GLsizei h = 0);
    void SetBlend(const BlendState& state);
    void SetDepth(const DepthState& state);
    void SetStencil(const StencilState& state);
    void SetRaster(const RasterState& state);
    // Textures deleted elsewhere must not be thought bound.
    void ForgetTexture(GLuint texture);
    void ForgetBuffer(GLuint buffer);
    void ForgetFramebuffer(GLuint framebuffer);
    void ForgetRenderbuffer(GLuint renderbuffer);

    uint64_t Calls() const { return calls_; }
    uint64_t Saved() const { return saved_; }
    uint64_t ProgramBinds() const { return programBinds_; }
    uint64_t TextureBinds() const { return textureBinds_; }

private:
    void ActiveUnit(int unit);

    bool known_ = false;
    GLuint program_ = 0, vao_ = 0, arrayBuffer_ = 0, elementBuffer_ = 0;
    GLuint readFramebuffer_ = 0, drawFramebuffer_ = 0, renderbuffer_ = 0;
    GLuint textures_[8] = {}, samplers_[8] = {};
    int unit_ = 0;
    GLint viewport_[4] = {-1, -1, -1, -1};
    float depthRange_[2] = {-1, -1};
    bool scissor_ = false;
    GLint scissorBox_[4] = {-1, -1, -1, -1};
    BlendState blend_;
    DepthState depth_;
    StencilState stencil_;
    RasterState raster_;
    uint64_t calls_ = 0, saved_ = 0;
    uint64_t programBinds_ = 0, textureBinds_ = 0;
};

}  // namespace d3d8
