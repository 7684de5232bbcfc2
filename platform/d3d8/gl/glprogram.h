#pragma once
// Generated fixed-function programs, cached by their key. Uniform values are
// grouped; each program remembers which version of each group it holds, so
// switching programs uploads only what changed since that program was last
// used.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "d3d8/gl/gl.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glshaderkey.h"

namespace d3d8 {

enum UniformGroup {
    kGroupTransform,  // world-view, projection, normal matrix
    kGroupViewport,   // pixel offset and pre-transformed mapping
    kGroupTexMatrix,
    kGroupLights,
    kGroupMaterial,
    kGroupConstants,  // texture factor, fog, ambient, alpha reference
    kGroupCount
};

// The values behind the uniforms, as the device computed them.
struct UniformValues {
    float worldView[16];
    float projection[16];
    float normalMatrix[9];
    float viewport[4];  // x, y, 2 / width, 2 / height
    float pixelOffset[2];
    float texMatrix[8][16];
    int lightCount;
    float lightDiffuse[8][4], lightSpecular[8][4], lightAmbient[8][4];
    float lightPosition[8][3], lightDirection[8][3], lightAtten[8][4], lightSpot[8][3];
    float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4], matPower;
    float tfactor[4], fogColor[3], fog[4], ambient[4], alphaRef;
    uint64_t version[kGroupCount];
};

class GLProgram {
public:
    GLProgram(GLuint program, const ShaderKey& key, GLBindCache& cache);
    ~GLProgram();
    GLProgram(const GLProgram&) = delete;
    GLProgram& operator=(const GLProgram&) = delete;

    GLuint Name() const { return program_; }
    // Uploads the groups whose version differs from the last upload.
    void Update(const UniformValues& values);

private:
    GLuint program_;
    uint64_t uploaded_[kGroupCount];
    GLint worldView_, projection_, normalMatrix_, viewport_, pixelOffset_, texMatrix_;
    GLint lightDiffuse_, lightSpecular_, lightAmbient_, lightPosition_, lightDirection_, lightAtten_, lightSpot_;
    GLint matDiffuse_, matAmbient_, matSpecular_, matEmissive_, matPower_;
    GLint tfactor_, fogColor_, fogVS_, ambient_, alphaRef_;
};

class GLProgramCache {
public:
    // Null if the program does not compile or link: reported on standard
    // error and counted once, then remembered, so a failing key is neither
    // rebuilt nor reported again on every draw.
    GLProgram* Get(const ShaderKey& key, GLBindCache& cache, unsigned long long& built, unsigned long long& failed);
    size_t Size() const { return programs_.size(); }

private:
    std::unordered_map<ShaderKey, std::unique_ptr<GLProgram>, ShaderKeyHash> programs_;
};

}  // namespace d3d8
