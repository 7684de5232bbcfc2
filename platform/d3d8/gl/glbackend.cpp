#include "d3d8/backend.h"

namespace d3d8 {
std::unique_ptr<Backend> CreateGLBackend() { return nullptr; }
}  // namespace d3d8
