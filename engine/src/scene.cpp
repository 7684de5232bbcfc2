#include "engine/scene.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include "engine/device3d.h"
#include "engine/material.h"
#include "engine/vatrimesh.h"

Scene::Scene() = default;

Scene::~Scene() {
    // Nodes first: meshes point at materials, materials at textures.
    nodes_.Clear();
    materials_.clear();
    for (IDirect3DTexture8* texture : textures_) {
        if (texture != nullptr) {
            texture->Release();
        }
    }
}

ControllerSlot& Scene::AddSlot(SceneNode* node, int32_t id, uint8_t objectFlag, bool transformNode) {
    auto slot = std::make_unique<ControllerSlot>();
    slot->node = node;
    slot->id = id;
    slot->objectFlag = objectFlag;
    slot->transformNode = transformNode;
    ControllerSlot* added = slot.get();
    slots_.push_back(std::move(slot));
    // The first slot with an id wins; later ones do not replace it.
    firstSlot_.try_emplace(id, added);
    if (!transformNode) {
        firstObjectSlot_.try_emplace(id, added);
    }
    return *added;
}

ControllerSlot* Scene::FindSlot(int32_t id) {
    const auto found = firstSlot_.find(id);
    return found != firstSlot_.end() ? found->second : nullptr;
}

ControllerSlot* Scene::FindObjectSlot(int32_t id) {
    const auto found = firstObjectSlot_.find(id);
    return found != firstObjectSlot_.end() ? found->second : nullptr;
}

Material* Scene::AddMaterial(std::unique_ptr<Material> material) {
    materials_.push_back(std::move(material));
    return materials_.back().get();
}

void Scene::RegisterMaterial(Material* material, int32_t id, int32_t subIndex) {
    materialIds_.push_back({material, id, subIndex});
}

Material* Scene::FindMaterial(int32_t id, int32_t subIndex) const {
    for (const MaterialIdEntry& entry : materialIds_) {
        if (entry.id == id && entry.subIndex == subIndex) {
            return entry.material;
        }
    }
    return nullptr;
}

Material* Scene::GetMaterial(Device3D&, int32_t id, int32_t imageIndex) {
    if (imageIndex == -1) {
        return FindMaterial(id, -1);
    }
    if (Material* variant = FindMaterial(id, imageIndex)) {
        return variant;
    }
    Material* base = FindMaterial(id, -1);
    if (base == nullptr) {
        return nullptr;
    }
    Material* variant = AddMaterial(base->MakeLightMapVariant(GetTexture(imageIndex)));
    RegisterMaterial(variant, id, imageIndex);
    return variant;
}

IDirect3DTexture8* Scene::GetTexture(int32_t index) const {
    if (index < 0 || index >= GetTextureCount()) {
        return nullptr;
    }
    return textures_[static_cast<size_t>(index)];
}

float Scene::WrapTicks(float ticks) const {
    // Without a range there is nothing to loop over: hold the first tick.
    if (time.endTick <= time.startTick || !std::isfinite(ticks)) {
        return static_cast<float>(time.startTick);
    }
    const double start = time.startTick;
    const double end = time.endTick;
    const double span = end - start;
    // Whole spans at once, in double precision: stepping one span at a time
    // could take forever for a far-off time, and a float step smaller than
    // the float spacing at the tick would never move it at all.
    double t = ticks;
    if (t > end) {
        t -= std::ceil((t - end) / span) * span;
    } else if (t < start) {
        t += std::ceil((start - t) / span) * span;
    }
    // Rounding of a huge time may land a hair outside the range.
    return static_cast<float>(std::clamp(t, start, end));
}

void Scene::PoseSlots(float ticks) {
    for (auto& slot : slots_) {
        const PRSController& c = slot->controller;
        if (c.position.count <= 1 && c.rotation.count <= 1 && c.scale.count <= 1) {
            continue;
        }
        const Vector3 p = c.GetPosition(ticks);
        const Quaternion q = c.GetRotation(ticks);
        slot->node->SetLocal(c.GetScaleMatrix(ticks) * Matrix4(q) * Matrix4::Translation(p));
    }
}

void Scene::ProgramLights() {
    DWORD index = 0;
    for (SceneLight* light : lights_) {
        if (light->enabled == 0 || light->device == nullptr || light->device->GetDevice() == nullptr) {
            continue;
        }
        const Matrix4& world = light->GetWorld();
        const Vector3 position = world.GetTranslation();
        light->light.Position = {position.x, position.y, position.z};
        if (light->light.Type != D3DLIGHT_POINT) {
            Vector3 direction(world.m[4], world.m[5], world.m[6]);
            if (SceneNode* target = light->GetTarget()) {
                // Aim from the light at its target.
                const Vector3 toTarget = target->GetWorld().GetTranslation() - position;
                if (toTarget.Length() > 0.0f) {
                    direction = toTarget;
                }
            }
            light->light.Direction = {direction.x, direction.y, direction.z};
        }
        IDirect3DDevice8* device = light->device->GetDevice();
        device->SetLight(index, &light->light);
        device->LightEnable(index, TRUE);
        ++index;
    }
}

void Scene::Update(float seconds) {
    // The two integers multiply first; in 64 bits, so that no file's values
    // can overflow them.
    const int64_t ticksPerSecond = static_cast<int64_t>(time.ticksPerFrame) * time.framesPerSecond;
    const float ticks = WrapTicks(static_cast<float>(ticksPerSecond) * seconds);
    currentTick_ = ticks;
    PoseSlots(ticks);
    ProgramLights();
    for (VATriMesh* mesh : vertexAnimated_) {
        mesh->SetTime(ticks);
    }
}

namespace {

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

Matrix4 Projection(const CameraFrustum& f) {
    Matrix4 p(0.0f);
    p.m[15] = 0.0f;
    p.m[0] = 2.0f * f.nearZ / (f.right - f.left);
    p.m[5] = 2.0f * f.nearZ / (f.top - f.bottom);
    p.m[8] = -(f.right + f.left) / (f.right - f.left);
    p.m[9] = -(f.top + f.bottom) / (f.top - f.bottom);
    p.m[10] = (f.farZ + f.nearZ) / (f.farZ - f.nearZ);
    p.m[11] = 1.0f;
    p.m[14] = -2.0f * f.nearZ * f.farZ / (f.farZ - f.nearZ);
    return p;
}

}  // namespace

void Scene::ApplyFog(Device3D& device, SceneCamera& camera) {
    IDirect3DDevice8* d3d = device.GetDevice();
    if (d3d == nullptr) {
        return;
    }
    D3DCAPS8 caps{};
    d3d->GetDeviceCaps(&caps);
    if ((caps.RasterCaps & D3DPRASTERCAPS_FOGVERTEX) != 0) {
        d3d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    } else if ((caps.RasterCaps & D3DPRASTERCAPS_FOGTABLE) != 0) {
        d3d->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    } else {
        return;
    }
    d3d->SetRenderState(D3DRS_FOGENABLE, fogEnabled);
    if (fogEnabled == 0) {
        return;
    }
    const CameraParameters& parameters = camera.GetParameters();
    const float a = parameters.environmentNear;
    const float b = parameters.environmentFar;
    d3d->SetRenderState(D3DRS_FOGCOLOR, fogColor);
    d3d->SetRenderState(D3DRS_FOGSTART, FloatBits(a - (b - a) * fogNearFactor));
    d3d->SetRenderState(D3DRS_FOGEND, FloatBits(a + (b - a) / fogFarDivisor));
}

void Scene::Render(Device3D& device, SceneCamera& camera) {
    IDirect3DDevice8* d3d = device.GetDevice();
    if (d3d == nullptr) {
        return;
    }
    ResetStatistics();
    const CameraFrustum& shape = camera.GetFrustum();
    const Matrix4 projection = Projection(shape);
    d3d->SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(projection.m));

    if (SceneNode* target = camera.GetTarget()) {
        const Vector3 eye = camera.GetWorld().GetTranslation();
        const Vector3 at = target->GetWorld().GetTranslation();
        Matrix4 look;
        look.LookAt(at, eye, Vector3(0.0f, 1.0f, 0.0f));
        look.Invert();
        // The look-at pose is in world space; the parent's transform applies
        // on top of the local one, so take it out again. Otherwise the eye
        // moves by the parent's offset on every render.
        if (SceneNode* parent = camera.GetParent()) {
            look *= parent->GetInverseWorld();
        }
        camera.SetLocal(look);
    }
    d3d->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(camera.GetInverseWorld().m));

    cameraWorld = camera.GetWorld();
    frustum.SetShape(shape);
    frustum.SetMatrix(cameraWorld);

    Traverse(device, *this);

    const Matrix4 identity;
    d3d->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(identity.m));
    device.FlushTransparent();
}

void Scene::Traverse(Device3D& device, SceneNode& root) {
    IDirect3DDevice8* d3d = device.GetDevice();
    // Depth first, children in list order, without recursion so that a deep
    // hierarchy cannot exhaust the stack.
    std::vector<const ChildCell*> pending;
    SceneNode* node = &root;
    for (;;) {
        if (!node->IsHidden()) {
            if ((node->hookFlags & HookPrepare) != 0) {
                node->Prepare(device);
            }
            if ((node->hookFlags & HookDraw) != 0 && CullTest(*node)) {
                d3d->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(node->GetWorld().m));
                node->Draw(device);
                if ((node->bounds.flags & NodeBounds::DrawBox) != 0) {
                    DrawDebugBox(device, *node);
                }
                if ((node->bounds.flags & NodeBounds::DrawSphere) != 0) {
                    DrawDebugSphere(device, *node);
                }
            }
        }
        if ((node->stateFlags & Pruned) == 0 && node->GetFirstChild() != nullptr) {
            pending.push_back(node->GetFirstChild());
        }
        // Next: the first unvisited cell on the stack.
        while (!pending.empty() && pending.back() == nullptr) {
            pending.pop_back();
        }
        if (pending.empty()) {
            return;
        }
        const ChildCell* cell = pending.back();
        pending.back() = cell->next;
        node = cell->node;
    }
}

namespace {

void SetDebugLineState(IDirect3DDevice8* d3d) {
    d3d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d3d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d3d->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    d3d->SetVertexShader(D3DFVF_XYZ);
}

}  // namespace

void Scene::DrawDebugSphere(Device3D& device, const SceneNode& node) {
    // Three great circles, one around each axis.
    constexpr int kSegments = 24;
    Vector3 lines[3 * kSegments * 2];
    const Vector3& c = node.bounds.sphereCentre;
    const float r = node.bounds.sphereRadius;
    int n = 0;
    for (int axis = 0; axis < 3; ++axis) {
        for (int s = 0; s < kSegments; ++s) {
            for (int end = 0; end < 2; ++end) {
                const float angle = 6.2831853f * static_cast<float>(s + end) / kSegments;
                const float a = std::cos(angle) * r, b = std::sin(angle) * r;
                lines[n++] = axis == 0   ? c + Vector3(0.0f, a, b)
                             : axis == 1 ? c + Vector3(a, 0.0f, b)
                                         : c + Vector3(a, b, 0.0f);
            }
        }
    }
    IDirect3DDevice8* d3d = device.GetDevice();
    SetDebugLineState(d3d);
    d3d->DrawPrimitiveUP(D3DPT_LINELIST, 3 * kSegments, lines, sizeof(Vector3));
}

void Scene::DrawDebugBox(Device3D& device, const SceneNode& node) {
    IDirect3DDevice8* d3d = device.GetDevice();
    const Vector3& lo = node.bounds.boxMinimum;
    const Vector3& hi = node.bounds.boxMaximum;
    Vector3 corners[8];
    for (int32_t c = 0; c < 8; ++c) {
        corners[c] = Vector3((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z);
    }
    // Each edge joins two corners that differ in one axis bit.
    static constexpr int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                          {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    Vector3 lines[24];
    for (int32_t e = 0; e < 12; ++e) {
        lines[2 * e] = corners[kEdges[e][0]];
        lines[2 * e + 1] = corners[kEdges[e][1]];
    }
    SetDebugLineState(d3d);
    d3d->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof(Vector3));
}
