#pragma once
// The caustic light network along one row of points, for painters that take it pixel by pixel.

#include <cstddef>

namespace Renderer {

// out[k] = caustic(x[k], y) for n points with non-decreasing x: the same bits as the point form, worked
// out eight points at a time with the row's noise cells shared where the processor allows.
void causticRun(const float* x, std::size_t n, float y, float* out);

}  // namespace Renderer
