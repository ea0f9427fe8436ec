#pragma once
// Pictures laid from sampled coverage (Art::Reef::Coverage) instead of drawn shape by shape through
// Cairo: each shape's coverage is laid over a premultiplied picture of whole pixels in its colour or
// gradient, rounded as the drawing library rounds, and the picture goes onto the bitmap in one draw.
// Shared by the painters that draw many small shapes this way.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Art/Reef.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"

namespace sampled {

// Cairo's 8-bit premultiplied channel for a colour component c at alpha a.
inline uint32_t channel(double c, double a) {
    const double v = std::floor(std::clamp(c * a, 0.0, 1.0) * (65536.0 - 1e-5));
    return static_cast<uint32_t>(v) >> 8;
}

// x·a/255, rounded as the drawing library rounds it.
inline uint32_t scaled(uint32_t x, uint32_t a) {
    const uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

// Premultiplied src over dst, rounded as the drawing library rounds source-over.
inline uint32_t over(uint32_t src, uint32_t dst) {
    const uint32_t keep = 255 - (src >> 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t c = ((src >> shift) & 0xFF) + scaled((dst >> shift) & 0xFF, keep);
        out |= (c > 255 ? 255 : c) << shift;
    }
    return out;
}

// Each channel of a premultiplied pixel scaled by m/255.
inline uint32_t times(uint32_t pixel, uint32_t m) {
    if (m == 255) return pixel;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) out |= scaled((pixel >> shift) & 0xFF, m) << shift;
    return out;
}

// A premultiplied picture over a box of whole pixels of the bitmap's y-up pixel space, drawn into by
// laying coverages over it in turn, then laid over the bitmap once.
class Sheet {
public:
    // The box round `centre` reaching `reach` every way, on a width × height bitmap, of its rows from
    // `fromRow` up.
    Sheet(cg::Point centre, double reachX, double reachY, int width, int height, int fromRow = 0) {
        auto clamp = [](double v, int least, int most) {
            return static_cast<int>(std::clamp(v, static_cast<double>(least), static_cast<double>(std::max(least, most))));
        };
        const int low = std::max(fromRow, 0);
        x0_ = clamp(std::floor(centre.x - reachX), 0, width);
        x1_ = clamp(std::ceil(centre.x + reachX), 0, width);
        y0_ = clamp(std::floor(centre.y - reachY), low, height);
        y1_ = clamp(std::ceil(centre.y + reachY), low, height);
        if (x1_ > x0_ && y1_ > y0_)
            pixels_.assign(static_cast<std::size_t>(x1_ - x0_) * static_cast<std::size_t>(y1_ - y0_), 0);
    }
    bool empty() const { return pixels_.empty(); }

    // Lays the coverage over the picture in the premultiplied colour `paint` gives each covered pixel's
    // centre (y-up pixel space).
    template <typename Paint>
    void lay(const Art::Reef::Coverage& cover, Paint&& paint) {
        const std::size_t bw = static_cast<std::size_t>(x1_ - x0_);
        for (int row = 0; row < cover.height; ++row) {
            const int y = cover.y + cover.height - 1 - row;
            if (y < y0_ || y >= y1_) continue;
            uint32_t* const out = pixels_.data() + static_cast<std::size_t>(y1_ - 1 - y) * bw;
            const uint8_t* const in =
                cover.alpha.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(cover.width);
            for (int col = 0; col < cover.width; ++col) {
                const int x = cover.x + col;
                if (in[col] == 0 || x < x0_ || x >= x1_) continue;
                uint32_t& px = out[x - x0_];
                px = over(times(paint(x + 0.5, y + 0.5), in[col]), px);
            }
        }
    }

    void draw(cg::Context& c) {
        if (empty()) return;
        if (const cg::ImageRef image = cg::Image::fromARGB32(x1_ - x0_, y1_ - y0_, std::move(pixels_)))
            c.drawPixelAligned(*image, x0_, y0_);
    }

private:
    int x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0;
    std::vector<uint32_t> pixels_;
};

// An opaque colour's premultiplied pixel at alpha a, as the drawing library makes it.
inline uint32_t pixelOf(uint32_t rgb, double alpha) {
    const cg::Color c = cg::Color::rgb(rgb, alpha);
    const double a = std::clamp(c.a, 0.0, 1.0);
    return channel(1, a) << 24 | channel(c.r, a) << 16 | channel(c.g, a) << 8 | channel(c.b, a);
}

// A radial gradient from a focus (radius 0) to a circle round `centre` that holds it, in device pixels:
// `inner` at the focus to `outer` at `knee` of the way, `outer` beyond.
class Radial {
public:
    Radial(cg::Point focus, cg::Point centre, double reach, uint32_t inner, uint32_t outer, double knee)
        : focus_(focus), ex_(centre.x - focus.x), ey_(centre.y - focus.y), knee_(knee),
          inner_(cg::Color::rgb(inner)), outer_(cg::Color::rgb(outer)) {
        a_ = ex_ * ex_ + ey_ * ey_ - reach * reach;
    }
    uint32_t operator()(double px, double py) const {
        // The largest t with |q − (f + t·e)| = t·reach; the focus inside the circle makes a < 0.
        const double qx = px - focus_.x, qy = py - focus_.y;
        const double B = qx * ex_ + qy * ey_, C = qx * qx + qy * qy;
        const double t = a_ < 0 ? std::clamp((B - std::sqrt(std::max(B * B - a_ * C, 0.0))) / a_, 0.0, 1.0) : 0;
        const double u = std::min(t / knee_, 1.0);
        auto mix = [u](double p, double q) { return static_cast<uint32_t>((p + (q - p) * u) * 255 + 0.5); };
        return 0xFF000000u | mix(inner_.r, outer_.r) << 16 | mix(inner_.g, outer_.g) << 8 | mix(inner_.b, outer_.b);
    }

private:
    cg::Point focus_;
    double ex_, ey_, a_ = 0, knee_;
    cg::Color inner_, outer_;
};

// The coverage `c` cut to `by`: each pixel keeps the smaller of the two, so a shape clipped to another
// keeps its own rim inside the other and the other's rim across it.
inline Art::Reef::Coverage within(const Art::Reef::Coverage& c, const Art::Reef::Coverage& by) {
    Art::Reef::Coverage out = c;
    for (int row = 0; row < out.height; ++row) {
        const int y = out.y + out.height - 1 - row;
        uint8_t* const dst = out.alpha.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(out.width);
        const int byRow = by.y + by.height - 1 - y;
        for (int col = 0; col < out.width; ++col) {
            const int x = out.x + col;
            const bool in = byRow >= 0 && byRow < by.height && x >= by.x && x < by.x + by.width;
            const uint8_t limit =
                in ? by.alpha[static_cast<std::size_t>(byRow) * static_cast<std::size_t>(by.width) +
                              static_cast<std::size_t>(x - by.x)]
                   : 0;
            dst[col] = std::min(dst[col], limit);
        }
    }
    return out;
}

}  // namespace sampled
