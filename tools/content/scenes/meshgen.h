#pragma once
// Procedural meshes for the scenes: lathes, extrusions, boxes, grids. A mesh
// is a vertex list and a triangle list; triangles are wound so that
// (b - a) x (c - a) points out of the surface, which is the front face of the
// engine's default culling.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/klxdocument.h"
#include "engine/matrix4.h"

namespace content {

// A point of a flat profile or outline.
struct P2 {
    float x, y;
};

struct MeshData {
    std::vector<KlxVertex> vertices;
    std::vector<std::uint16_t> indices;

    std::size_t Triangles() const { return indices.size() / 3; }
    // Appends another mesh moved by a transform (normals follow its rotation).
    void Append(const MeshData& other, const Matrix4& transform);
    void Append(const MeshData& other) { Append(other, Matrix4()); }
    void Triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    // Smooth normals from the faces around each vertex.
    void ComputeNormals();
    // Turns triangles whose face normal points towards the point around.
    void OrientAway(const Vector3& centre);
    // Turns triangles so their normals point to +y.
    void OrientUp();
    void Transform(const Matrix4& m);
};

// A profile of (radius, height) points turned about the y axis. u runs
// around, v along the profile (0..vScale).
MeshData Lathe(const std::vector<P2>& profile, int segments, float vScale = 1.0f);
// A flat outline (x, y), centred on its origin and star-shaped about it,
// extruded along z from -depth/2 to depth/2 with caps.
MeshData Extrude(const std::vector<P2>& outline, float depth);
MeshData Box(const Vector3& half);
MeshData Cylinder(float radius, float height, int segments);
MeshData Sphere(float radius, int segments, int rings);
// A toothed wheel in the x-y plane, with a hub hole.
MeshData Gear(int teeth, float inner, float outer, float thickness);
// nx x nz vertices over the x-z square of the given size, heights from f;
// u, v span 0..1.
MeshData Grid(int nx, int nz, float sizeX, float sizeZ, const std::function<float(float, float)>& height);

// The triangles of an nx x nz Grid as one triangle strip, rows joined by
// degenerate triangles; every triangle keeps the grid's upward facing.
std::vector<std::uint16_t> GridStrip(int nx, int nz);

Matrix4 Rotation(const Vector3& axis, float radians);
Quaternion AxisAngle(const Vector3& axis, float radians);

}  // namespace content
