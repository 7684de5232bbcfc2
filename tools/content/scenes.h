#pragma once
#include <vector>

#include "assets.h"

namespace content {

// The six scenes as KLX files, each with the textures it names, in their
// folders: vempula, ground, muikula, nakyleipa, kukka, maasto.
std::vector<Asset> MakeScenes();

}  // namespace content
