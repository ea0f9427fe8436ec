#pragma once
// Measuring rendered poses: extents of what was drawn and colours at canvas points.

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>

#include "Art/Art.h"
#include "Graphics/CgTestSupport.h"
#include "Platform/Graphics/Image.h"

namespace posetest {

// One pose drawn into a fresh frame of w × h points at the painter's scale.
inline cg::ImageRef pose(Art& art, double w, double h, const std::function<void()>& draw) {
    return art.offscreen(w, h, draw);
}

inline int alphaAt(const cg::Image& img, int x, int yUp) {
    return static_cast<int>(img.pixel(x, img.pixelHeight() - 1 - yUp) >> 24);
}

// The pixel under canvas point p (y up) of an image drawn at `scale`.
inline cgtest::Px at(const cg::Image& img, double scale, cg::Point p) {
    const int x = static_cast<int>(std::floor(p.x * scale));
    const int y = static_cast<int>(std::floor(p.y * scale));
    return cgtest::unpack(img.pixel(x, img.pixelHeight() - 1 - y));
}

// Straight (un-premultiplied) channel of a premultiplied pixel.
inline double straight(int channel, int alpha) { return alpha > 0 ? 255.0 * channel / alpha : 0; }

// Bounds in canvas points (y up) of the pixels whose alpha exceeds `threshold`; none when nothing is.
inline std::optional<cg::Rect> extent(const cg::Image& img, double scale, int threshold = 0) {
    int x0 = img.pixelWidth(), x1 = -1, y0 = img.pixelHeight(), y1 = -1;
    for (int y = 0; y < img.pixelHeight(); ++y)
        for (int x = 0; x < img.pixelWidth(); ++x)
            if (alphaAt(img, x, y) > threshold) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0) return std::nullopt;
    return cg::Rect(x0 / scale, y0 / scale, (x1 + 1 - x0) / scale, (y1 + 1 - y0) / scale);
}

inline bool samePixels(const cg::Image& a, const cg::Image& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
    return std::equal(a.data(), a.data() + static_cast<std::size_t>(a.pixelWidth()) * a.pixelHeight(), b.data());
}

}  // namespace posetest
