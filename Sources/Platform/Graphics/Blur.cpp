#include "Platform/Graphics/Blur.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace cg::detail {

namespace {

#if defined(__x86_64__) && !defined(VM_SCALAR_ONLY)
#define BLUR_X86 1
#define BLUR_AVX2 __attribute__((target("avx2")))
#else
#define BLUR_X86 0
#define BLUR_AVX2
#endif

bool haveAvx2() {
#if BLUR_X86
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

// One row of the horizontal pass: out[x] = Σk kern[k]·line[x + k], summed in k order.
void rowScalar(const float* line, const float* kern, int taps, std::size_t from, std::size_t w, float* out) {
    for (std::size_t x = from; x < w; ++x) {
        const float* p = line + x;
        float acc = 0;
        for (int k = 0; k < taps; ++k) acc += kern[k] * p[k];
        out[x] = acc;
    }
}

// Eight points at a time, each lane with the scalar sum's operations in the same order (no fused
// multiply-add), so the bytes are those of rowScalar.
BLUR_AVX2 void rowEight(const float* line, const float* kern, int taps, std::size_t w, float* out) {
    using V = float __attribute__((vector_size(32)));
    std::size_t x = 0;
    for (; x + 8 <= w; x += 8) {
        V acc = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int k = 0; k < taps; ++k) {
            V p;
            std::memcpy(&p, line + x + static_cast<std::size_t>(k), sizeof p);
            const float c = kern[k];
            acc += V{c, c, c, c, c, c, c, c} * p;
        }
        std::memcpy(out + x, &acc, sizeof acc);
    }
    rowScalar(line, kern, taps, x, w, out);
}

// acc[x] += kv·row[x]; compiled for AVX2 where the processor has it (the same operations per element).
void addRowScalar(float* acc, const float* row, float kv, std::size_t w) {
    for (std::size_t x = 0; x < w; ++x) acc[x] += kv * row[x];
}
BLUR_AVX2 void addRowEight(float* acc, const float* row, float kv, std::size_t w) {
    for (std::size_t x = 0; x < w; ++x) acc[x] += kv * row[x];
}

}  // namespace

int blurReach(double sigma) {
    if (!(sigma > 0.05)) return 0;
    const double r = std::ceil(3 * std::min(sigma, 1000.0));
    return static_cast<int>(r);
}

void gaussianBlurA8(uint8_t* data, int w, int h, int stride, double sigma, BlurScratch& s, bool eightLanes) {
    const int r = blurReach(sigma);
    if (r <= 0 || w <= 0 || h <= 0) return;
    const bool wide = eightLanes && haveAvx2();
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
    s.rows.assign(H, 0);
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
        s.rows[y] = 1;
        if (wide) rowEight(line, kern, taps, W, out);
        else rowScalar(line, kern, taps, 0, W, out);
    }

    // Vertical pass, row by row so the inner loop runs along memory. A row of zeros adds nothing (every
    // sum is at least +0), so it is left out.
    s.line.assign(W, 0.0f);
    float* acc = s.line.data();
    for (size_t y = 0; y < H; ++y) {
        std::fill(acc, acc + W, 0.0f);
        const ptrdiff_t y0 = std::max<ptrdiff_t>(0, static_cast<ptrdiff_t>(y) - r);
        const ptrdiff_t y1 = std::min<ptrdiff_t>(static_cast<ptrdiff_t>(H) - 1, static_cast<ptrdiff_t>(y) + r);
        for (ptrdiff_t yy = y0; yy <= y1; ++yy) {
            if (!s.rows[static_cast<size_t>(yy)]) continue;
            const float kv = kern[yy - static_cast<ptrdiff_t>(y) + r];
            const float* row = s.plane.data() + static_cast<size_t>(yy) * W;
            if (wide) addRowEight(acc, row, kv, W);
            else addRowScalar(acc, row, kv, W);
        }
        uint8_t* dst = data + y * static_cast<size_t>(stride);
        for (size_t x = 0; x < W; ++x) {
            const float v = acc[x] + 0.5f;
            dst[x] = static_cast<uint8_t>(v >= 255.0f ? 255.0f : (v > 0.0f ? v : 0.0f));
        }
    }
}

}  // namespace cg::detail
