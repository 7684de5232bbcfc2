#include "d3d8/gl/glbatcher.h"

#include <algorithm>
#include <cstring>

#include "d3d8/gl/glattributes.h"
#include "d3d8/gl/gltexture.h"

namespace d3d8 {
namespace {

GLenum ModeOf(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

uint32_t IndexAt(const void* indices, bool wide, UINT i) {
    if (wide) {
        uint32_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(indices) + 4 * size_t(i), 4);
        return v;
    }
    uint16_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(indices) + 2 * size_t(i), 2);
    return v;
}

}  // namespace

GLStreamBuffer::GLStreamBuffer(GLBindCache& cache, size_t size) : cache_(cache), size_(size) {
    glGenBuffers(1, &name_);
    cache_.BindArrayBuffer(name_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
}

GLStreamBuffer::~GLStreamBuffer() {
    glDeleteBuffers(1, &name_);
    cache_.ForgetBuffer(name_);
}

size_t GLStreamBuffer::Write(const void* data, size_t bytes, size_t align) {
    size_t offset = (offset_ + align - 1) / align * align;
    cache_.BindArrayBuffer(name_);
    if (offset + bytes > size_) {
        size_ = std::max(size_, bytes * 2);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
        offset = 0;
    }
    void* target = glMapBufferRange(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
    if (target) {
        std::memcpy(target, data, bytes);
        glUnmapBuffer(GL_ARRAY_BUFFER);
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(bytes), data);
    }
    offset_ = offset + bytes;
    return offset;
}

GLBatcher::GLBatcher(GLBindCache& cache, GLFixedFunction& fixed, D3D8Stats& stats)
    : cache_(cache), fixed_(fixed), stats_(stats), streamVertices_(cache, 4u << 20), streamIndices_(cache, 1u << 20) {
    glGenVertexArrays(1, &vao_);
    cache_.BindVertexArray(vao_);
}

GLBatcher::~GLBatcher() { glDeleteVertexArrays(1, &vao_); }

void GLBatcher::ForgetVertexSource(GLuint buffer) {
    if (source_.buffer == buffer) source_ = VertexSource();
}

void GLBatcher::BindVertices(const FvfLayout& layout, GLuint buffer, UINT stride, size_t offset) {
    const VertexSource source{buffer, layout.fvf, stride, offset};
    if (source == source_) return;
    source_ = source;
    cache_.BindArrayBuffer(buffer);
    uint32_t enabled = 0;
    auto attribute = [&](GLuint location, int at, GLint size, GLenum type, bool normalized) {
        if (at < 0) return;
        glVertexAttribPointer(location, size, type, normalized ? GL_TRUE : GL_FALSE, GLsizei(stride),
                              reinterpret_cast<const void*>(offset + size_t(at)));
        enabled |= 1u << location;
    };
    attribute(ATTRIB_POSITION, layout.position, layout.rhw ? 4 : 3, GL_FLOAT, false);
    attribute(ATTRIB_NORMAL, layout.normal, 3, GL_FLOAT, false);
    attribute(ATTRIB_DIFFUSE, layout.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, true);
    attribute(ATTRIB_SPECULAR, layout.specular, GL_BGRA, GL_UNSIGNED_BYTE, true);
    for (UINT i = 0; i < layout.texCount; ++i)
        attribute(ATTRIB_TEX0 + i, layout.tex[i], GLint(layout.texSize[i]), GL_FLOAT, false);
    for (GLuint location = 0; location < ATTRIB_COUNT; ++location) {
        const uint32_t bit = 1u << location;
        if ((enabled & bit) && !(enabledArrays_ & bit))
            glEnableVertexAttribArray(location);
        else if (!(enabled & bit) && (enabledArrays_ & bit))
            glDisableVertexAttribArray(location);
    }
    enabledArrays_ = enabled;
}

size_t GLBatcher::Stream(GLStreamBuffer& buffer, const void* data, size_t bytes, size_t align) {
    stats_.bytesUploaded += bytes;
    return buffer.Write(data, bytes, align);
}

bool GLBatcher::Batchable(const DrawCall& call) { return call.userVertices && call.type >= D3DPT_TRIANGLELIST; }

void GLBatcher::Append(const DeviceState& state, const DrawCall& call) {
    const UINT vertices = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
    const size_t base = batchVertices_.size() / std::max(1u, batchStride_);
    if (batchState_ && (call.userStride != batchStride_ || base + vertices > 0xFFFF)) DrawBatch();
    if (!batchState_) {
        batchState_ = &state;
        batchStride_ = call.userStride;
        std::copy(std::begin(call.textures), std::end(call.textures), batchTextures_);
    }
    const size_t first = batchVertices_.size() / batchStride_;
    const size_t bytes = size_t(vertices) * batchStride_;
    batchVertices_.resize(batchVertices_.size() + bytes);
    std::memcpy(batchVertices_.data() + first * batchStride_, call.userVertices, bytes);
    // Everything becomes a triangle list of 16-bit indices.
    const UINT n = call.vertexCount;
    const UINT triangles = call.type == D3DPT_TRIANGLELIST ? n / 3 : n - 2;
    const size_t at = batchIndices_.size();
    batchIndices_.resize(at + size_t(triangles) * 3);
    uint16_t* out = batchIndices_.data() + at;
    auto index = [&](UINT i) -> uint16_t {
        return uint16_t(first + (call.indexed ? IndexAt(call.userIndices, call.userIndices32, i) : i));
    };
    for (UINT t = 0; t < triangles; ++t, out += 3) {
        switch (call.type) {
        case D3DPT_TRIANGLELIST: out[0] = index(3 * t), out[1] = index(3 * t + 1), out[2] = index(3 * t + 2); break;
        case D3DPT_TRIANGLESTRIP:
            // Every other triangle swaps its first two vertices, keeping the winding.
            out[0] = index(t + (t & 1)), out[1] = index(t + 1 - (t & 1)), out[2] = index(t + 2);
            break;
        default:  // fan
            out[0] = index(0), out[1] = index(t + 1), out[2] = index(t + 2);
            break;
        }
    }
}

void GLBatcher::DrawBatch() {
    if (!batchState_) return;
    const DeviceState& state = *batchState_;
    batchState_ = nullptr;
    if (!batchIndices_.empty() && fixed_.Apply(state, batchTextures_)) {
        const size_t vbOffset = Stream(streamVertices_, batchVertices_.data(), batchVertices_.size(), batchStride_);
        const size_t ibOffset = Stream(streamIndices_, batchIndices_.data(), batchIndices_.size() * 2, 2);
        BindVertices(state.layout, streamVertices_.Name(), batchStride_, 0);
        cache_.BindElementBuffer(streamIndices_.Name());
        glDrawElementsBaseVertex(GL_TRIANGLES, GLsizei(batchIndices_.size()), GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(ibOffset), GLint(vbOffset / batchStride_));
        ++stats_.glDraws;
    }
    batchVertices_.clear();
    batchIndices_.clear();
}

void GLBatcher::DrawUser(const DeviceState& state, const DrawCall& call) {
    const UINT vertices = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
    const size_t vbOffset =
        Stream(streamVertices_, call.userVertices, size_t(vertices) * call.userStride, call.userStride);
    BindVertices(state.layout, streamVertices_.Name(), call.userStride, 0);
    const GLint first = GLint(vbOffset / call.userStride);
    if (call.indexed) {
        const size_t size = call.userIndices32 ? 4 : 2;
        const size_t ibOffset = Stream(streamIndices_, call.userIndices, call.vertexCount * size, size);
        cache_.BindElementBuffer(streamIndices_.Name());
        glDrawElementsBaseVertex(ModeOf(call.type), GLsizei(call.vertexCount),
                                 call.userIndices32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(ibOffset), first);
    } else {
        glDrawArrays(ModeOf(call.type), first, GLsizei(call.vertexCount));
    }
    ++stats_.glDraws;
}

void GLBatcher::DrawBuffers(const DeviceState& state, const DrawCall& call) {
    auto* vb = static_cast<GLBuffer*>(call.vertexBuffer);
    BindVertices(state.layout, vb->Name(), call.vertexStride, 0);
    if (call.indexed) {
        auto* ib = static_cast<GLBuffer*>(call.indexBuffer);
        const UINT size = call.indexSize;
        cache_.BindElementBuffer(ib->Name());
        glDrawElementsBaseVertex(
            ModeOf(call.type), GLsizei(call.vertexCount), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
            reinterpret_cast<const void*>(size_t(call.startIndex) * size), GLint(call.baseVertexIndex));
    } else {
        glDrawArrays(ModeOf(call.type), GLint(call.startVertex), GLsizei(call.vertexCount));
    }
    ++stats_.glDraws;
}

}  // namespace d3d8
