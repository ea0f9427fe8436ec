// The pond's props. Each takes its variation value k and derives the rest from it, so the same k always
// draws the same prop; colours come in day and night pairs.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Geometry2D.h"
#include "Art/Pond.h"
#include "Art/SampledSheet.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

// Int(v) mod n for a small non-negative index; NaN and negatives give 0.
std::size_t indexOf(double v, std::size_t n) {
    if (!(v > 0)) return 0;
    if (v >= 1e15) return 0;
    return static_cast<std::size_t>(static_cast<int64_t>(v) % static_cast<int64_t>(n));
}

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

cg::Rect around(cg::Point c, double w, double h) { return cg::Rect(c.x - w / 2, c.y - h / 2, w, h); }

struct Pair {
    uint32_t dark, light;
};
constexpr Pair kStoneDay[] = {{0x67635a, 0xbcb7a8}, {0x5a5f5a, 0xa8aea4}, {0x74695a, 0xc6b79c}};
constexpr Pair kStoneNight[] = {{0x34363a, 0x5c6064}, {0x30343a, 0x565c62}, {0x383632, 0x605c56}};
constexpr Pair kPadDay[] = {{0x2c5c28, 0x76a84a}, {0x3c6a2c, 0x94b454}, {0x6a7a2c, 0xc2c466}};
constexpr Pair kPadNight[] = {{0x15301e, 0x2c4c2e}, {0x1e3420, 0x3a4c2a}, {0x2c2c1c, 0x4a4426}};
// Pad pair 0 half the time, pair 1 a third, pair 2 a sixth.
constexpr std::size_t kPadPick[] = {0, 0, 0, 1, 1, 2};

}  // namespace

void Art::Pond::stone(cg::Point p, double r, double k) {
    const uint64_t K = toUInt64(k * 1000000);
    RNG rng(K + 9);
    std::vector<cg::Point> outline;
    outline.reserve(9);
    for (int j = 0; j < 9; ++j) {
        const double a = 2 * kPi * j / 9;
        const double draw = rng.next();
        const double radius = r * (0.8 + 0.19999999999999996 * draw);
        outline.push_back({p.x + radius * std::cos(a), p.y + 0.8 * radius * std::sin(a)});
    }
    const Pair pair = (art.s.night ? kStoneNight : kStoneDay)[indexOf(997 * k, 3)];
    const double moss = rng.next();

    const std::vector<cg::Point> rim = rounded(outline, true, 0.6);
    const cg::Point focus{p.x - 0.4 * r, p.y + 0.45 * r};
    const cg::Rect patch = around({p.x - 0.25 * r, p.y + 0.2 * r}, 0.9 * r, 0.6 * r);
    const uint32_t mossColor = art.s.night ? rgb(42, 66, 40) : rgb(94, 126, 56);

    cg::Context& g = *art.ctx;
    // The shadow's fill leaves its colour on the context; the rest is drawn in a saved state.
    g.setFillColor(cg::Color::black(0.28));
    const cg::Transform d = g.ctm();
    const double side = std::fabs(d.a);
    if (!(d.b == 0 && d.c == 0 && std::fabs(d.d) == side && side > 0 && std::isfinite(side) && std::isfinite(d.tx) &&
          std::isfinite(d.ty))) {
        // A transform that turns or stretches: the outline, clip and gradient through Cairo.
        cg::Path path;
        path.addLines(rim);
        path.closeSubpath();
        g.fill(path.applying(cg::Transform::translation(0.35 * r, -0.4 * r)));
        cg::SavedState saved(g);
        g.clip(path);
        const cg::Gradient body({cg::Color::rgb(pair.light), cg::Color::rgb(pair.dark)}, {0, 1});
        g.drawRadialGradient(body, focus, 0, p, 1.25 * r, {false, true});
        if (moss < 0.3) {
            g.setFillColor(cg::Color::rgb(mossColor, 0.7));
            g.fillEllipse(patch);
        }
        return;
    }
    // Hundreds of stones line the shore: each is one picture of sampled coverage. The stone reaches r
    // across and 0.8 r up and down from p, its shadow 0.35 r further right and 0.4 r further down.
    // Only the rows the context can change (in a band, the band's) are worked out.
    const int W = g.pixelWidth();
    const auto [low, H] = g.changeableRows();
    sampled::Sheet sheet(d.apply(p), 1.35 * r * side + 2, 1.2 * r * side + 2, W, H, low);
    if (sheet.empty()) return;
    std::vector<cg::Point> device(rim.size());
    for (std::size_t i = 0; i < rim.size(); ++i) device[i] = d.apply(cg::Point{rim[i].x + 0.35 * r, rim[i].y - 0.4 * r});
    const uint32_t shade = sampled::pixelOf(0x000000, 0.28);
    sheet.lay(Art::Reef::polygonCoverage(device, W, H, low), [shade](double, double) { return shade; });
    for (std::size_t i = 0; i < rim.size(); ++i) device[i] = d.apply(rim[i]);
    // The body: its outline filled with the radial gradient from the focus up and to the left of p to
    // 1.25 r round p, light to dark; the moss lies within the outline.
    const Art::Reef::Coverage body = Art::Reef::polygonCoverage(device, W, H, low);
    sheet.lay(body, sampled::Radial(d.apply(focus), d.apply(p), 1.25 * r * side, pair.light, pair.dark, 1));
    if (moss < 0.3) {
        const uint32_t green = sampled::pixelOf(mossColor, 0.7);
        const Art::Reef::Coverage oval =
            Art::Reef::ellipseCoverage(d.apply(patch.mid()), patch.width() / 2 * side, patch.height() / 2 * side, W, H,
                                       low);
        sheet.lay(sampled::within(oval, body), [green](double, double) { return green; });
    }
    sheet.draw(g);
}

void Art::Pond::slab(cg::Point p, double w, double k) {
    const uint64_t K = toUInt64(k * 1000000);
    RNG rng(K + 31);
    const double rho = rng.next() - 0.5;
    const double cr = std::cos(rho), sr = std::sin(rho);
    std::vector<cg::Point> outline;
    outline.reserve(8);
    for (int j = 0; j < 8; ++j) {
        const double a = j * kPi / 4;
        const double draw = rng.next();
        const double radius = w * (0.78 + 0.21999999999999997 * draw);
        const double lx = radius * std::cos(a), ly = 0.72 * radius * std::sin(a);
        outline.push_back({p.x + lx * cr - ly * sr, p.y + lx * sr + ly * cr});
    }
    const double moss = rng.next();
    const bool night = art.s.night;

    cg::Context& g = *art.ctx;
    cg::Path path;
    path.addLines(rounded(outline, true, 0.6));
    path.closeSubpath();
    g.setFillColor(cg::Color::black(0.3));
    g.fill(path.applying(cg::Transform::translation(0.12 * w, -0.16 * w)));

    cg::SavedState saved(g);
    g.clip(path);
    const uint32_t light = night ? rgb(85, 89, 94) : rgb(168, 164, 151);
    const uint32_t dark = night ? rgb(56, 59, 64) : rgb(114, 111, 102);
    const cg::Gradient body({cg::Color::rgb(light), cg::Color::rgb(dark)}, {0, 1});
    g.drawRadialGradient(body, {p.x - 0.4 * w, p.y + 0.45 * w}, 0, p, 1.25 * w, {false, true});
    if (moss < 0.35) {
        g.setFillColor(cg::Color::rgb(night ? rgb(42, 66, 40) : rgb(106, 138, 60), 0.6));
        g.fillEllipse(around({p.x + 0.4 * w, p.y - 0.3 * w}, 0.6 * w, 0.36 * w));
    }
}

void Art::Pond::gravel(cg::Point p, double s, double k) {
    const double x = p.x, y = p.y;
    const bool night = art.s.night;
    const uint32_t sand = night ? 0x4e5257 : 0xc9c2ad;
    const uint32_t groove = night ? 0x2e3237 : 0x8a8370;
    const double grooveAlpha = night ? 0.48 : 0.8;
    const double whiteAlpha = night ? 0.33 : 0.55;
    cg::Context& g = *art.ctx;

    const uint64_t K1 = toUInt64(1000 * k);
    std::vector<cg::Point> outline;
    outline.reserve(9);
    for (uint64_t j = 0; j < 9; ++j) {
        const double phi = (static_cast<double>(j) + 0.5 * (Art::rand({0, 0}, K1 + j) - 0.5)) * 2 * kPi / 9;
        const double f = 1 - 0.15 * Art::rand({0, 0}, K1 + 50 + j);
        outline.push_back({x + s * f * std::cos(phi), y + 0.6 * s * f * std::sin(phi)});
    }
    cg::Path bed;
    bed.addLines(rounded(outline, true, 1));
    bed.closeSubpath();
    art.shape(night ? rgb(22, 38, 26) : rgb(52, 80, 31), 0.5, 3, [&](cg::Path& path) { path.addPath(bed); });

    const uint64_t K = toUInt64(k * 1000000);
    RNG rng(K + 37);
    struct Rock {
        cg::Point c;
        double R;
    };
    std::vector<Rock> rocks;
    const int count = rng.next() < 0.5 ? 1 : 2;
    for (int i = 0; i < count; ++i) {
        const double a = rng.next();
        const double b = rng.next();
        const double c = rng.next();
        const double cx = i == 0 ? x + s * (0.35 * a - 0.45) : x + s * (0.25 * a + 0.2);
        rocks.push_back({{cx, y + 0.6 * s * (0.6 * b - 0.3)}, 5 + 3 * c});
    }

    // The rows y − 0.6s, y − 0.6s + 2.6, … through y + 0.6s, each row from the start (no running sum).
    std::vector<double> rows;
    for (int64_t i = 0;; ++i) {
        const double yr = y - 0.6 * s + 2.6 * static_cast<double>(i);
        if (!(yr <= y + 0.6 * s)) break;
        rows.push_back(yr);
    }
    {
        cg::SavedState saved(g);
        g.clip(bed);
        g.setFillColor(cg::Color::rgb(sand));
        g.fill(cg::Rect(x - s - 2, y - 0.6 * s - 2, 2 * s + 4, 1.2 * s + 4));
        art.shape(groove, grooveAlpha, 0.7, [&](cg::Path& path) {
            for (double yr : rows) {
                path.moveTo({x - s, yr - 0.5});
                path.lineTo({x + s, yr - 0.5});
            }
        });
        art.shape(0xffffff, whiteAlpha, 0.7, [&](cg::Path& path) {
            for (double yr : rows) {
                path.moveTo({x - s, yr + 0.3});
                path.lineTo({x + s, yr + 0.3});
            }
        });
        for (const Rock& rock : rocks) {
            const double S = rock.R + 9;
            g.setFillColor(cg::Color::rgb(sand));
            g.fillEllipse(around(rock.c, 2 * S, 1.7 * S));
            for (int64_t i = 0;; ++i) {
                const double U = rock.R + 1.5 + 2.6 * static_cast<double>(i);
                if (!(U <= S)) break;
                art.shape(groove, grooveAlpha, 0.7,
                          [&](cg::Path& path) { path.addEllipse(around({rock.c.x, rock.c.y - 0.5}, 2 * U, 1.7 * U)); });
                art.shape(0xffffff, whiteAlpha, 0.7,
                          [&](cg::Path& path) { path.addEllipse(around({rock.c.x, rock.c.y + 0.3}, 2 * U, 1.7 * U)); });
            }
        }
        const double specks = s * 0.6 * s * 0.08;
        const int64_t n = specks > 0 ? static_cast<int64_t>(std::min(specks, 1e6)) : 0;
        for (int64_t i = 0; i < n; ++i) {
            const double dx = rng.next();
            const double dy = rng.next();
            const double pick = rng.next();
            const cg::Point c{x - s + 2 * s * dx, y - 0.6 * s + 1.2 * s * dy};
            art.shape(pick < 0.5 ? groove : 0xffffff, 0.35, 0,
                      [&](cg::Path& path) { path.addEllipse(around(c, 0.7, 0.7)); });
        }
    }
    for (const Rock& rock : rocks) {
        const double kr = rng.next();
        stone(rock.c, rock.R, kr);
    }
}

void Art::Pond::lantern(cg::Point p) {
    const double x = p.x, y = p.y;
    const bool night = art.s.night;
    if (night) {
        const cg::ImageRef glowImage = lanternGlow();
        const double phase = Art::rand(p, 0);
        auto light = [&](cg::Point at, double size, uint32_t color) {
            Sprite sp;
            sp.kind = Sprite::Kind::light;
            sp.at = at;
            sp.size = size;
            sp.phase = phase;
            sp.color = color;
            sp.pulse = 0.2;
            sp.ease = 1;
            sp.beat = 1;
            sp.grow = 1;
            sp.face = true;
            return sp;
        };
        art.sprites.push_back(light({x, y + 12.739999999999998}, 0.9, 0xffc66a));
        Sprite glow = light({x, y + 3}, 68, 0xffffff);
        glow.glow = true;
        glow.image = glowImage;
        art.sprites.push_back(std::move(glow));
    }

    const uint32_t dark = night ? 0x3a3c40 : 0x77736a;
    const uint32_t light = night ? 0x55585c : 0xa8a396;
    cg::Context& g = *art.ctx;
    cg::SavedState frame(g);
    g.translateBy(x, y);
    g.scaleBy(1.4, 1.4);
    {
        cg::SavedState saved(g);
        g.translateBy(3.6, -1);
        g.scaleBy(1, 0.3);
        const cg::Gradient shadow({cg::Color::black(0.51), cg::Color::black(0.27), cg::Color::black(0)}, {0, 0.45, 1});
        g.drawRadialGradient(shadow, {0, 0}, 0, {0, 0}, 10.35);
    }
    auto fill = [&](uint32_t color, const cg::Rect& r, bool round) {
        art.shape(color, 1, 0, [&](cg::Path& path) {
            if (round) path.addEllipse(r);
            else path.addRect(r);
        });
    };
    fill(dark, {-5, -2.2, 10, 4.4}, true);
    fill(light, {-4.7, -1.2, 8.6, 3.4}, true);
    fill(dark, {-1.6, 1, 3.2, 5}, false);
    fill(light, {-1.6, 1, 1.6, 5}, false);
    fill(light, {-3.4, 5.6, 6.8, 1.4}, false);
    fill(dark, {-2.8, 7, 5.6, 4.4}, false);
    fill(night ? 0xffc66a : 0x2a2824, {-1.3, 7.8, 2.6, 2.6}, false);
    {
        cg::SavedState saved(g);
        cg::Path roof;
        roof.moveTo({-7.5, 12.2});
        roof.quadCurveTo({0, 10.6}, {7.5, 12.2});
        roof.lineTo({2, 15.6});
        roof.lineTo({-2, 15.6});
        roof.closeSubpath();
        g.clip(roof);
        const cg::Gradient lit({cg::Color::rgb(light), cg::Color::rgb(dark)}, {0, 1});
        g.drawRadialGradient(lit, {-3, 16.875}, 0, {0, 13.5}, 9.375, {false, true});
    }
    fill(light, {-1.3, 15.3, 2.6, 2.6}, true);
}

cg::ImageRef Art::Pond::lanternGlow() {
    if (!glowMade_) {
        // The warm pool of a campfire's light, without its sprite.
        glow_ = art.offscreenEach(1, [](Art& worker, std::size_t) -> cg::ImageRef {
            worker.firelight({34, 34}, 34, 0, 0.2, 1.3);
            return worker.sprites.empty() ? nullptr : worker.sprites.back().image;
        })[0];
        glowMade_ = true;
    }
    return glow_;
}

void Art::Pond::useGlow(cg::ImageRef glow) {
    glow_ = std::move(glow);
    glowMade_ = true;
}

void Art::Pond::iris(cg::Point p) {
    const double x = p.x, y = p.y;
    const bool night = art.s.night;
    auto u = [p](uint64_t n) { return Art::rand(p, n); };
    for (uint64_t i = 0; i < 6; ++i) {
        const cg::Point base{x + 3 * (u(10 * i + 3) - 0.5), y};
        const double theta = kPi / 2 + 1.1 * (u(10 * i + 1) - 0.5);
        const double l = 6 * u(10 * i + 2) + 7;
        const uint32_t color = u(10 * i + 4) < 0.5 ? (night ? 0x1c3824 : 0x3a7436) : (night ? 0x24442e : 0x579646);
        art.shape(color, 1, 0.9, [&](cg::Path& path) {
            path.moveTo(base);
            path.quadCurveTo({base.x + l / 2 * std::cos(theta + 0.15), base.y + l / 2 * std::sin(theta + 0.15)},
                             {base.x + l * std::cos(theta), base.y + l * std::sin(theta)});
        });
    }
    const int flowers = u(90) < 0.5 ? 1 : 2;
    static constexpr cg::Point kPetals[] = {{0, -1.5}, {1.299, 0.75}, {-1.299, 0.75}};
    for (uint64_t f = 0; f < static_cast<uint64_t>(flowers); ++f) {
        const cg::Point c{x + 5 * (u(91 + f) - 0.5), y + 8 + 4 * u(93 + f)};
        for (const cg::Point& o : kPetals)
            art.shape(night ? 0x483c70 : 0x6648be, 1, 0,
                      [&](cg::Path& path) { path.addEllipse(around({c.x + o.x, c.y + o.y}, 2.8, 2.6)); });
        art.shape(night ? 0x8a8040 : 0xf4d04a, 1, 0, [&](cg::Path& path) { path.addEllipse(around(c, 1.2, 1.2)); });
    }
}

void Art::Pond::crown(cg::Point p, double r, const std::vector<uint32_t>& colors, double k) {
    if (colors.size() < 4) return;  // the colour index reaches the fourth colour
    art.canopySampled(p, r, colors[0], colors[2], k);
    RNG rng(toUInt64(k * 1000000) + 23);
    const double count = 0.6 * r * r;
    const int64_t n = count > 0 ? static_cast<int64_t>(std::min(count, 1e6)) : 0;
    // Hundreds of small blossoms a crown: laid as one picture.
    std::vector<Art::Oval> blossoms;
    blossoms.reserve(static_cast<std::size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        const double alpha = 2 * kPi * rng.next();
        const double d = 1.02 * r * std::sqrt(rng.next());
        const double hw = 1 + 1.1 * rng.next();
        const double hh = 0.9 + 0.9999999999999999 * rng.next();
        const double tone = rng.next();
        const cg::Point q{p.x + d * std::cos(alpha), p.y + d * std::sin(alpha)};
        // Lighter colours towards the upper left.
        const double shade = 1.6 * tone - 0.8 + 1.6 * ((0.8 * (q.y - p.y) - 0.6 * (q.x - p.x)) / r + 1);
        const double t = std::trunc(shade);
        const std::size_t idx = !(t > 0) ? 0 : (t >= 3 ? 3 : static_cast<std::size_t>(t));
        blossoms.push_back({around(q, 2 * hw, 2 * hh), colors[idx]});
    }
    art.ovalsSampled(blossoms, 0.9);
}

void Art::Pond::riseFrame(int64_t i, int64_t life) {
    if (i >= life) return;
    const bool night = art.s.night;
    const double a = night ? 0.35 : 0.55;
    const uint32_t dark = night ? 0x000000 : 0x0e302c;
    const uint32_t light = night ? 0xc4a8d0 : 0xfff4f8;
    const double e1 = 1 - static_cast<double>(i) / static_cast<double>(life);
    const double rho = 10 * (1 - e1 * e1) + 1.5;
    for (double ring : {rho, 0.55 * rho}) {
        if (!(ring > 1)) continue;
        art.shape(dark, 0.6 * a * e1, 0.8,
                  [&](cg::Path& path) { path.addEllipse(around({12, 12}, 2 * (ring - 0.7), 2 * (ring - 0.7))); });
        art.shape(light, a * e1, 0.6, [&](cg::Path& path) { path.addEllipse(around({12, 12}, 2 * ring, 2 * ring)); });
    }
}

std::vector<cg::ImageRef> Art::Pond::rises(int64_t n, int64_t life) {
    std::vector<cg::ImageRef> out;
    for (int64_t i = 0; i < n; ++i)
        if (cg::ImageRef img = art.offscreen(24, 24, [&] { riseFrame(i, life); })) out.push_back(std::move(img));
    return out;
}

void Art::Pond::dragonfly(uint32_t body, uint32_t head, double pose, bool shadow) {
    cg::Context& g = *art.ctx;
    const uint32_t wingFill = rgb(228, 240, 250), wingEdge = rgb(80, 96, 106), wingSpot = rgb(58, 50, 40);
    auto wing = [&](cg::Point pivot, double turn, const cg::Rect& blade, const cg::Rect& spot) {
        cg::SavedState saved(g);
        g.translateBy(pivot.x, pivot.y);
        g.rotateBy(turn);
        if (shadow) {
            art.shape(0x000000, 0.14, 0, [&](cg::Path& path) { path.addEllipse(blade); });
            return;
        }
        art.shape(wingFill, 0.6, 0, [&](cg::Path& path) { path.addEllipse(blade); });
        art.shape(wingEdge, 0.5, 0.25, [&](cg::Path& path) { path.addEllipse(blade); });
        art.shape(wingSpot, 0.8, 0, [&](cg::Path& path) { path.addEllipse(spot); });
    };
    for (double m : {1.0, -1.0}) {
        wing({12.4, 8}, m * (1.3207963267948966 - 0.3 * pose), {0, -1, 7.4, 2}, {5.568, -0.3, 1, 0.6});
        wing({11.4, 8}, m * (1.7907963267948965 + 0.25 * pose), {0, -1.25, 6.8, 2.5}, {5.076, -0.3, 1, 0.6});
    }
    const double partAlpha = shadow ? 0.22 : 1;
    art.shape(shadow ? 0x000000 : body, partAlpha, 1, [](cg::Path& path) {
        path.moveTo({2.2, 8});
        path.lineTo({11.5, 8});
    });
    art.shape(shadow ? 0x000000 : head, partAlpha, 0, [](cg::Path& path) {
        path.addEllipse({10.6, 6.65, 3.8, 2.7});
        path.addEllipse({13.75, 7.8, 2.3, 2.1});
        path.addEllipse({13.75, 6.1, 2.3, 2.1});
    });
    if (shadow) return;
    art.shape(0x000000, 0.25, 0, [](cg::Path& path) {
        for (double v : {3.8, 5.3, 6.8, 8.3, 9.8}) path.addEllipse({v - 0.25, 7.45, 0.5, 1.1});
    });
    art.shape(0xffffff, 0.3, 0, [](cg::Path& path) { path.addEllipse({11.3, 8.05, 1.6, 0.9}); });
}

void Art::Pond::lilyPadDraw(double S, double k, double r, double b) {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    const Pair pair = (night ? kPadNight : kPadDay)[kPadPick[indexOf(997 * k, 6)]];
    const cg::Point c{S / 2, S / 2};
    const double nu = 2 * kPi * k;
    cg::Path outline;
    outline.moveTo(c);
    outline.addArc(c, r, nu + 0.18, nu - 0.18 + 2 * kPi, false);
    outline.closeSubpath();
    {
        cg::SavedState saved(g);
        g.clip(outline);
        const cg::Gradient body({cg::Color::rgb(pair.light), cg::Color::rgb(pair.dark)}, {0, 1});
        g.drawRadialGradient(body, {c.x - 0.4 * r, c.y + 0.45 * r}, 0, c, 1.25 * r, {false, true});
    }
    art.shape(pair.dark, 0.5, 0.35, [&](cg::Path& path) {
        for (int j = 1; j <= 13; ++j) {
            const double a = nu + j * kPi / 7;
            path.moveTo(c);
            path.lineTo({c.x + 0.86 * r * std::cos(a), c.y + 0.86 * r * std::sin(a)});
        }
    });
    art.shape(pair.dark, 0.7, 0.45, [&](cg::Path& path) { path.addPath(outline); });
    if (b > 0) waterLily({c.x - 0.15 * r * std::cos(nu), c.y - 0.15 * r * std::sin(nu)}, b, k);
}

cg::ImageRef Art::Pond::lilyPad(double S, double k, double r, double b) {
    return art.offscreen(S, S, [&] { lilyPadDraw(S, k, r, b); });
}

void Art::Pond::waterLily(cg::Point p, double b, double k) {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    const uint32_t tip = night ? 0xb8acc0 : 0xfff4f8;
    const uint32_t base = night ? 0x8c6e8a : 0xee7aa6;
    art.shape(0x000000, 0.22, 0, [&](cg::Path& path) { path.addEllipse(around({p.x + 1, p.y - 1.2}, 1.7 * b, 1.6 * b)); });

    const cg::Gradient petalShade({cg::Color::rgb(tip), cg::Color::rgb(base)}, {0.2, 1});
    auto petal = [&](double theta, double l, double q) {
        const double c = std::cos(theta), s = std::sin(theta);
        const cg::Point t{p.x + l * c, p.y + l * s};
        cg::Path path;
        path.moveTo(p);
        path.quadCurveTo({p.x + 0.5 * l * c - q * l * s, p.y + 0.5 * l * s + q * l * c}, t);
        path.quadCurveTo({p.x + 0.5 * l * c + q * l * s, p.y + 0.5 * l * s - q * l * c}, p);
        path.closeSubpath();
        {
            cg::SavedState saved(g);
            g.clip(path);
            g.drawLinearGradient(petalShade, p, t, {true, true});
        }
        art.shape(base, 0.5, 0.25, [&](cg::Path& out) { out.addPath(path); });
    };
    for (int i = 0; i < 9; ++i) petal((k + i / 9.0) * 2 * kPi, b, 0.34);
    for (int i = 0; i < 7; ++i) petal((k + 0.3 + i / 7.0) * 2 * kPi, 0.72 * b, 0.4);
    art.shape(night ? 0x8a7c3c : 0xf2be2a, 1, 0, [&](cg::Path& path) { path.addEllipse(around(p, 0.48 * b, 0.48 * b)); });
    art.shape(night ? 0xa89a50 : 0xffda5a, 1, 0, [&](cg::Path& path) {
        for (int i = 0; i < 10; ++i) {
            const double a = k + i * kPi / 5;
            path.addEllipse(around({p.x + 0.2 * b * std::cos(a), p.y + 0.2 * b * std::sin(a)}, 0.8, 0.8));
        }
    });
}

void Art::Pond::petal(uint32_t color) {
    art.shape(color, 1, 0, [](cg::Path& path) {
        path.moveTo({0.6, 3});
        path.quadCurveTo({2, 5.8}, {5.3, 4.5});
        path.lineTo({4.4, 3});
        path.lineTo({5.3, 1.5});
        path.quadCurveTo({2, 0.2}, {0.6, 3});
        path.closeSubpath();
    });
    art.shape(0xffffff, 0.35, 0.3, [](cg::Path& path) {
        path.moveTo({1, 3});
        path.lineTo({3.6, 3});
    });
}
