#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>
#include <d3d8.h>
#include "engine/prscontroller.h"
#include "engine/scenecamera.h"
#include "engine/scenelight.h"
#include "engine/scenerenderer.h"

class Device3D;
class Material;
class VATriMesh;

// The animation range and rate of a scene, in KLX ticks.
struct SceneTime {
    int32_t startTick = 0;
    int32_t endTick = 0;
    int32_t framesPerSecond = 0;
    int32_t ticksPerFrame = 0;
    int32_t reserved = 0;
};

// One animated (or at least registered) node with its KLX node id. The object
// flag is 1 for meshes, lights and plain nodes, 0 for cameras and for the
// transform nodes the builder puts above objects.
struct ControllerSlot {
    SceneNode* node = nullptr;
    uint8_t objectFlag = 0;
    PRSController controller;
    int32_t id = 0;
    // A transform node the builder put above an object. Such slots carry id
    // 0 but stand for no KLX node, so lookups by KLX id pass them over. Set
    // by AddSlot, which indexes the slot by it.
    bool transformNode = false;
};

// Maps a KLX material id (sub-index -1) or a material and light-map image
// pair (sub-index = image index) to the material built for it.
struct MaterialIdEntry {
    Material* material = nullptr;
    int32_t id = 0;
    int32_t subIndex = -1;
};

// The root of everything one KLX file produced. Owns its nodes, materials,
// controllers and the textures of the embedded images.
class Scene : public SceneRenderer {
public:
    Scene();
    ~Scene() override;

    // Only names ending in "klx" (any case) are loaded; others are ignored.
    void Load(Device3D& device, const char* fileName);
    void Update(float seconds);
    void ApplyFog(Device3D& device, SceneCamera& camera);
    void Render(Device3D& device, SceneCamera& camera);

    int32_t GetCameraCount() const { return static_cast<int32_t>(cameras_.size()); }
    SceneCamera* GetCamera(int32_t index) const { return cameras_[static_cast<size_t>(index)]; }
    const std::vector<SceneCamera*>& GetCameras() const { return cameras_; }
    const std::vector<SceneLight*>& GetLights() const { return lights_; }
    const std::vector<VATriMesh*>& GetVertexAnimatedMeshes() const { return vertexAnimated_; }
    // The tick the last Update posed the scene at.
    float GetCurrentTick() const { return currentTick_; }

    // Fog settings: the show reads them, changes them for a frame and
    // restores them.
    uint8_t fogEnabled = 0;
    uint32_t fogColor = 0;
    float fogNearFactor = 0.0f;
    float fogFarDivisor = 1.0f;

    SceneTime time;

    // Building: the KLX scene builder fills the scene through these.
    NodeList& GetNodeList() { return nodes_; }
    template <class T>
    T* AddNode(std::unique_ptr<T> node) {
        return nodes_.Add(std::move(node));
    }
    void AddCamera(SceneCamera* camera) { cameras_.push_back(camera); }
    void AddLight(SceneLight* light) { lights_.push_back(light); }
    void AddVertexAnimated(VATriMesh* mesh) { vertexAnimated_.push_back(mesh); }

    // A transform node's slot stands for no KLX node: object lookups pass
    // it over.
    ControllerSlot& AddSlot(SceneNode* node, int32_t id, uint8_t objectFlag, bool transformNode = false);
    // First slot registered under the id, or null.
    ControllerSlot* FindSlot(int32_t id);
    // First slot of an object (not a transform node) under the id, or null.
    ControllerSlot* FindObjectSlot(int32_t id);
    int32_t GetSlotCount() const { return static_cast<int32_t>(slots_.size()); }
    ControllerSlot& GetSlot(int32_t index) { return *slots_[static_cast<size_t>(index)]; }

    Material* AddMaterial(std::unique_ptr<Material> material);
    int32_t GetMaterialCount() const { return static_cast<int32_t>(materials_.size()); }
    Material* GetMaterialAt(int32_t index) const { return materials_[static_cast<size_t>(index)].get(); }
    void RegisterMaterial(Material* material, int32_t id, int32_t subIndex);
    Material* FindMaterial(int32_t id, int32_t subIndex) const;
    // The material a face group draws with: the base material of the id for
    // image index -1, else its light-map variant for that image (made on
    // first request). Null when the id has no base material.
    Material* GetMaterial(Device3D& device, int32_t id, int32_t imageIndex);

    // Takes over one reference.
    void AddTexture(IDirect3DTexture8* texture) { textures_.push_back(texture); }
    int32_t GetTextureCount() const { return static_cast<int32_t>(textures_.size()); }
    IDirect3DTexture8* GetTexture(int32_t index) const;

private:
    void PoseSlots(float ticks);
    void ProgramLights();
    void Traverse(Device3D& device, SceneNode& node);
    void DrawDebugBox(Device3D& device, const SceneNode& node);
    void DrawDebugSphere(Device3D& device, const SceneNode& node);
    float WrapTicks(float ticks) const;

    std::vector<MaterialIdEntry> materialIds_;
    std::vector<std::unique_ptr<ControllerSlot>> slots_;
    // The first slot of each id, so that building a large scene stays linear.
    std::unordered_map<int32_t, ControllerSlot*> firstSlot_;
    std::unordered_map<int32_t, ControllerSlot*> firstObjectSlot_;
    std::vector<IDirect3DTexture8*> textures_;
    std::vector<std::unique_ptr<Material>> materials_;
    NodeList nodes_;
    std::vector<SceneCamera*> cameras_;
    std::vector<SceneLight*> lights_;
    std::vector<VATriMesh*> vertexAnimated_;
    float currentTick_ = 0.0f;
};
