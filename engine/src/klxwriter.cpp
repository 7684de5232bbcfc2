#include "engine/klxwriter.h"
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include "cvcore/exception.h"

namespace {

constexpr const char* kModule = "klxwriter";

int32_t SetsOf(uint32_t flags) { return static_cast<int32_t>((flags & KLX_VERTEX_SET_MASK) >> KLX_VERTEX_SET_SHIFT); }

}  // namespace

std::vector<uint8_t> KlxWriter::Take() {
    open_.clear();
    return std::move(data_);
}

void KlxWriter::Save(const char* path) const {
    if (!open_.empty()) throw cvcore::Exception("KlxWriter::Save()", "A chunk is still open!", kModule);
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Closer> file(std::fopen(path, "wb"));
    if (!file) throw cvcore::Exception("KlxWriter::Save()", "Unable to create file!", kModule);
    if (std::fwrite(data_.data(), 1, data_.size(), file.get()) != data_.size() || std::fflush(file.get()) != 0) {
        throw cvcore::Exception("KlxWriter::Save()", "Unable to write file!", kModule);
    }
}

void KlxWriter::BeginChunk(uint32_t id) {
    PutU32(id);
    open_.push_back(data_.size());
    PutU32(0);
}

void KlxWriter::EndChunk() {
    if (open_.empty()) throw cvcore::Exception("KlxWriter::EndChunk()", "No chunk is open!", kModule);
    const size_t at = open_.back();
    open_.pop_back();
    const uint32_t size = static_cast<uint32_t>(data_.size() - at - 4);
    for (int i = 0; i < 4; ++i) data_[at + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
}

void KlxWriter::PutU8(uint8_t value) { data_.push_back(value); }

void KlxWriter::PutU16(uint16_t value) {
    data_.push_back(static_cast<uint8_t>(value));
    data_.push_back(static_cast<uint8_t>(value >> 8));
}

void KlxWriter::PutU32(uint32_t value) {
    for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void KlxWriter::PutI32(int32_t value) { PutU32(static_cast<uint32_t>(value)); }
void KlxWriter::PutF32(float value) { PutU32(std::bit_cast<uint32_t>(value)); }

void KlxWriter::PutString(const char* text) {
    if (text) PutBytes(text, std::strlen(text));
    PutU8(0);
}

void KlxWriter::PutVec2(const Vector2& v) {
    PutF32(v.u);
    PutF32(v.v);
}

void KlxWriter::PutVec3(const Vector3& v) {
    PutF32(v.x);
    PutF32(v.y);
    PutF32(v.z);
}

void KlxWriter::PutQuat(const Quaternion& q) {
    PutF32(q.x);
    PutF32(q.y);
    PutF32(q.z);
    PutF32(q.w);
}

void KlxWriter::PutMatrix(const Matrix4& m) {
    for (float f : m.m) PutF32(f);
}

void KlxWriter::PutBytes(const void* bytes, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    data_.insert(data_.end(), p, p + count);
}

void KlxWriter::PutVertex(uint32_t flags, const KlxVertex& vertex) {
    if (flags & KLX_VERTEX_POSITION) PutVec3(vertex.position);
    if (flags & KLX_VERTEX_NORMAL) PutVec3(vertex.normal);
    if (flags & KLX_VERTEX_COLOR) PutU32(vertex.color);
    const int32_t sets = SetsOf(flags);
    // A file may declare more sets than a vertex holds; those are written
    // as zeros.
    for (int32_t i = 0; i < sets; ++i) PutVec2(i < KLX_MAX_COORDINATE_SETS ? vertex.uv[i] : Vector2{});
}

void KlxWriter::WriteSceneTime(const KlxSceneTime& t) {
    BeginChunk(ChunkSceneTime);
    PutI32(t.startTick);
    PutI32(t.endTick);
    PutI32(t.framesPerSecond);
    PutI32(t.ticksPerFrame);
    PutI32(t.reserved);
    EndChunk();
}

void KlxWriter::WriteEnvironment(const KlxEnvironment& e) {
    BeginChunk(ChunkEnvironment);
    PutU8(e.reserved0);
    PutU32(e.fogColor);
    PutU8(e.reserved1);
    PutF32(e.fogNear);
    PutF32(e.fogFar);
    for (uint32_t v : e.reserved2) PutU32(v);
    for (uint8_t v : e.reserved3) PutU8(v);
    for (uint32_t v : e.reserved4) PutU32(v);
    EndChunk();
}

void KlxWriter::WriteImage(const KlxImage& image) { WriteImage(image.chunkId, image.file); }

void KlxWriter::WriteImage(uint32_t chunkId, const std::vector<uint8_t>& file) {
    BeginChunk(chunkId);
    PutBytes(file.data(), file.size());
    EndChunk();
}

void KlxWriter::WriteMaterial(const KlxMaterial& m) {
    BeginChunk(ChunkMaterial);
    PutString(m.name.Text());
    PutU32(m.id);
    PutU32(m.reserved);
    PutU32(m.ambient);
    PutU32(m.diffuse);
    PutU32(m.specular);
    PutU32(m.emissive);
    PutF32(m.opacity);
    PutU32(m.flags);
    for (int32_t slot = 0; slot < KLX_MAP_SLOTS; ++slot) {
        if (m.maps[slot].enabled) WriteMaterialMap(slot, m.maps[slot]);
    }
    BeginChunk(ChunkMaterialExtra);
    for (float v : m.extra) PutF32(v);
    EndChunk();
    EndChunk();
}

void KlxWriter::WriteMaterialMap(int32_t slot, const KlxMap& map) {
    BeginChunk(ChunkMaterialMap);
    PutU8(static_cast<uint8_t>(slot));
    PutU32(map.reserved);
    PutString(map.text.Text());
    PutString(map.fileName.Text());
    PutU8(map.reserved1);
    PutU8(map.reserved2);
    PutU32(map.reserved3);
    EndChunk();
}

void KlxWriter::WriteNode(const KlxNode& n, bool keepOpen) {
    BeginChunk(ChunkNode);
    PutString(n.name.Text());
    PutU32(n.id);
    PutU32(n.parentId);
    PutU32(n.targetId);
    PutMatrix(n.bindPose);
    PutMatrix(n.objectOffset);
    PutVec3(n.position);
    PutQuat(n.rotation);
    PutVec3(n.scale);
    PutQuat(n.scaleAxis);
    PutU32(n.reserved);
    PutString(n.reservedText.Text());
    if (!n.positionTrack.keys.empty()) WritePositionTrack(n.positionTrack);
    if (!n.rotationTrack.keys.empty()) WriteRotationTrack(n.rotationTrack);
    if (!n.scaleTrack.keys.empty()) WriteScaleTrack(n.scaleTrack);
    if (!keepOpen) EndChunk();
}

namespace {

template <class Key>
void TrackHeader(KlxWriter& w, uint32_t id, const KlxTrack<Key>& t) {
    w.BeginChunk(id);
    w.PutU8(t.keyType);
    w.PutI32(t.start);
    w.PutI32(t.end);
    w.PutU32(t.ort);
    w.PutU32(static_cast<uint32_t>(t.keys.size()));
}

template <class Key>
int32_t TimeOf(const KlxTrack<Key>& t, size_t i) {
    return i < t.times.size() ? t.times[i] : 0;
}

}  // namespace

void KlxWriter::WritePositionTrack(const KlxTrack<PositionKey>& t) {
    TrackHeader(*this, ChunkPositionTrack, t);
    for (size_t i = 0; i < t.keys.size(); ++i) {
        const PositionKey& k = t.keys[i];
        PutI32(TimeOf(t, i));
        PutVec3(k.value);
        if (t.IsCurve()) {
            PutVec3(k.inTangent);
            PutVec3(k.outTangent);
            PutF32(k.easeIn);
            PutF32(k.easeOut);
        }
    }
    EndChunk();
}

void KlxWriter::WriteRotationTrack(const KlxTrack<RotationKey>& t) {
    TrackHeader(*this, ChunkRotationTrack, t);
    for (size_t i = 0; i < t.keys.size(); ++i) {
        const RotationKey& k = t.keys[i];
        PutI32(TimeOf(t, i));
        PutQuat(k.value);
        if (t.IsCurve()) {
            PutQuat(k.inControl);
            PutQuat(k.outControl);
            PutF32(k.easeIn);
            PutF32(k.easeOut);
        }
    }
    EndChunk();
}

void KlxWriter::WriteScaleTrack(const KlxTrack<ScaleKey>& t) {
    TrackHeader(*this, ChunkScaleTrack, t);
    for (size_t i = 0; i < t.keys.size(); ++i) {
        const ScaleKey& k = t.keys[i];
        PutI32(TimeOf(t, i));
        PutVec3(k.scale);
        PutQuat(k.axis);
        if (t.IsCurve()) {
            PutVec3(k.inTangent);
            PutVec3(k.outTangent);
            PutQuat(k.axisInControl);
            PutQuat(k.axisOutControl);
            PutF32(k.easeIn);
            PutF32(k.easeOut);
        }
    }
    EndChunk();
}

void KlxWriter::WriteCamera(const KlxCamera& c) {
    BeginChunk(ChunkCamera);
    PutF32(c.environmentNear);
    PutF32(c.environmentFar);
    PutF32(c.fieldOfView);
    PutF32(c.nearClip);
    PutF32(c.farClip);
    PutU32(c.reserved);
    PutU32(c.flags);
    EndChunk();
}

void KlxWriter::WriteLight(const KlxLight& l) {
    BeginChunk(ChunkLight);
    PutU8(l.kind);
    PutU32(l.color);
    for (uint32_t v : l.reserved1) PutU32(v);
    PutF32(l.innerCone);
    PutF32(l.outerCone);
    for (uint32_t v : l.reserved2) PutU32(v);
    PutF32(l.range);
    PutU32(l.flags);
    if (!l.nodeList.empty() || l.nodeListReserved != 0) {
        BeginChunk(ChunkLightNodeList);
        PutU32(static_cast<uint32_t>(l.nodeList.size()));
        PutU32(l.nodeListReserved);
        for (uint32_t id : l.nodeList) PutU32(id);
        EndChunk();
    }
    EndChunk();
}

void KlxWriter::WriteMesh(const KlxMesh& mesh) {
    BeginChunk(ChunkMesh);
    PutU32(mesh.nodeId);
    if (!mesh.vertices.empty() || mesh.vertexFlags != 0) WriteVertices(mesh.vertexFlags, mesh.vertices);
    for (const KlxFaceGroup& g : mesh.faceGroups) WriteFaceGroup(g);
    if (!mesh.bones.empty() || mesh.HasSkinWeights()) WriteSkin(mesh);
    if (!mesh.frames.empty()) WriteMorphFrames(mesh.vertexFlags, mesh.frames);
    EndChunk();
}

void KlxWriter::WriteVertices(uint32_t flags, const std::vector<KlxVertex>& vertices) {
    BeginChunk(ChunkMeshVertices);
    PutU32(flags);
    PutU32(static_cast<uint32_t>(vertices.size()));
    for (const KlxVertex& v : vertices) PutVertex(flags, v);
    EndChunk();
}

void KlxWriter::WriteFaceGroup(const KlxFaceGroup& g) {
    BeginChunk(ChunkMeshFaceGroup);
    PutU32(g.materialId);
    PutI32(g.lightMap);
    PutU32(g.indexType);
    PutU32(static_cast<uint32_t>(g.indices.size()));
    for (uint16_t i : g.indices) PutU16(i);
    EndChunk();
}

void KlxWriter::WriteSkin(const KlxMesh& mesh) {
    BeginChunk(ChunkMeshSkin);
    PutU32(static_cast<uint32_t>(mesh.bones.size()));
    for (uint32_t id : mesh.bones) PutU32(id);
    PutU32(static_cast<uint32_t>(mesh.vertices.size()));
    for (const KlxVertex& v : mesh.vertices) {
        PutU32(static_cast<uint32_t>(v.weights.size()));
        for (const KlxWeight& w : v.weights) {
            PutU32(w.bone);
            PutF32(w.weight);
        }
    }
    EndChunk();
}

void KlxWriter::WriteMorphFrames(uint32_t flags, const std::vector<KlxFrame>& frames) {
    BeginChunk(ChunkMeshMorphFrames);
    PutU32(static_cast<uint32_t>(frames.size()));
    for (const KlxFrame& f : frames) {
        PutU32(f.time);
        for (const KlxVertex& v : f.vertices) PutVertex(flags, v);
    }
    EndChunk();
}

void KlxWriter::WriteDocument(const KlxDocument& doc) {
    for (const KlxCamera& c : doc.cameras) {
        if (!doc.FindNode(c.nodeId))
            throw cvcore::Exception("KlxWriter::WriteDocument()", "Camera without node!", kModule);
    }
    for (const KlxLight& l : doc.lights) {
        if (!doc.FindNode(l.nodeId))
            throw cvcore::Exception("KlxWriter::WriteDocument()", "Light without node!", kModule);
    }
    BeginChunk(ChunkFileRoot);
    WriteSceneTime(doc.sceneTime);
    if (doc.fog) WriteEnvironment(doc.environment);
    for (const KlxImage& image : doc.images) WriteImage(image);
    for (const KlxMaterial& m : doc.materials) WriteMaterial(m);
    for (const KlxNode& n : doc.nodes) {
        WriteNode(n, true);
        // Cameras and lights belong to the first node with their id.
        if (doc.FindNode(n.id) == &n) {
            for (const KlxCamera& c : doc.cameras) {
                if (c.nodeId == n.id) WriteCamera(c);
            }
            for (const KlxLight& l : doc.lights) {
                if (l.nodeId == n.id) WriteLight(l);
            }
        }
        EndChunk();
    }
    for (const KlxMesh& m : doc.meshes) WriteMesh(m);
    EndChunk();
}
