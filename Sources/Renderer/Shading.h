#pragma once
// The per-pixel shading of a scene's base image from its terrain and palette.

#include <cstddef>
#include <cstdint>

struct Look;
struct Terrain;

namespace Renderer {

// Shades every pixel of a width × height buffer of native-endian ARGB32 words (row 0 first in memory,
// `stride` bytes per row). Rows run in parallel and write disjoint bytes, so the result does not depend
// on the thread count.
void paint(uint8_t* pixels, std::size_t stride, int64_t width, int64_t height, float scale, const Terrain& terrain,
           const Look& look);

// Row r of the same shading, done point by point in plain scalar code: the reference that `paint`, which
// works on several pixels at once, reproduces byte for byte.
void paintRowReference(uint8_t* row, int64_t r, int64_t width, float scale, const Terrain& terrain, const Look& look);

}  // namespace Renderer
