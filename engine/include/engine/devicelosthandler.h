#pragma once

// Something that keeps resources in D3DPOOL_DEFAULT: a lost device can be
// reset only once they are all released, and they are made again after.
class DeviceLostHandler {
public:
    virtual void OnDeviceLost() = 0;   // release every default-pool resource
    virtual void OnDeviceReset() = 0;  // make them again

protected:
    ~DeviceLostHandler() = default;
};
