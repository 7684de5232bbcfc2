#include "d3d8/gl/gltexture.h"

#include <algorithm>
#include <cstring>

#include "d3d8/formatinfo.h"
#include "d3d8/gl/gldevice.h"

namespace d3d8 {

bool GLFormatOf(D3DFORMAT format, bool s3tc, GLFormat& f) {
    f = GLFormat();
    switch (format) {
    case D3DFMT_A8R8G8B8: f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV}; return true;
    case D3DFMT_X8R8G8B8: f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, true}; return true;
    case D3DFMT_R8G8B8: f = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE}; return true;
    case D3DFMT_R5G6B5: f = {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case D3DFMT_X1R5G5B5: f = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, true}; return true;
    case D3DFMT_A1R5G5B5: f = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; return true;
    case D3DFMT_A4R4G4B4: f = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; return true;
    case D3DFMT_X4R4G4B4: f = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, true}; return true;
    case D3DFMT_R3G3B2: f = {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2}; return true;
    case D3DFMT_A8R3G3B2: f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, false, true}; return true;
    case D3DFMT_DXT1: f = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, true}; return s3tc;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3: f = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, true}; return s3tc;
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: f = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, true}; return s3tc;
    default: return false;
    }
}

namespace {

// 3 bits to 8 and 2 bits to 8 the way a GL implementation widens them.
uint8_t Widen(unsigned value, unsigned bits) {
    const unsigned max = (1u << bits) - 1;
    return uint8_t((value * 255 + max / 2) / max);
}

}  // namespace

GLTexture::GLTexture(GLDevice& device, const TextureDesc& desc, const GLFormat& format)
    : device_(device), desc_(desc), format_(format) {
    device_.MakeCurrent();
    glGenTextures(1, &name_);
    device_.Cache().BindTexture(0, name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(desc.levels) - 1);
    if (format_.opaque) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    const FormatInfo* info = FindFormat(desc.format);
    UINT w = desc.width, h = desc.height;
    for (UINT level = 0; level < desc.levels; ++level) {
        if (format_.compressed) {
            std::vector<uint8_t> zero(FormatLevelSize(*info, w, h), 0);
            glCompressedTexImage2D(GL_TEXTURE_2D, GLint(level), format_.internal, GLsizei(w), GLsizei(h), 0,
                                   GLsizei(zero.size()), zero.data());
        } else {
            glTexImage2D(GL_TEXTURE_2D, GLint(level), GLint(format_.internal), GLsizei(w), GLsizei(h), 0,
                         format_.format, format_.type, nullptr);
        }
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
}

GLTexture::~GLTexture() {
    device_.MakeCurrent();
    device_.Cache().ForgetTexture(name_);
    glDeleteTextures(1, &name_);
}

void GLTexture::Upload(UINT level, const TextureLevelView& data, const RECT& dirty) {
    device_.MakeCurrent();
    device_.Cache().BindTexture(0, name_);
    const FormatInfo* info = FindFormat(desc_.format);
    device_.CountTextureUpload(
        format_.expandA8R3G3B2
            ? size_t(dirty.right - dirty.left) * size_t(dirty.bottom - dirty.top) * 4
            : FormatUploadSize(*info, data.width, data.height, dirty.left, dirty.top, dirty.right, dirty.bottom));
    if (format_.compressed) {
        glCompressedTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(data.width), GLsizei(data.height),
                                  format_.internal, GLsizei(FormatLevelSize(*info, data.width, data.height)),
                                  data.bits);
        return;
    }
    const UINT x = UINT(dirty.left), y = UINT(dirty.top);
    const UINT w = UINT(dirty.right - dirty.left), h = UINT(dirty.bottom - dirty.top);
    if (format_.expandA8R3G3B2) {
        scratch_.resize(size_t(w) * h * 4);
        for (UINT row = 0; row < h; ++row) {
            const uint8_t* src = data.bits + (y + row) * data.pitch + x * 2;
            uint8_t* dst = scratch_.data() + size_t(row) * w * 4;
            for (UINT col = 0; col < w; ++col) {
                const unsigned v = src[2 * col] | (src[2 * col + 1] << 8);
                dst[4 * col + 0] = Widen(v & 3, 2);         // blue
                dst[4 * col + 1] = Widen((v >> 2) & 7, 3);  // green
                dst[4 * col + 2] = Widen((v >> 5) & 7, 3);  // red
                dst[4 * col + 3] = uint8_t(v >> 8);         // alpha
            }
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexSubImage2D(GL_TEXTURE_2D, GLint(level), GLint(x), GLint(y), GLsizei(w), GLsizei(h), format_.format,
                        format_.type, scratch_.data());
        return;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(data.pitch / info->bytesPerPixel));
    glTexSubImage2D(GL_TEXTURE_2D, GLint(level), GLint(x), GLint(y), GLsizei(w), GLsizei(h), format_.format,
                    format_.type, data.bits + y * data.pitch + x * info->bytesPerPixel);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

GLBuffer::GLBuffer(GLDevice& device, UINT size, bool) : device_(device), size_(size) {
    device_.MakeCurrent();
    glGenBuffers(1, &name_);
    device_.Cache().BindArrayBuffer(name_);
    glBufferData(GL_ARRAY_BUFFER, size_, nullptr, GL_STATIC_DRAW);
}

GLBuffer::~GLBuffer() {
    device_.MakeCurrent();
    device_.Cache().ForgetBuffer(name_);
    device_.ForgetVertexSource(name_);
    glDeleteBuffers(1, &name_);
}

void GLBuffer::Upload(const uint8_t* data, UINT offset, UINT size, bool discard) {
    device_.MakeCurrent();
    const bool whole = discard || (offset == 0 && size == size_);
    device_.CountBufferUpload(whole ? size_ : size);
    // Index buffers are filled through the array target too: the element
    // binding belongs to the vertex array and would disturb the draw state.
    device_.Cache().BindArrayBuffer(name_);
    if (whole) {
        // New contents for the whole buffer go into a fresh store. Handing
        // them to glBufferData would let a driver reuse the store in place,
        // and a software rasteriser then waits for every queued frame that
        // still reads it: a stall per buffer per frame for anything
        // refilled each frame. A store given no data is simply replaced.
        glBufferData(GL_ARRAY_BUFFER, size_, nullptr, GL_DYNAMIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, size_, data);
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, offset, size, data);
    }
}

}  // namespace d3d8
