#pragma once
// The engine's value types in one include.
#include "engine/color4.h"
#include "engine/matrix4.h"
#include "engine/quaternion.h"
#include "engine/vector2.h"
#include "engine/vector3.h"
