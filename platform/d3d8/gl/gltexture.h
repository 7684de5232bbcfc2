#pragma once
// Textures and buffers of the GL back end, and how each Direct3D texture
// format reaches OpenGL.
#include <cstdint>
#include <vector>

#include "d3d8/backend.h"
#include "d3d8/gl/gl.h"

namespace d3d8 {

class GLDevice;

struct GLFormat {
    GLenum internal = 0;
    GLenum format = 0;
    GLenum type = 0;
    bool compressed = false;
    bool opaque = false;          // X formats: alpha reads as one
    bool expandA8R3G3B2 = false;  // no GL type holds it: widened to 8 bits on upload
};

// False for formats the GL back end cannot make textures of.
bool GLFormatOf(D3DFORMAT format, bool s3tc, GLFormat& out);

class GLTexture final : public BackendResource {
public:
    GLTexture(GLDevice& device, const TextureDesc& desc, const GLFormat& format);
    ~GLTexture() override;

    GLuint Name() const { return name_; }
    void Upload(UINT level, const TextureLevelView& data, const RECT& dirty);

private:
    GLDevice& device_;
    TextureDesc desc_;
    GLFormat format_;
    GLuint name_ = 0;
    std::vector<uint8_t> scratch_;
};

class GLBuffer final : public BackendResource {
public:
    GLBuffer(GLDevice& device, UINT size, bool index);
    ~GLBuffer() override;

    GLuint Name() const { return name_; }
    void Upload(const uint8_t* data, UINT offset, UINT size, bool discard);

private:
    GLDevice& device_;
    GLuint name_ = 0;
    UINT size_;
};

}  // namespace d3d8
