#pragma once
#include <vector>
#include <d3d8.h>

#include "engine/vector3.h"

class Device3D;
class Scene;
class TriMesh;

// Translucent rays out of one mesh of a scene: from the centre of its box
// through every triangle edge, each edge end pushed out by a fixed random
// factor of its vertex, so light seems to burst through the surface. The
// mesh itself is hidden from the scene's rendering.
class MeshBurst {
public:
    MeshBurst(Device3D& device, Scene& scene);

    void Draw(float alpha);

    TriMesh* GetMesh() const { return mesh_; }
    // The push-out factor of every vertex (0 .. 2.5, fixed at construction).
    std::vector<float>& Factors() { return factors_; }

private:
    void SetStates(IDirect3DDevice8* d, float alpha);

    Device3D* device_;
    Scene* scene_;
    TriMesh* mesh_;
    std::vector<float> factors_;      // 0 .. 2.5 per vertex
    std::vector<Vector3> positions_;  // the mesh's positions, reread every draw
};
