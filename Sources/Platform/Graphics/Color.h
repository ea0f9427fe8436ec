#pragma once
// An sRGB colour with straight (not premultiplied) components in [0, 1].

#include <cstdint>

namespace cg {

struct Color {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1;

    // 0xRRGGBB: each channel is its byte over 255; the alpha is given separately.
    static constexpr Color rgb(uint32_t rrggbb, double alpha = 1) {
        return {static_cast<double>((rrggbb >> 16) & 0xFF) / 255.0,
                static_cast<double>((rrggbb >> 8) & 0xFF) / 255.0,
                static_cast<double>(rrggbb & 0xFF) / 255.0, alpha};
    }
    static constexpr Color black(double alpha = 1) { return {0, 0, 0, alpha}; }
    static constexpr Color white(double alpha = 1) { return {1, 1, 1, alpha}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }

    constexpr Color withAlpha(double alpha) const { return {r, g, b, alpha}; }

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace cg
