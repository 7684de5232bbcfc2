#pragma once
// Where each vertex component reaches the generated programs: the shader
// generator declares these locations and the draw code feeds them, so the
// two cannot drift apart.
#include "d3d8/gl/gl.h"

namespace d3d8 {

enum GLAttribute : GLuint {
    ATTRIB_POSITION = 0,
    ATTRIB_NORMAL = 2,
    ATTRIB_DIFFUSE = 3,
    ATTRIB_SPECULAR = 4,
    ATTRIB_TEX0 = 5,  // texture coordinate set i at ATTRIB_TEX0 + i
    ATTRIB_COUNT = ATTRIB_TEX0 + 8,
};

}  // namespace d3d8
