#include "scenes.h"

namespace content {

std::vector<Asset> MakeScenes()
{
    std::vector<Asset> out;
    for (auto make : {MakeVempula, MakeGround, MakeMuikula, MakeNakyleipa, MakeKukka, MakeMaasto}) {
        for (Asset& a : make())
            out.push_back(std::move(a));
    }
    return out;
}

}  // namespace content
