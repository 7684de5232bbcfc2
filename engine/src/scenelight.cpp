#include "engine/scenelight.h"

SceneLight::SceneLight(Device3D* device_) : device(device_), light{} {}
