#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>
#include "engine/scene.h"

class Device3D;
class KlxDocument;
class SkinTriMesh;
class TriMesh;
class VATriMesh;
struct KlxMesh;
struct KlxNode;

// Turns a KLX document into the scene graph of a Scene, creating every
// Direct3D resource on the way. The steps run in a fixed order: materials and
// textures before the meshes that use them, every object registered under its
// KLX node id before the hierarchy is linked, skins and morph frames last.
class SceneBuilder {
public:
    SceneBuilder(Scene& scene, Device3D& device, const KlxDocument& document);
    void Build();

private:
    void CopySceneTime();
    void CopyFog();
    void BuildMaterials();
    void BuildTextures();
    void BuildCameras();
    void BuildLights();
    void BuildMeshes();
    void BuildSubmeshes(TriMesh& mesh, const KlxMesh& klx);
    void LinkHierarchy();
    SceneNode* NodeForId(uint32_t id);
    const KlxNode* FindRecord(uint32_t id) const;
    void FillSkinsAndFrames();
    void FillSkin(SkinTriMesh& mesh, const KlxMesh& klx);
    void FillFrames(VATriMesh& mesh, const KlxMesh& klx);

    Scene& scene_;
    Device3D& device_;
    const KlxDocument& document_;
    std::vector<TriMesh*> meshes_;  // one per KLX mesh, in order
    // The document's node records by id: linking a large scene stays linear.
    std::unordered_map<uint32_t, const KlxNode*> records_;
};
