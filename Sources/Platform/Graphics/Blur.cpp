#include "Platform/Graphics/Blur.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace cg::detail {

int blurReach(double sigma) {
    if (!(sigma > 0.05)) return 0;
    const double r = std::ceil(3 * std::min(sigma, 1000.0));
    return static_cast<int>(r);
}

void gaussianBlurA8(uint8_t* data, int w, int h, int stride, double sigma, BlurScratch& s) {
    const int r = blurReach(sigma);
    if (r <= 0 || w <= 0 || h <= 0) return;
    const int taps = 2 * r + 1;
    s.kernel.resize(static_cast<size_t>(taps));
    double sum = 0;
    for (int i = -r; i <= r; ++i) {
        const double v = std::exp(-(static_cast<double>(i) * i) / (2 * sigma * sigma));
        s.kernel[static_cast<size_t>(i + r)] = static_cast<float>(v);
        sum += v;
    }
    for (float& k : s.kernel) k = static_cast<float>(k / sum);
    const float* kern = s.kernel.data();

    const size_t W = static_cast<size_t>(w), H = static_cast<size_t>(h);
    s.plane.resize(W * H);
    s.line.assign(W + 2 * static_cast<size_t>(r), 0.0f);
    float* line = s.line.data();

    // Horizontal pass: each row padded with zeros so the inner loop has no bounds checks.
    for (size_t y = 0; y < H; ++y) {
        const uint8_t* src = data + y * static_cast<size_t>(stride);
        bool any = false;
        for (size_t x = 0; x < W; ++x) {
            line[x + static_cast<size_t>(r)] = src[x];
            any |= src[x] != 0;
        }
        float* out = s.plane.data() + y * W;
        if (!any) {
            // Rows far from the shape are common in padded boxes.
            std::fill(out, out + W, 0.0f);
            continue;
        }
        for (size_t x = 0; x < W; ++x) {
            const float* p = line + x;
            float acc = 0;
            for (int k = 0; k < taps; ++k) acc += kern[k] * p[k];
            out[x] = acc;
        }
    }

    // Vertical pass, row by row so the inner loop runs along memory.
    s.line.assign(W, 0.0f);
    float* acc = s.line.data();
    for (size_t y = 0; y < H; ++y) {
        std::fill(acc, acc + W, 0.0f);
        const ptrdiff_t y0 = std::max<ptrdiff_t>(0, static_cast<ptrdiff_t>(y) - r);
        const ptrdiff_t y1 = std::min<ptrdiff_t>(static_cast<ptrdiff_t>(H) - 1, static_cast<ptrdiff_t>(y) + r);
        for (ptrdiff_t yy = y0; yy <= y1; ++yy) {
            const float kv = kern[yy - static_cast<ptrdiff_t>(y) + r];
            const float* row = s.plane.data() + static_cast<size_t>(yy) * W;
            for (size_t x = 0; x < W; ++x) acc[x] += kv * row[x];
        }
        uint8_t* dst = data + y * static_cast<size_t>(stride);
        for (size_t x = 0; x < W; ++x) {
            const float v = acc[x] + 0.5f;
            dst[x] = static_cast<uint8_t>(v >= 255.0f ? 255.0f : (v > 0.0f ? v : 0.0f));
        }
    }
}

}  // namespace cg::detail
