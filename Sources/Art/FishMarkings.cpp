// The eight marking patterns of the fish. Every mark is placed in body coordinates, so it bends with the
// swimming wave; the generator is seeded from the length alone, so all poses carry the same marks.

#include <algorithm>
#include <cmath>
#include <vector>

#include "Art/Art.h"
#include "Art/FishBody.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"

namespace {

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

}  // namespace

uint64_t Art::fishMarkSeed(double length) { return toUInt64(length * 100); }

void Art::fishMarks(const Fish& f, const FishBody& b, RNG& rng) {
    if (f.marks < 1 || f.marks > 8) return;
    const double w = f.width;

    // A soft patch around u0 (reach du) and a0 half-widths across (reach da); 14 draws.
    auto blot = [&](double u0, double du, double a0, double da, uint32_t color) {
        std::vector<cg::Point> vertices;
        vertices.reserve(14);
        for (int i = 0; i < 14; ++i) {
            const double theta = i * M_PI / 7;
            const double rho = 0.65 + 0.6 * rng.next();
            const double u = std::clamp(u0 + std::cos(theta) * du * rho, 0.02, 0.8);
            const double k = (a0 + std::sin(theta) * da * rho) * b.half(u);
            vertices.push_back(b.at(u, k));
        }
        const std::vector<cg::Point> smooth = rounded(vertices, true, 0.5);
        shape(color, 0.95, 0, [&](cg::Path& path) {
            path.addLines(smooth);
            path.closeSubpath();
        });
    };

    switch (f.marks) {
        case 1:
            for (int k = 0; k <= 12; ++k) {
                const double u = 0.2 + 0.045 * k;
                shape(0x0B2131, 0.75, 0.35, [&](cg::Path& path) {
                    path.moveTo(b.at(u, 0.85 * b.half(u)));
                    path.quadCurveTo(b.spine(u - 0.04), b.at(u + 0.035, -0.85 * b.half(u + 0.035)));
                });
            }
            break;
        case 2:
            for (int i = 0; i <= 25; ++i) {
                const double u = 0.12 + 0.58 * rng.next();
                const double k = (-0.75 + 1.5 * rng.next()) * b.half(u);
                const double rho = w * (0.06 + 0.06 * rng.next());
                const cg::Point c = b.at(u, k);
                shape(i % 3 == 0 ? 0x6FD0FF : 0x12283A, 0.8, 0, [&](cg::Path& path) {
                    path.addEllipse(cg::Rect(c.x - rho, c.y - rho, 2 * rho, 2 * rho));
                });
            }
            break;
        case 3:
            for (int i = 0; i <= 21; ++i) {
                const double u = 0.08 + 0.7 * rng.next();
                const double k = (-0.9 + 1.8 * rng.next()) * b.half(u);
                const double rho = w * (0.18 + 0.18 * rng.next());
                const cg::Point c = b.at(u, k);
                const bool even = i % 2 == 0;
                shape(even ? 0x2F2319 : 0xB59A72, even ? 0.45 : 0.3, 0, [&](cg::Path& path) {
                    path.addEllipse(cg::Rect(c.x - rho, c.y - 0.8 * rho, 2 * rho, 1.6 * rho));
                });
            }
            break;
        case 4:
            for (double u : {0.16, 0.42, 0.68}) {
                cg::Path bar;
                bar.moveTo(b.at(u, 1.2 * b.half(u)));
                bar.quadCurveTo(b.spine(u + 0.04), b.at(u, -1.2 * b.half(u)));
                shape(0x111111, 0.8, 0.55 * w, [&](cg::Path& path) { path.addPath(bar); });
                shape(0xFFFFFF, 0.95, 0.38 * w, [&](cg::Path& path) { path.addPath(bar); });
            }
            break;
        case 5:
        case 6:
        case 8: {
            const uint32_t color = f.marks == 8 ? 0x141418 : 0xD8401C;
            double s = 0.1 + 0.06 * rng.next();
            while (s < 0.66) {
                const double du = 0.05 + 0.08 * rng.next();
                const double a0 = -0.4 + 0.8 * rng.next();
                const double da = 0.45 + 0.35 * rng.next();
                blot(s + du, du, a0, da, color);
                const double gap = -0.02 + 0.14 * rng.next();
                s = s + 2 * du + gap;
            }
            if (f.marks == 6) {
                for (int i = 0; i < 4; ++i) {
                    const double u0 = 0.2 + 0.5 * rng.next();
                    const double du = 0.02 + 0.02 * rng.next();
                    const double a0 = -0.8 + 1.6 * rng.next();
                    const double da = 0.25 + 0.15 * rng.next();
                    blot(u0, du, a0, da, 0x141418);
                }
            }
            break;
        }
        case 7:
            blot(0.13, 0.085, 0, 0.75, 0xD8401C);
            break;
        default:
            break;
    }
}
