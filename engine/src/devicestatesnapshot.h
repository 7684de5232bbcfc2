#pragma once
#include <d3d8.h>

#include <vector>

// The device state a Reset returns to its defaults, read through the
// device's Get calls just before the Reset and set again after it, so the
// frames after a lost device look like those before. Textures in the
// default pool are not kept (their owners make them again), nor streams
// and indices, which every draw sets itself.
class DeviceStateSnapshot {
public:
    DeviceStateSnapshot() = default;
    ~DeviceStateSnapshot();
    DeviceStateSnapshot(const DeviceStateSnapshot&) = delete;
    DeviceStateSnapshot& operator=(const DeviceStateSnapshot&) = delete;

    void Capture(IDirect3DDevice8* device);
    // Sets what differs from the device's state now; forgets the snapshot.
    void Restore(IDirect3DDevice8* device);

private:
    void Clear();

    struct Value {
        DWORD which;
        DWORD value;
    };
    struct StageValue {
        DWORD stage;
        DWORD which;
        DWORD value;
    };
    struct Transform {
        D3DTRANSFORMSTATETYPE which;
        D3DMATRIX matrix;
    };
    struct Light {
        DWORD index;
        D3DLIGHT8 light;
        BOOL enabled;
    };
    std::vector<Value> renderStates_;
    std::vector<StageValue> stageStates_;
    std::vector<Transform> transforms_;
    std::vector<Light> lights_;
    IDirect3DBaseTexture8* textures_[8] = {};
    D3DMATERIAL8 material_{};
    D3DVIEWPORT8 viewport_{};
    DWORD fvf_ = 0;
    bool captured_ = false;
};
