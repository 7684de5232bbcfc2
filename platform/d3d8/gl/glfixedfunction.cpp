#include "d3d8/gl/glfixedfunction.h"

#include <cmath>
#include <cstring>

#include "d3d8/gl/gltexture.h"
#include "d3d8/matrix.h"

namespace d3d8 {
namespace {

// Direct3D samples pixels at integer coordinates, OpenGL at half-integers.
// Slightly less than half a pixel keeps edges that fall exactly on pixel
// centres on the side the top-left fill rule puts them.
constexpr float kPixelShift = 0.5f * 63.0f / 64.0f;

void ColorOf(const D3DCOLORVALUE& c, float out[4]) { out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = c.a; }

float FloatOf(DWORD bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

GLenum CompareOf(DWORD func) {
    static const GLenum kFuncs[9] = {GL_ALWAYS,  GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                     GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return func <= 8 ? kFuncs[func] : GL_ALWAYS;
}

GLenum StencilOpOf(DWORD op) {
    static const GLenum kOps[9] = {GL_KEEP, GL_KEEP,   GL_ZERO,      GL_REPLACE,  GL_INCR,
                                   GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op <= 8 ? kOps[op] : GL_KEEP;
}

GLenum BlendOf(DWORD blend) {
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

GLenum AddressOf(DWORD address) {
    switch (address) {
    case D3DTADDRESS_MIRROR:
    case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

bool Invert3(const float m[9], float out[9]) {
    const float c0 = m[4] * m[8] - m[5] * m[7];
    const float c1 = m[5] * m[6] - m[3] * m[8];
    const float c2 = m[3] * m[7] - m[4] * m[6];
    const float det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (std::fabs(det) < 1e-30f) return false;
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

}  // namespace

void GLColorOf(D3DCOLOR c, float out[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

GLFixedFunction::GLFixedFunction(GLBindCache& cache, D3D8Stats& stats) : cache_(cache), stats_(stats) {
    glGenSamplers(STAGES, samplers_);
    for (int i = 0; i < STAGES; ++i) cache_.BindSampler(i, samplers_[i]);
    uniforms_.pixelOffset[0] = 0;
}

GLFixedFunction::~GLFixedFunction() {
    programs_ = GLProgramCache();
    glDeleteSamplers(STAGES, samplers_);
}

void GLFixedFunction::SetTarget(UINT height, bool depthBuffer, bool stencilBuffer) {
    height_ = height;
    depthBuffer_ = depthBuffer;
    stencilBuffer_ = stencilBuffer;
    keyValid_ = false;
    pipelineInvalid_ = true;
    depthWritten_ = true;  // a new target holds nothing known
}

void GLFixedFunction::ComputeTransforms(const DeviceState& s) {
    const D3DMATRIX worldView = Multiply(s.world, s.view);
    std::memcpy(uniforms_.worldView, &worldView, sizeof(uniforms_.worldView));
    std::memcpy(uniforms_.projection, &s.projection, sizeof(uniforms_.projection));
    // Normals go through the inverse transpose of the world-view's upper 3x3;
    // GLSL reads this array column by column, hence the layout.
    const float* wv = uniforms_.worldView;
    const float a[9] = {wv[0], wv[1], wv[2], wv[4], wv[5], wv[6], wv[8], wv[9], wv[10]};
    float inv[9];
    if (!Invert3(a, inv)) std::memcpy(inv, a, sizeof inv);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) uniforms_.normalMatrix[c * 3 + r] = inv[r * 3 + c];
    Bump(kGroupTransform);
}

void GLFixedFunction::ComputeViewport(const DeviceState& s) {
    const D3DVIEWPORT8& vp = s.viewport;
    cache_.Viewport(GLint(vp.X), GLint(height_) - GLint(vp.Y + vp.Height), GLsizei(vp.Width), GLsizei(vp.Height));
    cache_.DepthRange(vp.MinZ, vp.MaxZ);
    uniforms_.viewport[0] = float(vp.X) - kPixelShift;
    uniforms_.viewport[1] = float(vp.Y) - kPixelShift;
    uniforms_.viewport[2] = 2.0f / float(vp.Width);
    uniforms_.viewport[3] = 2.0f / float(vp.Height);
    uniforms_.pixelOffset[0] = kPixelShift * 2.0f / float(vp.Width);
    uniforms_.pixelOffset[1] = -kPixelShift * 2.0f / float(vp.Height);
    Bump(kGroupViewport);
}

void GLFixedFunction::ComputeLights(const DeviceState& s) {
    const LightSlot* lights[MAX_ACTIVE_LIGHTS];
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
        for (int c = 0; c < 3; ++c) dir[c] = d.x * v.m[0][c] + d.y * v.m[1][c] + d.z * v.m[2][c];
        float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        len = len > 0 ? len : 1;
        // Directional lights store the direction towards the light.
        const float sign = l.Type == D3DLIGHT_DIRECTIONAL ? -1.0f : 1.0f;
        for (int c = 0; c < 3; ++c) uniforms_.lightDirection[i][c] = sign * dir[c] / len;
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

void GLFixedFunction::ComputeMaterial(const DeviceState& s) {
    ColorOf(s.material.Diffuse, uniforms_.matDiffuse);
    ColorOf(s.material.Ambient, uniforms_.matAmbient);
    ColorOf(s.material.Specular, uniforms_.matSpecular);
    ColorOf(s.material.Emissive, uniforms_.matEmissive);
    uniforms_.matPower = s.material.Power;
    Bump(kGroupMaterial);
}

void GLFixedFunction::ComputeConstants(const DeviceState& s) {
    GLColorOf(s.rs[D3DRS_TEXTUREFACTOR], uniforms_.tfactor);
    float fog[4];
    GLColorOf(s.rs[D3DRS_FOGCOLOR], fog);
    std::memcpy(uniforms_.fogColor, fog, sizeof uniforms_.fogColor);
    const float start = FloatOf(s.rs[D3DRS_FOGSTART]);
    const float end = FloatOf(s.rs[D3DRS_FOGEND]);
    uniforms_.fog[0] = start;
    uniforms_.fog[1] = end;
    // Start == end: everything before the end is clear, everything after fogged.
    uniforms_.fog[2] = end != start ? 1.0f / (end - start) : 1e30f;
    uniforms_.fog[3] = FloatOf(s.rs[D3DRS_FOGDENSITY]);
    GLColorOf(s.rs[D3DRS_AMBIENT], uniforms_.ambient);
    uniforms_.alphaRef = float(s.rs[D3DRS_ALPHAREF] & 0xFF);
    Bump(kGroupConstants);
}

void GLFixedFunction::ApplyPipeline(const DeviceState& s) {
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
        static const GLenum kEquations[6] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT,
                                             GL_MIN,      GL_MAX};
        blend.equation = rs[D3DRS_BLENDOP] <= 5 ? kEquations[rs[D3DRS_BLENDOP]] : GL_FUNC_ADD;
    }
    cache_.SetBlend(blend);

    DepthState depth;
    depth.test = depthBuffer_ && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    depth.write = depth.test && rs[D3DRS_ZWRITEENABLE] != 0;
    depth.func = CompareOf(rs[D3DRS_ZFUNC]);
    // A test that always passes and writes nothing changes nothing: off, so
    // the rasteriser does not read the depth buffer for it.
    if (depth.func == GL_ALWAYS && !depth.write) depth.test = false;
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
    depthWrites_ = depth.write || (stencil.enable && stencil.writeMask != 0);

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

void GLFixedFunction::ApplySamplers(const DeviceState& s) {
    for (int i = 0; i < STAGES; ++i) {
        if (!(dirtySamplerStages_ & (1u << i))) continue;
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
        GLColorOf(t[D3DTSS_BORDERCOLOR], border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, FloatOf(t[D3DTSS_MIPMAPLODBIAS]));
        glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(t[D3DTSS_MAXMIPLEVEL]));
    }
    dirtySamplerStages_ = 0;
}

bool GLFixedFunction::Apply(const DeviceState& s, BackendResource* const textures[STAGES]) {
    const uint32_t d = dirty_;
    dirty_ = 0;
    if (d & (DIRTY_WORLD_VIEW | DIRTY_PROJECTION)) ComputeTransforms(s);
    if (d & DIRTY_VIEWPORT) ComputeViewport(s);
    if (d & DIRTY_TEX_MATRIX) {
        for (int i = 0; i < STAGES; ++i) std::memcpy(uniforms_.texMatrix[i], &s.texture[i], sizeof(D3DMATRIX));
        Bump(kGroupTexMatrix);
    }
    if (d & DIRTY_LIGHTS) ComputeLights(s);
    if (d & DIRTY_MATERIAL) ComputeMaterial(s);
    if (d & DIRTY_CONSTANTS) ComputeConstants(s);
    if (!keyValid_ || (d & (DIRTY_SHADER | DIRTY_VERTEX_FORMAT | DIRTY_TEXTURES | DIRTY_PROJECTION))) {
        uint32_t bound = 0;
        for (int i = 0; i < STAGES; ++i)
            if (s.textures[i]) bound |= 1u << i;
        const ShaderKey key = MakeShaderKey(s, bound, depthBuffer_);
        if (!keyValid_ || !(key == key_)) {
            key_ = key;
            keyValid_ = true;
            program_ = programs_.Get(key_, cache_, stats_.programsBuilt, stats_.programsFailed);
            ++stats_.programSwitches;
        }
    }
    if (!program_) return false;
    cache_.UseProgram(program_->Name());
    program_->Update(uniforms_);
    if ((d & DIRTY_PIPELINE) || pipelineInvalid_) ApplyPipeline(s);
    depthWritten_ = depthWritten_ || depthWrites_;
    if (dirtySamplerStages_) ApplySamplers(s);
    for (int i = 0; i < key_.stageCount; ++i)
        if (key_.stages[i].sample) cache_.BindTexture(i, static_cast<GLTexture*>(textures[i])->Name());
    return true;
}

}  // namespace d3d8
