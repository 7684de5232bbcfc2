#include "scenes/scenekit.h"

#include <cmath>
#include <stdexcept>

#include "engine/klxwriter.h"

namespace content {
namespace {

template <class Key>
void SetRange(KlxTrack<Key>& t, const std::vector<int32_t>& times, bool curve, std::uint32_t before,
              std::uint32_t after) {
    t.keyType = curve ? KLX_CURVE_KEYS : 0;
    t.start = times.front();
    t.end = times.back();
    t.ort = (before & 0xFFFFu) | (after << 16);
}

}  // namespace

SceneKit::SceneKit(float seconds) {
    doc_.sceneTime.startTick = 0;
    doc_.sceneTime.endTick = Ticks(seconds);
    doc_.sceneTime.framesPerSecond = 30;
    doc_.sceneTime.ticksPerFrame = 160;
}

KlxNode& SceneKit::Find(std::uint32_t id) {
    KlxNode* n = doc_.FindNode(id);
    if (!n) throw std::runtime_error("scene node " + std::to_string(id) + " does not exist");
    return *n;
}

std::uint32_t SceneKit::Node(const std::string& name, std::uint32_t parent, const Vector3& position,
                             const Quaternion& rotation, const Vector3& scale) {
    KlxNode n;
    n.name = cvcore::String(name.c_str());
    n.id = nextId_++;
    n.parentId = parent;
    n.targetId = NONE;
    n.position = position;
    n.rotation = rotation;
    n.scale = scale;
    n.SetDefaultTracks();
    doc_.nodes.push_back(n);
    return n.id;
}

void SceneKit::SetTarget(std::uint32_t node, std::uint32_t target) { Find(node).targetId = target; }

void SceneKit::Positions(std::uint32_t node, const std::vector<PosKey>& keys, bool curve, std::uint32_t ortBefore,
                         std::uint32_t ortAfter, float ease) {
    KlxTrack<PositionKey>& t = Find(node).positionTrack;
    t = {};
    std::vector<int32_t> times;
    for (const PosKey& k : keys) times.push_back(Ticks(k.time));
    SetRange(t, times, curve, ortBefore, ortAfter);
    std::size_t n = keys.size();
    bool closed = n > 2 && keys.front().value == keys.back().value;
    for (std::size_t i = 0; i < n; ++i) {
        PositionKey k;
        k.value = keys[i].value;
        if (curve) {
            // Catmull-Rom: the tangent follows the neighbours.
            Vector3 prev = i > 0 ? keys[i - 1].value : (closed ? keys[n - 2].value : keys[i].value);
            Vector3 next = i + 1 < n ? keys[i + 1].value : (closed ? keys[1].value : keys[i].value);
            Vector3 tangent = (next - prev) * 0.5f;
            k.inTangent = tangent;
            k.outTangent = tangent;
            k.easeIn = ease;
            k.easeOut = ease;
        }
        t.Add(times[i], k);
    }
}

void SceneKit::Rotations(std::uint32_t node, const std::vector<RotKey>& keys, bool curve, std::uint32_t ortBefore,
                         std::uint32_t ortAfter, float ease) {
    KlxTrack<RotationKey>& t = Find(node).rotationTrack;
    t = {};
    std::vector<int32_t> times;
    for (const RotKey& k : keys) times.push_back(Ticks(k.time));
    SetRange(t, times, curve, ortBefore, ortAfter);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        RotationKey k;
        k.value = keys[i].value;
        if (curve) {
            // Controls on the keys themselves: each segment eases in and out
            // along its arc.
            k.inControl = k.value;
            k.outControl = k.value;
            k.easeIn = ease;
            k.easeOut = ease;
        }
        t.Add(times[i], k);
    }
}

void SceneKit::Spin(std::uint32_t node, const Vector3& axis, float period, float phase, std::uint32_t ort) {
    float dir = period < 0.0f ? -1.0f : 1.0f;
    float t = std::fabs(period);
    std::vector<RotKey> keys;
    for (int k = 0; k <= 3; ++k)
        keys.push_back(
            {t * static_cast<float>(k) / 3.0f, AxisAngle(axis, dir * (phase + 2.0943951f * static_cast<float>(k)))});
    if (ort == 3) {
        // Loop runs from the last key back to the first by itself.
        keys.pop_back();
        Rotations(node, keys, false, ort, ort);
        RotationEnd(node, t);
        return;
    }
    Rotations(node, keys, false, ort, ort);
}

void SceneKit::RotationEnd(std::uint32_t node, float seconds) { Find(node).rotationTrack.end = Ticks(seconds); }

void SceneKit::Scales(std::uint32_t node, const std::vector<PosKey>& keys, bool curve, std::uint32_t ortBefore,
                      std::uint32_t ortAfter) {
    KlxTrack<ScaleKey>& t = Find(node).scaleTrack;
    t = {};
    std::vector<int32_t> times;
    for (const PosKey& k : keys) times.push_back(Ticks(k.time));
    SetRange(t, times, curve, ortBefore, ortAfter);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ScaleKey k;
        k.scale = keys[i].value;
        t.Add(times[i], k);
    }
}

void SceneKit::Material(std::uint32_t id, const std::string& name, std::uint32_t diffuse, const Maps& maps,
                        float opacity, std::uint32_t flags, std::uint32_t ambient, std::uint32_t emissive,
                        std::uint32_t specular) {
    KlxMaterial m;
    m.name = cvcore::String(name.c_str());
    m.id = id;
    m.ambient = ambient;
    m.diffuse = diffuse;
    m.specular = specular;
    m.emissive = emissive;
    m.opacity = opacity;
    m.flags = flags;
    auto slot = [&](int index, const std::string& file) {
        if (file.empty()) return;
        m.maps[index].enabled = true;
        m.maps[index].fileName = cvcore::String(file.c_str());
    };
    slot(1, maps.base);
    slot(7, maps.second);
    slot(9, maps.reflection);
    doc_.materials.push_back(m);
}

int32_t SceneKit::Image(std::uint32_t chunkId, const std::vector<std::uint8_t>& file) {
    KlxImage image;
    image.chunkId = chunkId;
    image.file = file;
    doc_.images.push_back(std::move(image));
    return static_cast<int32_t>(doc_.images.size() - 1);
}

KlxMesh& SceneKit::Mesh(std::uint32_t node, const MeshData& data, std::uint32_t material, int32_t lightMap, int sets) {
    if (data.vertices.size() > 65535) throw std::runtime_error("mesh has too many vertices");
    KlxMesh m;
    m.nodeId = node;
    m.vertexFlags =
        KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | (static_cast<std::uint32_t>(sets) << KLX_VERTEX_SET_SHIFT);
    m.vertices = data.vertices;
    KlxFaceGroup g;
    g.materialId = material;
    g.lightMap = lightMap;
    g.indexType = KLX_TRIANGLE_LIST;
    g.indices = data.indices;
    m.faceGroups.push_back(std::move(g));
    doc_.meshes.push_back(std::move(m));
    return doc_.meshes.back();
}

void SceneKit::Camera(std::uint32_t node, float fov, float nearClip, float farClip, float envNear, float envFar) {
    KlxCamera c;
    c.nodeId = node;
    c.environmentNear = envNear;
    c.environmentFar = envFar;
    c.fieldOfView = fov;
    c.nearClip = nearClip;
    c.farClip = farClip;
    c.flags = 1;
    doc_.cameras.push_back(c);
}

void SceneKit::Light(std::uint32_t node, std::uint8_t kind, std::uint32_t colour, std::uint32_t flags, float range,
                     float inner, float outer) {
    KlxLight l;
    l.nodeId = node;
    l.kind = kind;
    l.color = colour;
    l.flags = flags;
    l.range = range;
    l.innerCone = inner;
    l.outerCone = outer;
    doc_.lights.push_back(l);
}

void SceneKit::Fog(std::uint32_t colour, float nearFactor, float farDivisor) {
    doc_.fog = true;
    doc_.environment.fogColor = colour;
    doc_.environment.fogNear = nearFactor;
    doc_.environment.fogFar = farDivisor;
}

Matrix4 SceneKit::LocalAtStart(const KlxNode& n) const {
    Vector3 s = n.scaleTrack.keys.empty() ? n.scale : n.scaleTrack.keys.front().scale;
    Quaternion r = n.rotationTrack.keys.empty() ? n.rotation : n.rotationTrack.keys.front().value;
    Vector3 p = n.positionTrack.keys.empty() ? n.position : n.positionTrack.keys.front().value;
    return Matrix4(s.x, s.y, s.z) * Matrix4(r) * Matrix4::Translation(p);
}

Matrix4 SceneKit::WorldAtStart(const KlxNode& n, int depth) const {
    if (depth > 64) throw std::runtime_error("scene hierarchy has a cycle");
    Matrix4 local = LocalAtStart(n);
    const KlxNode* parent = doc_.FindNode(n.parentId);
    return parent ? local * WorldAtStart(*parent, depth + 1) : local;
}

std::vector<std::uint8_t> SceneKit::Finish() {
    for (KlxNode& n : doc_.nodes) n.bindPose = WorldAtStart(n, 0);
    KlxWriter w;
    w.WriteDocument(doc_);
    return w.Take();
}

Quaternion AimY(const Vector3& direction) {
    Vector3 d = direction.Normalized();
    Vector3 y(0.0f, 1.0f, 0.0f);
    Vector3 axis = y.Cross(d);
    float c = std::fmax(-1.0f, std::fmin(1.0f, y.Dot(d)));
    if (axis.Length() < 1e-5f) return c > 0.0f ? Quaternion() : AxisAngle({1.0f, 0.0f, 0.0f}, 3.1415927f);
    Quaternion q = AxisAngle(axis, std::acos(c));
    // Pick the sense that the engine's rotation matrix agrees with.
    Matrix4 m(q);
    if (Vector3(m.m[4], m.m[5], m.m[6]).Dot(d) < 0.99f) q = AxisAngle(axis, -std::acos(c));
    return q;
}

}  // namespace content
