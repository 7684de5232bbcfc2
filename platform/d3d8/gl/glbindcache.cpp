#include "d3d8/gl/glbindcache.h"

namespace d3d8 {

void GLBindCache::Reset() {
    *this = GLBindCache();
    // Make GL match the defaults the cache now assumes.
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glBlendEquation(GL_FUNC_ADD);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glDisable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 0, 0xFFFFFFFF);
    glStencilMask(0xFFFFFFFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glDisable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_SCISSOR_TEST);
    known_ = true;
}

#define CACHED(field, value, call) \
    do {                           \
        if ((field) == (value)) {  \
            ++saved_;              \
        } else {                   \
            (field) = (value);     \
            ++calls_;              \
            call;                  \
        }                          \
    } while (0)

void GLBindCache::UseProgram(GLuint program) { CACHED(program_, program, (glUseProgram(program), ++programBinds_)); }
void GLBindCache::BindVertexArray(GLuint vao) {
    if (vao_ != vao) elementBuffer_ = ~0u;  // each vertex array has its own element binding
    CACHED(vao_, vao, glBindVertexArray(vao));
}
void GLBindCache::BindArrayBuffer(GLuint buffer) {
    CACHED(arrayBuffer_, buffer, glBindBuffer(GL_ARRAY_BUFFER, buffer));
}
void GLBindCache::BindElementBuffer(GLuint buffer) {
    CACHED(elementBuffer_, buffer, glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer));
}
void GLBindCache::BindFramebuffer(GLuint framebuffer) {
    if (readFramebuffer_ == framebuffer && drawFramebuffer_ == framebuffer) {
        ++saved_;
        return;
    }
    readFramebuffer_ = drawFramebuffer_ = framebuffer;
    ++calls_;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}
void GLBindCache::BindReadFramebuffer(GLuint framebuffer) {
    CACHED(readFramebuffer_, framebuffer, glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer));
}
void GLBindCache::BindDrawFramebuffer(GLuint framebuffer) {
    CACHED(drawFramebuffer_, framebuffer, glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer));
}
void GLBindCache::BindRenderbuffer(GLuint renderbuffer) {
    CACHED(renderbuffer_, renderbuffer, glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer));
}

void GLBindCache::ActiveUnit(int unit) { CACHED(unit_, unit, glActiveTexture(GLenum(GL_TEXTURE0 + unit))); }

void GLBindCache::BindTexture(int unit, GLuint texture) {
    if (textures_[unit] == texture) {
        ++saved_;
        return;
    }
    ActiveUnit(unit);
    textures_[unit] = texture;
    ++calls_;
    ++textureBinds_;
    glBindTexture(GL_TEXTURE_2D, texture);
}

void GLBindCache::BindSampler(int unit, GLuint sampler) {
    CACHED(samplers_[unit], sampler, glBindSampler(GLuint(unit), sampler));
}

void GLBindCache::Viewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    if (viewport_[0] == x && viewport_[1] == y && viewport_[2] == w && viewport_[3] == h) {
        ++saved_;
        return;
    }
    viewport_[0] = x, viewport_[1] = y, viewport_[2] = w, viewport_[3] = h;
    ++calls_;
    glViewport(x, y, w, h);
}

void GLBindCache::DepthRange(float near, float far) {
    if (depthRange_[0] == near && depthRange_[1] == far) {
        ++saved_;
        return;
    }
    depthRange_[0] = near, depthRange_[1] = far;
    ++calls_;
    glDepthRange(near, far);
}

void GLBindCache::Scissor(bool enable, GLint x, GLint y, GLsizei w, GLsizei h) {
    if (enable != scissor_) {
        scissor_ = enable;
        ++calls_;
        if (enable)
            glEnable(GL_SCISSOR_TEST);
        else
            glDisable(GL_SCISSOR_TEST);
    }
    if (enable && !(scissorBox_[0] == x && scissorBox_[1] == y && scissorBox_[2] == w && scissorBox_[3] == h)) {
        scissorBox_[0] = x, scissorBox_[1] = y, scissorBox_[2] = w, scissorBox_[3] = h;
        ++calls_;
        glScissor(x, y, w, h);
    }
}

static void Enable(GLenum cap, bool on) {
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

void GLBindCache::SetBlend(const BlendState& s) {
    if (s == blend_ || (!s.enable && !blend_.enable)) {
        ++saved_;
        return;
    }
    if (s.enable != blend_.enable) Enable(GL_BLEND, s.enable);
    if (s.enable && (s.src != blend_.src || s.dst != blend_.dst)) glBlendFunc(s.src, s.dst);
    if (s.enable && s.equation != blend_.equation) glBlendEquation(s.equation);
    ++calls_;
    if (s.enable)
        blend_ = s;
    else
        blend_.enable = false;
}

void GLBindCache::SetDepth(const DepthState& s) {
    if (s == depth_) {
        ++saved_;
        return;
    }
    if (s.test != depth_.test) Enable(GL_DEPTH_TEST, s.test);
    if (s.write != depth_.write) glDepthMask(s.write ? GL_TRUE : GL_FALSE);
    if (s.func != depth_.func) glDepthFunc(s.func);
    ++calls_;
    depth_ = s;
}

void GLBindCache::SetStencil(const StencilState& s) {
    if (s == stencil_) {
        ++saved_;
        return;
    }
    if (s.enable != stencil_.enable) Enable(GL_STENCIL_TEST, s.enable);
    if (s.func != stencil_.func || s.ref != stencil_.ref || s.readMask != stencil_.readMask)
        glStencilFunc(s.func, s.ref, s.readMask);
    if (s.writeMask != stencil_.writeMask) glStencilMask(s.writeMask);
    if (s.fail != stencil_.fail || s.zfail != stencil_.zfail || s.pass != stencil_.pass)
        glStencilOp(s.fail, s.zfail, s.pass);
    ++calls_;
    stencil_ = s;
}

void GLBindCache::SetRaster(const RasterState& s) {
    if (s == raster_) {
        ++saved_;
        return;
    }
    if (s.cull != raster_.cull) Enable(GL_CULL_FACE, s.cull);
    if (s.cullFace != raster_.cullFace) glCullFace(s.cullFace);
    if (s.polygonMode != raster_.polygonMode) glPolygonMode(GL_FRONT_AND_BACK, s.polygonMode);
    if (s.colorMask != raster_.colorMask)
        glColorMask(s.colorMask & 1, (s.colorMask >> 1) & 1, (s.colorMask >> 2) & 1, (s.colorMask >> 3) & 1);
    ++calls_;
    raster_ = s;
}

void GLBindCache::ForgetTexture(GLuint texture) {
    for (GLuint& t : textures_)
        if (t == texture) t = 0;
}

void GLBindCache::ForgetFramebuffer(GLuint framebuffer) {
    // GL binds 0 in place of a deleted framebuffer that was bound.
    if (readFramebuffer_ == framebuffer) readFramebuffer_ = 0;
    if (drawFramebuffer_ == framebuffer) drawFramebuffer_ = 0;
}

void GLBindCache::ForgetRenderbuffer(GLuint renderbuffer) {
    if (renderbuffer_ == renderbuffer) renderbuffer_ = 0;
}

void GLBindCache::ForgetBuffer(GLuint buffer) {
    if (arrayBuffer_ == buffer) arrayBuffer_ = 0;
    if (elementBuffer_ == buffer) elementBuffer_ = 0;
}

}  // namespace d3d8
