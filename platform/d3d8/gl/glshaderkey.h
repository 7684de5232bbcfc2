#pragma once
// The fixed-function state a generated program depends on, reduced to a
// zero-initialised key: stages after the first disabled one, arguments an
// operation does not read and inputs nothing uses are cleared, so equal
// behaviour gives equal bytes and keys compare with memcmp.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "d3d8/devicestate.h"

namespace d3d8 {

struct StageKey {
    // Colour and alpha operations with their arguments (D3DTA_* values).
    uint8_t colorOp;
    uint8_t colorArg[3];  // arg0, arg1, arg2
    uint8_t alphaOp;
    uint8_t alphaArg[3];
    uint8_t resultTemp;  // writes the temporary register instead of current
    uint8_t sample;      // the stage samples its texture
    // Texture coordinates (only when sample is set).
    uint8_t coordSource;  // vertex coordinate set
    uint8_t coordSize;    // floats in that set; 0 = absent (reads as zero)
    uint8_t coordGen;     // D3DTSS_TCI_* >> 16
    uint8_t coordCount;   // D3DTTFF_COUNTn, 0 = no matrix
    uint8_t projected;
    uint8_t pad;
};

struct ShaderKey {
    // Vertex input and processing.
    uint8_t rhw;
    uint8_t hasNormal;
    uint8_t hasDiffuse;
    uint8_t hasSpecular;
    uint8_t lighting;
    uint8_t normalize;
    uint8_t localViewer;
    uint8_t diffuseSource;  // D3DMCS_*, already masked to MATERIAL when absent
    uint8_t ambientSource;
    uint8_t specularSource;
    uint8_t emissiveSource;
    uint8_t lightCount;
    uint8_t lightTypes[MAX_ACTIVE_LIGHTS];
    uint8_t vertexFog;  // D3DFOG_* evaluated per vertex, or 4: from specular alpha
    uint8_t rangeFog;
    uint8_t tableFog;   // D3DFOG_* evaluated per pixel
    uint8_t tableFogW;  // per-pixel fog on eye distance w (else on depth z)
    uint8_t flatDepth;  // pre-transformed vertices without depth test
    uint8_t specularAdd;
    uint8_t alphaFunc;  // D3DCMP_* when alpha testing, else 0
    uint8_t stageCount;
    StageKey stages[STAGES];

    bool operator==(const ShaderKey& other) const { return std::memcmp(this, &other, sizeof(ShaderKey)) == 0; }
};

static_assert(sizeof(ShaderKey) % 4 == 0, "the key is hashed in words");

struct ShaderKeyHash {
    size_t operator()(const ShaderKey& key) const;
};

// Whether each stage has a texture bound (bit per stage).
ShaderKey MakeShaderKey(const DeviceState& state, uint32_t boundTextures, bool depthBuffer);

// Vertex and fragment shader text for a key.
void GenerateShaders(const ShaderKey& key, std::string& vertex, std::string& fragment);

}  // namespace d3d8
