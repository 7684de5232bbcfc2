#pragma once
// Builds one KLX scene in memory: nodes with their key tracks, meshes,
// materials, cameras, lights, fog and embedded pictures, then writes it with
// the engine's KLX writer. Node ids start at 1; NONE marks "no parent" and
// "no target" with an id no node or helper node ever has.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/klxdocument.h"
#include "scenes/meshgen.h"

namespace content {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr int32_t TICKS_PER_SECOND = 4800;  // 30 frames of 160 ticks

inline int32_t Ticks(float seconds) { return static_cast<int32_t>(seconds * TICKS_PER_SECOND + 0.5f); }

struct PosKey {
    float time;
    Vector3 value;
};
struct RotKey {
    float time;
    Quaternion value;
};

struct Maps {
    std::string base, second, reflection;
};

class SceneKit {
public:
    explicit SceneKit(float seconds);

    std::uint32_t Node(const std::string& name, std::uint32_t parent, const Vector3& position,
                       const Quaternion& rotation = {}, const Vector3& scale = {1.0f, 1.0f, 1.0f});
    void SetTarget(std::uint32_t node, std::uint32_t target);
    // Curve keys get Catmull-Rom tangents (wrapping when the ends meet) and
    // the given ease; linear keys ignore both.
    void Positions(std::uint32_t node, const std::vector<PosKey>& keys, bool curve, std::uint32_t ortBefore,
                   std::uint32_t ortAfter, float ease = 0.0f);
    void Rotations(std::uint32_t node, const std::vector<RotKey>& keys, bool curve, std::uint32_t ortBefore,
                   std::uint32_t ortAfter, float ease = 0.0f);
    // A full turn about an axis every `period` seconds (negative: the other
    // way), as three linear keys repeated by the given out-of-range type.
    void Spin(std::uint32_t node, const Vector3& axis, float period, float phase, std::uint32_t ort);
    // Moves a track's range end (loop types run back to the first key there).
    void RotationEnd(std::uint32_t node, float seconds);
    void Scales(std::uint32_t node, const std::vector<PosKey>& keys, bool curve, std::uint32_t ortBefore,
                std::uint32_t ortAfter);

    // Material colours are 0xAARRGGBB; flags: bit 0 two-sided, bit 3 additive.
    void Material(std::uint32_t id, const std::string& name, std::uint32_t diffuse, const Maps& maps,
                  float opacity = 1.0f, std::uint32_t flags = 0, std::uint32_t ambient = 0xFF202020,
                  std::uint32_t emissive = 0xFF000000, std::uint32_t specular = 0xFFFFFFFF);
    // Returns the image's index for light-mapped face groups.
    int32_t Image(std::uint32_t chunkId, const std::vector<std::uint8_t>& file);

    // A mesh on a node with one face group; `sets` coordinate sets are stored.
    KlxMesh& Mesh(std::uint32_t node, const MeshData& data, std::uint32_t material, int32_t lightMap = -1,
                  int sets = 1);
    void Camera(std::uint32_t node, float fov, float nearClip, float farClip, float envNear, float envFar);
    void Light(std::uint32_t node, std::uint8_t kind, std::uint32_t colour, std::uint32_t flags, float range = 0.0f,
               float inner = 0.0f, float outer = 0.0f);
    void Fog(std::uint32_t colour, float nearFactor, float farDivisor);

    KlxDocument& Document() { return doc_; }
    // Fills in every node's bind pose (its world transform at tick 0) and
    // writes the file.
    std::vector<std::uint8_t> Finish();

private:
    KlxNode& Find(std::uint32_t id);
    Matrix4 LocalAtStart(const KlxNode& n) const;
    Matrix4 WorldAtStart(const KlxNode& n, int depth) const;

    KlxDocument doc_;
    std::uint32_t nextId_ = 1;
};

// The rotation that turns +y onto `direction` (for spot and directional
// lights, which shine along their node's y axis).
Quaternion AimY(const Vector3& direction);

}  // namespace content
