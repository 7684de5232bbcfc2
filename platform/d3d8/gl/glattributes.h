#pragma once
// Where each vertex component reaches the generated programs: the shader
// generator declares these locations and the draw code feeds them, so the
// two cannot drift apart.
#include "d3d8/gl/gl.h"

namespace d3d8 {

enum GLAttribute : GLuint {
    kAttribPosition = 0,
    kAttribNormal = 2,
    kAttribDiffuse = 3,
    kAttribSpecular = 4,
    kAttribTex0 = 5,  // texture coordinate set i at kAttribTex0 + i
    kAttribCount = kAttribTex0 + 8,
};

}  // namespace d3d8
