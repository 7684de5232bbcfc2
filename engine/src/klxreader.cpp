#include "engine/klxreader.h"
#include <algorithm>
#include <bit>
#include <memory>
#include "cvcore/bytereader.h"
#include "cvcore/exception.h"
#include "cvcore/imagecodec.h"
#include "cvcore/memorystream.h"
#include "cvcore/stream.h"
#include "klxinput.h"

static_assert(std::endian::native == std::endian::little, "KLX arrays are copied as they are stored");

namespace {

constexpr const char* kModule = "scenegraphklx";

// Bytes of one chunk from the buffered file, never past the chunk's end.
class ChunkBytes {
public:
    ChunkBytes(KlxInput& in, int64_t end) : in_(in), end_(end) {}

    size_t Left() const { return exhausted_ ? 0 : static_cast<size_t>(std::max<int64_t>(end_ - in_.Tell(), 0)); }
    bool Read(void* out, size_t n) { return in_.Read(out, n); }
    void Advance(size_t n) { in_.Seek(in_.Tell() + static_cast<int64_t>(n)); }
    void Exhaust() { exhausted_ = true; }

private:
    KlxInput& in_;
    int64_t end_;
    bool exhausted_ = false;
};

// The own data of one chunk, read field by field. The first read that does
// not fit marks the whole chunk as failed; later reads then give zeros, and
// the handler stores nothing.
class Fields : public cvcore::BasicByteReader<ChunkBytes> {
public:
    Fields(KlxInput& in, int64_t end) : BasicByteReader(in, end) {}

    bool Take(void* dst, size_t n) { return Ok() && Bytes(dst, n); }
    // Whether count elements of `each` bytes can still follow: counts are
    // checked before anything is sized from them. Elements take at least a
    // byte so a count can never outgrow the file.
    bool Fits(uint64_t count, uint64_t each) {
        each = std::max<uint64_t>(each, 1);
        if (Ok() && count > Remaining() / each) Fail();
        return Ok();
    }

    float F32() { return std::bit_cast<float>(U32()); }
    Vector2 Vec2() {
        float f[2] = {};
        Take(f, sizeof f);
        return {f[0], f[1]};
    }
    Vector3 Vec3() {
        float f[3] = {};
        Take(f, sizeof f);
        return {f[0], f[1], f[2]};
    }
    Quaternion Quat() {
        float f[4] = {};
        if (!Take(f, sizeof f)) return {};
        return {f[0], f[1], f[2], f[3]};
    }
    Matrix4 Mat() {
        Matrix4 m;
        if (!Take(m.m, sizeof m.m)) m.SetIdentity();
        return m;
    }
    // Up to the zero byte; characters beyond the 255th are read and dropped.
    cvcore::String Str() {
        char text[KLX_MAX_NAME + 1];
        int32_t length = 0;
        for (;;) {
            const uint8_t c = U8();
            if (!Ok() || c == 0) break;
            if (length < KLX_MAX_NAME) text[length++] = static_cast<char>(c);
        }
        text[length] = 0;
        return cvcore::String(text);
    }
};

int32_t SetsOf(uint32_t flags) { return static_cast<int32_t>((flags & KLX_VERTEX_SET_MASK) >> KLX_VERTEX_SET_SHIFT); }

uint64_t VertexBytes(uint32_t flags) {
    uint64_t n = 0;
    if (flags & KLX_VERTEX_POSITION) n += 12;
    if (flags & KLX_VERTEX_NORMAL) n += 12;
    if (flags & KLX_VERTEX_COLOR) n += 4;
    return n + 8 * static_cast<uint64_t>(SetsOf(flags));
}

void ReadVertex(Fields& f, uint32_t flags, KlxVertex& v) {
    if (flags & KLX_VERTEX_POSITION) v.position = f.Vec3();
    if (flags & KLX_VERTEX_NORMAL) v.normal = f.Vec3();
    if (flags & KLX_VERTEX_COLOR) v.color = f.U32();
    const int32_t sets = SetsOf(flags);
    for (int32_t i = 0; i < sets; ++i) {
        const Vector2 uv = f.Vec2();
        if (i < KLX_MAX_COORDINATE_SETS) v.uv[i] = uv;  // further sets have no room
    }
}

bool ReadVertices(Fields& f, uint32_t flags, uint32_t count, std::vector<KlxVertex>& out) {
    if (!f.Fits(count, VertexBytes(flags))) return false;
    out.resize(count);
    for (KlxVertex& v : out) ReadVertex(f, flags, v);
    return f.Ok();
}

// The flags as the document stores them: no more sets than a vertex holds.
uint32_t StoredFlags(uint32_t flags) {
    if (SetsOf(flags) <= KLX_MAX_COORDINATE_SETS) return flags;
    return (flags & ~KLX_VERTEX_SET_MASK) | (uint32_t{KLX_MAX_COORDINATE_SETS} << KLX_VERTEX_SET_SHIFT);
}

bool DecodeEmbeddedImage(const cvcore::ImageCodec& codec, const std::vector<uint8_t>& file, cvcore::Image& image) {
    const int32_t size = static_cast<int32_t>(file.size());
    std::unique_ptr<uint8_t[]> copy(new uint8_t[file.size() ? file.size() : 1]);
    std::copy(file.begin(), file.end(), copy.get());
    cvcore::MemoryStream stream(std::move(copy), size);
    return codec.Decode(image, stream);
}

// Byte sizes of one track key, linear and curve.
constexpr uint64_t kPositionKey[2] = {4 + 12, 4 + 3 * 12 + 8};
constexpr uint64_t kRotationKey[2] = {4 + 16, 4 + 3 * 16 + 8};
constexpr uint64_t kScaleKey[2] = {4 + 12 + 16, 4 + 3 * 12 + 3 * 16 + 8};

void ReadKey(Fields& f, bool curve, PositionKey& k) {
    k.value = f.Vec3();
    if (!curve) return;
    k.inTangent = f.Vec3();
    k.outTangent = f.Vec3();
    k.easeIn = f.F32();
    k.easeOut = f.F32();
}

void ReadKey(Fields& f, bool curve, RotationKey& k) {
    k.value = f.Quat();
    if (!curve) return;
    k.inControl = f.Quat();
    k.outControl = f.Quat();
    k.easeIn = f.F32();
    k.easeOut = f.F32();
}

void ReadKey(Fields& f, bool curve, ScaleKey& k) {
    k.scale = f.Vec3();
    k.axis = f.Quat();
    if (!curve) return;
    k.inTangent = f.Vec3();
    k.outTangent = f.Vec3();
    k.axisInControl = f.Quat();
    k.axisOutControl = f.Quat();
    k.easeIn = f.F32();
    k.easeOut = f.F32();
}

// The walk over the chunk tree with the four current-record cursors. The
// cursors are indices, so they stay valid while the lists grow.
class ChunkWalker {
public:
    ChunkWalker(KlxDocument& doc, KlxInput& in) : doc_(doc), in_(in), emptyAllowance_(in.Size()) {}

    void ReadChunk(int64_t parentEnd, int32_t depth);

private:
    // Reads the own data of a known chunk. False when the chunk is to be
    // skipped as a whole (unknown, truncated, or nothing to attach it to).
    bool Dispatch(uint32_t id, int64_t end);

    bool SceneTime(Fields& f);
    bool Environment(Fields& f);
    bool Material(Fields& f);
    bool MaterialMap(Fields& f);
    bool MaterialExtra(Fields& f);
    bool Node(Fields& f);
    template <class Key>
    bool Track(Fields& f, KlxTrack<Key>& track, bool& replaced, const uint64_t (&keyBytes)[2]);
    bool Mesh(Fields& f);
    bool Vertices(Fields& f);
    bool FaceGroup(Fields& f);
    bool Skin(Fields& f);
    bool MorphFrames(Fields& f);
    bool Camera(Fields& f);
    bool Light(Fields& f);
    bool LightNodeList(Fields& f);
    bool Image(Fields& f, uint32_t id, int64_t end);

    bool PayForEmptyVertices(uint32_t flags, uint64_t count);

    KlxNode* CurrentNode() { return node_ < 0 ? nullptr : &doc_.nodes[static_cast<size_t>(node_)]; }
    KlxMesh* CurrentMesh() { return mesh_ < 0 ? nullptr : &doc_.meshes[static_cast<size_t>(mesh_)]; }

    KlxDocument& doc_;
    KlxInput& in_;
    int32_t material_ = -1;
    int32_t node_ = -1;
    int32_t mesh_ = -1;
    int32_t light_ = -1;
    // Whether a track chunk has already replaced the current node's default
    // key in each track.
    bool replaced_[3] = {};
    // The current mesh's vertex layout as the file declared it (morph
    // frames repeat it), and whether it has been read.
    uint32_t meshFileFlags_ = 0;
    bool meshHasVertices_ = false;
    // Bytes of the file still free to pay for vertices that take none.
    int64_t emptyAllowance_;
};

void ChunkWalker::ReadChunk(int64_t parentEnd, int32_t depth) {
    Fields header(in_, parentEnd);
    const uint32_t id = header.U32();
    const uint32_t size = header.U32();
    if (!header.Ok()) {
        in_.Seek(parentEnd);
        return;
    }
    // A child never reaches past its parent.
    const int64_t end = std::min(in_.Tell() + int64_t{size}, parentEnd);
    if (depth <= KlxReader::MAX_DEPTH && Dispatch(id, end)) {
        while (end - in_.Tell() >= 8) ReadChunk(end, depth + 1);
    }
    in_.Seek(end);
}

bool ChunkWalker::Dispatch(uint32_t id, int64_t end) {
    Fields f(in_, end);
    switch (id) {
    case ChunkFileRoot:
    case ChunkGroup: return true;
    case ChunkSceneTime: return SceneTime(f);
    case ChunkEnvironment: return Environment(f);
    case ChunkMaterial: return Material(f);
    case ChunkMaterialMap: return MaterialMap(f);
    case ChunkMaterialExtra: return MaterialExtra(f);
    case ChunkNode: return Node(f);
    case ChunkPositionTrack: return CurrentNode() && Track(f, CurrentNode()->positionTrack, replaced_[0], kPositionKey);
    case ChunkRotationTrack: return CurrentNode() && Track(f, CurrentNode()->rotationTrack, replaced_[1], kRotationKey);
    case ChunkScaleTrack: return CurrentNode() && Track(f, CurrentNode()->scaleTrack, replaced_[2], kScaleKey);
    case ChunkMesh: return Mesh(f);
    case ChunkMeshVertices: return Vertices(f);
    case ChunkMeshFaceGroup: return FaceGroup(f);
    case ChunkMeshSkin: return Skin(f);
    case ChunkMeshMorphFrames: return MorphFrames(f);
    case ChunkCamera: return Camera(f);
    case ChunkLight: return Light(f);
    case ChunkLightNodeList: return LightNodeList(f);
    case ChunkImageJpeg:
    case ChunkImageTga: return Image(f, id, end);
    default: return false;
    }
}

bool ChunkWalker::SceneTime(Fields& f) {
    KlxSceneTime t;
    t.startTick = f.I32();
    t.endTick = f.I32();
    t.framesPerSecond = f.I32();
    t.ticksPerFrame = f.I32();
    t.reserved = f.I32();
    if (f.Ok()) doc_.sceneTime = t;
    return f.Ok();
}

bool ChunkWalker::Environment(Fields& f) {
    KlxEnvironment e;
    e.reserved0 = f.U8();
    e.fogColor = f.U32();
    e.reserved1 = f.U8();
    e.fogNear = f.F32();
    e.fogFar = f.F32();
    for (uint32_t& v : e.reserved2) v = f.U32();
    for (uint8_t& v : e.reserved3) v = f.U8();
    for (uint32_t& v : e.reserved4) v = f.U32();
    if (!f.Ok()) return false;
    doc_.environment = e;
    doc_.fog = true;
    return true;
}

bool ChunkWalker::Material(Fields& f) {
    KlxMaterial m;
    m.name = f.Str();
    m.id = f.U32();
    m.reserved = f.U32();
    m.ambient = f.U32();
    m.diffuse = f.U32();
    m.specular = f.U32();
    m.emissive = f.U32();
    m.opacity = f.F32();
    m.flags = f.U32();
    if (!f.Ok()) {
        material_ = -1;  // what follows must not land in an older material
        return false;
    }
    doc_.materials.push_back(m);
    material_ = static_cast<int32_t>(doc_.materials.size()) - 1;
    return true;
}

bool ChunkWalker::MaterialMap(Fields& f) {
    if (material_ < 0) return false;
    const uint8_t slot = f.U8();
    KlxMap map;
    map.reserved = f.U32();
    map.text = f.Str();
    map.fileName = f.Str();
    map.reserved1 = f.U8();
    map.reserved2 = f.U8();
    map.reserved3 = f.U32();
    if (!f.Ok() || slot >= KLX_MAP_SLOTS) return false;
    map.enabled = map.fileName.Length() > 0;
    doc_.materials[static_cast<size_t>(material_)].maps[slot] = map;
    return true;
}

bool ChunkWalker::MaterialExtra(Fields& f) {
    if (material_ < 0) return false;
    float extra[3];
    for (float& v : extra) v = f.F32();
    if (!f.Ok()) return false;
    std::copy(extra, extra + 3, doc_.materials[static_cast<size_t>(material_)].extra);
    return true;
}

bool ChunkWalker::Node(Fields& f) {
    KlxNode n;
    n.name = f.Str();
    n.id = f.U32();
    n.parentId = f.U32();
    n.targetId = f.U32();
    n.bindPose = f.Mat();
    n.objectOffset = f.Mat();
    n.position = f.Vec3();
    n.rotation = f.Quat();
    n.scale = f.Vec3();
    n.scaleAxis = f.Quat();
    n.reserved = f.U32();
    n.reservedText = f.Str();
    if (!f.Ok()) {
        node_ = -1;
        return false;
    }
    n.SetDefaultTracks();
    doc_.nodes.push_back(std::move(n));
    node_ = static_cast<int32_t>(doc_.nodes.size()) - 1;
    std::fill(std::begin(replaced_), std::end(replaced_), false);
    return true;
}

template <class Key>
bool ChunkWalker::Track(Fields& f, KlxTrack<Key>& track, bool& replaced, const uint64_t (&keyBytes)[2]) {
    KlxTrack<Key> read;
    read.keyType = f.U8();
    read.start = f.I32();
    read.end = f.I32();
    read.ort = f.U32();
    const uint32_t count = f.U32();
    const bool curve = read.IsCurve();
    if (!f.Fits(count, keyBytes[curve ? 1 : 0])) return false;
    read.times.resize(count);
    read.keys.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        read.times[i] = f.I32();
        ReadKey(f, curve, read.keys[i]);
    }
    if (!f.Ok()) return false;
    // The first track chunk of a node replaces its default key; further
    // ones append.
    if (!replaced) {
        track.times.clear();
        track.keys.clear();
        replaced = true;
    }
    track.keyType = read.keyType;
    track.start = read.start;
    track.end = read.end;
    track.ort = read.ort;
    track.times.insert(track.times.end(), read.times.begin(), read.times.end());
    track.keys.insert(track.keys.end(), read.keys.begin(), read.keys.end());
    return true;
}

// A vertex whose flags select no part takes no bytes, yet costs a record in
// memory. Each counts a byte, and those bytes are drawn from one allowance
// the size of the file: chunks nested in a vertex chunk's unread bytes cannot
// spend them again, so such records never outnumber the file's bytes.
bool ChunkWalker::PayForEmptyVertices(uint32_t flags, uint64_t count) {
    if (VertexBytes(flags) != 0) return true;
    if (count > static_cast<uint64_t>(emptyAllowance_)) return false;
    emptyAllowance_ -= static_cast<int64_t>(count);
    return true;
}

bool ChunkWalker::Mesh(Fields& f) {
    KlxMesh m;
    m.nodeId = f.U32();
    if (!f.Ok()) {
        mesh_ = -1;
        return false;
    }
    doc_.meshes.push_back(std::move(m));
    mesh_ = static_cast<int32_t>(doc_.meshes.size()) - 1;
    meshFileFlags_ = 0;
    meshHasVertices_ = false;
    return true;
}

bool ChunkWalker::Vertices(Fields& f) {
    KlxMesh* mesh = CurrentMesh();
    if (!mesh) return false;
    const uint32_t flags = f.U32();
    const uint32_t count = f.U32();
    std::vector<KlxVertex> vertices;
    if (!f.Ok() || !f.Fits(count, VertexBytes(flags)) || !PayForEmptyVertices(flags, count)) return false;
    if (!ReadVertices(f, flags, count, vertices)) return false;
    mesh->vertices = std::move(vertices);
    mesh->vertexFlags = StoredFlags(flags);
    // Frames read for an earlier vertex array no longer match it.
    std::erase_if(mesh->frames, [&](const KlxFrame& fr) { return fr.vertices.size() != count; });
    meshFileFlags_ = flags;
    meshHasVertices_ = true;
    return true;
}

bool ChunkWalker::FaceGroup(Fields& f) {
    KlxMesh* mesh = CurrentMesh();
    if (!mesh) return false;
    KlxFaceGroup g;
    g.materialId = f.U32();
    g.lightMap = f.I32();
    g.indexType = f.U32();
    const uint32_t count = f.U32();
    if (!f.Fits(count, 2)) return false;
    g.indices.resize(count);
    if (!f.Take(g.indices.data(), size_t{count} * 2)) return false;
    mesh->faceGroups.push_back(std::move(g));
    return true;
}

bool ChunkWalker::Skin(Fields& f) {
    KlxMesh* mesh = CurrentMesh();
    if (!mesh) return false;
    const uint32_t boneCount = f.U32();
    if (!f.Fits(boneCount, 4)) return false;
    std::vector<uint32_t> bones(boneCount);
    if (!f.Take(bones.data(), size_t{boneCount} * 4)) return false;
    const uint32_t vertexCount = f.U32();
    if (!f.Fits(vertexCount, 4)) return false;
    // Weights only for vertices the mesh has, and only with bones it lists.
    std::vector<std::vector<KlxWeight>> weights(std::min<size_t>(vertexCount, mesh->vertices.size()));
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const uint32_t pairs = f.U32();
        if (!f.Fits(pairs, 8)) return false;
        for (uint32_t k = 0; k < pairs; ++k) {
            KlxWeight w;
            w.bone = f.U32();
            w.weight = f.F32();
            if (v < weights.size() && w.bone < boneCount) weights[v].push_back(w);
        }
    }
    if (!f.Ok()) return false;
    mesh->bones = std::move(bones);
    for (size_t v = 0; v < mesh->vertices.size(); ++v) {
        mesh->vertices[v].weights = v < weights.size() ? std::move(weights[v]) : std::vector<KlxWeight>{};
    }
    return true;
}

bool ChunkWalker::MorphFrames(Fields& f) {
    KlxMesh* mesh = CurrentMesh();
    if (!mesh || !meshHasVertices_) return false;
    const uint32_t count = f.U32();
    const uint64_t vertexCount = mesh->vertices.size();
    // Every vertex of every frame costs at least a byte, as in the mesh's
    // own vertex chunk.
    const uint64_t frameBytes = 4 + vertexCount * std::max<uint64_t>(VertexBytes(meshFileFlags_), 1);
    if (!f.Fits(count, frameBytes) || !PayForEmptyVertices(meshFileFlags_, count * vertexCount)) return false;
    std::vector<KlxFrame> frames(count);
    for (KlxFrame& frame : frames) {
        frame.time = f.U32();
        if (!ReadVertices(f, meshFileFlags_, static_cast<uint32_t>(vertexCount), frame.vertices)) return false;
    }
    if (!f.Ok()) return false;
    for (KlxFrame& frame : frames) mesh->frames.push_back(std::move(frame));
    return true;
}

bool ChunkWalker::Camera(Fields& f) {
    const KlxNode* node = CurrentNode();
    if (!node) return false;
    KlxCamera c;
    c.nodeId = node->id;
    c.environmentNear = f.F32();
    c.environmentFar = f.F32();
    c.fieldOfView = f.F32();
    c.nearClip = f.F32();
    c.farClip = f.F32();
    c.reserved = f.U32();
    c.flags = f.U32();
    if (!f.Ok()) return false;
    doc_.cameras.push_back(c);
    return true;
}

bool ChunkWalker::Light(Fields& f) {
    const KlxNode* node = CurrentNode();
    if (!node) return false;
    KlxLight l;
    l.nodeId = node->id;
    l.kind = f.U8();
    l.color = f.U32();
    for (uint32_t& v : l.reserved1) v = f.U32();
    l.innerCone = f.F32();
    l.outerCone = f.F32();
    for (uint32_t& v : l.reserved2) v = f.U32();
    l.range = f.F32();
    l.flags = f.U32();
    if (!f.Ok()) {
        light_ = -1;
        return false;
    }
    doc_.lights.push_back(std::move(l));
    light_ = static_cast<int32_t>(doc_.lights.size()) - 1;
    return true;
}

bool ChunkWalker::LightNodeList(Fields& f) {
    if (light_ < 0) return false;
    const uint32_t count = f.U32();
    const uint32_t reserved = f.U32();
    if (!f.Fits(count, 4)) return false;
    std::vector<uint32_t> ids(count);
    if (!f.Take(ids.data(), size_t{count} * 4)) return false;
    KlxLight& light = doc_.lights[static_cast<size_t>(light_)];
    light.nodeListReserved = reserved;
    light.nodeList = std::move(ids);
    return true;
}

bool ChunkWalker::Image(Fields& f, uint32_t id, int64_t end) {
    // Without a codec the chunk counts as unknown and uses no image number.
    const cvcore::ImageCodec* codec = cvcore::FindImageCodec(id == ChunkImageJpeg ? "jpg" : "tga");
    if (!codec) return false;
    std::vector<uint8_t> file(static_cast<size_t>(end - in_.Tell()));
    if (!f.Take(file.data(), file.size())) return false;
    // Decoded in place: images are not cheap to copy. A picture that does
    // not decode stays in the list, empty, so the numbers of the images
    // after it still match the face groups.
    KlxImage& image = doc_.images.emplace_back();
    image.chunkId = id;
    image.file = std::move(file);
    DecodeEmbeddedImage(*codec, image.file, image.image);
    return true;
}

}  // namespace

KlxReader::KlxReader(KlxDocument& document, cvcore::Stream& stream) {
    KlxInput in(stream);
    in.Seek(0);
    if (in.Size() < 8)
        throw cvcore::Exception("KlxReader::KlxReader()", "Not a KLX file: too short for a chunk!", kModule);
    // The root may claim more than the stream holds; bounding it by the
    // stream's size bounds every count below it by bytes that really exist.
    ChunkWalker walker(document, in);
    walker.ReadChunk(in.Size(), 1);
}
