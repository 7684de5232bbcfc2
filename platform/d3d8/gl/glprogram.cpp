#include "d3d8/gl/glprogram.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d3d8 {
namespace {

GLuint Compile(GLenum type, const std::string& text) {
    GLuint shader = glCreateShader(type);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
        std::fprintf(stderr, "d3d8: generated shader does not compile:\n%s\n%s\n", log, text.c_str());
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// HALCYON2_D3D8_DUMP_GLSL: a folder for one file per program, or "-".
void Dump(const std::string& vertex, const std::string& fragment, unsigned long long number) {
    const char* where = std::getenv("HALCYON2_D3D8_DUMP_GLSL");
    if (!where || !*where) return;
    if (std::strcmp(where, "-") == 0) {
        std::fprintf(stderr, "// program %llu: vertex\n%s// program %llu: fragment\n%s", (unsigned long long)number,
                     vertex.c_str(), (unsigned long long)number, fragment.c_str());
        return;
    }
    mkdir(where, 0777);
    const std::string path = std::string(where) + "/program" + std::to_string(number) + ".glsl";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fprintf(f, "// vertex\n%s\n// fragment\n%s", vertex.c_str(), fragment.c_str());
        std::fclose(f);
    }
}

}  // namespace

GLProgram::GLProgram(GLuint program, const ShaderKey& key, GLBindCache& cache) : program_(program) {
    for (uint64_t& v : uploaded_) v = ~uint64_t(0);
    auto at = [&](const char* name) { return glGetUniformLocation(program_, name); };
    worldView_ = at("uWorldView");
    projection_ = at("uProj");
    normalMatrix_ = at("uNormalMatrix");
    viewport_ = at("uViewport");
    pixelOffset_ = at("uPixelOffset");
    texMatrix_ = at("uTexMatrix");
    lightDiffuse_ = at("uLightDiffuse");
    lightSpecular_ = at("uLightSpecular");
    lightAmbient_ = at("uLightAmbient");
    lightPosition_ = at("uLightPosition");
    lightDirection_ = at("uLightDirection");
    lightAtten_ = at("uLightAtten");
    lightSpot_ = at("uLightSpot");
    matDiffuse_ = at("uMatDiffuse");
    matAmbient_ = at("uMatAmbient");
    matSpecular_ = at("uMatSpecular");
    matEmissive_ = at("uMatEmissive");
    matPower_ = at("uMatPower");
    tfactor_ = at("uTFactor");
    fogColor_ = at("uFogColor");
    fogVS_ = at("uFog");
    ambient_ = at("uGlobalAmbient");
    alphaRef_ = at("uAlphaRef");
    // Samplers never change: stage i samples texture unit i.
    cache.UseProgram(program_);
    for (int i = 0; i < STAGES; ++i) {
        if (!key.stages[i].sample) continue;
        const std::string name = "uTex" + std::to_string(i);
        glUniform1i(at(name.c_str()), i);
    }
}

GLProgram::~GLProgram() { glDeleteProgram(program_); }

void GLProgram::Update(const UniformValues& u) {
    if (uploaded_[kGroupTransform] != u.version[kGroupTransform]) {
        uploaded_[kGroupTransform] = u.version[kGroupTransform];
        if (worldView_ >= 0) glUniformMatrix4fv(worldView_, 1, GL_FALSE, u.worldView);
        if (projection_ >= 0) glUniformMatrix4fv(projection_, 1, GL_FALSE, u.projection);
        if (normalMatrix_ >= 0) glUniformMatrix3fv(normalMatrix_, 1, GL_FALSE, u.normalMatrix);
    }
    if (uploaded_[kGroupViewport] != u.version[kGroupViewport]) {
        uploaded_[kGroupViewport] = u.version[kGroupViewport];
        if (viewport_ >= 0) glUniform4fv(viewport_, 1, u.viewport);
        if (pixelOffset_ >= 0) glUniform2fv(pixelOffset_, 1, u.pixelOffset);
    }
    if (uploaded_[kGroupTexMatrix] != u.version[kGroupTexMatrix]) {
        uploaded_[kGroupTexMatrix] = u.version[kGroupTexMatrix];
        if (texMatrix_ >= 0) glUniformMatrix4fv(texMatrix_, 8, GL_FALSE, &u.texMatrix[0][0]);
    }
    if (uploaded_[kGroupLights] != u.version[kGroupLights]) {
        uploaded_[kGroupLights] = u.version[kGroupLights];
        const int n = u.lightCount;
        if (n > 0 && lightDiffuse_ >= 0) {
            glUniform4fv(lightDiffuse_, n, &u.lightDiffuse[0][0]);
            if (lightSpecular_ >= 0) glUniform4fv(lightSpecular_, n, &u.lightSpecular[0][0]);
            if (lightAmbient_ >= 0) glUniform4fv(lightAmbient_, n, &u.lightAmbient[0][0]);
            if (lightPosition_ >= 0) glUniform3fv(lightPosition_, n, &u.lightPosition[0][0]);
            if (lightDirection_ >= 0) glUniform3fv(lightDirection_, n, &u.lightDirection[0][0]);
            if (lightAtten_ >= 0) glUniform4fv(lightAtten_, n, &u.lightAtten[0][0]);
            if (lightSpot_ >= 0) glUniform3fv(lightSpot_, n, &u.lightSpot[0][0]);
        }
    }
    if (uploaded_[kGroupMaterial] != u.version[kGroupMaterial]) {
        uploaded_[kGroupMaterial] = u.version[kGroupMaterial];
        if (matDiffuse_ >= 0) glUniform4fv(matDiffuse_, 1, u.matDiffuse);
        if (matAmbient_ >= 0) glUniform4fv(matAmbient_, 1, u.matAmbient);
        if (matSpecular_ >= 0) glUniform4fv(matSpecular_, 1, u.matSpecular);
        if (matEmissive_ >= 0) glUniform4fv(matEmissive_, 1, u.matEmissive);
        if (matPower_ >= 0) glUniform1f(matPower_, u.matPower);
    }
    if (uploaded_[kGroupConstants] != u.version[kGroupConstants]) {
        uploaded_[kGroupConstants] = u.version[kGroupConstants];
        if (tfactor_ >= 0) glUniform4fv(tfactor_, 1, u.tfactor);
        if (fogColor_ >= 0) glUniform3fv(fogColor_, 1, u.fogColor);
        if (fogVS_ >= 0) glUniform4fv(fogVS_, 1, u.fog);
        if (ambient_ >= 0) glUniform4fv(ambient_, 1, u.ambient);
        if (alphaRef_ >= 0) glUniform1f(alphaRef_, u.alphaRef);
    }
}

GLProgram* GLProgramCache::Get(const ShaderKey& key, GLBindCache& cache, unsigned long long& built,
                               unsigned long long& failed) {
    auto found = programs_.find(key);
    if (found != programs_.end()) return found->second.get();
    std::string vertexText, fragmentText;
    GenerateShaders(key, vertexText, fragmentText);
    Dump(vertexText, fragmentText, built + failed + 1);
    GLuint vs = Compile(GL_VERTEX_SHADER, vertexText);
    GLuint fs = Compile(GL_FRAGMENT_SHADER, fragmentText);
    GLProgram* result = nullptr;
    if (vs && fs) {
        GLuint program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok) {
            ++built;
            auto made = std::make_unique<GLProgram>(program, key, cache);
            result = made.get();
            programs_.emplace(key, std::move(made));
        } else {
            char log[2048] = {};
            glGetProgramInfoLog(program, sizeof log - 1, nullptr, log);
            std::fprintf(stderr, "d3d8: generated program does not link:\n%s\n", log);
            glDeleteProgram(program);
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (!result) {
        ++failed;
        programs_.emplace(key, nullptr);
    }
    return result;
}

}  // namespace d3d8
