#pragma once
#include <vector>
#include <d3d8.h>

#include "engine/vector3.h"
#include "spritebatch.h"

class Device3D;

// Smoke: camera-facing puffs emitted from a box at a fixed rate, their
// velocity, alpha and size following their age, drawn additively in the
// scene's own space behind its geometry.
class ParticleSystem {
public:
    struct Particle {
        Vector3 position;
        float size;
        D3DCOLOR colour;
        float birth;
    };
    static constexpr int BATCH_SIZE = 1000;

    ParticleSystem(Device3D& device, const char* textureName);

    void SetRate(float perMillisecond) { rate_ = perMillisecond; }
    void SetLifetime(float seconds) { lifetime_ = seconds; }
    void SetBox(Vector3 a, Vector3 b);
    void SetVelocity(Vector3 start, Vector3 end) {
        velocityStart_ = start;
        velocityEnd_ = end;
    }
    void SetAlpha(float start, float end) {
        alphaStart_ = start;
        alphaEnd_ = end;
    }
    void SetSize(float start, float end) {
        sizeStart_ = start;
        sizeEnd_ = end;
    }

    void Run(float time, float dt);

    const std::vector<Particle>& Particles() const { return particles_; }

private:
    void Emit(float time, float dt);
    void AgeAndMove(float time, float dt);
    void DrawAll(IDirect3DDevice8* d, const D3DMATRIX& view);

    Device3D* device_;
    std::vector<Particle> particles_;  // in birth order: the oldest die first
    SpriteBatch batch_;
    float rate_ = 0;
    float lifetime_ = 1;
    Vector3 boxMin_{0, 0, 0}, boxMax_{0, 0, 0};
    Vector3 velocityStart_{0, 0, 0}, velocityEnd_{0, 0, 0};
    float alphaStart_ = 0, alphaEnd_ = 0;
    float sizeStart_ = 0, sizeEnd_ = 0;
    IDirect3DTexture8* texture_;  // owned by the texture factory
};
