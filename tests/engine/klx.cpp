// KLX files written with KlxWriter and read back, and files assembled byte
// by byte for the reader's corner cases and for hostile input.
#include <gtest/gtest.h>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "cvcore/exception.h"
#include "cvcore/imagecodec.h"
#include "cvcore/memorystream.h"
#include "engine/klxdocument.h"
#include "engine/klxreader.h"
#include "engine/klxwriter.h"
#include "peakallocation.h"
#include "scratchdir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<cvcore::MemoryStream> StreamOf(const Bytes& bytes) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return std::make_unique<cvcore::MemoryStream>(std::move(copy), static_cast<int32_t>(bytes.size()));
}

KlxDocument Read(const Bytes& bytes) {
    auto stream = StreamOf(bytes);
    return KlxDocument(*stream);
}

Bytes Write(const KlxDocument& doc) {
    KlxWriter w;
    w.WriteDocument(doc);
    return w.Take();
}

// An independent little assembler for hand-made files.
struct Raw {
    Bytes b;
    Raw& u8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Raw& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    Raw& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
    Raw& f32(float v) { return u32(std::bit_cast<uint32_t>(v)); }
    Raw& str(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return u8(0);
    }
    Raw& floats(int n, float v) {
        for (int i = 0; i < n; ++i) f32(v);
        return *this;
    }
    Raw& raw(const Bytes& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    operator Bytes() const { return b; }
};

Bytes Chunk(uint32_t id, const Bytes& body) { return Raw().u32(id).u32(static_cast<uint32_t>(body.size())).raw(body); }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Root(std::initializer_list<Bytes> children) { return Chunk(ChunkFileRoot, Cat(children)); }

Bytes NodeData(const std::string& name, uint32_t id, uint32_t parent = 0xFFFFFFFF) {
    Raw r;
    r.str(name).u32(id).u32(parent).u32(0xFFFFFFFF);
    for (int m = 0; m < 2; ++m)
        for (int i = 0; i < 16; ++i) r.f32(i % 5 == 0 ? 1.0f : 0.0f);
    r.f32(1).f32(2).f32(3);               // position
    r.f32(0).f32(0).f32(0).f32(1);        // rotation
    r.f32(4).f32(5).f32(6);               // scale
    r.f32(0).f32(0.6f).f32(0).f32(0.8f);  // scale axis
    return r.u32(77).str("user");
}

Bytes MaterialData(const std::string& name, uint32_t id) {
    return Raw()
        .str(name)
        .u32(id)
        .u32(0)
        .u32(0xFF102030)
        .u32(0xFF405060)
        .u32(0xFF708090)
        .u32(0xFFA0B0C0)
        .f32(0.5f)
        .u32(9);
}

Bytes MapData(uint8_t slot, const std::string& file) {
    return Raw().u8(slot).u32(3).str("reserved").str(file).u8(1).u8(2).u32(4);
}

Bytes CameraData() { return Raw().f32(10).f32(200).f32(0.9f).f32(2).f32(500).u32(0).u32(1); }
Bytes LightData(uint8_t kind) {
    return Raw().u8(kind).u32(0xFFFFEEDD).u32(0).u32(0).f32(0.3f).f32(0.6f).u32(0).u32(0).u32(0).f32(250).u32(0x43);
}

// A document using every record with non-default values.
KlxDocument SampleDocument() {
    KlxDocument d;
    d.sceneTime = {0, 16000, 30, 160, 7};
    d.fog = true;
    d.environment.fogColor = 0xFF203040;
    d.environment.fogNear = 0.25f;
    d.environment.fogFar = 3.0f;
    d.environment.reserved3[1] = 9;
    d.environment.reserved4[2] = 11;

    KlxImage image;
    image.chunkId = ChunkImageTga;
    image.file = {1, 2, 3, 4, 5};
    d.images.push_back(image);

    KlxMaterial m;
    m.name = "Chrome";
    m.id = 12;
    m.ambient = 0xFF010203;
    m.diffuse = 0x80FFFFFF;
    m.opacity = 0.75f;
    m.flags = 9;
    m.maps[1].enabled = true;
    m.maps[1].fileName = "chrome.jpg";
    m.maps[1].text = "diffuse";
    m.maps[11].enabled = true;
    m.maps[11].fileName = "env.tga";
    m.maps[11].reserved3 = 5;
    m.extra[0] = 2.0f;
    d.materials.push_back(m);

    for (uint32_t id : {1u, 2u, 3u}) {
        KlxNode n;
        n.name = ("node" + std::to_string(id)).c_str();
        n.id = id;
        n.parentId = id - 1;
        n.targetId = id == 2 ? 3 : 0xFFFFFFFF;
        n.bindPose = Matrix4::Translation(1.0f * id, 2, 3);
        n.objectOffset = Matrix4(2.0f);
        n.position = {1, 2, 3};
        n.scale = {1, 2, 1};
        n.SetDefaultTracks();
        d.nodes.push_back(n);
    }
    KlxNode& animated = d.nodes[0];
    animated.positionTrack = {};
    animated.positionTrack.keyType = KLX_CURVE_KEYS;
    animated.positionTrack.start = 0;
    animated.positionTrack.end = 1000;
    animated.positionTrack.ort = MakeOrt(ORT_CYCLE, ORT_PINGPONG);
    animated.positionTrack.Add(0, {{1, 2, 3}, {0, 1, 0}, {1, 0, 0}, 0.1f, 0.2f});
    animated.positionTrack.Add(1000, {{4, 5, 6}, {0, 0, 1}, {1, 1, 0}, 0.3f, 0.4f});
    animated.rotationTrack = {};
    animated.rotationTrack.keyType = KLX_CURVE_KEYS;
    animated.rotationTrack.Add(0, {{0, 0, 0, 1}, {0, 0.1f, 0, 1}, {0.1f, 0, 0, 1}, 0.5f, 0.0f});
    animated.rotationTrack.Add(500, {{0, 0.7f, 0, 0.7f}, {0, 0.2f, 0, 1}, {0.2f, 0, 0, 1}, 0.0f, 0.5f});
    animated.scaleTrack = {};
    animated.scaleTrack.keyType = 1;  // any value but 2 is linear
    ScaleKey s;
    s.scale = {2, 2, 2};
    s.axis = {0, 0, 0.6f, 0.8f};
    animated.scaleTrack.Add(10, s);
    animated.scaleTrack.Add(20, s);
    d.nodes[1].scaleTrack = {};
    d.nodes[1].scaleTrack.keyType = KLX_CURVE_KEYS;
    s.inTangent = {1, 2, 3};
    s.axisOutControl = {0.5f, 0.5f, 0.5f, 0.5f};
    s.easeOut = 0.25f;
    d.nodes[1].scaleTrack.Add(5, s);

    KlxCamera c;
    c.nodeId = 2;
    c.environmentNear = 5;
    c.environmentFar = 300;
    c.fieldOfView = 0.8f;
    c.nearClip = 1;
    c.farClip = 900;
    c.flags = 1;
    d.cameras.push_back(c);
    KlxLight l;
    l.nodeId = 3;
    l.kind = 2;
    l.color = 0xFFFF8000;
    l.innerCone = 0.2f;
    l.outerCone = 0.4f;
    l.range = 100;
    l.flags = 0x47;
    l.reserved2[1] = 6;
    l.nodeListReserved = 1;
    l.nodeList = {1, 2};
    d.lights.push_back(l);

    KlxMesh mesh;
    mesh.nodeId = 1;
    mesh.vertexFlags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | KLX_VERTEX_COLOR | (2u << KLX_VERTEX_SET_SHIFT);
    for (int i = 0; i < 4; ++i) {
        KlxVertex v;
        v.position = {float(i), float(i * 2), 1};
        v.normal = {0, 1, 0};
        v.color = 0xFF000000u + i;
        v.uv[0] = {0.25f * i, 1};
        v.uv[1] = {1, 0.25f * i};
        if (i < 3) v.weights = {{0, 0.75f}, {1, 0.25f}};
        mesh.vertices.push_back(v);
    }
    mesh.faceGroups.push_back({12, -1, KLX_TRIANGLE_LIST, {0, 1, 2, 2, 1, 3}});
    mesh.faceGroups.push_back({12, 0, KLX_TRIANGLE_STRIP, {0, 1, 2, 3}});
    mesh.bones = {2, 3};
    d.meshes.push_back(mesh);

    KlxMesh morph;
    morph.nodeId = 3;
    morph.vertexFlags = KLX_VERTEX_POSITION | (1u << KLX_VERTEX_SET_SHIFT);
    morph.vertices.resize(3);
    for (uint32_t f = 0; f < 2; ++f) {
        KlxFrame frame;
        frame.time = 100 * f;
        frame.vertices.resize(3);
        for (KlxVertex& v : frame.vertices) v.position = {float(f), 1, 2};
        frame.vertices[2].uv[0] = {0.5f, float(f)};
        morph.frames.push_back(frame);
    }
    d.meshes.push_back(morph);
    return d;
}

TEST(KlxDocument, WrittenDocumentReadsBackTheSame) {
    const KlxDocument original = SampleDocument();
    const Bytes file = Write(original);
    const KlxDocument back = Read(file);
    // Written again, the document read back gives the same bytes.
    EXPECT_EQ(Write(back), file);

    ASSERT_EQ(back.nodes.size(), 3u);
    ASSERT_EQ(back.meshes.size(), 2u);
    ASSERT_EQ(back.images.size(), 1u);
    EXPECT_EQ(back.images[0].chunkId, ChunkImageTga);
    EXPECT_EQ(back.images[0].file, original.images[0].file);
    EXPECT_STREQ(back.materials[0].name.Text(), "Chrome");
    EXPECT_STREQ(back.materials[0].maps[11].fileName.Text(), "env.tga");
    EXPECT_TRUE(back.materials[0].maps[1].enabled);
    EXPECT_FALSE(back.materials[0].maps[2].enabled);
    EXPECT_EQ(back.materials[0].extra[0], 2.0f);
    EXPECT_EQ(back.materials[0].extra[2], 0.4f);
    EXPECT_EQ(back.nodes[0].positionTrack.keys[1].easeOut, 0.4f);
    EXPECT_EQ(back.nodes[0].positionTrack.ort, MakeOrt(ORT_CYCLE, ORT_PINGPONG));
    EXPECT_EQ(back.nodes[0].rotationTrack.times[1], 500);
    EXPECT_EQ(back.nodes[1].scaleTrack.keys[0].axisOutControl, Quaternion(0.5f, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(back.nodes[1].bindPose, Matrix4::Translation(2, 2, 3));
    EXPECT_EQ(back.cameras[0].nodeId, 2u);
    EXPECT_EQ(back.cameras[0].farClip, 900.0f);
    EXPECT_EQ(back.lights[0].nodeList, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(back.lights[0].reserved2[1], 6u);
    EXPECT_EQ(back.environment.reserved4[2], 11u);
    EXPECT_TRUE(back.fog);
    EXPECT_EQ(back.sceneTime.ticksPerFrame, 160);
    const KlxMesh& mesh = back.meshes[0];
    EXPECT_EQ(mesh.vertices[3].uv[1], Vector2(1, 0.75f));
    EXPECT_EQ(mesh.vertices[1].weights.size(), 2u);
    EXPECT_TRUE(mesh.vertices[3].weights.empty());
    EXPECT_TRUE(mesh.HasSkinWeights());
    EXPECT_EQ(mesh.faceGroups[1].indices, (std::vector<uint16_t>{0, 1, 2, 3}));
    EXPECT_EQ(back.meshes[1].frames[1].vertices[2].uv[0], Vector2(0.5f, 1));
    EXPECT_EQ(back.FindNode(3), &back.nodes[2]);
    EXPECT_EQ(back.FindNode(99), nullptr);
}

TEST(KlxDocument, ReadsThroughTheFileSystemAndReportsMissingFiles) {
    testsupport::ScratchDir dir;
    KlxWriter w;
    w.WriteDocument(SampleDocument());
    w.Save((dir / "scene.klx").c_str());
    const KlxDocument doc((dir / "scene.klx").c_str());
    EXPECT_EQ(doc.nodes.size(), 3u);
    EXPECT_THROW(KlxDocument((dir / "missing.klx").c_str()), cvcore::Exception);
}

TEST(KlxReader, FileTooShortForAChunkIsReported) {
    for (const Bytes& bytes : {Bytes{}, Bytes{0xBE, 0xBA, 0xAD}, Bytes{0xBE, 0xBA, 0xAD, 0xDE, 0, 0, 0}}) {
        try {
            Read(bytes);
            FAIL() << "no exception for " << bytes.size() << " bytes";
        } catch (const cvcore::Exception& e) {
            EXPECT_STREQ(e.Method().Text(), "KlxReader::KlxReader()");
            EXPECT_STREQ(e.File().Text(), "scenegraphklx");
            EXPECT_GT(e.Message().Length(), 0);
        }
    }
}

TEST(KlxReader, EmptyRootIsAnEmptyDocument) {
    const KlxDocument d = Read(Root({}));
    EXPECT_TRUE(d.nodes.empty() && d.meshes.empty() && d.materials.empty() && d.images.empty());
    EXPECT_FALSE(d.fog);
    EXPECT_EQ(d.sceneTime.endTick, 0);
    // Bytes after the first chunk are never read.
    const KlxDocument after = Read(Cat({Root({}), Chunk(ChunkSceneTime, Raw().u32(1).u32(2).u32(3).u32(4).u32(5))}));
    EXPECT_EQ(after.sceneTime.endTick, 0);
}

TEST(KlxReader, UnknownChunksAreSkippedBySize) {
    // The unknown chunk's body looks like a scene-time chunk; it must not be read.
    const Bytes fake = Chunk(ChunkSceneTime, Raw().u32(9).u32(9).u32(9).u32(9).u32(9));
    const KlxDocument d =
        Read(Root({Chunk(ChunkMaterial, MaterialData("a", 1)), Chunk(0x77777, Cat({fake, Raw().u8(1)})),
                   Chunk(ChunkGroup, Chunk(ChunkMaterial, MaterialData("b", 2))),
                   Chunk(ChunkSceneTime, Raw().u32(1).u32(2).u32(3).u32(4).u32(5))}));
    ASSERT_EQ(d.materials.size(), 2u);
    EXPECT_STREQ(d.materials[1].name.Text(), "b");
    EXPECT_EQ(d.sceneTime.startTick, 1);
    EXPECT_EQ(d.sceneTime.reserved, 5);
}

TEST(KlxReader, NodeWithoutTracksKeepsItsDefaultsAsOneKeyEach) {
    const KlxDocument d = Read(Root({Chunk(ChunkNode, NodeData("dummy", 4))}));
    ASSERT_EQ(d.nodes.size(), 1u);
    const KlxNode& n = d.nodes[0];
    EXPECT_STREQ(n.name.Text(), "dummy");
    EXPECT_STREQ(n.reservedText.Text(), "user");
    EXPECT_EQ(n.reserved, 77u);
    EXPECT_EQ(n.bindPose, Matrix4(1.0f));
    ASSERT_EQ(n.positionTrack.Count(), 1);
    EXPECT_EQ(n.positionTrack.times[0], 0);
    EXPECT_EQ(n.positionTrack.keys[0].value, Vector3(1, 2, 3));
    EXPECT_FALSE(n.positionTrack.IsCurve());
    EXPECT_EQ(n.positionTrack.start, 0);
    EXPECT_EQ(n.positionTrack.ort, 0u);
    EXPECT_EQ(n.rotationTrack.keys[0].value, Quaternion(0, 0, 0, 1));
    EXPECT_EQ(n.scaleTrack.keys[0].scale, Vector3(4, 5, 6));
    EXPECT_EQ(n.scaleTrack.keys[0].axis, Quaternion(0, 0.6f, 0, 0.8f));
}

TEST(KlxReader, TrackChunksReplaceTheDefaultKeyThenAppend) {
    const Bytes linear2 =
        Raw().u8(0).u32(0).u32(100).u32(MakeOrt(2, 3)).u32(2).u32(0).f32(1).f32(1).f32(1).u32(100).f32(2).f32(2).f32(2);
    const Bytes more = Raw().u8(0).u32(5).u32(200).u32(MakeOrt(1, 1)).u32(1).u32(200).f32(3).f32(3).f32(3);
    const KlxDocument d = Read(Root({Chunk(ChunkNode, Cat({NodeData("n", 1), Chunk(ChunkPositionTrack, linear2)})),
                                     Chunk(ChunkPositionTrack, more)}));
    const KlxTrack<PositionKey>& t = d.nodes[0].positionTrack;
    ASSERT_EQ(t.Count(), 3);
    EXPECT_EQ(t.times, (std::vector<int32_t>{0, 100, 200}));
    EXPECT_EQ(t.keys[2].value, Vector3(3, 3, 3));
    EXPECT_EQ(t.start, 5);  // the header of the latest chunk
    EXPECT_EQ(t.ort, MakeOrt(1, 1));
    EXPECT_EQ(d.nodes[0].rotationTrack.Count(), 1);  // untouched tracks keep their default
}

TEST(KlxReader, MapSlotsAndEmptyMapNames) {
    const KlxDocument d = Read(Root({Chunk(
        ChunkMaterial, Cat({MaterialData("m", 3), Chunk(ChunkMaterialMap, MapData(1, "wood.jpg")),
                            Chunk(ChunkMaterialMap, MapData(7, "")), Chunk(ChunkMaterialMap, MapData(12, "beyond.tga")),
                            Chunk(ChunkMaterialMap, MapData(255, "far.tga")),
                            Chunk(ChunkMaterialExtra, Raw().f32(7).f32(8).f32(9))}))}));
    ASSERT_EQ(d.materials.size(), 1u);
    const KlxMaterial& m = d.materials[0];
    EXPECT_EQ(m.id, 3u);
    EXPECT_EQ(m.diffuse, 0xFF405060u);
    EXPECT_EQ(m.opacity, 0.5f);
    EXPECT_EQ(m.flags, 9u);
    EXPECT_TRUE(m.maps[1].enabled);
    EXPECT_STREQ(m.maps[1].fileName.Text(), "wood.jpg");
    EXPECT_STREQ(m.maps[1].text.Text(), "reserved");
    EXPECT_EQ(m.maps[1].reserved3, 4u);
    EXPECT_FALSE(m.maps[7].enabled);
    for (int slot = 0; slot < KLX_MAP_SLOTS; ++slot) {
        if (slot != 1) {
            EXPECT_FALSE(m.maps[slot].enabled) << slot;
        }
    }
    EXPECT_EQ(m.extra[0], 7.0f);
    EXPECT_EQ(m.extra[2], 9.0f);
    const KlxDocument fresh = Read(Root({Chunk(ChunkMaterial, MaterialData("m", 3))}));
    EXPECT_EQ(fresh.materials[0].extra[0], 1.0f);
    EXPECT_EQ(fresh.materials[0].extra[1], 0.5f);
    EXPECT_EQ(fresh.materials[0].extra[2], 0.4f);
}

Bytes MeshChunk(uint32_t nodeId, std::initializer_list<Bytes> children) {
    Bytes body = Raw().u32(nodeId);
    for (const Bytes& c : children) body.insert(body.end(), c.begin(), c.end());
    return Chunk(ChunkMesh, body);
}

// Three vertices with position and one coordinate set.
Bytes Vertices3(uint32_t sets = 1) {
    Raw r;
    r.u32(KLX_VERTEX_POSITION | (sets << KLX_VERTEX_SET_SHIFT)).u32(3);
    for (int v = 0; v < 3; ++v) {
        r.f32(float(v)).f32(0).f32(0);
        for (uint32_t s = 0; s < sets; ++s) r.f32(float(s)).f32(float(v));
    }
    return Chunk(ChunkMeshVertices, r);
}

TEST(KlxReader, FaceGroupsWithAndWithoutLightMap) {
    const Bytes g1 = Raw().u32(5).u32(0xFFFFFFFF).u32(0).u32(3).u16(0).u16(1).u16(2);
    const Bytes g2 = Raw().u32(5).u32(0).u32(1).u32(4).u16(2).u16(1).u16(0).u16(65535);
    const KlxDocument d =
        Read(Root({MeshChunk(8, {Vertices3(), Chunk(ChunkMeshFaceGroup, g1), Chunk(ChunkMeshFaceGroup, g2)})}));
    ASSERT_EQ(d.meshes.size(), 1u);
    const KlxMesh& m = d.meshes[0];
    EXPECT_EQ(m.nodeId, 8u);
    ASSERT_EQ(m.faceGroups.size(), 2u);
    EXPECT_EQ(m.faceGroups[0].lightMap, -1);
    EXPECT_EQ(m.faceGroups[0].indexType, KLX_TRIANGLE_LIST);
    EXPECT_EQ(m.faceGroups[1].lightMap, 0);
    EXPECT_EQ(m.faceGroups[1].indexType, KLX_TRIANGLE_STRIP);
    EXPECT_EQ(m.faceGroups[1].indices, (std::vector<uint16_t>{2, 1, 0, 65535}));
}

TEST(KlxReader, CamerasAndLightsTakeTheMostRecentNodeWherever_they_stand) {
    const Bytes list = Raw().u32(2).u32(42).u32(7).u32(8);
    const KlxDocument d =
        Read(Root({Chunk(ChunkNode, Cat({NodeData("a", 5), Chunk(ChunkCamera, CameraData())})),
                   Chunk(ChunkNode, NodeData("b", 9)),
                   Chunk(ChunkGroup, Cat({Chunk(ChunkCamera, CameraData()), Chunk(ChunkLight, LightData(3))})),
                   Chunk(ChunkLightNodeList, list)}));
    ASSERT_EQ(d.cameras.size(), 2u);
    EXPECT_EQ(d.cameras[0].nodeId, 5u);
    EXPECT_EQ(d.cameras[1].nodeId, 9u);
    EXPECT_EQ(d.cameras[1].environmentFar, 200.0f);
    EXPECT_EQ(d.cameras[1].fieldOfView, 0.9f);
    EXPECT_EQ(d.cameras[1].flags, 1u);
    ASSERT_EQ(d.lights.size(), 1u);
    const KlxLight& l = d.lights[0];
    EXPECT_EQ(l.nodeId, 9u);
    EXPECT_EQ(l.kind, 3);
    EXPECT_EQ(l.color, 0xFFFFEEDDu);
    EXPECT_EQ(l.innerCone, 0.3f);
    EXPECT_EQ(l.outerCone, 0.6f);
    EXPECT_EQ(l.range, 250.0f);
    EXPECT_EQ(l.flags, 0x43u);
    EXPECT_EQ(l.nodeListReserved, 42u);
    EXPECT_EQ(l.nodeList, (std::vector<uint32_t>{7, 8}));
}

TEST(KlxReader, MorphFramesRepeatTheMeshVertexLayout) {
    // Position, normal and colour plus two sets: 12 + 12 + 4 + 16 bytes a vertex.
    const uint32_t flags = KLX_VERTEX_POSITION | KLX_VERTEX_NORMAL | KLX_VERTEX_COLOR | (2u << KLX_VERTEX_SET_SHIFT);
    auto vertex = [](Raw& r, float x) {
        r.f32(x).f32(0).f32(0).f32(0).f32(1).f32(0).u32(0xFF00FF00).f32(x).f32(1).f32(2).f32(x);
    };
    Raw vertices;
    vertices.u32(flags).u32(2);
    vertex(vertices, 1);
    vertex(vertices, 2);
    Raw frames;
    frames.u32(2);
    for (uint32_t f = 0; f < 2; ++f) {
        frames.u32(160 * f);
        vertex(frames, 10.0f + f);
        vertex(frames, 20.0f + f);
    }
    const KlxDocument d =
        Read(Root({MeshChunk(1, {Chunk(ChunkMeshVertices, vertices), Chunk(ChunkMeshMorphFrames, frames)})}));
    const KlxMesh& m = d.meshes[0];
    EXPECT_EQ(m.vertexFlags, flags);
    EXPECT_EQ(m.CoordinateSets(), 2);
    ASSERT_EQ(m.frames.size(), 2u);
    EXPECT_EQ(m.frames[1].time, 160u);
    ASSERT_EQ(m.frames[1].vertices.size(), 2u);
    EXPECT_EQ(m.frames[1].vertices[1].position, Vector3(21, 0, 0));
    EXPECT_EQ(m.frames[1].vertices[1].normal, Vector3(0, 1, 0));
    EXPECT_EQ(m.frames[1].vertices[1].color, 0xFF00FF00u);
    EXPECT_EQ(m.frames[1].vertices[1].uv[1], Vector2(2, 21));
    EXPECT_FALSE(m.HasSkinWeights());
}

TEST(KlxReader, CoordinateSetsBeyondEightAreSkipped) {
    Raw vertices;
    vertices.u32(KLX_VERTEX_POSITION | (10u << KLX_VERTEX_SET_SHIFT)).u32(2);
    for (int v = 0; v < 2; ++v) {
        vertices.f32(float(v)).f32(0).f32(0);
        for (int s = 0; s < 10; ++s) vertices.f32(float(s)).f32(float(v));
    }
    Raw frames;
    frames.u32(1).u32(5);
    for (int v = 0; v < 2; ++v) {
        frames.f32(7).f32(7).f32(7);
        for (int s = 0; s < 10; ++s) frames.f32(100.0f + s).f32(0);
    }
    const KlxDocument d =
        Read(Root({MeshChunk(1, {Chunk(ChunkMeshVertices, vertices), Chunk(ChunkMeshMorphFrames, frames),
                                 Chunk(ChunkMeshFaceGroup, Raw().u32(1).u32(0).u32(0).u32(0))})}));
    const KlxMesh& m = d.meshes[0];
    EXPECT_EQ(m.CoordinateSets(), 8);
    ASSERT_EQ(m.vertices.size(), 2u);
    EXPECT_EQ(m.vertices[1].position, Vector3(1, 0, 0));
    EXPECT_EQ(m.vertices[1].uv[7], Vector2(7, 1));
    ASSERT_EQ(m.frames.size(), 1u);
    EXPECT_EQ(m.frames[0].vertices[1].position, Vector3(7, 7, 7));
    EXPECT_EQ(m.frames[0].vertices[1].uv[7], Vector2(107, 0));
    EXPECT_EQ(m.faceGroups.size(), 1u);  // what follows is still in step
}

TEST(KlxReader, SkinWeightsOnlyForExistingVerticesAndBones) {
    Raw skin;
    skin.u32(2).u32(30).u32(31);  // two bones
    skin.u32(5);                  // weights for five vertices, the mesh has three
    for (int v = 0; v < 5; ++v)
        skin.u32(3).u32(0).f32(0.5f).u32(1).f32(0.5f).u32(2).f32(9.0f);  // bone 2 does not exist
    const KlxDocument d = Read(
        Root({MeshChunk(1, {Vertices3(), Chunk(ChunkMeshSkin, skin)}), MeshChunk(2, {Chunk(ChunkMeshSkin, skin)})}));
    const KlxMesh& m = d.meshes[0];
    EXPECT_EQ(m.bones, (std::vector<uint32_t>{30, 31}));
    ASSERT_EQ(m.vertices.size(), 3u);
    for (const KlxVertex& v : m.vertices) {
        ASSERT_EQ(v.weights.size(), 2u);
        EXPECT_EQ(v.weights[1].bone, 1u);
        EXPECT_EQ(v.weights[1].weight, 0.5f);
    }
    // A mesh without vertices keeps its bones but no weights.
    EXPECT_EQ(d.meshes[1].bones.size(), 2u);
    EXPECT_TRUE(d.meshes[1].vertices.empty());
}

TEST(KlxReader, ChunksWithoutTheirRecordAreSkipped) {
    const Bytes track = Raw().u8(0).u32(0).u32(0).u32(0).u32(1).u32(0).f32(1).f32(1).f32(1);
    const KlxDocument d = Read(Root(
        {Chunk(ChunkMaterialMap, MapData(1, "x.jpg")), Chunk(ChunkMaterialExtra, Raw().f32(1).f32(1).f32(1)),
         Chunk(ChunkPositionTrack, track), Chunk(ChunkCamera, CameraData()), Chunk(ChunkLight, LightData(1)),
         Chunk(ChunkLightNodeList, Raw().u32(1).u32(0).u32(1)), Vertices3(),
         Chunk(ChunkMeshFaceGroup, Raw().u32(1).u32(0).u32(0).u32(0)), Chunk(ChunkMeshSkin, Raw().u32(0).u32(0)),
         Chunk(ChunkMeshMorphFrames, Raw().u32(0)), MeshChunk(3, {Chunk(ChunkMeshMorphFrames, Raw().u32(1).u32(0))}),
         Chunk(ChunkSceneTime, Raw().u32(1).u32(2).u32(3).u32(4).u32(5))}));
    EXPECT_TRUE(d.materials.empty() && d.nodes.empty() && d.cameras.empty() && d.lights.empty());
    ASSERT_EQ(d.meshes.size(), 1u);
    EXPECT_TRUE(d.meshes[0].frames.empty());  // frames need the mesh's vertices first
    EXPECT_EQ(d.sceneTime.ticksPerFrame, 4);  // and the reader carried on
}

TEST(KlxReader, LongStringsAreCutAt255Characters) {
    const std::string name(1000, 'n');
    const KlxDocument d =
        Read(Root({Chunk(ChunkMaterial, MaterialData(name, 6)), Chunk(ChunkNode, NodeData(std::string(300, 'x'), 2))}));
    ASSERT_EQ(d.materials.size(), 1u);
    EXPECT_EQ(d.materials[0].name.Length(), 255);
    EXPECT_EQ(d.materials[0].id, 6u);  // the fields after the string are in step
    EXPECT_EQ(d.materials[0].flags, 9u);
    ASSERT_EQ(d.nodes.size(), 1u);
    EXPECT_EQ(d.nodes[0].id, 2u);
    EXPECT_EQ(d.nodes[0].scale, Vector3(4, 5, 6));
}

TEST(KlxReader, CountsBeyondTheChunkAreRefused) {
    // Claims four billion vertices, face indices, bones, keys and ids in a few bytes.
    const Bytes huge = Raw().u32(0x7).u32(0xFFFFFFFF).f32(1);
    const KlxDocument d = Read(Root(
        {Chunk(ChunkNode,
               Cat({NodeData("n", 1), Chunk(ChunkRotationTrack, Raw().u8(2).u32(0).u32(0).u32(0).u32(0x10000000)),
                    Chunk(ChunkLight, LightData(1)), Chunk(ChunkLightNodeList, Raw().u32(0x40000000).u32(0).u32(1))})),
         MeshChunk(1, {Chunk(ChunkMeshVertices, huge), Vertices3(),
                       Chunk(ChunkMeshFaceGroup, Raw().u32(1).u32(0).u32(0).u32(0x80000000).u16(1)),
                       Chunk(ChunkMeshSkin, Raw().u32(0x40000000).u32(1)),
                       Chunk(ChunkMeshSkin, Raw().u32(0).u32(3).u32(0x20000000).u32(0)),
                       Chunk(ChunkMeshMorphFrames, Raw().u32(0x10000000).u32(0))})}));
    ASSERT_EQ(d.nodes.size(), 1u);
    EXPECT_EQ(d.nodes[0].rotationTrack.Count(), 1);  // the default key stays
    EXPECT_TRUE(d.lights[0].nodeList.empty());
    const KlxMesh& m = d.meshes[0];
    EXPECT_EQ(m.vertices.size(), 3u);  // the sound vertex chunk after the hostile one
    EXPECT_TRUE(m.faceGroups.empty());
    EXPECT_TRUE(m.bones.empty());
    EXPECT_TRUE(m.frames.empty());
}

// A vertex record is 120 bytes in memory and can stand for one byte of the
// file; the rest is the reader's block buffer and the stream.
void ExpectReadWithinAFixedMultiple(const Bytes& file) {
    const testsupport::PeakAllocation peak;
    Read(file);
    EXPECT_LT(peak.Bytes(), 160 * file.size() + (256u << 10));
}

TEST(KlxReader, MemoryStaysWithinAFixedMultipleOfHostileFiles) {
    // Vertices whose flags select no part take no bytes, yet each costs one
    // byte of its chunk, in every morph frame too.
    constexpr uint32_t kVertices = 3000;
    const Bytes empties = Chunk(ChunkMeshVertices, Cat({Raw().u32(0).u32(kVertices), Bytes(kVertices, 0)}));
    Raw frames;
    frames.u32(1000);
    for (uint32_t i = 0; i < 1000; ++i) frames.u32(i);
    const Bytes morphing = Root({MeshChunk(1, {empties, Chunk(ChunkMeshMorphFrames, frames)})});
    ExpectReadWithinAFixedMultiple(morphing);
    const KlxDocument d = Read(morphing);
    EXPECT_EQ(d.meshes[0].vertices.size(), kVertices);
    EXPECT_TRUE(d.meshes[0].frames.empty());

    // Meshes nested in a vertex chunk's unread bytes cannot spend them again.
    Bytes nested(4000, 0);
    for (int level = 0; level < 12; ++level) {
        nested = MeshChunk(
            1, {Chunk(ChunkMeshVertices, Cat({Raw().u32(0).u32(static_cast<uint32_t>(nested.size())), nested}))});
    }
    ExpectReadWithinAFixedMultiple(Root({nested}));

    // An embedded picture whose header claims 8000 x 8000 pixels in a few bytes.
    const Bytes claim = Raw().u8(0).u8(0).u8(10).raw(Bytes(9, 0)).u16(8000).u16(8000).u8(32).u8(0).raw(Bytes(64, 0xFF));
    ExpectReadWithinAFixedMultiple(Root({Chunk(ChunkImageTga, claim)}));
}

TEST(KlxReader, ChildrenNeverReachPastTheirParent) {
    // The group claims 1000 bytes but its parent ends after the node inside
    // it; the node's own size claims more than the group holds.
    const Bytes node = NodeData("inner", 3);
    Bytes nodeChunk = Chunk(ChunkNode, node);
    nodeChunk[4] = 0xFF;  // size low byte: much larger than the data
    nodeChunk[5] = 0xFF;
    Bytes group = Raw().u32(ChunkGroup).u32(1000).raw(nodeChunk);
    const Bytes file = Root({group});
    const KlxDocument d = Read(Cat({file, Chunk(ChunkSceneTime, Raw().u32(1).u32(2).u32(3).u32(4).u32(5))}));
    ASSERT_EQ(d.nodes.size(), 1u);
    EXPECT_EQ(d.nodes[0].id, 3u);
    EXPECT_EQ(d.sceneTime.endTick, 0);  // outside the root: never read
    // A root claiming more than the file holds.
    Bytes big = Root({Chunk(ChunkNode, node)});
    big[7] = 0x7F;
    EXPECT_EQ(Read(big).nodes.size(), 1u);
}

TEST(KlxReader, NestingDepthIsBounded) {
    Bytes nested = Chunk(ChunkMaterial, MaterialData("deep", 1));
    for (int i = 0; i < 5000; ++i) nested = Chunk(ChunkGroup, nested);
    const KlxDocument deep = Read(Root({nested}));
    EXPECT_TRUE(deep.materials.empty());
    Bytes shallow = Chunk(ChunkMaterial, MaterialData("shallow", 1));
    for (int i = 0; i < KlxReader::MAX_DEPTH - 2; ++i) shallow = Chunk(ChunkGroup, shallow);
    EXPECT_EQ(Read(Root({shallow})).materials.size(), 1u);
}

TEST(KlxReader, TruncatedFilesNeverFail) {
    const Bytes file = Write(SampleDocument());
    size_t previousNodes = 0;
    for (size_t cut = 8; cut < file.size(); cut += 3) {
        const KlxDocument d = Read(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)));
        // Whatever was complete is there; nothing half-read is.
        EXPECT_GE(d.nodes.size(), previousNodes);
        previousNodes = d.nodes.size();
        for (const KlxMesh& m : d.meshes) {
            for (const KlxFrame& f : m.frames) EXPECT_EQ(f.vertices.size(), m.vertices.size());
        }
    }
    EXPECT_EQ(previousNodes, 3u);
}

TEST(KlxWriter, RawChunksNestAndSave) {
    KlxWriter w;
    w.BeginChunk(ChunkFileRoot);
    w.BeginChunk(0x1234);
    w.PutU16(0xBEEF);
    w.PutString("ab");
    w.EndChunk();
    EXPECT_THROW(w.Save("/nonexistent-folder/x.klx"), cvcore::Exception);  // still open
    w.EndChunk();
    EXPECT_EQ(w.Data(), Cat({Raw().u32(ChunkFileRoot).u32(13).u32(0x1234).u32(5).u16(0xBEEF).str("ab")}));
    EXPECT_THROW(w.EndChunk(), cvcore::Exception);
    EXPECT_THROW(w.Save("/nonexistent-folder/x.klx"), cvcore::Exception);
    KlxDocument orphan;
    orphan.cameras.push_back({});
    EXPECT_THROW(KlxWriter().WriteDocument(orphan), cvcore::Exception);
}

}  // namespace

namespace {

cvcore::Image DecodeAlone(const char* codecName, const Bytes& file) {
    cvcore::Image image;
    const cvcore::ImageCodec* codec = cvcore::FindImageCodec(codecName);
    if (codec) {
        auto stream = StreamOf(file);
        codec->Decode(image, *stream);
    }
    return image;
}

void ExpectSamePixels(const cvcore::Image& got, const cvcore::Image& want) {
    ASSERT_EQ(got.GetWidth(), want.GetWidth());
    ASSERT_EQ(got.GetHeight(), want.GetHeight());
    ASSERT_EQ(got.GetFormat().BitsPerPixel(), want.GetFormat().BitsPerPixel());
    const size_t row = static_cast<size_t>(want.GetWidth() * want.GetFormat().BitsPerPixel() / 8);
    for (int32_t y = 0; y < want.GetHeight(); ++y) {
        ASSERT_EQ(std::memcmp(got.GetPixels() + y * got.GetPitch(), want.GetPixels() + y * want.GetPitch(), row), 0)
            << "row " << y;
    }
}

TEST(KlxReader, EmbeddedImagesGoThroughTheCodecsInFileOrder) {
    testsupport::ScratchDir dir;
    ASSERT_EQ(testsupport::Run("convert -size 40x24 gradient:red-blue " + testsupport::Quote(dir / "a.tga") +
                               " && convert -size 24x40 "
                               "plasma:fractal -seed 3 -quality 85 " +
                               testsupport::Quote(dir / "b.jpg")),
              0);
    const Bytes tga = testsupport::ReadBytes(dir / "a.tga");
    const Bytes jpg = testsupport::ReadBytes(dir / "b.jpg");
    const Bytes broken = {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3};
    const KlxDocument d = Read(Root(
        {Chunk(ChunkImageJpeg, broken), Chunk(ChunkImageTga, tga), Chunk(0x30002, tga), Chunk(ChunkImageJpeg, jpg)}));
    // A picture that does not decode keeps its number, so later face groups
    // still find theirs; an unknown image kind uses none.
    ASSERT_EQ(d.images.size(), 3u);
    EXPECT_EQ(d.images[0].chunkId, ChunkImageJpeg);
    EXPECT_EQ(d.images[0].image.GetWidth(), 0);
    EXPECT_EQ(d.images[1].chunkId, ChunkImageTga);
    EXPECT_EQ(d.images[1].file, tga);
    EXPECT_EQ(d.images[2].file, jpg);

    const cvcore::Image tgaAlone = DecodeAlone("tga", tga);
    const cvcore::Image jpgAlone = DecodeAlone("jpg", jpg);
    if (tgaAlone.GetWidth() == 0 || jpgAlone.GetWidth() == 0) GTEST_SKIP() << "image codecs cannot decode yet";
    EXPECT_EQ(tgaAlone.GetWidth(), 40);
    EXPECT_EQ(jpgAlone.GetHeight(), 40);
    ExpectSamePixels(d.images[1].image, tgaAlone);
    ExpectSamePixels(d.images[2].image, jpgAlone);
}

}  // namespace
