#pragma once
#include <cstdint>
#include <vector>

#include "engine/scene.h"
#include "engine/trimesh.h"
#include "plasma.h"

class Device3D;

// The floor of part 2: vertex colours lit on the CPU by two lights carried
// through the animated scene, modulated by a plasma, and glowing fins
// extruded from lit edges away from each light.
class LightFloor {
public:
    struct Light {
        Vector3 position;
        uint32_t colour;
        std::vector<float> factors;  // per floor vertex: 1 = out of reach
    };
    static const uint32_t ColourTable[4][3];

    LightFloor(Device3D& device, const char* fileName);

    void Draw(float time);

    // Camera index for a part time: one more every five seconds.
    int CameraIndex(float time) const;
    // Adds two colours byte by byte, dropping each byte's lowest bit first
    // and saturating the three colour bytes that overflow.
    static uint32_t AddSaturated(uint32_t a, uint32_t b);
    // Each byte of colour times c / 256.
    static uint32_t Scale(uint32_t colour, int c);

    Scene& GetScene() { return scene_; }
    TriMesh* GetFloor() const { return floor_; }
    const Light& GetLight(int i) const { return lights_[i]; }

private:
    void FindFloor();
    void CopyFloor();
    void FindLights();
    void LightVertices();
    void SetFinStates(IDirect3DDevice8* d);
    void DrawFins(IDirect3DDevice8* d);
    void DrawFin(IDirect3DDevice8* d, const Light& light, int p, int q);

    Light lights_[3];
    Device3D* device_;
    Scene scene_;
    TriMesh* floor_ = nullptr;
    std::vector<MeshVertex> vertices_;  // object space, as written to the mesh
    std::vector<Vector3> world_;        // the same positions in world space
    Plasma plasma_;
};
