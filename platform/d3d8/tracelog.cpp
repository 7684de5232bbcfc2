#include "d3d8/tracelog.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace d3d8 {

std::string TraceLog::NewName(const std::string& kind) { return kind + "#" + std::to_string(++counters_[kind]); }

void TraceLog::Call(const std::string& object, const char* method, const std::vector<std::string>& args,
                    const std::string& result) {
    if (!record_) return;
    std::string line = object;
    if (!line.empty()) line += ' ';
    line += method;
    line += '(';
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ", ";
        line += args[i];
    }
    line += ')';
    if (!result.empty()) {
        line += " = ";
        line += result;
    }
    lines_.push_back(std::move(line));
}

std::string TraceLog::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

namespace trace {
namespace {

struct Name {
    DWORD value;
    const char* name;
};

#define N(x) \
    { (DWORD) x, #x }

const Name RENDER_STATES[] = {
    N(D3DRS_ZENABLE),
    N(D3DRS_FILLMODE),
    N(D3DRS_SHADEMODE),
    N(D3DRS_LINEPATTERN),
    N(D3DRS_ZWRITEENABLE),
    N(D3DRS_ALPHATESTENABLE),
    N(D3DRS_LASTPIXEL),
    N(D3DRS_SRCBLEND),
    N(D3DRS_DESTBLEND),
    N(D3DRS_CULLMODE),
    N(D3DRS_ZFUNC),
    N(D3DRS_ALPHAREF),
    N(D3DRS_ALPHAFUNC),
    N(D3DRS_DITHERENABLE),
    N(D3DRS_ALPHABLENDENABLE),
    N(D3DRS_FOGENABLE),
    N(D3DRS_SPECULARENABLE),
    N(D3DRS_ZVISIBLE),
    N(D3DRS_FOGCOLOR),
    N(D3DRS_FOGTABLEMODE),
    N(D3DRS_FOGSTART),
    N(D3DRS_FOGEND),
    N(D3DRS_FOGDENSITY),
    N(D3DRS_EDGEANTIALIAS),
    N(D3DRS_ZBIAS),
    N(D3DRS_RANGEFOGENABLE),
    N(D3DRS_STENCILENABLE),
    N(D3DRS_STENCILFAIL),
    N(D3DRS_STENCILZFAIL),
    N(D3DRS_STENCILPASS),
    N(D3DRS_STENCILFUNC),
    N(D3DRS_STENCILREF),
    N(D3DRS_STENCILMASK),
    N(D3DRS_STENCILWRITEMASK),
    N(D3DRS_TEXTUREFACTOR),
    N(D3DRS_WRAP0),
    N(D3DRS_WRAP1),
    N(D3DRS_WRAP2),
    N(D3DRS_WRAP3),
    N(D3DRS_WRAP4),
    N(D3DRS_WRAP5),
    N(D3DRS_WRAP6),
    N(D3DRS_WRAP7),
    N(D3DRS_CLIPPING),
    N(D3DRS_LIGHTING),
    N(D3DRS_AMBIENT),
    N(D3DRS_FOGVERTEXMODE),
    N(D3DRS_COLORVERTEX),
    N(D3DRS_LOCALVIEWER),
    N(D3DRS_NORMALIZENORMALS),
    N(D3DRS_DIFFUSEMATERIALSOURCE),
    N(D3DRS_SPECULARMATERIALSOURCE),
    N(D3DRS_AMBIENTMATERIALSOURCE),
    N(D3DRS_EMISSIVEMATERIALSOURCE),
    N(D3DRS_VERTEXBLEND),
    N(D3DRS_CLIPPLANEENABLE),
    N(D3DRS_SOFTWAREVERTEXPROCESSING),
    N(D3DRS_POINTSIZE),
    N(D3DRS_POINTSIZE_MIN),
    N(D3DRS_POINTSPRITEENABLE),
    N(D3DRS_POINTSCALEENABLE),
    N(D3DRS_POINTSCALE_A),
    N(D3DRS_POINTSCALE_B),
    N(D3DRS_POINTSCALE_C),
    N(D3DRS_MULTISAMPLEANTIALIAS),
    N(D3DRS_MULTISAMPLEMASK),
    N(D3DRS_PATCHEDGESTYLE),
    N(D3DRS_PATCHSEGMENTS),
    N(D3DRS_DEBUGMONITORTOKEN),
    N(D3DRS_POINTSIZE_MAX),
    N(D3DRS_INDEXEDVERTEXBLENDENABLE),
    N(D3DRS_COLORWRITEENABLE),
    N(D3DRS_TWEENFACTOR),
    N(D3DRS_BLENDOP),
    N(D3DRS_POSITIONORDER),
    N(D3DRS_NORMALORDER),
};

const Name STAGE_STATES[] = {
    N(D3DTSS_COLOROP),
    N(D3DTSS_COLORARG1),
    N(D3DTSS_COLORARG2),
    N(D3DTSS_ALPHAOP),
    N(D3DTSS_ALPHAARG1),
    N(D3DTSS_ALPHAARG2),
    N(D3DTSS_BUMPENVMAT00),
    N(D3DTSS_BUMPENVMAT01),
    N(D3DTSS_BUMPENVMAT10),
    N(D3DTSS_BUMPENVMAT11),
    N(D3DTSS_TEXCOORDINDEX),
    N(D3DTSS_ADDRESSU),
    N(D3DTSS_ADDRESSV),
    N(D3DTSS_BORDERCOLOR),
    N(D3DTSS_MAGFILTER),
    N(D3DTSS_MINFILTER),
    N(D3DTSS_MIPFILTER),
    N(D3DTSS_MIPMAPLODBIAS),
    N(D3DTSS_MAXMIPLEVEL),
    N(D3DTSS_MAXANISOTROPY),
    N(D3DTSS_BUMPENVLSCALE),
    N(D3DTSS_BUMPENVLOFFSET),
    N(D3DTSS_TEXTURETRANSFORMFLAGS),
    N(D3DTSS_ADDRESSW),
    N(D3DTSS_COLORARG0),
    N(D3DTSS_ALPHAARG0),
    N(D3DTSS_RESULTARG),
};

const Name kTransforms[] = {
    N(D3DTS_VIEW),        N(D3DTS_PROJECTION),   N(D3DTS_TEXTURE0),     N(D3DTS_TEXTURE1),     N(D3DTS_TEXTURE2),
    N(D3DTS_TEXTURE3),    N(D3DTS_TEXTURE4),     N(D3DTS_TEXTURE5),     N(D3DTS_TEXTURE6),     N(D3DTS_TEXTURE7),
    {256, "D3DTS_WORLD"}, {257, "D3DTS_WORLD1"}, {258, "D3DTS_WORLD2"}, {259, "D3DTS_WORLD3"},
};

const Name kPrimitives[] = {
    N(D3DPT_POINTLIST),    N(D3DPT_LINELIST),      N(D3DPT_LINESTRIP),
    N(D3DPT_TRIANGLELIST), N(D3DPT_TRIANGLESTRIP), N(D3DPT_TRIANGLEFAN),
};

const Name kFormats[] = {
    N(D3DFMT_UNKNOWN),   N(D3DFMT_R8G8B8),      N(D3DFMT_A8R8G8B8),    N(D3DFMT_X8R8G8B8), N(D3DFMT_R5G6B5),
    N(D3DFMT_X1R5G5B5),  N(D3DFMT_A1R5G5B5),    N(D3DFMT_A4R4G4B4),    N(D3DFMT_R3G3B2),   N(D3DFMT_A8),
    N(D3DFMT_A8R3G3B2),  N(D3DFMT_X4R4G4B4),    N(D3DFMT_A2B10G10R10), N(D3DFMT_G16R16),   N(D3DFMT_A2R10G10B10),
    N(D3DFMT_A8P8),      N(D3DFMT_P8),          N(D3DFMT_L8),          N(D3DFMT_A8L8),     N(D3DFMT_A4L4),
    N(D3DFMT_V8U8),      N(D3DFMT_L6V5U5),      N(D3DFMT_X8L8V8U8),    N(D3DFMT_Q8W8V8U8), N(D3DFMT_V16U16),
    N(D3DFMT_W11V11U10), N(D3DFMT_A2W10V10U10), N(D3DFMT_UYVY),        N(D3DFMT_YUY2),     N(D3DFMT_DXT1),
    N(D3DFMT_DXT2),      N(D3DFMT_DXT3),        N(D3DFMT_DXT4),        N(D3DFMT_DXT5),     N(D3DFMT_D16_LOCKABLE),
    N(D3DFMT_D32),       N(D3DFMT_D15S1),       N(D3DFMT_D24S8),       N(D3DFMT_D16),      N(D3DFMT_D24X8),
    N(D3DFMT_D24X4S4),   N(D3DFMT_VERTEXDATA),  N(D3DFMT_INDEX16),     N(D3DFMT_INDEX32),
};

const Name kPools[] = {N(D3DPOOL_DEFAULT), N(D3DPOOL_MANAGED), N(D3DPOOL_SYSTEMMEM), N(D3DPOOL_SCRATCH)};
const Name kDevTypes[] = {N(D3DDEVTYPE_HAL), N(D3DDEVTYPE_REF), N(D3DDEVTYPE_SW)};
const Name kResourceTypes[] = {
    N(D3DRTYPE_SURFACE),     N(D3DRTYPE_VOLUME),       N(D3DRTYPE_TEXTURE),     N(D3DRTYPE_VOLUMETEXTURE),
    N(D3DRTYPE_CUBETEXTURE), N(D3DRTYPE_VERTEXBUFFER), N(D3DRTYPE_INDEXBUFFER),
};
const Name kResults[] = {
    N(D3DERR_WRONGTEXTUREFORMAT),
    N(D3DERR_UNSUPPORTEDCOLOROPERATION),
    N(D3DERR_UNSUPPORTEDCOLORARG),
    N(D3DERR_UNSUPPORTEDALPHAOPERATION),
    N(D3DERR_UNSUPPORTEDALPHAARG),
    N(D3DERR_TOOMANYOPERATIONS),
    N(D3DERR_CONFLICTINGTEXTUREFILTER),
    N(D3DERR_UNSUPPORTEDFACTORVALUE),
    N(D3DERR_CONFLICTINGRENDERSTATE),
    N(D3DERR_UNSUPPORTEDTEXTUREFILTER),
    N(D3DERR_CONFLICTINGTEXTUREPALETTE),
    N(D3DERR_DRIVERINTERNALERROR),
    N(D3DERR_NOTFOUND),
    N(D3DERR_MOREDATA),
    N(D3DERR_DEVICELOST),
    N(D3DERR_DEVICENOTRESET),
    N(D3DERR_NOTAVAILABLE),
    N(D3DERR_OUTOFVIDEOMEMORY),
    N(D3DERR_INVALIDDEVICE),
    N(D3DERR_INVALIDCALL),
    N(D3DERR_DRIVERINVALIDCALL),
    N(E_FAIL),
    N(E_OUTOFMEMORY),
    N(E_NOTIMPL),
    N(E_NOINTERFACE),
    N(E_POINTER),
    N(E_INVALIDARG),
    N(D3D_OK),
};

#undef N

template <size_t n>
std::string Lookup(const Name (&table)[n], DWORD value) {
    for (const Name& entry : table)
        if (entry.value == value) return entry.name;
    return std::to_string(value);
}

bool IsColorState(D3DRENDERSTATETYPE state) {
    return state == D3DRS_TEXTUREFACTOR || state == D3DRS_FOGCOLOR || state == D3DRS_AMBIENT;
}

bool IsFloatState(D3DRENDERSTATETYPE state) {
    switch (state) {
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSIZE_MAX:
    case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B:
    case D3DRS_POINTSCALE_C:
    case D3DRS_PATCHSEGMENTS:
    case D3DRS_TWEENFACTOR: return true;
    default: return false;
    }
}

std::string Color(const D3DCOLORVALUE& c) {
    return "(" + Float(c.r) + " " + Float(c.g) + " " + Float(c.b) + " " + Float(c.a) + ")";
}

std::string Vector(const D3DVECTOR& v) { return "(" + Float(v.x) + " " + Float(v.y) + " " + Float(v.z) + ")"; }

}  // namespace

std::string Dec(long long value) { return std::to_string(value); }

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%" PRIx32, value);
    return text;
}

std::string Float(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

std::string Bool(BOOL value) { return std::to_string(value); }

std::string Result(HRESULT hr) { return Lookup(kResults, DWORD(hr)); }

std::string RenderState(D3DRENDERSTATETYPE state) { return Lookup(RENDER_STATES, state); }

std::string RenderStateValue(D3DRENDERSTATETYPE state, DWORD value) {
    if (IsColorState(state)) return Hex(value);
    if (IsFloatState(state)) {
        float f;
        std::memcpy(&f, &value, 4);
        return Float(f);
    }
    return std::to_string(value);
}

std::string StageState(D3DTEXTURESTAGESTATETYPE type) { return Lookup(STAGE_STATES, type); }

std::string StageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    switch (type) {
    case D3DTSS_BORDERCOLOR: return Hex(value);
    case D3DTSS_TEXCOORDINDEX: return value > 0xFFFF ? Hex(value) : std::to_string(value);
    case D3DTSS_BUMPENVMAT00:
    case D3DTSS_BUMPENVMAT01:
    case D3DTSS_BUMPENVMAT10:
    case D3DTSS_BUMPENVMAT11:
    case D3DTSS_BUMPENVLSCALE:
    case D3DTSS_BUMPENVLOFFSET:
    case D3DTSS_MIPMAPLODBIAS: {
        float f;
        std::memcpy(&f, &value, 4);
        return Float(f);
    }
    default: return std::to_string(value);
    }
}

std::string Transform(D3DTRANSFORMSTATETYPE state) { return Lookup(kTransforms, state); }
std::string Primitive(D3DPRIMITIVETYPE type) { return Lookup(kPrimitives, type); }
std::string Format(D3DFORMAT format) { return Lookup(kFormats, format); }
std::string Pool(D3DPOOL pool) { return Lookup(kPools, pool); }
std::string DevType(D3DDEVTYPE type) { return Lookup(kDevTypes, type); }
std::string ResourceType(D3DRESOURCETYPE type) { return Lookup(kResourceTypes, type); }

std::string Matrix(const D3DMATRIX* m) {
    if (!m) return "null";
    std::string text = "[";
    for (int i = 0; i < 16; ++i) {
        if (i) text += ' ';
        text += Float(m->m[i / 4][i % 4]);
    }
    return text + "]";
}

std::string Material(const D3DMATERIAL8* m) {
    if (!m) return "null";
    return "{" + Color(m->Diffuse) + " " + Color(m->Ambient) + " " + Color(m->Specular) + " " + Color(m->Emissive) +
           " " + Float(m->Power) + "}";
}

std::string Light(const D3DLIGHT8* l) {
    if (!l) return "null";
    return "{" + std::to_string(l->Type) + " " + Color(l->Diffuse) + " " + Color(l->Specular) + " " +
           Color(l->Ambient) + " " + Vector(l->Position) + " " + Vector(l->Direction) + " " + Float(l->Range) + " " +
           Float(l->Falloff) + " " + Float(l->Attenuation0) + " " + Float(l->Attenuation1) + " " +
           Float(l->Attenuation2) + " " + Float(l->Theta) + " " + Float(l->Phi) + "}";
}

std::string Viewport(const D3DVIEWPORT8* v) {
    if (!v) return "null";
    return "{" + std::to_string(v->X) + " " + std::to_string(v->Y) + " " + std::to_string(v->Width) + " " +
           std::to_string(v->Height) + " " + Float(v->MinZ) + " " + Float(v->MaxZ) + "}";
}

std::string Rect(const RECT* r) {
    if (!r) return "null";
    return "{" + std::to_string(r->left) + " " + std::to_string(r->top) + " " + std::to_string(r->right) + " " +
           std::to_string(r->bottom) + "}";
}

std::string Rects(DWORD count, const D3DRECT* rects) {
    if (!rects) return "null";
    std::string text = "{";
    for (DWORD i = 0; i < count; ++i) {
        if (i) text += ' ';
        const D3DRECT& r = rects[i];
        text += "(" + std::to_string(r.x1) + " " + std::to_string(r.y1) + " " + std::to_string(r.x2) + " " +
                std::to_string(r.y2) + ")";
    }
    return text + "}";
}

std::string Data(const void* data, size_t bytes) {
    if (!data) return "null";
    uint32_t hash = 2166136261u;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        hash ^= p[i];
        hash *= 16777619u;
    }
    char text[48];
    std::snprintf(text, sizeof text, "data:%zu:%08" PRIx32, bytes, hash);
    return text;
}

std::string Window(HWND hwnd) { return hwnd ? "hwnd" : "null"; }

std::string PresentParams(const D3DPRESENT_PARAMETERS* p) {
    if (!p) return "null";
    return "{" + std::to_string(p->BackBufferWidth) + " " + std::to_string(p->BackBufferHeight) + " " +
           Format(p->BackBufferFormat) + " " + std::to_string(p->BackBufferCount) + " " +
           std::to_string(p->MultiSampleType) + " " + std::to_string(p->SwapEffect) + " " + Window(p->hDeviceWindow) +
           " " + std::to_string(p->Windowed) + " " + std::to_string(p->EnableAutoDepthStencil) + " " +
           Format(p->AutoDepthStencilFormat) + " " + Hex(p->Flags) + " " +
           std::to_string(p->FullScreen_RefreshRateInHz) + " " + std::to_string(p->FullScreen_PresentationInterval) +
           "}";
}

std::string Pointer(const void* p) { return p ? "ptr" : "null"; }

}  // namespace trace
}  // namespace d3d8
