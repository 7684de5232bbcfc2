#pragma once
#include <string>
#include <vector>

#include "assets.h"

namespace content {

// A developer's look at the scenes without the engine: every scene posed at
// a few times through each of its cameras, drawn by a small software
// rasteriser (textures, light maps, reflections, skinning, morphing, fog;
// back faces culled like the engine's default) into OUTDIR/<scene>-<camera>-<n>.tga.
void RenderPreviews(const std::vector<Asset>& assets, const std::string& outDir);

}  // namespace content
