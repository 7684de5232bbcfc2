#include "scenes/scenelist.h"

namespace content {

std::vector<ArchiveEntry> MakeScenes() {
    std::vector<ArchiveEntry> out;
    for (auto make : {MakeVempula, MakeGround, MakeMuikula, MakeNakyleipa, MakeKukka, MakeMaasto}) {
        for (ArchiveEntry& a : make()) out.push_back(std::move(a));
    }
    return out;
}

}  // namespace content
