#include "scenes/meshgen.h"

#include <cmath>
#include <stdexcept>

namespace content {
namespace {

constexpr float kTwoPi = 6.2831853f;

KlxVertex Vertex(const Vector3& p, float u, float v) {
    KlxVertex k;
    k.position = p;
    k.uv[0] = Vector2(u, v);
    return k;
}

Vector3 FaceNormal(const MeshData& m, std::size_t t) {
    const Vector3& a = m.vertices[m.indices[t]].position;
    const Vector3& b = m.vertices[m.indices[t + 1]].position;
    const Vector3& c = m.vertices[m.indices[t + 2]].position;
    return (b - a).Cross(c - a);
}

}  // namespace

Quaternion AxisAngle(const Vector3& axis, float radians) {
    Vector3 n = axis.Normalized();
    float s = std::sin(radians * 0.5f);
    return {n.x * s, n.y * s, n.z * s, std::cos(radians * 0.5f)};
}

Matrix4 Rotation(const Vector3& axis, float radians) { return Matrix4(AxisAngle(axis, radians)); }

void MeshData::Triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    indices.push_back(static_cast<std::uint16_t>(a));
    indices.push_back(static_cast<std::uint16_t>(b));
    indices.push_back(static_cast<std::uint16_t>(c));
}

void MeshData::Append(const MeshData& other, const Matrix4& transform) {
    std::size_t base = vertices.size();
    if (base + other.vertices.size() > 65535) throw std::runtime_error("mesh too large for 16-bit indices");
    for (KlxVertex v : other.vertices) {
        v.position = transform.TransformPoint(v.position);
        v.normal = transform.TransformVector(v.normal).Normalized();
        vertices.push_back(v);
    }
    for (std::uint16_t i : other.indices) indices.push_back(static_cast<std::uint16_t>(base + i));
}

void MeshData::Transform(const Matrix4& m) {
    for (KlxVertex& v : vertices) {
        v.position = m.TransformPoint(v.position);
        v.normal = m.TransformVector(v.normal).Normalized();
    }
}

void MeshData::ComputeNormals() {
    for (KlxVertex& v : vertices) v.normal = Vector3();
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        Vector3 n = FaceNormal(*this, t);
        for (int k = 0; k < 3; ++k) vertices[indices[t + static_cast<std::size_t>(k)]].normal += n;
    }
    for (KlxVertex& v : vertices) v.normal = v.normal.Normalized();
}

void MeshData::OrientAway(const Vector3& centre) {
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        Vector3 mid =
            (vertices[indices[t]].position + vertices[indices[t + 1]].position + vertices[indices[t + 2]].position) /
            3.0f;
        if (FaceNormal(*this, t).Dot(mid - centre) < 0.0f) std::swap(indices[t + 1], indices[t + 2]);
    }
}

void MeshData::OrientUp() {
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3)
        if (FaceNormal(*this, t).y < 0.0f) std::swap(indices[t + 1], indices[t + 2]);
}

MeshData Lathe(const std::vector<P2>& profile, int segments, float vScale) {
    MeshData m;
    // Arc length along the profile gives an even v.
    std::vector<float> along(profile.size(), 0.0f);
    for (std::size_t i = 1; i < profile.size(); ++i) {
        P2 d{profile[i].x - profile[i - 1].x, profile[i].y - profile[i - 1].y};
        along[i] = along[i - 1] + std::sqrt(d.x * d.x + d.y * d.y);
    }
    float total = along.back() > 0.0f ? along.back() : 1.0f;
    for (int s = 0; s <= segments; ++s) {
        float a = kTwoPi * static_cast<float>(s) / static_cast<float>(segments);
        for (std::size_t i = 0; i < profile.size(); ++i)
            m.vertices.push_back(Vertex({profile[i].x * std::cos(a), profile[i].y, profile[i].x * std::sin(a)},
                                        static_cast<float>(s) / static_cast<float>(segments),
                                        along[i] / total * vScale));
    }
    auto n = static_cast<std::uint32_t>(profile.size());
    for (std::uint32_t s = 0; s < static_cast<std::uint32_t>(segments); ++s)
        for (std::uint32_t i = 0; i + 1 < n; ++i) {
            std::uint32_t a = s * n + i, b = a + 1, c = a + n, d = c + 1;
            m.Triangle(a, c, b);
            m.Triangle(b, c, d);
        }
    m.ComputeNormals();
    return m;
}

MeshData Extrude(const std::vector<P2>& outline, float depth) {
    MeshData m;
    float h = depth * 0.5f;
    auto count = static_cast<std::uint32_t>(outline.size());
    float radius = 0.0f;
    for (const P2& p : outline) radius = std::max(radius, std::sqrt(p.x * p.x + p.y * p.y));
    // Caps: a fan from the centre on each side.
    for (float z : {-h, h}) {
        std::uint32_t centre = static_cast<std::uint32_t>(m.vertices.size());
        m.vertices.push_back(Vertex({0.0f, 0.0f, z}, 0.5f, 0.5f));
        for (const P2& p : outline)
            m.vertices.push_back(Vertex({p.x, p.y, z}, 0.5f + p.x / (2.0f * radius), 0.5f - p.y / (2.0f * radius)));
        for (std::uint32_t i = 0; i < count; ++i) m.Triangle(centre, centre + 1 + i, centre + 1 + (i + 1) % count);
    }
    // Sides, with their own vertices for crisp edges.
    for (std::uint32_t i = 0; i < count; ++i) {
        const P2& p = outline[i];
        const P2& q = outline[(i + 1) % count];
        auto base = static_cast<std::uint32_t>(m.vertices.size());
        float u0 = static_cast<float>(i) / static_cast<float>(count),
              u1 = static_cast<float>(i + 1) / static_cast<float>(count);
        m.vertices.push_back(Vertex({p.x, p.y, -h}, u0, 0.0f));
        m.vertices.push_back(Vertex({q.x, q.y, -h}, u1, 0.0f));
        m.vertices.push_back(Vertex({p.x, p.y, h}, u0, 1.0f));
        m.vertices.push_back(Vertex({q.x, q.y, h}, u1, 1.0f));
        m.Triangle(base, base + 1, base + 2);
        m.Triangle(base + 1, base + 3, base + 2);
    }
    m.OrientAway({0.0f, 0.0f, 0.0f});
    m.ComputeNormals();
    return m;
}

MeshData Box(const Vector3& half) {
    MeshData m;
    const Vector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int a = 0; a < 3; ++a)
        for (float sign : {-1.0f, 1.0f}) {
            Vector3 n = axes[a] * sign;
            Vector3 u = axes[(a + 1) % 3], v = axes[(a + 2) % 3];
            auto base = static_cast<std::uint32_t>(m.vertices.size());
            for (int k = 0; k < 4; ++k) {
                float su = (k & 1) ? 1.0f : -1.0f, sv = (k & 2) ? 1.0f : -1.0f;
                Vector3 p = n + u * su + v * sv;
                p = {p.x * half.x, p.y * half.y, p.z * half.z};
                KlxVertex vert = Vertex(p, (su + 1.0f) * 0.5f, (sv + 1.0f) * 0.5f);
                vert.normal = n;
                m.vertices.push_back(vert);
            }
            m.Triangle(base, base + 1, base + 2);
            m.Triangle(base + 1, base + 3, base + 2);
        }
    m.OrientAway({0.0f, 0.0f, 0.0f});
    return m;
}

MeshData Cylinder(float radius, float height, int segments) {
    float h = height * 0.5f;
    MeshData m = Lathe({{0.0f, -h}, {radius, -h}, {radius, -h}, {radius, h}, {radius, h}, {0.0f, h}}, segments);
    m.OrientAway({0.0f, 0.0f, 0.0f});
    m.ComputeNormals();
    return m;
}

MeshData Sphere(float radius, int segments, int rings) {
    std::vector<P2> profile;
    for (int r = 0; r <= rings; ++r) {
        float a = -1.5707963f + 3.1415927f * static_cast<float>(r) / static_cast<float>(rings);
        profile.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    MeshData m = Lathe(profile, segments);
    m.OrientAway({0.0f, 0.0f, 0.0f});
    m.ComputeNormals();
    return m;
}

MeshData Gear(int teeth, float inner, float outer, float thickness) {
    std::vector<P2> outline;
    int steps = teeth * 4;
    for (int i = 0; i < steps; ++i) {
        float a = kTwoPi * static_cast<float>(i) / static_cast<float>(steps);
        float r = (i % 4 == 1 || i % 4 == 2) ? outer : inner;
        outline.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return Extrude(outline, thickness);
}

MeshData Grid(int nx, int nz, float sizeX, float sizeZ, const std::function<float(float, float)>& height) {
    MeshData m;
    for (int j = 0; j < nz; ++j)
        for (int i = 0; i < nx; ++i) {
            float u = static_cast<float>(i) / static_cast<float>(nx - 1),
                  v = static_cast<float>(j) / static_cast<float>(nz - 1);
            float x = (u - 0.5f) * sizeX, z = (0.5f - v) * sizeZ;
            m.vertices.push_back(Vertex({x, height(x, z), z}, u, v));
        }
    for (int j = 0; j + 1 < nz; ++j)
        for (int i = 0; i + 1 < nx; ++i) {
            auto a = static_cast<std::uint32_t>(j * nx + i);
            auto b = a + 1, c = a + static_cast<std::uint32_t>(nx), d = c + 1;
            m.Triangle(a, b, c);
            m.Triangle(b, d, c);
        }
    m.OrientUp();
    m.ComputeNormals();
    return m;
}

std::vector<std::uint16_t> GridStrip(int nx, int nz) {
    std::vector<std::uint16_t> strip;
    for (int j = 0; j + 1 < nz; ++j) {
        // Each row holds an even number of indices, so every row starts on
        // an even triangle and the alternating winding stays in step.
        if (j > 0) {
            strip.push_back(strip.back());
            strip.push_back(static_cast<std::uint16_t>((j + 1) * nx));
        }
        for (int i = 0; i < nx; ++i) {
            strip.push_back(static_cast<std::uint16_t>((j + 1) * nx + i));
            strip.push_back(static_cast<std::uint16_t>(j * nx + i));
        }
    }
    return strip;
}

}  // namespace content
