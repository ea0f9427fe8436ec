#pragma once
// Gaussian blur of an 8-bit alpha plane, in place (internal to the drawing layer).

#include <cstdint>
#include <vector>

namespace cg::detail {

// Reusable buffers so repeated blurs allocate nothing once warmed up.
struct BlurScratch {
    std::vector<float> plane;
    std::vector<float> line;
    std::vector<float> kernel;
    std::vector<uint8_t> rows;  // the rows of the plane that are not all zero
};

// The kernel reaches ⌈3σ⌉ pixels; pixels beyond the plane count as transparent. eightLanes false keeps
// to the one-lane loops (tests: both give the same bytes).
void gaussianBlurA8(uint8_t* data, int width, int height, int stride, double sigma, BlurScratch& scratch,
                    bool eightLanes = true);

// Pixels a blur of this sigma spreads a shape by.
int blurReach(double sigma);

}  // namespace cg::detail
