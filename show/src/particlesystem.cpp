#include "particlesystem.h"

#include <algorithm>

#include "engine/device3d.h"
#include "glowstates.h"
#include "screen2d.h"
#include "showrandom.h"

ParticleSystem::ParticleSystem(Device3D& device, const char* textureName)
    : device_(&device), texture_(device.textureFactory.Load(textureName, 1)) {}

void ParticleSystem::SetBox(Vector3 a, Vector3 b) {
    boxMin_ = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    boxMax_ = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

void ParticleSystem::Emit(float time, float dt) {
    const int n = static_cast<int>(dt * rate_ * 1000.0f + 0.5f);
    for (int i = 0; i < n; ++i) {
        auto fraction = [] { return static_cast<float>(ShowRandom() % 1024) / 1023.0f; };
        const float rx = fraction(), ry = fraction(), rz = fraction();
        particles_.push_back(
            Particle{{boxMin_.x + (boxMax_.x - boxMin_.x) * rx, boxMin_.y + (boxMax_.y - boxMin_.y) * ry,
                      boxMin_.z + (boxMax_.z - boxMin_.z) * rz},
                     sizeStart_,
                     0xFFFFFFFFu,
                     time});
    }
}

// Every particle shares one survival limit and they are stored in birth
// order, so the dead are always a block at the front.
void ParticleSystem::AgeAndMove(float time, float dt) {
    const float limit = lifetime_ + 1.5f * dt;
    size_t dead = 0;
    for (Particle& p : particles_) {
        const float age = time - p.birth;
        if (age > limit) {
            ++dead;
            continue;
        }
        const float f = std::min(age / lifetime_, 1.0f);
        p.position.x += dt * (velocityStart_.x + f * (velocityEnd_.x - velocityStart_.x));
        p.position.y += dt * (velocityStart_.y + f * (velocityEnd_.y - velocityStart_.y));
        p.position.z += dt * (velocityStart_.z + f * (velocityEnd_.z - velocityStart_.z));
        float a = alphaStart_ + f * (alphaEnd_ - alphaStart_);
        if (a > 1.0f) a = 2.0f - a;
        p.colour = (static_cast<uint32_t>(static_cast<int>(std::max(a, 0.0f) * 255.0f)) << 24) | 0x00FFFFFFu;
        p.size = sizeStart_ + f * (sizeEnd_ - sizeStart_);
    }
    particles_.erase(particles_.begin(), particles_.begin() + static_cast<std::ptrdiff_t>(dead));
}

void ParticleSystem::DrawAll(IDirect3DDevice8* d, const D3DMATRIX& view) {
    d->SetTexture(0, texture_);
    batch_.SetCapacity(BATCH_SIZE);
    batch_.SetView(view);
    for (size_t start = 0; start < particles_.size(); start += BATCH_SIZE) {
        batch_.Clear();
        const size_t end = std::min(particles_.size(), start + BATCH_SIZE);
        for (size_t i = start; i < end; ++i) {
            const Particle& p = particles_[i];
            batch_[static_cast<int>(i - start)] = {1, p.position.x, p.position.y, p.position.z, p.colour, p.size};
        }
        batch_.Draw(d);
    }
}

void ParticleSystem::Run(float time, float dt) {
    IDirect3DDevice8* d = device_->GetDevice();
    SetGlowStates(d);
    const D3DMATRIX identity = IdentityMatrix();
    d->SetTransform(D3DTS_WORLD, &identity);
    D3DMATRIX view{};
    d->GetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_VIEW, &identity);
    Emit(time, dt);
    AgeAndMove(time, dt);
    DrawAll(d, view);
}
