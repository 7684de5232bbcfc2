#pragma once
#include <cstdint>
#include <vector>
#include "cvcore/image.h"
#include "cvcore/string.h"
#include "engine/matrix4.h"
#include "engine/prscontroller.h"
#include "engine/quaternion.h"
#include "engine/vector2.h"
#include "engine/vector3.h"

namespace cvcore {
class Stream;
}

// Chunk ids of the KLX scene format. A chunk is a u32 id, a u32 byte count of
// everything that follows the header (own data, then child chunks), the own
// data and the children. All values are little-endian and unaligned.
enum : uint32_t {
    ChunkFileRoot = 0xDEADBABE,
    ChunkGroup = 0x24000,
    ChunkSceneTime = 0x15031337,
    ChunkEnvironment = 0x69,
    ChunkMaterial = 0x10000,
    ChunkMaterialMap = 0x10001,
    ChunkMaterialExtra = 0x10002,
    ChunkNode = 0x20000,
    ChunkPositionTrack = 0x20001,
    ChunkRotationTrack = 0x20002,
    ChunkScaleTrack = 0x20003,
    ChunkMesh = 0x21000,
    ChunkMeshVertices = 0x21001,
    ChunkMeshFaceGroup = 0x21002,
    ChunkMeshSkin = 0x21003,
    ChunkMeshMorphFrames = 0x21004,
    ChunkCamera = 0x22000,
    ChunkLight = 0x23000,
    ChunkLightNodeList = 0x23001,
    ChunkImageJpeg = 0x30000,
    ChunkImageTga = 0x30001,
};

// Vertex flags of ChunkMeshVertices: the parts each vertex stores, in this
// order, plus the number of texture coordinate sets in bits 8-11.
enum : uint32_t {
    KLX_VERTEX_POSITION = 0x1,
    KLX_VERTEX_NORMAL = 0x2,
    KLX_VERTEX_COLOR = 0x4,
    KLX_VERTEX_SET_SHIFT = 8,
    KLX_VERTEX_SET_MASK = 0xF00,
};
constexpr int32_t KLX_MAX_COORDINATE_SETS = 8;
constexpr int32_t KLX_MAP_SLOTS = 12;
constexpr int32_t KLX_MAX_NAME = 255;  // longer strings are cut to this many characters

// Track key type that selects curve keys; every other value means linear.
constexpr uint8_t KLX_CURVE_KEYS = 2;

// Index types of a face group.
enum : uint32_t { KLX_TRIANGLE_LIST = 0, KLX_TRIANGLE_STRIP = 1 };

struct KlxSceneTime {
    int32_t startTick = 0;
    int32_t endTick = 0;
    int32_t framesPerSecond = 0;
    int32_t ticksPerFrame = 0;
    int32_t reserved = 0;
};

// The 40 bytes of ChunkEnvironment, field by field.
struct KlxEnvironment {
    uint8_t reserved0 = 0;
    uint32_t fogColor = 0;  // A8R8G8B8
    uint8_t reserved1 = 0;
    float fogNear = 0.0f;  // fog near factor
    float fogFar = 0.0f;   // fog far divisor
    uint32_t reserved2[3] = {};
    uint8_t reserved3[2] = {};
    uint32_t reserved4[3] = {};
};

struct KlxMap {
    bool enabled = false;
    uint32_t reserved = 0;
    cvcore::String text;      // reserved text
    cvcore::String fileName;  // empty: slot disabled
    uint8_t reserved1 = 0;
    uint8_t reserved2 = 0;
    uint32_t reserved3 = 0;
};

struct KlxMaterial {
    cvcore::String name;
    uint32_t id = 0;
    uint32_t reserved = 0;
    uint32_t ambient = 0;  // A8R8G8B8 colours
    uint32_t diffuse = 0;
    uint32_t specular = 0;
    uint32_t emissive = 0;
    float opacity = 1.0f;
    uint32_t flags = 0;  // bit 0 two-sided; bit 3 additive when translucent
    // Slot 1 base texture, 7 second texture, 9 reflection.
    KlxMap maps[KLX_MAP_SLOTS];
    float extra[3] = {1.0f, 0.5f, 0.4f};
};

// One embedded picture: the decoded image plus the file bytes it came from.
struct KlxImage {
    uint32_t chunkId = ChunkImageJpeg;  // ChunkImageJpeg or ChunkImageTga
    std::vector<uint8_t> file;
    cvcore::Image image;
};

// A keyframe track as stored: times and keys side by side. The key structs
// are those of PRSController; linear keys fill only their value parts.
template <class Key>
struct KlxTrack {
    uint8_t keyType = 0;  // KLX_CURVE_KEYS for curve keys
    int32_t start = 0;
    int32_t end = 0;
    uint32_t ort = 0;  // out-of-range types: low 16 bits before, high 16 after
    std::vector<int32_t> times;
    std::vector<Key> keys;

    bool IsCurve() const { return keyType == KLX_CURVE_KEYS; }
    int32_t Count() const { return static_cast<int32_t>(keys.size()); }
    void Add(int32_t time, const Key& key) {
        times.push_back(time);
        keys.push_back(key);
    }
};

struct KlxNode {
    cvcore::String name;
    uint32_t id = 0;
    uint32_t parentId = 0;  // no parent when no node has this id
    uint32_t targetId = 0;  // no target when no node has this id
    Matrix4 bindPose;       // world transform at the bind pose
    Matrix4 objectOffset;   // the object relative to its node
    Vector3 position;
    Quaternion rotation;
    Vector3 scale{1.0f, 1.0f, 1.0f};
    Quaternion scaleAxis;
    uint32_t reserved = 0;
    cvcore::String reservedText;
    KlxTrack<PositionKey> positionTrack;
    KlxTrack<RotationKey> rotationTrack;
    KlxTrack<ScaleKey> scaleTrack;

    // Replaces the three tracks by one linear key each at tick 0 holding the
    // default position, rotation, scale and scale axis: what a node without
    // track chunks gets.
    void SetDefaultTracks();
};

struct KlxWeight {
    uint32_t bone = 0;  // index into the mesh's bone list
    float weight = 0.0f;
};

struct KlxVertex {
    Vector3 position;
    Vector3 normal;
    uint32_t color = 0;
    Vector2 uv[KLX_MAX_COORDINATE_SETS];
    std::vector<KlxWeight> weights;
};

struct KlxFaceGroup {
    uint32_t materialId = 0;
    int32_t lightMap = -1;  // index into the document's images, -1 for none
    uint32_t indexType = KLX_TRIANGLE_LIST;
    std::vector<uint16_t> indices;
};

struct KlxFrame {
    uint32_t time = 0;                // ticks
    std::vector<KlxVertex> vertices;  // one per mesh vertex, no weights
};

struct KlxMesh {
    uint32_t nodeId = 0;
    // Vertex flags of the stored vertices. At most eight coordinate sets:
    // a file's further sets are skipped and not counted here.
    uint32_t vertexFlags = 0;
    std::vector<KlxVertex> vertices;
    std::vector<KlxFaceGroup> faceGroups;
    std::vector<uint32_t> bones;  // node ids
    std::vector<KlxFrame> frames;

    int32_t CoordinateSets() const {
        return static_cast<int32_t>((vertexFlags & KLX_VERTEX_SET_MASK) >> KLX_VERTEX_SET_SHIFT);
    }
    bool HasSkinWeights() const;
};

struct KlxCamera {
    uint32_t nodeId = 0;
    float environmentNear = 0.0f;
    float environmentFar = 0.0f;
    float fieldOfView = 0.0f;  // radians, horizontal
    float nearClip = 0.0f;
    float farClip = 0.0f;
    uint32_t reserved = 0;
    uint32_t flags = 0;  // bit 0: use nearClip and farClip
};

struct KlxLight {
    uint32_t nodeId = 0;
    uint8_t kind = 0;  // 1 point, 2-3 spot, 4-5 directional
    uint32_t color = 0;
    uint32_t reserved1[2] = {};
    float innerCone = 0.0f;  // radians
    float outerCone = 0.0f;
    uint32_t reserved2[3] = {};
    float range = 0.0f;
    uint32_t flags = 0;  // bit 0 on, 1 diffuse, 2 specular, 3 ambient only, 6 range, 7 no cone
    uint32_t nodeListReserved = 0;
    std::vector<uint32_t> nodeList;
};

// A KLX file in memory: plain lists in file order, no Direct3D objects. The
// scene builder walks it once. Writers fill one directly.
class KlxDocument {
public:
    KlxDocument() = default;
    // Reads the named file through FileStream (so the base path applies).
    // Throws cvcore::Exception when it cannot be opened or holds no chunk.
    explicit KlxDocument(const char* fileName);
    // Reads from any stream, starting at offset 0.
    explicit KlxDocument(cvcore::Stream& stream);

    // First node with this id, or null.
    const KlxNode* FindNode(uint32_t id) const;
    KlxNode* FindNode(uint32_t id);

    KlxSceneTime sceneTime;
    bool fog = false;  // true when the file had a ChunkEnvironment
    KlxEnvironment environment;
    std::vector<KlxMaterial> materials;
    std::vector<KlxImage> images;
    std::vector<KlxNode> nodes;
    std::vector<KlxMesh> meshes;
    std::vector<KlxCamera> cameras;
    std::vector<KlxLight> lights;
};
