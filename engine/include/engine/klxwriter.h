#pragma once
#include <cstdint>
#include <vector>
#include "engine/klxdocument.h"

// Writes KLX files: whole documents, single chunks from records, or raw
// fields for hand-made files. Not used by the show; the content builder and
// the tests share it.
//
//   KlxWriter w;
//   w.WriteDocument(document);
//   w.Save("scene.klx");
//
// Chunks nest through BeginChunk/EndChunk, which fills in the size.
class KlxWriter {
public:
    // The bytes written so far.
    const std::vector<uint8_t>& Data() const { return data_; }
    std::vector<uint8_t> Take();
    // Throws cvcore::Exception when the file cannot be written or a chunk is
    // still open.
    void Save(const char* path) const;

    // A whole document under one ChunkFileRoot, in this order: scene time,
    // environment (when fog is set), images, materials, nodes (each with its
    // track chunks and, nested, the cameras and lights that carry its id),
    // meshes. Empty tracks and empty light node lists are left out. Throws
    // cvcore::Exception for a camera or light whose node id has no node.
    void WriteDocument(const KlxDocument& document);

    // Single chunks from records.
    void WriteSceneTime(const KlxSceneTime& time);
    void WriteEnvironment(const KlxEnvironment& environment);
    void WriteImage(const KlxImage& image);  // writes image.file
    void WriteImage(uint32_t chunkId, const std::vector<uint8_t>& file);
    // The material with its enabled map slots and its extra values.
    void WriteMaterial(const KlxMaterial& material);
    void WriteMaterialMap(int32_t slot, const KlxMap& map);
    // ChunkNode with its non-empty tracks; left open when keepOpen is set so
    // cameras and lights can follow inside it (close it with EndChunk).
    void WriteNode(const KlxNode& node, bool keepOpen = false);
    void WritePositionTrack(const KlxTrack<PositionKey>& track);
    void WriteRotationTrack(const KlxTrack<RotationKey>& track);
    void WriteScaleTrack(const KlxTrack<ScaleKey>& track);
    void WriteCamera(const KlxCamera& camera);
    void WriteLight(const KlxLight& light);
    // ChunkMesh with vertices, face groups, skin (when it has bones or
    // weights) and morph frames, all in the mesh's vertex flags.
    void WriteMesh(const KlxMesh& mesh);
    void WriteVertices(uint32_t flags, const std::vector<KlxVertex>& vertices);
    void WriteFaceGroup(const KlxFaceGroup& group);
    void WriteSkin(const KlxMesh& mesh);
    void WriteMorphFrames(uint32_t flags, const std::vector<KlxFrame>& frames);

    // Raw building blocks.
    void BeginChunk(uint32_t id);
    void EndChunk();
    void PutU8(uint8_t value);
    void PutU16(uint16_t value);
    void PutU32(uint32_t value);
    void PutI32(int32_t value);
    void PutF32(float value);
    void PutString(const char* text);  // null writes an empty string
    void PutVec2(const Vector2& v);
    void PutVec3(const Vector3& v);
    void PutQuat(const Quaternion& q);
    void PutMatrix(const Matrix4& m);
    void PutBytes(const void* bytes, size_t count);
    void PutVertex(uint32_t flags, const KlxVertex& vertex);

private:
    std::vector<uint8_t> data_;
    std::vector<size_t> open_;  // offsets of the size fields of open chunks
};
