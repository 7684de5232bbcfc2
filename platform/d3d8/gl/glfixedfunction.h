#pragma once
// The fixed-function state of the GL back end: turns the front end's
// Direct3D state into a generated program, its uniforms, GL pipeline state,
// samplers and bound textures, touching only what the dirty bits name.
#include "d3d8/backend.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glprogram.h"
#include "d3d8/gl/glshaderkey.h"

namespace d3d8 {

// A Direct3D colour as four floats, red first.
void GLColorOf(D3DCOLOR c, float out[4]);

class GLFixedFunction {
public:
    GLFixedFunction(GLBindCache& cache, D3D8Stats& stats);
    ~GLFixedFunction();
    GLFixedFunction(const GLFixedFunction&) = delete;
    GLFixedFunction& operator=(const GLFixedFunction&) = delete;

    // The render target's height and buffers; a new target invalidates the
    // program (it depends on the depth buffer) and the pipeline state.
    void SetTarget(UINT height, bool depthBuffer, bool stencilBuffer);
    // Something other than a draw changed GL's pipeline state.
    void InvalidatePipeline() { pipelineInvalid_ = true; }
    // Takes note of what changed in the state since the last draw.
    void Note(const DeviceState& state) {
        dirty_ |= state.dirty;
        dirtySamplerStages_ |= state.dirtySamplerStages;
    }
    // What changed and has not been applied yet.
    uint32_t Dirty() const { return dirty_; }
    // Brings GL up to date with the state and binds the textures' native
    // objects; false when there is no program to draw with.
    bool Apply(const DeviceState& state, BackendResource* const textures[STAGES]);
    // Whether a draw since the last call may have written depth or stencil
    // values (a clear to the values they already hold can then be skipped).
    bool TakeDepthWritten() {
        const bool written = depthWritten_;
        depthWritten_ = false;
        return written;
    }

private:
    void ComputeTransforms(const DeviceState& state);
    void ComputeViewport(const DeviceState& state);
    void ComputeLights(const DeviceState& state);
    void ComputeMaterial(const DeviceState& state);
    void ComputeConstants(const DeviceState& state);
    void ApplyPipeline(const DeviceState& state);
    void ApplySamplers(const DeviceState& state);
    void Bump(UniformGroup group) { uniforms_.version[group] = ++version_; }

    GLBindCache& cache_;
    D3D8Stats& stats_;
    UINT height_ = 0;
    bool depthBuffer_ = false, stencilBuffer_ = false;
    GLuint samplers_[STAGES] = {};
    GLProgramCache programs_;
    GLProgram* program_ = nullptr;
    ShaderKey key_ = {};
    bool keyValid_ = false;
    bool pipelineInvalid_ = true;
    bool depthWrites_ = false;  // the applied pipeline writes depth or stencil
    bool depthWritten_ = true;
    UniformValues uniforms_ = {};
    uint64_t version_ = 0;
    uint32_t dirty_ = DIRTY_ALL;
    uint32_t dirtySamplerStages_ = 0xFF;
};

}  // namespace d3d8
