#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"
#include "engine/scene.h"

// One KLX scene in a window of its own, drawn through the engine the way the
// show draws its scenes, with a back buffer that can be read back.
class SceneSnapshot {
public:
    // Opens a window whose client area is width x height, creates the device
    // on it and builds the scene from path (inside an archive or not; its
    // textures are found beside it). Throws cvcore::Exception.
    SceneSnapshot(const std::string& path, int width, int height);
    ~SceneSnapshot();
    SceneSnapshot(const SceneSnapshot&) = delete;
    SceneSnapshot& operator=(const SceneSnapshot&) = delete;

    const Scene& GetScene() const { return scene_; }
    // The node name of each camera, in file order (names may be empty).
    const std::vector<std::string>& CameraNames() const { return cameraNames_; }
    // The camera named by text, or numbered by it; -1 when there is none.
    int FindCamera(const std::string& text) const;

    void SetLighting(bool on);
    // Clears to the fog colour (black without fog), poses the scene at
    // seconds and draws it through the camera. The frame stays in the back
    // buffer until Present.
    void Draw(float seconds, int camera);
    // The back buffer as top-down A8R8G8B8 rows of width x height pixels.
    std::vector<uint32_t> ReadFrame(int& width, int& height);
    void Present();

private:
    void OpenDevice(int width, int height);
    void LoadScene(std::string path);
    void CheckBackBufferSize(int width, int height);

    cvcore::WindowWrapper window_;
    Device3D device_;
    Scene scene_;  // after the device: its resources go first
    std::vector<std::string> cameraNames_;
};
