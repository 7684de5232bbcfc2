#include "engine/scenebuilder.h"
#include <algorithm>
#include <cstring>
#include <strings.h>
#include "cvcore/exception.h"
#include "engine/color4.h"
#include "engine/device3d.h"
#include "engine/klxdocument.h"
#include "engine/material.h"
#include "engine/skintrimesh.h"
#include "engine/vatrimesh.h"

namespace {

constexpr const char* kModule = "scenegraphklx";
// The terrain mesh of the show is recognised by its vertex count; it gets a
// detail coordinate set, its last set repeated fifteen times over.
constexpr size_t kDetailMeshVertices = 4018;
constexpr float kDetailRepeat = 15.0f;
constexpr uint32_t kSkinBoundsMode = SkinTriMesh::BoundsFromVertex0 | SkinTriMesh::SphereFromPoints;

D3DCOLORVALUE ToColorValue(uint32_t argb) {
    const Color4 c = Color4::FromARGB(argb);
    return {c.r, c.g, c.b, c.a};
}

Matrix4 PoseAt(const PRSController& controller, float ticks) {
    return controller.GetScaleMatrix(ticks) * Matrix4(controller.GetRotation(ticks)) *
           Matrix4::Translation(controller.GetPosition(ticks));
}

void FillController(PRSController& controller, const KlxNode& node) {
    const auto& p = node.positionTrack;
    controller.SetPositionTrack(p.IsCurve() ? 1 : 0, p.start, p.end, p.ort, p.Count());
    for (int32_t k = 0; k < p.Count(); ++k) {
        const PositionKey& key = p.keys[static_cast<size_t>(k)];
        const int32_t time = p.times[static_cast<size_t>(k)];
        if (p.IsCurve()) {
            controller.SetPositionKey(k, time, key.value, key.inTangent, key.outTangent, key.easeIn, key.easeOut);
        } else {
            controller.SetPositionKey(k, time, key.value);
        }
    }
    const auto& r = node.rotationTrack;
    controller.SetRotationTrack(r.IsCurve() ? 1 : 0, r.start, r.end, r.ort, r.Count());
    for (int32_t k = 0; k < r.Count(); ++k) {
        const RotationKey& key = r.keys[static_cast<size_t>(k)];
        const int32_t time = r.times[static_cast<size_t>(k)];
        if (r.IsCurve()) {
            controller.SetRotationKey(k, time, key.value, key.inControl, key.outControl, key.easeIn, key.easeOut);
        } else {
            controller.SetRotationKey(k, time, key.value);
        }
    }
    const auto& s = node.scaleTrack;
    controller.SetScaleTrack(s.IsCurve() ? 1 : 0, s.start, s.end, s.ort, s.Count());
    for (int32_t k = 0; k < s.Count(); ++k) {
        const ScaleKey& key = s.keys[static_cast<size_t>(k)];
        const int32_t time = s.times[static_cast<size_t>(k)];
        if (s.IsCurve()) {
            controller.SetScaleKey(k, time, key.scale, key.axis, key.inTangent, key.outTangent, key.axisInControl,
                                   key.axisOutControl, key.easeIn, key.easeOut);
        } else {
            controller.SetScaleKey(k, time, key.scale, key.axis);
        }
    }
}

// The vertex format the builder gives a KLX mesh, and how many coordinate
// sets come from the file.
struct MeshLayout {
    uint32_t fvf = 0;
    int32_t fileSets = 0;
    bool detailSet = false;
};

MeshLayout LayoutOf(const KlxMesh& mesh) {
    MeshLayout layout;
    layout.fileSets = std::clamp(mesh.CoordinateSets(), 0, 8);
    // The detail set repeats the last file set, so it needs one, and room.
    layout.detailSet = mesh.vertices.size() == kDetailMeshVertices && layout.fileSets >= 1 && layout.fileSets < 8;
    const int32_t sets = layout.fileSets + (layout.detailSet ? 1 : 0);
    layout.fvf = D3DFVF_DIFFUSE | (static_cast<uint32_t>(sets) << D3DFVF_TEXCOUNT_SHIFT);
    if ((mesh.vertexFlags & KLX_VERTEX_POSITION) != 0) {
        layout.fvf |= D3DFVF_XYZ;
    }
    if ((mesh.vertexFlags & KLX_VERTEX_NORMAL) != 0) {
        layout.fvf |= D3DFVF_NORMAL;
    }
    return layout;
}

MeshVertex MakeVertex(const KlxVertex& v, const MeshLayout& layout) {
    MeshVertex out;
    out.position = v.position;
    out.normal = v.normal;
    // The file's vertex colours are not used: every vertex is plain white.
    out.diffuse = 0x00FFFFFF;
    for (int32_t k = 0; k < KLX_MAX_COORDINATE_SETS; ++k) {
        out.texCoords[k] = v.uv[k];
    }
    if (layout.detailSet) {
        const Vector2& last = v.uv[layout.fileSets - 1];
        out.texCoords[layout.fileSets] = Vector2(last.u * kDetailRepeat, last.v * kDetailRepeat);
    }
    return out;
}

}  // namespace

// Scene files are read here rather than in scene.cpp so that code using
// scenes built by hand does not pull in the KLX reader.
void Scene::Load(Device3D& device, const char* fileName) {
    if (fileName == nullptr) {
        return;
    }
    const char* dot = std::strrchr(fileName, '.');
    if (dot == nullptr || strcasecmp(dot + 1, "klx") != 0) {
        return;
    }
    KlxDocument document(fileName);
    SceneBuilder(*this, device, document).Build();
}

SceneBuilder::SceneBuilder(Scene& scene, Device3D& device, const KlxDocument& document)
    : scene_(scene), device_(device), document_(document) {
    // The first record with an id wins, as in KlxDocument::FindNode.
    records_.reserve(document_.nodes.size());
    for (const KlxNode& record : document_.nodes) {
        records_.try_emplace(record.id, &record);
    }
}

const KlxNode* SceneBuilder::FindRecord(uint32_t id) const {
    const auto found = records_.find(id);
    return found != records_.end() ? found->second : nullptr;
}

void SceneBuilder::Build() {
    CopySceneTime();
    CopyFog();
    BuildMaterials();
    BuildTextures();
    BuildCameras();
    BuildLights();
    BuildMeshes();
    LinkHierarchy();
    FillSkinsAndFrames();
}

void SceneBuilder::CopySceneTime() {
    const KlxSceneTime& t = document_.sceneTime;
    scene_.time = {t.startTick, t.endTick, t.framesPerSecond, t.ticksPerFrame, t.reserved};
}

void SceneBuilder::CopyFog() {
    scene_.fogEnabled = document_.fog ? 1 : 0;
    if (document_.fog) {
        scene_.fogColor = document_.environment.fogColor;
        scene_.fogNearFactor = document_.environment.fogNear;
        scene_.fogFarDivisor = document_.environment.fogFar;
    }
}

void SceneBuilder::BuildMaterials() {
    for (const KlxMaterial& klx : document_.materials) {
        MaterialRecord record;
        record.ambient = klx.ambient;
        record.diffuse = klx.diffuse;
        record.specular = klx.specular;
        record.emissive = klx.emissive;
        record.opacity = klx.opacity;
        record.flags = klx.flags;
        std::copy(std::begin(klx.extra), std::end(klx.extra), std::begin(record.extra));
        for (int32_t slot = 0; slot < MaterialRecord::MAP_SLOTS && slot < KLX_MAP_SLOTS; ++slot) {
            const KlxMap& map = klx.maps[slot];
            record.maps[slot] = map.enabled ? map.fileName.Text() : nullptr;
        }
        auto material = std::make_unique<Material>(&device_);
        material->Build(record);
        Material* added = scene_.AddMaterial(std::move(material));
        scene_.RegisterMaterial(added, static_cast<int32_t>(klx.id), -1);
    }
}

void SceneBuilder::BuildTextures() {
    for (const KlxImage& image : document_.images) {
        // A picture that did not decode has nothing to show: its number gets
        // no texture, like a light-map index past the last picture, and
        // texture k stays image k.
        const cvcore::Image& picture = image.image;
        const bool decoded = picture.GetWidth() > 0 && picture.GetHeight() > 0 && picture.GetPixels() != nullptr;
        scene_.AddTexture(decoded ? device_.textureFactory.CreateTextureFromImage(picture, 0) : nullptr);
    }
}

void SceneBuilder::BuildCameras() {
    float aspect = 0.75f;
    IDirect3DDevice8* d3d = device_.GetDevice();
    IDirect3DSurface8* target = nullptr;
    if (d3d != nullptr && d3d->GetRenderTarget(&target) == D3D_OK && target != nullptr) {
        D3DSURFACE_DESC desc{};
        if (target->GetDesc(&desc) == D3D_OK && desc.Width > 0) {
            aspect = static_cast<float>(desc.Height) / static_cast<float>(desc.Width);
        }
        target->Release();
    }
    for (const KlxCamera& klx : document_.cameras) {
        SceneCamera* camera = scene_.AddNode(std::make_unique<SceneCamera>());
        scene_.AddCamera(camera);
        scene_.AddSlot(camera, static_cast<int32_t>(klx.nodeId), 0);
        CameraParameters parameters;
        parameters.environmentNear = klx.environmentNear;
        parameters.environmentFar = klx.environmentFar;
        parameters.fovHorizontal = klx.fieldOfView;
        parameters.fovVertical = aspect * klx.fieldOfView;
        parameters.clip = klx.flags & 1u;
        parameters.nearClip = klx.nearClip;
        parameters.farClip = klx.farClip;
        camera->SetParameters(parameters);
        camera->UpdateFrustum(parameters);
    }
}

void SceneBuilder::BuildLights() {
    for (const KlxLight& klx : document_.lights) {
        SceneLight* light = scene_.AddNode(std::make_unique<SceneLight>(&device_));
        scene_.AddLight(light);
        scene_.AddSlot(light, static_cast<int32_t>(klx.nodeId), 1);
        D3DLIGHT8& l = light->light;
        switch (klx.kind) {
        case 1: l.Type = D3DLIGHT_POINT; break;
        case 2:
        case 3: l.Type = D3DLIGHT_SPOT; break;
        case 4:
        case 5: l.Type = D3DLIGHT_DIRECTIONAL; break;
        default: break;
        }
        const D3DCOLORVALUE colour = ToColorValue(klx.color);
        const D3DCOLORVALUE black{0.0f, 0.0f, 0.0f, 0.0f};
        l.Ambient = colour;
        l.Diffuse = black;
        l.Specular = black;
        if ((klx.flags & 0x8) == 0) {
            if ((klx.flags & 0x2) != 0) {
                l.Diffuse = colour;
            }
            if ((klx.flags & 0x4) != 0) {
                l.Specular = colour;
            }
        }
        if ((klx.flags & 0x1) == 0) {
            light->Hide();
        }
        l.Falloff = 1.0f;
        if ((klx.flags & 0x80) != 0) {
            l.Theta = l.Phi = 3.1415927f;
        } else {
            l.Theta = klx.innerCone;
            l.Phi = klx.outerCone;
        }
        if ((klx.flags & 0x40) != 0) {
            l.Range = klx.range;
            l.Attenuation0 = 0.0f;
            l.Attenuation1 = 0.0f;
            l.Attenuation2 = 10.0f / (klx.range * klx.range);
        } else {
            l.Range = 3.4028235e38f;
            l.Attenuation0 = 1.0f;
            l.Attenuation1 = 0.0f;
            l.Attenuation2 = 0.0f;
        }
    }
}

void SceneBuilder::BuildMeshes() {
    for (const KlxMesh& klx : document_.meshes) {
        TriMesh* mesh = nullptr;
        if (klx.HasSkinWeights()) {
            mesh = scene_.AddNode(std::make_unique<SkinTriMesh>(&device_));
        } else if (klx.frames.empty()) {
            mesh = scene_.AddNode(std::make_unique<TriMesh>(&device_));
        } else {
            VATriMesh* animated = scene_.AddNode(std::make_unique<VATriMesh>(&device_));
            scene_.AddVertexAnimated(animated);
            mesh = animated;
        }
        meshes_.push_back(mesh);
        scene_.AddSlot(mesh, static_cast<int32_t>(klx.nodeId), 1);

        const MeshLayout layout = LayoutOf(klx);
        const int32_t count = static_cast<int32_t>(klx.vertices.size());
        mesh->CreateVertexBuffer(count, layout.fvf);
        mesh->LockVertices(TriMesh::LOCK_RESET_BOX | TriMesh::LOCK_TRACK_BOUNDS);
        for (int32_t v = 0; v < count; ++v) {
            mesh->SetVertex(v, MakeVertex(klx.vertices[static_cast<size_t>(v)], layout));
        }
        mesh->UnlockVertices(TriMesh::UNLOCK_SPHERE);

        BuildSubmeshes(*mesh, klx);
        mesh->bounds.flags |= NodeBounds::SphereValid | NodeBounds::BoxValid;
    }
}

void SceneBuilder::BuildSubmeshes(TriMesh& mesh, const KlxMesh& klx) {
    mesh.SetSubmeshCount(static_cast<int32_t>(klx.faceGroups.size()));
    for (size_t i = 0; i < klx.faceGroups.size(); ++i) {
        const KlxFaceGroup& group = klx.faceGroups[i];
        D3DPRIMITIVETYPE type;
        if (group.indexType == KLX_TRIANGLE_LIST) {
            type = D3DPT_TRIANGLELIST;
        } else if (group.indexType == KLX_TRIANGLE_STRIP) {
            type = D3DPT_TRIANGLESTRIP;
        } else {
            throw cvcore::Exception("Unknown indexbuffer type!", "Error!", kModule);
        }
        Material* material = scene_.GetMaterial(device_, static_cast<int32_t>(group.materialId), group.lightMap);
        const int32_t index = static_cast<int32_t>(i);
        const int32_t indexCount = static_cast<int32_t>(group.indices.size());
        mesh.CreateIndexBuffer(index, indexCount, type, material);
        if (uint16_t* indices = mesh.LockIndices(index)) {
            std::memcpy(indices, group.indices.data(), group.indices.size() * sizeof(uint16_t));
        }
        mesh.UnlockIndices(index);
    }
}

SceneNode* SceneBuilder::NodeForId(uint32_t id) {
    // An id that names no KLX node means no node, even though the transform
    // nodes sit in the slots under id 0.
    if (FindRecord(id) == nullptr) {
        return nullptr;
    }
    ControllerSlot* slot = scene_.FindObjectSlot(static_cast<int32_t>(id));
    return slot != nullptr ? slot->node : nullptr;
}

void SceneBuilder::LinkHierarchy() {
    const float start = static_cast<float>(document_.sceneTime.startTick);
    for (const KlxNode& record : document_.nodes) {
        const int32_t id = static_cast<int32_t>(record.id);
        ControllerSlot* slot = scene_.FindObjectSlot(id);
        if (slot == nullptr) {
            // Dummies and bones: plain nodes, so they animate too.
            slot = &scene_.AddSlot(scene_.AddNode(std::make_unique<SceneNode>()), id, 1);
        }
        SceneNode* object = slot->node;
        if (slot->objectFlag != 0) {
            SceneNode* transform = scene_.AddNode(std::make_unique<SceneNode>());
            ControllerSlot& transformSlot = scene_.AddSlot(transform, 0, 0, true);
            FillController(transformSlot.controller, record);
            transform->SetLocal(PoseAt(transformSlot.controller, start));
            transform->SetParent(&scene_);
            object->SetLocal(record.objectOffset);
            object->SetParent(transform);
        } else {
            FillController(slot->controller, record);
            object->SetLocal(PoseAt(slot->controller, start));
            object->SetParent(&scene_);
        }
    }

    for (const KlxNode& record : document_.nodes) {
        ControllerSlot* slot = scene_.FindObjectSlot(static_cast<int32_t>(record.id));
        if (slot == nullptr) {
            continue;
        }
        SceneNode* object = slot->node;
        if (SceneNode* parent = NodeForId(record.parentId)) {
            ControllerSlot* parentSlot = scene_.FindObjectSlot(static_cast<int32_t>(record.parentId));
            // Objects hang below their transform nodes: link those instead.
            if (parentSlot->objectFlag != 0 && parent->GetParent() != nullptr) {
                parent = parent->GetParent();
            }
            SceneNode* child = slot->objectFlag != 0 ? object->GetParent() : object;
            // A file may ask for a loop; that one link is left out.
            if (child != nullptr && !child->HasInSubtree(parent)) {
                child->SetParent(parent);
            }
        }
        object->SetTarget(NodeForId(record.targetId));
    }
}

void SceneBuilder::FillSkin(SkinTriMesh& mesh, const KlxMesh& klx) {
    const KlxNode* node = FindRecord(klx.nodeId);
    mesh.SetBindPose(node != nullptr ? node->bindPose : Matrix4(), kSkinBoundsMode);
    const int32_t boneCount = static_cast<int32_t>(klx.bones.size());
    mesh.SetBoneCount(boneCount);
    for (int32_t j = 0; j < boneCount; ++j) {
        const uint32_t boneId = klx.bones[static_cast<size_t>(j)];
        const KlxNode* bone = FindRecord(boneId);
        Matrix4 inverseBind;
        if (bone != nullptr) {
            inverseBind.SetInverse(bone->bindPose);
        }
        mesh.SetBone(j, NodeForId(boneId), inverseBind);
    }
    for (size_t v = 0; v < klx.vertices.size(); ++v) {
        const std::vector<KlxWeight>& pairs = klx.vertices[v].weights;
        // Pairs naming a bone outside the list have no bone to follow.
        const auto valid = [boneCount](const KlxWeight& w) { return w.bone < static_cast<uint32_t>(boneCount); };
        const int32_t count = static_cast<int32_t>(std::count_if(pairs.begin(), pairs.end(), valid));
        const int32_t vertex = static_cast<int32_t>(v);
        mesh.SetWeightCount(vertex, count);
        int32_t slot = 0;
        for (const KlxWeight& pair : pairs) {
            if (valid(pair)) {
                mesh.SetWeight(vertex, slot++, static_cast<int32_t>(pair.bone), pair.weight);
            }
        }
    }
}

void SceneBuilder::FillFrames(VATriMesh& mesh, const KlxMesh& klx) {
    const MeshLayout layout = LayoutOf(klx);
    const int32_t frameCount = static_cast<int32_t>(klx.frames.size());
    mesh.SetFrameCount(frameCount);
    for (int32_t k = 0; k < frameCount; ++k) {
        const KlxFrame& frame = klx.frames[static_cast<size_t>(k)];
        mesh.LockFrame(k);
        mesh.SetFrameTime(k, static_cast<int32_t>(frame.time));
        const size_t count = std::min(frame.vertices.size(), klx.vertices.size());
        for (size_t v = 0; v < count; ++v) {
            mesh.SetFrameVertex(k, static_cast<int32_t>(v), MakeVertex(frame.vertices[v], layout));
        }
        mesh.UnlockFrame(k);
    }
}

void SceneBuilder::FillSkinsAndFrames() {
    for (size_t i = 0; i < document_.meshes.size() && i < meshes_.size(); ++i) {
        const KlxMesh& klx = document_.meshes[i];
        if (klx.HasSkinWeights()) {
            FillSkin(static_cast<SkinTriMesh&>(*meshes_[i]), klx);
        } else if (!klx.frames.empty()) {
            FillFrames(static_cast<VATriMesh&>(*meshes_[i]), klx);
        }
    }
}
