#pragma once
#include <vector>

#include "archive/archiveentry.h"

namespace content {

// The six scenes as KLX files, each with the textures it names, in their
// folders: vempula, ground, muikula, nakyleipa, kukka, maasto.
std::vector<ArchiveEntry> MakeScenes();

// One scene each, with its textures.
std::vector<ArchiveEntry> MakeVempula();
std::vector<ArchiveEntry> MakeGround();
std::vector<ArchiveEntry> MakeMuikula();
std::vector<ArchiveEntry> MakeNakyleipa();
std::vector<ArchiveEntry> MakeKukka();
std::vector<ArchiveEntry> MakeMaasto();

}  // namespace content
