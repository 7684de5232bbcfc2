// GLSL for a fixed-function key. Matrices arrive in Direct3D's row-major
// memory order, which GLSL reads as their transposes: M * v in GLSL is the
// row-vector product v * M of Direct3D.
#include <string>

#include "d3d8/gl/glattributes.h"
#include "d3d8/gl/glshaderkey.h"

namespace d3d8 {
namespace {

std::string Num(int i) { return std::to_string(i); }

bool UsesSpecular(const ShaderKey& k) { return k.specularAdd || k.vertexFog == 4; }
bool UsesVertexFog(const ShaderKey& k) { return k.vertexFog != 0 && !k.tableFog; }

// Operations whose result stays within 0..1 for inputs within 0..1.
bool Bounded(uint8_t op) {
    switch (op) {
    case D3DTOP_SELECTARG1:
    case D3DTOP_SELECTARG2:
    case D3DTOP_MODULATE:
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDFACTORALPHA:
    case D3DTOP_BLENDCURRENTALPHA:
    case D3DTOP_LERP:
    case D3DTOP_DOTPRODUCT3: return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Vertex shader

void Lighting(const ShaderKey& k, std::string& s) {
    auto source = [&](uint8_t src, const char* material) -> std::string {
        if (src == D3DMCS_COLOR1) return "aDiffuse";
        if (src == D3DMCS_COLOR2) return "aSpecular";
        return material;
    };
    s += "    vec3 ambient = vec3(0.0);\n    vec3 diffuse = vec3(0.0);\n"
         "    vec3 specular = vec3(0.0);\n";
    for (int i = 0; i < k.lightCount; ++i) {
        const std::string n = Num(i);
        s += "    {\n";
        if (k.lightTypes[i] == D3DLIGHT_DIRECTIONAL) {
            s += "        vec3 L = uLightDirection[" + n + "];\n        float att = 1.0;\n";
        } else {
            s += "        vec3 toLight = uLightPosition[" + n +
                 "] - P;\n"
                 "        float dist = length(toLight);\n"
                 "        vec3 L = toLight / max(dist, 1e-20);\n"
                 "        vec4 a = uLightAtten[" +
                 n +
                 "];\n"
                 "        float att = dist <= a.x ? 1.0 / max(a.y + a.z * dist + a.w * dist * dist, 1e-30) : 0.0;\n";
            if (k.lightTypes[i] == D3DLIGHT_SPOT)
                s += "        vec3 sp = uLightSpot[" + n +
                     "];\n"
                     "        float rho = dot(-L, uLightDirection[" +
                     n +
                     "]);\n"
                     "        att *= rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 : pow(max((rho - sp.y) / max(sp.x - sp.y, "
                     "1e-20), 0.0), sp.z));\n";
        }
        s += "        ambient += uLightAmbient[" + n + "].rgb * att;\n";
        if (k.hasNormal) {
            s += "        float NdotL = dot(N, L);\n        if (NdotL > 0.0) {\n"
                 "            diffuse += uLightDiffuse[" +
                 n + "].rgb * (NdotL * att);\n";
            if (k.specularSource || k.localViewer || k.specularAdd) {
                s += k.localViewer ? "            vec3 H = normalize(L + normalize(-P));\n"
                                   : "            vec3 H = normalize(L + vec3(0.0, 0.0, -1.0));\n";
                s += "            float NdotH = dot(N, H);\n"
                     "            if (NdotH > 0.0)\n"
                     "                specular += uLightSpecular[" +
                     n + "].rgb * (pow(NdotH, uMatPower) * att);\n";
            }
            s += "        }\n";
        }
        s += "    }\n";
    }
    s += "    vec4 Cd = " + source(k.diffuseSource, "uMatDiffuse") + ";\n";
    s += "    vec4 Ca = " + source(k.ambientSource, "uMatAmbient") + ";\n";
    s += "    vec4 Ce = " + source(k.emissiveSource, "uMatEmissive") + ";\n";
    s += "    vec4 Cs = " + source(k.specularSource, "uMatSpecular") + ";\n";
    s += "    vDiffuse = vec4(clamp(Ce.rgb + Ca.rgb * (uGlobalAmbient.rgb + ambient) + Cd.rgb * diffuse, 0.0, 1.0), "
         "clamp(Cd.a, 0.0, 1.0));\n";
    s += std::string("    vSpecular = vec4(clamp(Cs.rgb * specular, 0.0, 1.0), ") +
         (k.hasSpecular ? "aSpecular.a" : "1.0") + ");\n";
}

std::string PaddedSet(const StageKey& st) {
    // A set with fewer than four components: the first missing one is 1,
    // the rest 0, as the texture matrix expects.
    const std::string a = "aTex" + Num(st.coordSource);
    switch (st.coordSize) {
    case 1: return "vec4(" + a + ".x, 1.0, 0.0, 0.0)";
    case 2: return "vec4(" + a + ".xy, 1.0, 0.0)";
    case 3: return "vec4(" + a + ".xyz, 1.0)";
    case 4: return a;
    default: return "vec4(0.0)";
    }
}

void TexCoords(const ShaderKey& k, std::string& s) {
    for (int i = 0; i < k.stageCount; ++i) {
        const StageKey& st = k.stages[i];
        if (!st.sample) continue;
        const std::string n = Num(i);
        std::string src;
        switch (st.coordGen) {
        case 1: src = k.hasNormal ? "vec4(N, 1.0)" : "vec4(0.0, 0.0, 0.0, 1.0)"; break;
        case 2: src = "vec4(P, 1.0)"; break;
        case 3: src = k.hasNormal ? "vec4(reflect(normalize(P), N), 1.0)" : "vec4(0.0, 0.0, 0.0, 1.0)"; break;
        default: src = PaddedSet(st); break;
        }
        if (st.coordCount == 0) {
            if (st.coordGen == 0 && st.coordSize == 1)
                s += "    vTex" + n + " = vec2(aTex" + Num(st.coordSource) + ".x, 0.0);\n";
            else if (st.coordGen == 0 && st.coordSize)
                s += "    vTex" + n + " = aTex" + Num(st.coordSource) + ".xy;\n";
            else
                s += "    vTex" + n + " = (" + src + ").xy;\n";
            continue;
        }
        s += "    { vec4 t = uTexMatrix[" + n + "] * " + src + ";\n";
        static const char* kLast[5] = {"", "t.x", "t.y", "t.z", "t.w"};
        if (st.projected) {
            // The last kept component divides the others (per pixel).
            s += "      vTex" + n + " = vec3(" + (st.coordCount == 2 ? "t.x, 1.0" : "t.xy") + ", " +
                 kLast[st.coordCount] + "); }\n";
        } else {
            s += "      vTex" + n + " = vec2(t.x, " + (st.coordCount == 1 ? "0.0" : "t.y") + "); }\n";
        }
    }
}

std::string VertexShader(const ShaderKey& k) {
    std::string s = "#version 330 core\n";
    auto input = [&](GLuint location, const std::string& declaration) {
        s += "layout(location = " + Num(int(location)) + ") in " + declaration + ";\n";
    };
    input(ATTRIB_POSITION, "vec4 aPosition");
    if (k.hasNormal) input(ATTRIB_NORMAL, "vec3 aNormal");
    if (k.hasDiffuse) input(ATTRIB_DIFFUSE, "vec4 aDiffuse");
    if (k.hasSpecular) input(ATTRIB_SPECULAR, "vec4 aSpecular");
    bool setUsed[8] = {};
    for (int i = 0; i < k.stageCount; ++i)
        if (k.stages[i].sample && k.stages[i].coordGen == 0 && k.stages[i].coordSize)
            setUsed[k.stages[i].coordSource] = true;
    for (int i = 0; i < 8; ++i)
        if (setUsed[i]) input(ATTRIB_TEX0 + GLuint(i), "vec4 aTex" + Num(i));
    s += "uniform mat4 uWorldView;\nuniform mat4 uProj;\nuniform mat3 uNormalMatrix;\n"
         "uniform vec4 uViewport;\nuniform vec2 uPixelOffset;\nuniform mat4 uTexMatrix[8];\n"
         "uniform vec4 uFog;\n";
    if (k.lighting) {
        s += "uniform vec4 uMatDiffuse;\nuniform vec4 uMatAmbient;\nuniform vec4 uMatSpecular;\n"
             "uniform vec4 uMatEmissive;\nuniform float uMatPower;\nuniform vec4 uGlobalAmbient;\n";
        if (k.lightCount)
            s += "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\n"
                 "uniform vec4 uLightAmbient[8];\nuniform vec3 uLightPosition[8];\n"
                 "uniform vec3 uLightDirection[8];\nuniform vec4 uLightAtten[8];\n"
                 "uniform vec3 uLightSpot[8];\n";
    }
    s += "out vec4 vDiffuse;\n";
    if (UsesSpecular(k))
        s += "out vec4 vSpecular;\n";
    else
        s += "vec4 vSpecular;\n";
    if (UsesVertexFog(k))
        s += "out float vFog;\n";
    else
        s += "float vFog;\n";
    for (int i = 0; i < k.stageCount; ++i)
        if (k.stages[i].sample)
            s += std::string("out ") + (k.stages[i].projected ? "vec3" : "vec2") + " vTex" + Num(i) + ";\n";
    s += "void main() {\n";
    if (k.rhw) {
        // Pre-transformed: x, y in pixels, z in 0..1, w = 1 / rhw.
        s += "    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
             "    vec2 ndc = vec2((aPosition.x - uViewport.x) * uViewport.z - 1.0,\n"
             "                    1.0 - (aPosition.y - uViewport.y) * uViewport.w);\n";
        s += k.flatDepth ? "    gl_Position = vec4(ndc * w, 0.0, w);\n"
                         : "    gl_Position = vec4(ndc * w, (2.0 * aPosition.z - 1.0) * w, w);\n";
        s += "    vec3 P = vec3(0.0);\n";
    } else {
        s += "    vec4 viewPos = uWorldView * vec4(aPosition.xyz, 1.0);\n"
             "    vec3 P = viewPos.xyz;\n"
             "    vec4 clip = uProj * viewPos;\n"
             // Direct3D clips z to 0..w, OpenGL to -w..w.
             "    clip.z = 2.0 * clip.z - clip.w;\n"
             // Direct3D samples pixels at integer coordinates, OpenGL half a
             // pixel further in.
             "    clip.xy += uPixelOffset * clip.w;\n"
             "    gl_Position = clip;\n";
    }
    if (k.hasNormal) {
        s += "    vec3 N = uNormalMatrix * aNormal;\n";
        if (k.normalize) s += "    N = normalize(N);\n";
    }
    if (k.lighting) {
        Lighting(k, s);
    } else {
        s += std::string("    vDiffuse = ") + (k.hasDiffuse ? "aDiffuse" : "vec4(1.0)") + ";\n";
        s += std::string("    vSpecular = ") + (k.hasSpecular ? "aSpecular" : "vec4(0.0, 0.0, 0.0, 1.0)") + ";\n";
    }
    switch (k.vertexFog) {
    case 0: s += "    vFog = 1.0;\n"; break;
    case 4: s += "    vFog = vSpecular.a;\n"; break;
    default:
        s += k.rangeFog ? "    float fogDepth = length(P);\n" : "    float fogDepth = abs(P.z);\n";
        if (k.vertexFog == D3DFOG_LINEAR)
            s += "    vFog = clamp((uFog.y - fogDepth) * uFog.z, 0.0, 1.0);\n";
        else if (k.vertexFog == D3DFOG_EXP)
            s += "    vFog = clamp(exp(-uFog.w * fogDepth), 0.0, 1.0);\n";
        else
            s += "    vFog = clamp(exp(-(uFog.w * fogDepth) * (uFog.w * fogDepth)), 0.0, 1.0);\n";
        break;
    }
    TexCoords(k, s);
    s += "}\n";
    return s;
}

// ---------------------------------------------------------------------------
// Fragment shader

std::string Arg(uint8_t arg, int stage, bool alpha) {
    static const char* kSources[6] = {"vDiffuse", "cur", "t", "uTFactor", "vSpecular", "temp"};
    const int select = arg & D3DTA_SELECTMASK;
    std::string v = kSources[select];
    if (select == D3DTA_TEXTURE) v += Num(stage);
    if ((arg & D3DTA_ALPHAREPLICATE) && !alpha) v += ".aaaa";
    if (arg & D3DTA_COMPLEMENT) v = "(1.0 - " + v + ")";
    return v + (alpha ? ".a" : ".rgb");
}

std::string Operation(uint8_t op, const uint8_t args[3], int stage, bool alpha) {
    const std::string a0 = Arg(args[0], stage, alpha);
    const std::string a1 = Arg(args[1], stage, alpha);
    const std::string a2 = Arg(args[2], stage, alpha);
    auto blend = [&](const std::string& f) { return a1 + " * " + f + " + " + a2 + " * (1.0 - " + f + ")"; };
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X: return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + a1 + " + " + a2 + " - 0.5)";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return blend("vDiffuse.a");
    case D3DTOP_BLENDTEXTUREALPHA: return blend("t" + Num(stage) + ".a");
    case D3DTOP_BLENDFACTORALPHA: return blend("uTFactor.a");
    case D3DTOP_BLENDCURRENTALPHA: return blend("cur.a");
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - t" + Num(stage) + ".a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return alpha ? a1 : a1 + " + " + Arg(args[1], stage, true) + " * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return alpha ? a1 : a1 + " * " + a2 + " + " + Arg(args[1], stage, true);
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return alpha ? a1 : "(1.0 - " + Arg(args[1], stage, true) + ") * " + a2 + " + " + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return alpha ? a1 : "(1.0 - " + a1 + ") * " + a2 + " + " + Arg(args[1], stage, true);
    case D3DTOP_DOTPRODUCT3: return "vec3(clamp(4.0 * dot(" + a1 + " - 0.5, " + a2 + " - 0.5), 0.0, 1.0))";
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return a0 + " * " + a1 + " + (1.0 - " + a0 + ") * " + a2;
    default: return alpha ? "cur.a" : "cur.rgb";
    }
}

std::string FragmentShader(const ShaderKey& k) {
    std::string s = "#version 330 core\n";
    s += "in vec4 vDiffuse;\n";
    if (UsesSpecular(k)) s += "in vec4 vSpecular;\n";
    if (UsesVertexFog(k)) s += "in float vFog;\n";
    s += "uniform vec4 uTFactor;\nuniform vec3 uFogColor;\nuniform vec4 uFog;\n"
         "uniform float uAlphaRef;\n";
    for (int i = 0; i < k.stageCount; ++i)
        if (k.stages[i].sample)
            s += std::string("in ") + (k.stages[i].projected ? "vec3" : "vec2") + " vTex" + Num(i) +
                 ";\nuniform sampler2D uTex" + Num(i) + ";\n";
    s += "out vec4 fragColor;\nvoid main() {\n    vec4 cur = vDiffuse;\n    vec4 temp = vec4(0.0);\n";
    for (int i = 0; i < k.stageCount; ++i) {
        const StageKey& st = k.stages[i];
        const std::string n = Num(i);
        if (st.sample)
            s += "    vec4 t" + n + " = texture(uTex" + n + ", vTex" + n +
                 (st.projected ? ".xy / vTex" + n + ".z);\n" : ");\n");
        s += "    {\n        vec3 c = " + Operation(st.colorOp, st.colorArg, i, false) + ";\n";
        if (st.colorOp == D3DTOP_DOTPRODUCT3)
            s += "        float a = c.r;\n";
        else
            s += "        float a = " + Operation(st.alphaOp, st.alphaArg, i, true) + ";\n";
        const bool bounded = Bounded(st.colorOp) && (st.colorOp == D3DTOP_DOTPRODUCT3 || Bounded(st.alphaOp));
        s += std::string("        ") + (st.resultTemp ? "temp" : "cur") +
             (bounded ? " = vec4(c, a);\n    }\n" : " = clamp(vec4(c, a), 0.0, 1.0);\n    }\n");
    }
    s += "    vec4 color = cur;\n";
    if (k.specularAdd) s += "    color.rgb = clamp(color.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    if (k.tableFog) {
        s += k.tableFogW ? "    float fogDepth = 1.0 / gl_FragCoord.w;\n" : "    float fogDepth = gl_FragCoord.z;\n";
        if (k.tableFog == D3DFOG_LINEAR)
            s += "    float fog = clamp((uFog.y - fogDepth) * uFog.z, 0.0, 1.0);\n";
        else if (k.tableFog == D3DFOG_EXP)
            s += "    float fog = clamp(exp(-uFog.w * fogDepth), 0.0, 1.0);\n";
        else
            s += "    float fog = clamp(exp(-(uFog.w * fogDepth) * (uFog.w * fogDepth)), 0.0, 1.0);\n";
        s += "    color.rgb = mix(uFogColor, color.rgb, fog);\n";
    } else if (k.vertexFog) {
        s += "    color.rgb = mix(uFogColor, color.rgb, clamp(vFog, 0.0, 1.0));\n";
    }
    if (k.alphaFunc) {
        // Direct3D compares the alpha as a byte with the 0..255 reference.
        static const char* kTests[9] = {"", "false", "a < r", "a == r", "a <= r", "a > r", "a != r", "a >= r", "true"};
        s += "    float a = floor(color.a * 255.0 + 0.5);\n    float r = uAlphaRef;\n";
        s += std::string("    if (!(") + kTests[k.alphaFunc] + "))\n        discard;\n";
    }
    s += "    fragColor = color;\n}\n";
    return s;
}

}  // namespace

void GenerateShaders(const ShaderKey& key, std::string& vertex, std::string& fragment) {
    vertex = VertexShader(key);
    fragment = FragmentShader(key);
}

}  // namespace d3d8
