#pragma once
#include <vector>

#include "assets.h"

namespace content {

// The six scenes as KLX files, each with the textures it names, in their
// folders: vempula, ground, muikula, nakyleipa, kukka, maasto.
std::vector<Asset> MakeScenes();

// One scene each, with its textures.
std::vector<Asset> MakeVempula();
std::vector<Asset> MakeGround();
std::vector<Asset> MakeMuikula();
std::vector<Asset> MakeNakyleipa();
std::vector<Asset> MakeKukka();
std::vector<Asset> MakeMaasto();

}  // namespace content
