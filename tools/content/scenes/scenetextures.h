#pragma once
// Textures the scenes name (each written beside its scene) and the images
// they embed.
#include "pictures/picture.h"

namespace content {

Picture MetalTexture(unsigned seed, unsigned tint, bool rivets);                          // brushed plates
Picture EnvironmentMap(unsigned sky, unsigned horizon, unsigned ground, unsigned light);  // sphere map
Picture GlassTexture();                                                                   // faint tint with alpha
Picture TileTexture();  // floor tiles with glowing seams
Picture OrbTexture(unsigned colour);
Picture ScaleTexture();   // fish skin
Picture RyeTexture();     // crispbread crust with docking holes
Picture BreadLightMap();  // baked light across the bread's second coordinates
Picture PetalTexture();
Picture StemTexture();
Picture MossTexture();
Picture MossLightMap();
Picture TerrainColour(int size);  // baked dawn light over the landscape's height field
Picture DetailTexture();
Picture WaterTexture();

// The landscape's height at (x, z) in world units; shared by the mesh and the
// baked colour map so they agree.
float TerrainHeight(float x, float z);
constexpr float TERRAIN_SIZE_X = 1940.0f;
constexpr float TERRAIN_SIZE_Z = 800.0f;

}  // namespace content
