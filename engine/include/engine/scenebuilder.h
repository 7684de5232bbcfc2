#pragma once
#include "engine/scene.h"

class Device3D;
class KlxDocument;

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
    void LinkHierarchy();
    void FillSkinsAndFrames();

    Scene& scene_;
    Device3D& device_;
    const KlxDocument& document_;
};
