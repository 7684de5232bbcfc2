#include "d3d8/gl/gldevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d8/gl/glattributes.h"
#include "d3d8/gl/gltexture.h"
#include "d3d8/matrix.h"
#include "d3d8/presentparams.h"

namespace d3d8 {
namespace {

// Direct3D samples pixels at integer coordinates, OpenGL at half-integers.
// Slightly less than half a pixel keeps edges that fall exactly on pixel
// centres on the side the top-left fill rule puts them.
constexpr float kPixelShift = 0.5f * 63.0f / 64.0f;

void ColorOf(D3DCOLOR c, float out[4])
{
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

void ColorOf(const D3DCOLORVALUE& c, float out[4])
{
    out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = c.a;
}

float FloatOf(DWORD bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

GLenum CompareOf(DWORD func)
{
    static const GLenum kFuncs[9] = {GL_ALWAYS, GL_NEVER,  GL_LESS,     GL_EQUAL, GL_LEQUAL,
                                     GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return func <= 8 ? kFuncs[func] : GL_ALWAYS;
}

GLenum StencilOpOf(DWORD op)
{
    static const GLenum kOps[9] = {GL_KEEP,   GL_KEEP,   GL_ZERO,      GL_REPLACE, GL_INCR,
                                   GL_DECR,   GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op <= 8 ? kOps[op] : GL_KEEP;
}

GLenum BlendOf(DWORD blend)
{
    static const GLenum kFactors[12] = {GL_ONE,
                                        GL_ZERO,
                                        GL_ONE,
                                        GL_SRC_COLOR,
                                        GL_ONE_MINUS_SRC_COLOR,
                                        GL_SRC_ALPHA,
                                        GL_ONE_MINUS_SRC_ALPHA,
                                        GL_DST_ALPHA,
                                        GL_ONE_MINUS_DST_ALPHA,
                                        GL_DST_COLOR,
                                        GL_ONE_MINUS_DST_COLOR,
                                        GL_SRC_ALPHA_SATURATE};
    return blend <= 11 ? kFactors[blend] : GL_ONE;
}

GLenum AddressOf(DWORD address)
{
    switch (address) {
    case D3DTADDRESS_MIRROR:
    case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

GLenum ModeOf(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

bool Invert3(const float m[9], float out[9])
{
    const float c0 = m[4] * m[8] - m[5] * m[7];
    const float c1 = m[5] * m[6] - m[3] * m[8];
    const float c2 = m[3] * m[7] - m[4] * m[6];
    const float det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (std::fabs(det) < 1e-30f)
        return false;
    const float r = 1.0f / det;
    out[0] = c0 * r;
    out[1] = (m[2] * m[7] - m[1] * m[8]) * r;
    out[2] = (m[1] * m[5] - m[2] * m[4]) * r;
    out[3] = c1 * r;
    out[4] = (m[0] * m[8] - m[2] * m[6]) * r;
    out[5] = (m[2] * m[3] - m[0] * m[5]) * r;
    out[6] = c2 * r;
    out[7] = (m[1] * m[6] - m[0] * m[7]) * r;
    out[8] = (m[0] * m[4] - m[1] * m[3]) * r;
    return true;
}

uint32_t IndexAt(const void* indices, bool wide, UINT i)
{
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

// ---------------------------------------------------------------------------

GLStreamBuffer::GLStreamBuffer(GLBindCache& cache, size_t size) : cache_(cache), size_(size)
{
    glGenBuffers(1, &name_);
    cache_.BindArrayBuffer(name_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
}

GLStreamBuffer::~GLStreamBuffer()
{
    glDeleteBuffers(1, &name_);
    cache_.ForgetBuffer(name_);
}

size_t GLStreamBuffer::Write(const void* data, size_t bytes, size_t align)
{
    size_t offset = (offset_ + align - 1) / align * align;
    cache_.BindArrayBuffer(name_);
    if (offset + bytes > size_) {
        size_ = std::max(size_, bytes * 2);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
        offset = 0;
    }
    void* target = glMapBufferRange(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT |
                                        GL_MAP_INVALIDATE_RANGE_BIT);
    if (target) {
        std::memcpy(target, data, bytes);
        glUnmapBuffer(GL_ARRAY_BUFFER);
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(bytes), data);
    }
    offset_ = offset + bytes;
    return offset;
}

// ---------------------------------------------------------------------------

GLDevice::GLDevice(std::unique_ptr<GLContext> context, const D3DPRESENT_PARAMETERS& params,
                   bool s3tc)
    : context_(std::move(context)), width_(params.BackBufferWidth),
      height_(params.BackBufferHeight), depthBuffer_(params.EnableAutoDepthStencil != FALSE),
      stencilBuffer_(params.EnableAutoDepthStencil &&
                     FormatHasStencil(params.AutoDepthStencilFormat)),
      s3tc_(s3tc)
{
    MakeCurrent();
    cache_.Reset();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGenVertexArrays(1, &vao_);
    cache_.BindVertexArray(vao_);
    glGenSamplers(kStages, samplers_);
    for (int i = 0; i < kStages; ++i)
        cache_.BindSampler(i, samplers_[i]);
    streamVertices_ = std::make_unique<GLStreamBuffer>(cache_, 4u << 20);
    streamIndices_ = std::make_unique<GLStreamBuffer>(cache_, 1u << 20);
    CreateTarget();
    SetSwapInterval(params);
    uniforms_.pixelOffset[0] = 0;
}

void GLDevice::SetSwapInterval(const D3DPRESENT_PARAMETERS& params)
{
    // A windowed device presents at once; a full-screen one waits for the
    // vertical blank (or as its swap effect asks).
    const bool vsync = !params.Windowed || params.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    context_->SetSwapInterval(vsync && params.FullScreen_PresentationInterval !=
                                           D3DPRESENT_INTERVAL_IMMEDIATE
                                  ? 1
                                  : 0);
}

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS& params)
{
    MakeCurrent();
    Flush();
    context_->SetFullScreen(!params.Windowed);
    CompletePresentParams(params, UINT(std::max(1, context_->DrawableWidth())),
                          UINT(std::max(1, context_->DrawableHeight())), D3DFMT_UNKNOWN);
    DeleteTarget();
    width_ = params.BackBufferWidth;
    height_ = params.BackBufferHeight;
    depthBuffer_ = params.EnableAutoDepthStencil != FALSE;
    stencilBuffer_ = depthBuffer_ && FormatHasStencil(params.AutoDepthStencilFormat);
    context_->ResizeOwnWindow(int(width_), int(height_));
    CreateTarget();
    SetSwapInterval(params);
    keyValid_ = false;  // the program depends on whether there is a depth buffer
    pipelineInvalid_ = true;
    return D3D_OK;
}

GLDevice::~GLDevice()
{
    MakeCurrent();
    for (GLsync& fence : frameFences_)
        if (fence)
            glDeleteSync(fence);
    programs_ = GLProgramCache();
    streamVertices_.reset();
    streamIndices_.reset();
    glDeleteSamplers(kStages, samplers_);
    glDeleteVertexArrays(1, &vao_);
    DeleteTarget();
}

void GLDevice::DeleteTarget()
{
    if (framebuffer_) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colorBuffer_);
        glDeleteRenderbuffers(1, &depthStencilBuffer_);
        cache_.ForgetFramebuffer(framebuffer_);
        cache_.ForgetRenderbuffer(colorBuffer_);
        cache_.ForgetRenderbuffer(depthStencilBuffer_);
    }
    if (frontFramebuffer_) {
        glDeleteFramebuffers(1, &frontFramebuffer_);
        glDeleteRenderbuffers(1, &frontBuffer_);
        cache_.ForgetFramebuffer(frontFramebuffer_);
        cache_.ForgetRenderbuffer(frontBuffer_);
    }
    framebuffer_ = colorBuffer_ = depthStencilBuffer_ = 0;
    frontFramebuffer_ = frontBuffer_ = 0;
    cache_.BindFramebuffer(0);
}

void GLDevice::CreateTarget()
{
    // Draw straight into the window when it has the back buffer's size and
    // the buffers the device needs; otherwise into our own framebuffer that
    // Present copies (scaled) into the window.
    if (framebuffer_)
        return;
    GLint depthBits = 0, stencilBits = 0;
    cache_.BindFramebuffer(0);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH,
                                          GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL,
                                          GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
    glGetError();
    const bool fits = context_->DrawableWidth() == int(width_) &&
                      context_->DrawableHeight() == int(height_) &&
                      (!depthBuffer_ || depthBits >= 16) && (!stencilBuffer_ || stencilBits >= 1);
    if (fits)
        return;
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colorBuffer_);
    glGenRenderbuffers(1, &depthStencilBuffer_);
    cache_.BindRenderbuffer(colorBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width_), GLsizei(height_));
    cache_.BindRenderbuffer(depthStencilBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(width_), GLsizei(height_));
    cache_.BindFramebuffer(framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              depthStencilBuffer_);
}

std::unique_ptr<BackendResource> GLDevice::CreateTexture(const TextureDesc& desc)
{
    GLFormat format;
    if (!GLFormatOf(desc.format, s3tc_, format))
        return nullptr;
    Flush();
    return std::make_unique<GLTexture>(*this, desc, format);
}

void GLDevice::UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data,
                             const RECT& dirty)
{
    static_cast<GLTexture&>(texture).Upload(level, data, dirty);
}

std::unique_ptr<BackendResource> GLDevice::CreateBuffer(UINT size, bool index)
{
    Flush();
    return std::make_unique<GLBuffer>(*this, size, index);
}

void GLDevice::UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size,
                            bool discard)
{
    static_cast<GLBuffer&>(buffer).Upload(data, offset, size, discard);
}

void GLDevice::ForgetVertexSource(GLuint buffer)
{
    if (source_.buffer == buffer)
        source_ = VertexSource();
}

// ---------------------------------------------------------------------------
// State

void GLDevice::ComputeTransforms(const DeviceState& s)
{
    const D3DMATRIX worldView = Multiply(s.world, s.view);
    std::memcpy(uniforms_.worldView, &worldView, sizeof(uniforms_.worldView));
    std::memcpy(uniforms_.projection, &s.projection, sizeof(uniforms_.projection));
    // Normals go through the inverse transpose of the world-view's upper 3x3;
    // GLSL reads this array column by column, hence the layout.
    const float* wv = uniforms_.worldView;
    const float a[9] = {wv[0], wv[1], wv[2], wv[4], wv[5], wv[6], wv[8], wv[9], wv[10]};
    float inv[9];
    if (!Invert3(a, inv))
        std::memcpy(inv, a, sizeof inv);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            uniforms_.normalMatrix[c * 3 + r] = inv[r * 3 + c];
    Bump(kGroupTransform);
}

void GLDevice::ComputeViewport(const DeviceState& s)
{
    const D3DVIEWPORT8& vp = s.viewport;
    cache_.Viewport(GLint(vp.X), GLint(height_) - GLint(vp.Y + vp.Height), GLsizei(vp.Width),
                    GLsizei(vp.Height));
    cache_.DepthRange(vp.MinZ, vp.MaxZ);
    uniforms_.viewport[0] = float(vp.X) - kPixelShift;
    uniforms_.viewport[1] = float(vp.Y) - kPixelShift;
    uniforms_.viewport[2] = 2.0f / float(vp.Width);
    uniforms_.viewport[3] = 2.0f / float(vp.Height);
    uniforms_.pixelOffset[0] = kPixelShift * 2.0f / float(vp.Width);
    uniforms_.pixelOffset[1] = -kPixelShift * 2.0f / float(vp.Height);
    Bump(kGroupViewport);
}

void GLDevice::ComputeLights(const DeviceState& s)
{
    const LightSlot* lights[kMaxActiveLights];
    const int n = s.ActiveLights(lights);
    uniforms_.lightCount = n;
    const D3DMATRIX& v = s.view;
    for (int i = 0; i < n; ++i) {
        const D3DLIGHT8& l = lights[i]->light;
        ColorOf(l.Diffuse, uniforms_.lightDiffuse[i]);
        ColorOf(l.Specular, uniforms_.lightSpecular[i]);
        ColorOf(l.Ambient, uniforms_.lightAmbient[i]);
        const D3DVECTOR& p = l.Position;
        for (int c = 0; c < 3; ++c)
            uniforms_.lightPosition[i][c] = p.x * v.m[0][c] + p.y * v.m[1][c] + p.z * v.m[2][c] + v.m[3][c];
        const D3DVECTOR& d = l.Direction;
        float dir[3];
        for (int c = 0; c < 3; ++c)
            dir[c] = d.x * v.m[0][c] + d.y * v.m[1][c] + d.z * v.m[2][c];
        float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        len = len > 0 ? len : 1;
        // Directional lights store the direction towards the light.
        const float sign = l.Type == D3DLIGHT_DIRECTIONAL ? -1.0f : 1.0f;
        for (int c = 0; c < 3; ++c)
            uniforms_.lightDirection[i][c] = sign * dir[c] / len;
        uniforms_.lightAtten[i][0] = l.Range;
        uniforms_.lightAtten[i][1] = l.Attenuation0;
        uniforms_.lightAtten[i][2] = l.Attenuation1;
        uniforms_.lightAtten[i][3] = l.Attenuation2;
        uniforms_.lightSpot[i][0] = std::cos(l.Theta * 0.5f);
        uniforms_.lightSpot[i][1] = std::cos(l.Phi * 0.5f);
        uniforms_.lightSpot[i][2] = l.Falloff;
    }
    Bump(kGroupLights);
}

void GLDevice::ComputeMaterial(const DeviceState& s)
{
    ColorOf(s.material.Diffuse, uniforms_.matDiffuse);
    ColorOf(s.material.Ambient, uniforms_.matAmbient);
    ColorOf(s.material.Specular, uniforms_.matSpecular);
    ColorOf(s.material.Emissive, uniforms_.matEmissive);
    uniforms_.matPower = s.material.Power;
    Bump(kGroupMaterial);
}

void GLDevice::ComputeConstants(const DeviceState& s)
{
    ColorOf(s.rs[D3DRS_TEXTUREFACTOR], uniforms_.tfactor);
    float fog[4];
    ColorOf(s.rs[D3DRS_FOGCOLOR], fog);
    std::memcpy(uniforms_.fogColor, fog, sizeof uniforms_.fogColor);
    const float start = FloatOf(s.rs[D3DRS_FOGSTART]);
    const float end = FloatOf(s.rs[D3DRS_FOGEND]);
    uniforms_.fog[0] = start;
    uniforms_.fog[1] = end;
    // Start == end: everything before the end is clear, everything after fogged.
    uniforms_.fog[2] = end != start ? 1.0f / (end - start) : 1e30f;
    uniforms_.fog[3] = FloatOf(s.rs[D3DRS_FOGDENSITY]);
    ColorOf(s.rs[D3DRS_AMBIENT], uniforms_.ambient);
    uniforms_.alphaRef = float(s.rs[D3DRS_ALPHAREF] & 0xFF);
    Bump(kGroupConstants);
}

void GLDevice::ApplyPipeline(const DeviceState& s)
{
    const DWORD* rs = s.rs;
    BlendState blend;
    blend.enable = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (blend.enable) {
        DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
        if (src == D3DBLEND_BOTHSRCALPHA) {
            src = D3DBLEND_SRCALPHA;
            dst = D3DBLEND_INVSRCALPHA;
        } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
            src = D3DBLEND_INVSRCALPHA;
            dst = D3DBLEND_SRCALPHA;
        }
        blend.src = BlendOf(src);
        blend.dst = BlendOf(dst);
        static const GLenum kEquations[6] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT,
                                             GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
        blend.equation = rs[D3DRS_BLENDOP] <= 5 ? kEquations[rs[D3DRS_BLENDOP]] : GL_FUNC_ADD;
    }
    cache_.SetBlend(blend);

    DepthState depth;
    depth.test = depthBuffer_ && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    depth.write = depth.test && rs[D3DRS_ZWRITEENABLE] != 0;
    depth.func = CompareOf(rs[D3DRS_ZFUNC]);
    cache_.SetDepth(depth);

    StencilState stencil;
    stencil.enable = stencilBuffer_ && rs[D3DRS_STENCILENABLE] != 0;
    if (stencil.enable) {
        stencil.func = CompareOf(rs[D3DRS_STENCILFUNC]);
        stencil.ref = GLint(rs[D3DRS_STENCILREF]);
        stencil.readMask = rs[D3DRS_STENCILMASK];
        stencil.writeMask = rs[D3DRS_STENCILWRITEMASK];
        stencil.fail = StencilOpOf(rs[D3DRS_STENCILFAIL]);
        stencil.zfail = StencilOpOf(rs[D3DRS_STENCILZFAIL]);
        stencil.pass = StencilOpOf(rs[D3DRS_STENCILPASS]);
    }
    cache_.SetStencil(stencil);

    RasterState raster;
    // Rows are not mirrored on the way to the screen, so a triangle keeps
    // its visual winding: counter-clockwise ones are GL's front faces.
    raster.cull = rs[D3DRS_CULLMODE] == D3DCULL_CW || rs[D3DRS_CULLMODE] == D3DCULL_CCW;
    raster.cullFace = rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_FRONT : GL_BACK;
    raster.polygonMode = rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                         : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                   : GL_FILL;
    // The back buffer has no alpha channel: it keeps reading as one.
    raster.colorMask = uint8_t(rs[D3DRS_COLORWRITEENABLE] & 0x7);
    cache_.SetRaster(raster);
    pipelineInvalid_ = false;
}

void GLDevice::ApplySamplers(DeviceState& s)
{
    for (int i = 0; i < kStages; ++i) {
        if (!(s.dirtySamplerStages & (1u << i)))
            continue;
        const DWORD* t = s.tss[i];
        const GLuint sampler = samplers_[i];
        const bool magLinear = t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
        const bool minLinear = t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
        GLenum min = minLinear ? GL_LINEAR : GL_NEAREST;
        if (t[D3DTSS_MIPFILTER] == D3DTEXF_POINT)
            min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (t[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR)
            min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GLint(min));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(AddressOf(t[D3DTSS_ADDRESSU])));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(AddressOf(t[D3DTSS_ADDRESSV])));
        float border[4];
        ColorOf(t[D3DTSS_BORDERCOLOR], border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, FloatOf(t[D3DTSS_MIPMAPLODBIAS]));
        glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(t[D3DTSS_MAXMIPLEVEL]));
    }
    s.dirtySamplerStages = 0;
}

bool GLDevice::ApplyState(DeviceState& s)
{
    const uint32_t d = s.dirty;
    s.dirty = 0;
    if (d & (kDirtyWorldView | kDirtyProjection))
        ComputeTransforms(s);
    if (d & kDirtyViewport)
        ComputeViewport(s);
    if (d & kDirtyTexMatrix) {
        for (int i = 0; i < kStages; ++i)
            std::memcpy(uniforms_.texMatrix[i], &s.texture[i], sizeof(D3DMATRIX));
        Bump(kGroupTexMatrix);
    }
    if (d & kDirtyLights)
        ComputeLights(s);
    if (d & kDirtyMaterial)
        ComputeMaterial(s);
    if (d & kDirtyConstants)
        ComputeConstants(s);
    if (!keyValid_ || (d & (kDirtyShader | kDirtyVertexFormat | kDirtyTextures | kDirtyProjection))) {
        uint32_t bound = 0;
        for (int i = 0; i < kStages; ++i)
            if (s.textures[i])
                bound |= 1u << i;
        const ShaderKey key = MakeShaderKey(s, bound, depthBuffer_);
        if (!keyValid_ || !(key == key_)) {
            key_ = key;
            keyValid_ = true;
            program_ = programs_.Get(key_, cache_, stats_.programsBuilt, stats_.programsFailed);
            ++stats_.programSwitches;
        }
    }
    if (!program_)
        return false;
    cache_.UseProgram(program_->Name());
    program_->Update(uniforms_);
    if ((d & kDirtyPipeline) || pipelineInvalid_)
        ApplyPipeline(s);
    if (s.dirtySamplerStages)
        ApplySamplers(s);
    for (int i = 0; i < key_.stageCount; ++i)
        if (key_.stages[i].sample)
            cache_.BindTexture(
                i, static_cast<GLTexture*>(TextureBackendOf(s.textures[i]))->Name());
    return true;
}

void GLDevice::BindVertices(const FvfLayout& layout, GLuint buffer, UINT stride, size_t offset)
{
    const VertexSource source{buffer, layout.fvf, stride, offset};
    if (source == source_)
        return;
    source_ = source;
    cache_.BindArrayBuffer(buffer);
    uint32_t enabled = 0;
    auto attribute = [&](GLuint location, int at, GLint size, GLenum type, bool normalized) {
        if (at < 0)
            return;
        glVertexAttribPointer(location, size, type, normalized ? GL_TRUE : GL_FALSE,
                              GLsizei(stride), reinterpret_cast<const void*>(offset + size_t(at)));
        enabled |= 1u << location;
    };
    attribute(kAttribPosition, layout.position, layout.rhw ? 4 : 3, GL_FLOAT, false);
    attribute(kAttribNormal, layout.normal, 3, GL_FLOAT, false);
    attribute(kAttribDiffuse, layout.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, true);
    attribute(kAttribSpecular, layout.specular, GL_BGRA, GL_UNSIGNED_BYTE, true);
    for (UINT i = 0; i < layout.texCount; ++i)
        attribute(kAttribTex0 + i, layout.tex[i], GLint(layout.texSize[i]), GL_FLOAT, false);
    for (GLuint location = 0; location < kAttribCount; ++location) {
        const uint32_t bit = 1u << location;
        if ((enabled & bit) && !(enabledArrays_ & bit))
            glEnableVertexAttribArray(location);
        else if (!(enabled & bit) && (enabledArrays_ & bit))
            glDisableVertexAttribArray(location);
    }
    enabledArrays_ = enabled;
}

// ---------------------------------------------------------------------------
// Drawing

bool GLDevice::CannotChangeFrame(const DeviceState& s, const DrawCall& call) const
{
    // Only blending whose source weight is the source alpha, with nothing
    // written to depth or stencil, can make a draw invisible: then a final
    // alpha of zero everywhere leaves every pixel as it was.
    const DWORD* rs = s.rs;
    if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_BLENDOP] != D3DBLENDOP_ADD ||
        rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA ||
        (rs[D3DRS_DESTBLEND] != D3DBLEND_ONE && rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA))
        return false;
    if (depthBuffer_ && rs[D3DRS_ZENABLE] && rs[D3DRS_ZWRITEENABLE])
        return false;
    if (stencilBuffer_ && rs[D3DRS_STENCILENABLE])
        return false;
    const FvfLayout& layout = s.layout;
    const bool lit = rs[D3DRS_LIGHTING] && !layout.rhw;

    // Is the diffuse alpha zero at every vertex of the draw?
    auto diffuseAlphaZero = [&]() -> bool {
        int offset = -1;
        if (lit) {
            const DWORD source = rs[D3DRS_COLORVERTEX] ? rs[D3DRS_DIFFUSEMATERIALSOURCE] : 0;
            if (source == D3DMCS_COLOR1 && layout.diffuse >= 0)
                offset = layout.diffuse;
            else if (source == D3DMCS_COLOR2 && layout.specular >= 0)
                offset = layout.specular;
            else
                return s.material.Diffuse.a <= 0.0f;
        } else {
            offset = layout.diffuse;
            if (offset < 0)
                return false;  // white
        }
        const uint8_t* base;
        UINT stride, first, count;
        if (call.userVertices) {
            base = call.userVertices;
            stride = call.userStride;
            first = call.indexed ? call.minIndex : 0;
            count = call.indexed ? call.numVertices : call.vertexCount;
        } else {
            base = BufferBytesOf(s.stream);
            stride = s.streamStride;
            first = call.indexed ? s.baseVertexIndex + call.minIndex : call.startVertex;
            count = call.indexed ? call.numVertices : call.vertexCount;
        }
        if (count > 64)
            return false;  // not worth the look
        for (UINT i = 0; i < count; ++i)
            if (base[size_t(first + i) * stride + size_t(offset) + 3] != 0)
                return false;
        return true;
    };

    // Walk the alpha operations: zero, unknown.
    bool current = false;  // whether the current alpha is known to be zero
    bool diffuseKnown = false, diffuseZero = false;
    auto argZero = [&](uint8_t arg, int stage) -> bool {
        if (arg & D3DTA_COMPLEMENT)
            return false;
        switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE:
            if (!diffuseKnown) {
                diffuseZero = diffuseAlphaZero();
                diffuseKnown = true;
            }
            return diffuseZero;
        case D3DTA_CURRENT:
            return stage == 0 ? (diffuseKnown ? diffuseZero
                                              : (diffuseKnown = true, diffuseZero = diffuseAlphaZero()))
                              : current;
        case D3DTA_TFACTOR: return (rs[D3DRS_TEXTUREFACTOR] >> 24) == 0;
        default: return false;
        }
    };
    current = argZero(D3DTA_DIFFUSE, 0);
    for (int i = 0; i < key_.stageCount && keyValid_; ++i) {
        const StageKey& st = key_.stages[i];
        bool zero;
        switch (st.alphaOp) {
        case D3DTOP_SELECTARG1: zero = argZero(st.alphaArg[1], i); break;
        case D3DTOP_SELECTARG2: zero = argZero(st.alphaArg[2], i); break;
        case D3DTOP_MODULATE:
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATE4X: zero = argZero(st.alphaArg[1], i) || argZero(st.alphaArg[2], i); break;
        default: zero = false; break;
        }
        if (!st.resultTemp)
            current = zero;
    }
    return current;
}

bool GLDevice::Batchable(const DrawCall& call) const
{
    return call.userVertices && call.type >= D3DPT_TRIANGLELIST;
}

void GLDevice::AppendToBatch(DeviceState& state, const DrawCall& call)
{
    const UINT vertices = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
    const size_t base = batchVertices_.size() / std::max(1u, batchStride_);
    if (batchState_ && (call.userStride != batchStride_ || base + vertices > 0xFFFF))
        DrawBatch();
    if (!batchState_) {
        batchState_ = &state;
        batchStride_ = call.userStride;
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
        case D3DPT_TRIANGLELIST:
            out[0] = index(3 * t), out[1] = index(3 * t + 1), out[2] = index(3 * t + 2);
            break;
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

void GLDevice::DrawBatch()
{
    if (!batchState_)
        return;
    DeviceState& state = *batchState_;
    batchState_ = nullptr;
    if (!batchIndices_.empty() && ApplyState(state)) {
        const size_t vbOffset = streamVertices_->Write(batchVertices_.data(),
                                                       batchVertices_.size(), batchStride_);
        const size_t ibOffset = streamIndices_->Write(batchIndices_.data(),
                                                      batchIndices_.size() * 2, 2);
        BindVertices(state.layout, streamVertices_->Name(), batchStride_, 0);
        cache_.BindElementBuffer(streamIndices_->Name());
        glDrawElementsBaseVertex(GL_TRIANGLES, GLsizei(batchIndices_.size()), GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(ibOffset),
                                 GLint(vbOffset / batchStride_));
        ++stats_.glDraws;
    }
    batchVertices_.clear();
    batchIndices_.clear();
}

void GLDevice::Flush()
{
    if (batchState_) {
        MakeCurrent();
        DrawBatch();
    }
}

void GLDevice::DrawUser(DeviceState& state, const DrawCall& call)
{
    const UINT vertices = call.indexed ? call.minIndex + call.numVertices : call.vertexCount;
    const size_t vbOffset = streamVertices_->Write(call.userVertices,
                                                   size_t(vertices) * call.userStride,
                                                   call.userStride);
    BindVertices(state.layout, streamVertices_->Name(), call.userStride, 0);
    const GLint first = GLint(vbOffset / call.userStride);
    if (call.indexed) {
        const size_t size = call.userIndices32 ? 4 : 2;
        const size_t ibOffset = streamIndices_->Write(call.userIndices,
                                                      call.vertexCount * size, size);
        cache_.BindElementBuffer(streamIndices_->Name());
        glDrawElementsBaseVertex(ModeOf(call.type), GLsizei(call.vertexCount),
                                 call.userIndices32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(ibOffset), first);
    } else {
        glDrawArrays(ModeOf(call.type), first, GLsizei(call.vertexCount));
    }
    ++stats_.glDraws;
}

void GLDevice::DrawBuffers(DeviceState& state, const DrawCall& call)
{
    auto* vb = static_cast<GLBuffer*>(BufferBackendOf(state.stream));
    BindVertices(state.layout, vb->Name(), state.streamStride, 0);
    if (call.indexed) {
        auto* ib = static_cast<GLBuffer*>(BufferBackendOf(state.indices));
        const UINT size = IndexSizeOf(state.indices);
        cache_.BindElementBuffer(ib->Name());
        glDrawElementsBaseVertex(ModeOf(call.type), GLsizei(call.vertexCount),
                                 size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(size_t(call.startIndex) * size),
                                 GLint(state.baseVertexIndex));
    } else {
        glDrawArrays(ModeOf(call.type), GLint(call.startVertex), GLsizei(call.vertexCount));
    }
    ++stats_.glDraws;
}

void GLDevice::Draw(DeviceState& state, const DrawCall& call)
{
    MakeCurrent();
    ++stats_.draws;
    // The skip test reads the current key, so bring it up to date first
    // when state changed (cheap when nothing did).
    if (state.dirty & (kDirtyShader | kDirtyVertexFormat | kDirtyTextures)) {
        if (batchState_)
            DrawBatch();
        if (!ApplyState(state))
            return;
    }
    if (CannotChangeFrame(state, call)) {
        ++stats_.skippedDraws;
        return;
    }
    if (Batchable(call)) {
        AppendToBatch(state, call);
        return;
    }
    DrawBatch();
    if (!ApplyState(state))
        return;
    if (call.userVertices)
        DrawUser(state, call);
    else
        DrawBuffers(state, call);
}

void GLDevice::Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags,
                     D3DCOLOR color, float z, DWORD stencil)
{
    MakeCurrent();
    GLbitfield mask = 0;
    RasterState raster;
    raster.colorMask = 0xF;
    DepthState depth;
    StencilState stencilState;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorOf(color, c);
        glClearColor(c[0], c[1], c[2], 1.0f);  // no alpha channel: it stays one
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_ZBUFFER) && depthBuffer_) {
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_STENCIL) && stencilBuffer_) {
        glClearStencil(GLint(stencil));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (!mask)
        return;
    cache_.SetRaster(raster);
    cache_.SetDepth(depth);
    cache_.SetStencil(stencilState);
    pipelineInvalid_ = true;
    // Direct3D clears the viewport, or the parts of the rectangles inside it.
    const D3DVIEWPORT8& vp = state.viewport;
    auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
        x1 = std::max<LONG>(x1, LONG(vp.X));
        y1 = std::max<LONG>(y1, LONG(vp.Y));
        x2 = std::min<LONG>(x2, LONG(vp.X + vp.Width));
        y2 = std::min<LONG>(y2, LONG(vp.Y + vp.Height));
        if (x1 >= x2 || y1 >= y2)
            return;
        const bool whole = x1 == 0 && y1 == 0 && x2 == LONG(width_) && y2 == LONG(height_);
        cache_.Scissor(!whole, x1, LONG(height_) - y2, x2 - x1, y2 - y1);
        glClear(mask);
    };
    if (count == 0)
        clearRect(0, 0, LONG(width_), LONG(height_));
    for (DWORD i = 0; i < count; ++i)
        clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    cache_.Scissor(false);
}

void GLDevice::Present()
{
    MakeCurrent();
    KeepFrontBuffer();
    if (framebuffer_)
        ShowScaled();
    context_->Swap();
    PaceFrames();
    // A window that no longer has the back buffer's size (it went full
    // screen, or was resized) gets our own framebuffer from the next frame.
    if (!framebuffer_ && (context_->DrawableWidth() != int(width_) ||
                          context_->DrawableHeight() != int(height_)))
        CreateTarget();
}

PictureRect FitPicture(UINT width, UINT height, int windowWidth, int windowHeight)
{
    const double scale = std::min(double(windowWidth) / width, double(windowHeight) / height);
    const int w = std::max(1, int(std::lround(width * scale)));
    const int h = std::max(1, int(std::lround(height * scale)));
    return {(windowWidth - w) / 2, (windowHeight - h) / 2, w, h};
}

void GLDevice::ShowScaled()
{
    // The largest rectangle of the back buffer's shape, centred, with black
    // bars: the picture keeps its proportions on any window or display.
    const int dw = context_->DrawableWidth(), dh = context_->DrawableHeight();
    const PictureRect r = FitPicture(width_, height_, dw, dh);
    const int x = r.x, y = r.y, w = r.w, h = r.h;
    cache_.BindDrawFramebuffer(0);
    if (w != dw || h != dh) {
        RasterState raster;
        raster.colorMask = 0xF;
        cache_.SetRaster(raster);
        pipelineInvalid_ = true;
        glClearColor(0, 0, 0, 1);
        // Only the bars: the picture covers the rest.
        cache_.Scissor(true, 0, 0, w == dw ? dw : x, w == dw ? y : dh);
        glClear(GL_COLOR_BUFFER_BIT);
        cache_.Scissor(true, w == dw ? 0 : x + w, w == dw ? y + h : 0, w == dw ? dw : dw - x - w,
                       w == dw ? dh - y - h : dh);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    cache_.Scissor(false);
    cache_.BindReadFramebuffer(framebuffer_);
    glBlitFramebuffer(0, 0, GLint(width_), GLint(height_), x, y, x + w, y + h,
                      GL_COLOR_BUFFER_BIT, GL_LINEAR);
    cache_.BindFramebuffer(framebuffer_);
}

void GLDevice::PaceFrames()
{
    GLsync& oldest = frameFences_[frameFence_];
    if (oldest) {
        glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, GLuint64(10) * 1000 * 1000 * 1000);
        glDeleteSync(oldest);
    }
    oldest = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    frameFence_ = (frameFence_ + 1) % kFramesInFlight;
}

void GLDevice::ReadRows(void* pixels, UINT pitch)
{
    std::vector<uint8_t> rows(size_t(width_) * height_ * 4);
    glReadPixels(0, 0, GLsizei(width_), GLsizei(height_), GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    // GL's rows run bottom-up.
    for (UINT y = 0; y < height_; ++y) {
        uint8_t* dst = static_cast<uint8_t*>(pixels) + size_t(y) * pitch;
        std::memcpy(dst, rows.data() + size_t(height_ - 1 - y) * width_ * 4, size_t(width_) * 4);
        for (UINT x = 0; x < width_; ++x)
            dst[4 * x + 3] = 0xFF;
    }
}

HRESULT GLDevice::ReadBackBuffer(void* pixels, UINT pitch)
{
    MakeCurrent();
    ReadRows(pixels, pitch);
    return D3D_OK;
}

HRESULT GLDevice::WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect)
{
    // Through a texture blitted into place, upside down, since GL's rows run
    // bottom-up; blits ignore every pipeline state but the scissor test.
    MakeCurrent();
    const GLsizei w = GLsizei(rect.right - rect.left), h = GLsizei(rect.bottom - rect.top);
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    cache_.BindTexture(0, texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pitch / 4));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glGenFramebuffers(1, &framebuffer);
    cache_.BindReadFramebuffer(framebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    cache_.BindDrawFramebuffer(framebuffer_);
    cache_.Scissor(false);
    glBlitFramebuffer(0, 0, w, h, GLint(rect.left), GLint(height_) - GLint(rect.top),
                      GLint(rect.right), GLint(height_) - GLint(rect.bottom), GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    cache_.BindFramebuffer(framebuffer_);
    glDeleteFramebuffers(1, &framebuffer);
    cache_.ForgetFramebuffer(framebuffer);
    glDeleteTextures(1, &texture);
    cache_.ForgetTexture(texture);
    return D3D_OK;
}

void GLDevice::KeepFrontBuffer()
{
    // Same size and format: GL copies the pixels without a draw.
    if (!frontFramebuffer_) {
        glGenFramebuffers(1, &frontFramebuffer_);
        glGenRenderbuffers(1, &frontBuffer_);
        cache_.BindRenderbuffer(frontBuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(width_), GLsizei(height_));
        cache_.BindDrawFramebuffer(frontFramebuffer_);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  frontBuffer_);
    }
    cache_.BindDrawFramebuffer(frontFramebuffer_);
    cache_.BindReadFramebuffer(framebuffer_);
    cache_.Scissor(false);
    glBlitFramebuffer(0, 0, GLint(width_), GLint(height_), 0, 0, GLint(width_), GLint(height_),
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    cache_.BindFramebuffer(framebuffer_);
}

HRESULT GLDevice::ReadFrontBuffer(void* pixels, UINT pitch)
{
    MakeCurrent();
    if (!frontFramebuffer_) {
        for (UINT y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(y) * pitch);
            std::fill(row, row + width_, 0xFF000000u);
        }
        return D3D_OK;
    }
    cache_.BindReadFramebuffer(frontFramebuffer_);
    ReadRows(pixels, pitch);
    cache_.BindReadFramebuffer(framebuffer_);
    return D3D_OK;
}

D3D8Stats GLDevice::Stats() const
{
    D3D8Stats stats = stats_;
    stats.bindHits = cache_.Saved();
    stats.bindMisses = cache_.Calls();
    return stats;
}

}  // namespace d3d8
