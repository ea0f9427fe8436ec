#pragma once
// The render pipeline's steps.

#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Renderer/Look.h"
#include "Scene/SceneSpec.h"
#include "Renderer/Terrain.h"

namespace Renderer {

// The blobs of a scene's terrain: a raised zone around every keep rectangle, three satellite mounds per
// zone hashed from where it stands, then the free mounds that survive clear of the zones.
std::vector<Terrain::Blob> terrainBlobs(const SceneSpec& spec, const std::vector<cg::Rect>& keep);

// The scene's terrain with its look's land level and cliff, reshaped for its kind.
Terrain terrain(const SceneSpec& spec, const Look& look, const std::vector<cg::Rect>& keep);

}  // namespace Renderer
