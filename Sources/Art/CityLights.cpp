// The city's light pools, walkers and blinking window panes. The panes are found on the building walls
// the terrain shades: columns 5 points apart and floor bands 5 points deep below the roof edge, lit or
// dark by the same cell hash the facade paints them with.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "Art/City.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr uint32_t kShirts[] = {0xF4F4F2, 0x2B3A55, 0xC0392B, 0x22252A, 0xE8B33A, 0x2E8B7A, 0x9AA1AB, 0xD98CA8};

// The salt of the facade's lit test.
constexpr uint32_t kLitSalt = 0x538453D7;

// The colour's channels scaled by k, opaque.
cg::Color scaled(uint32_t color, double k) {
    const cg::Color c = cg::Color::rgb(color);
    return {c.r * k, c.g * k, c.b * k, 1};
}

cg::Gradient lampGradient(uint32_t color) {
    return cg::Gradient({scaled(color, 1), scaled(color, 0.85), scaled(color, 0.45), cg::Color::black(1)},
                        {0, 0.25, 0.6, 1});
}

// Lights rows [y0, y1) (device pixels, y up) of the pool around `centre` (device pixels, y up) of
// `reach` pixels in place, as lamplight does within a rounding level: the glow worked out at each
// pixel's centre from the stops of lampGradient, and each channel d under glow s dodged to d / (1 − s).
// The general drawing goes through the library's gradient and its dodge for any alpha, several times
// the work. False, nothing changed, when a pixel under the glow is not opaque (the dodge is worked out
// here for opaque pixels alone).
bool lightRows(uint8_t* pixels, std::size_t stride, int height, int x0, int x1, int y0, int y1, cg::Point centre,
               double reach, uint32_t color) {
    if (!(reach > 0)) return false;
    auto row = [&](int yUp) {
        return reinterpret_cast<uint32_t*>(pixels + static_cast<std::size_t>(height - 1 - yUp) * stride);
    };
    const double reach2 = reach * reach;
    for (int y = y0; y < y1; ++y) {
        const uint32_t* r = row(y);
        const double dy = y + 0.5 - centre.y;
        for (int x = x0; x < x1; ++x) {
            const double dx = x + 0.5 - centre.x;
            if (dx * dx + dy * dy <= reach2 && r[x] >> 24 != 0xFF) return false;
        }
    }
    // The stops of lampGradient: the colour at full strength, 0.85, 0.45, then black; each span's slope.
    constexpr double kAt[] = {0, 0.25, 0.6, 1};
    constexpr double kStrength[] = {1, 0.85, 0.45, 0};
    constexpr double kSlope[] = {(kStrength[1] - kStrength[0]) / (kAt[1] - kAt[0]),
                                 (kStrength[2] - kStrength[1]) / (kAt[2] - kAt[1]),
                                 (kStrength[3] - kStrength[2]) / (kAt[3] - kAt[2])};
    const double channel[3] = {static_cast<double>(color >> 16 & 0xFF) / 255.0,
                               static_cast<double>(color >> 8 & 0xFF) / 255.0,
                               static_cast<double>(color & 0xFF) / 255.0};
    const double perPixel = 1.0 / reach;
    for (int y = y0; y < y1; ++y) {
        uint32_t* r = row(y);
        const double dy = y + 0.5 - centre.y;
        for (int x = x0; x < x1; ++x) {
            const double dx = x + 0.5 - centre.x;
            const double d2 = dx * dx + dy * dy;
            if (!(d2 <= reach2)) continue;
            const double t = std::sqrt(d2) * perPixel;
            const std::size_t k = t > kAt[2] ? 2 : t > kAt[1] ? 1 : 0;
            const double strength = kStrength[k] + kSlope[k] * (t - kAt[k]);
            const uint32_t p = r[x];
            uint32_t out = 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                // d / (1 − s) in levels, rounded, full from d ≥ 1 − s on (a glow at full strength keeps
                // the divisor above zero; d = 0 stays 0).
                const double left = std::max(1.0 - channel[c] * strength, 1e-9);
                const double v = std::min(255.0, static_cast<double>(p >> shift & 0xFF) / left + 0.5);
                out |= static_cast<uint32_t>(v) << shift;
            }
            r[x] = out;
        }
    }
    return true;
}

}  // namespace

void Art::City::lamplight(uint32_t color, cg::Point centre, double radius) {
    const cg::Gradient g = lampGradient(color);
    cg::SavedState s(art.ctx);
    // The pool ends at its radius: painting only its square gives the same picture much faster.
    art.ctx->clipToRect({centre.x - radius - 1, centre.y - radius - 1, 2 * radius + 2, 2 * radius + 2});
    art.ctx->setBlendMode(cg::BlendMode::colorDodge);
    art.ctx->drawRadialGradient(g, centre, 0, centre, radius);
}

void Art::City::lamplights(uint32_t color, const std::vector<cg::Point>& centres, double radius) {
    cg::Context& scene = *art.ctx;
    const double scale = art.s.scale;
    const int width = scene.pixelWidth(), height = scene.pixelHeight();
    std::vector<Square> squares;
    // A pool overlapping earlier ones waits for a later wave; the pools of one wave lie apart.
    std::vector<std::size_t> wave;
    const bool plain = scene.ctm() == cg::Transform{scale, 0, 0, scale, 0, 0};
    for (const cg::Point& c : centres) {
        auto pixel = [&](double v, int limit, bool up) {
            const double q = up ? std::ceil(v * scale) : std::floor(v * scale);
            return static_cast<int>(std::clamp(q, 0.0, static_cast<double>(limit)));
        };
        const Square sq{pixel(c.x - radius - 1, width, false), pixel(c.y - radius - 1, height, false),
                        pixel(c.x + radius + 1, width, true), pixel(c.y + radius + 1, height, true)};
        std::size_t w = 0;
        for (std::size_t k = 0; k < squares.size(); ++k) {
            const Square& o = squares[k];
            if (!(sq.x1 <= o.x0 || o.x1 <= sq.x0 || sq.y1 <= o.y0 || o.y1 <= sq.y0)) w = std::max(w, wave[k] + 1);
        }
        squares.push_back(sq);
        wave.push_back(w);
    }
    if (!plain) {
        for (const cg::Point& c : centres) lamplight(color, c, radius);
        return;
    }
    const std::size_t waves = wave.empty() ? 0 : *std::max_element(wave.begin(), wave.end()) + 1;
    for (std::size_t round = 0; round < waves; ++round) {
        std::vector<std::size_t> members;
        for (std::size_t i = 0; i < centres.size(); ++i)
            if (wave[i] == round) members.push_back(i);
        poolsApart(color, centres, radius, members, squares);
    }
}

void Art::City::poolsApart(uint32_t color, const std::vector<cg::Point>& centres, double radius,
                           const std::vector<std::size_t>& members, const std::vector<Square>& squares) {
    cg::Context& scene = *art.ctx;
    const double scale = art.s.scale;
    const int height = scene.pixelHeight();
    uint8_t* pixels = scene.data();
    const std::size_t stride = scene.bytesPerRow();
    auto sceneRow = [&](int yUp) { return static_cast<std::size_t>(height - 1 - yUp) * stride; };
    // The squares of one wave lie apart, so each pool is lit on its own thread, in two runs of rows (each
    // scanline is worked out the same whichever rows are drawn with it), so that the threads finish a
    // wave together. A run over opaque ground is lit in place (lightRows); any other is copied out, lit
    // by the general drawing and copied back, or, when its copy cannot be made, drawn in place
    // afterwards, clipped to its rows.
    constexpr std::size_t kRuns = 2;
    auto runOf = [&](const Square& sq, std::size_t part) {
        const int h = sq.y1 - sq.y0;
        const int lo = sq.y0 + static_cast<int>(static_cast<int64_t>(h) * static_cast<int64_t>(part) / kRuns);
        const int hi = sq.y0 + static_cast<int>(static_cast<int64_t>(h) * static_cast<int64_t>(part + 1) / kRuns);
        return std::pair{lo, hi};
    };
    std::vector<char> missed(members.size() * kRuns, 0);
    art.offscreenEach(members.size() * kRuns, [&](Art& worker, std::size_t t) -> cg::ImageRef {
        const std::size_t i = members[t / kRuns];
        const Square& sq = squares[i];
        const auto [y0, y1] = runOf(sq, t % kRuns);
        const int w = sq.x1 - sq.x0, h = y1 - y0;
        if (w <= 0 || h <= 0) return nullptr;
        const cg::Point centre{centres[i].x * scale, centres[i].y * scale};
        if (lightRows(pixels, stride, height, sq.x0, sq.x1, y0, y1, centre, radius * scale, color)) return nullptr;
        // Every pixel is copied in before drawing: the bitmap need not be cleared first.
        auto frame = cg::Context::makeUnsetBitmap(w, h, scale);
        if (!frame) {
            missed[t] = 1;
            return nullptr;
        }
        const std::size_t row = static_cast<std::size_t>(w) * 4, left = static_cast<std::size_t>(sq.x0) * 4;
        uint8_t* out = frame->data();
        const std::size_t frameRow = frame->bytesPerRow();
        for (int k = 0; k < h; ++k)
            std::memcpy(out + static_cast<std::size_t>(k) * frameRow, pixels + sceneRow(y1 - 1 - k) + left, row);
        frame->pixelsChanged();
        frame->translateBy(-sq.x0 / scale, -y0 / scale);
        worker.ctx = frame.get();
        City(worker).lamplight(color, centres[i], radius);
        worker.ctx = nullptr;
        const uint8_t* lit = std::as_const(*frame).data();
        for (int k = 0; k < h; ++k)
            std::memcpy(pixels + sceneRow(y1 - 1 - k) + left, lit + static_cast<std::size_t>(k) * frameRow, row);
        return nullptr;
    });
    scene.pixelsChanged();
    for (std::size_t t = 0; t < missed.size(); ++t) {
        if (!missed[t]) continue;
        const std::size_t i = members[t / kRuns];
        const auto [y0, y1] = runOf(squares[i], t % kRuns);
        cg::SavedState s(art.ctx);
        art.ctx->clipToRect({0, y0 / scale, scene.pixelWidth() / scale, (y1 - y0) / scale});
        lamplight(color, centres[i], radius);
    }
}

void Art::City::walker(uint32_t shirt) {
    art.shape(0x000000, 0.3, 1.1, [](cg::Path& p) {
        p.moveTo({4.3, 3.7});
        p.lineTo({6.9, 1.8});
    });
    art.shape(shirt, 1, 0, [](cg::Path& p) { p.addEllipse({3.15, 3.25, 1.7, 1.5}); });
    art.shape(0x2A211C, 1, 0, [](cg::Path& p) { p.addEllipse({3.58, 3.63, 0.84, 0.84}); });
}

std::vector<cg::ImageRef> Art::City::walkerImages() const {
    const auto made = art.offscreenEach(std::size(kShirts), [](Art& worker, std::size_t i) {
        return worker.offscreen(8, 8, [&] { Art::City(worker).walker(kShirts[i]); });
    });
    std::vector<cg::ImageRef> out;
    for (const cg::ImageRef& img : made)
        if (img) out.push_back(img);
    return out;
}

void Art::City::stroll(const std::vector<cg::Point>& path, double salt) {
    if (walkers.empty() || path.empty()) return;
    const double q = std::floor(salt * 997);
    const std::size_t number = q > 0 ? (q < 1e15 ? static_cast<std::size_t>(q) : 0) : 0;
    Sprite sp;
    sp.kind = Sprite::Kind::trip;
    sp.at = art.flip(path.front());
    sp.size = 8;
    const double p = 7.3 * salt;
    sp.phase = p - std::floor(p);
    sp.travel = 3.2 + 1.2 * salt;
    sp.color = 0xFFFFFF;
    sp.image = walkers[number % walkers.size()];
    sp.anchor = {0.5, 0.5};
    sp.beat = 0.55;
    for (const cg::Point& q : path) sp.path.push_back(art.flip(q));
    sp.rest = salt + 0.4;
    sp.closed = false;
    sp.pulse = 0.12;
    sp.ease = 1;
    sp.grow = 1;
    sp.face = false;
    art.sprites.push_back(std::move(sp));
}

std::optional<Art::City::Pane> Art::City::pane(cg::Point p) const {
    const float land = art.look.landAt();
    const Grid& depthGrid = *art.t.depth;
    auto depth = [&](double x, double y) { return static_cast<double>(depthGrid.sample(cg::Point{x, y})); };
    auto wall = [&](double x, double y) {
        const cg::Point q{x, y};
        return art.solid(q) > land + 0.05f && art.value(q) < land - 0.05f;
    };
    const double P = 1 / art.s.scale;
    if (!(P > 0) || !std::isfinite(P)) return std::nullopt;

    const double e = depth(p.x, p.y);
    if (!wall(p.x, p.y) || !(e < 15)) return std::nullopt;
    const double a = std::floor((p.x + 2) / 5);
    const double cx = 5 * a + 0.5;
    const double k = std::floor(e / 5);
    const double t = 5 * k + 2.5;

    // Walk down the column to the middle of the floor band.
    double y = p.y + t - e;
    for (int i = 0; i < 3; ++i) y = y + (t - depth(cx, y));

    for (const auto& [dx, dy] : {std::pair{-1.6, -1.5}, {1.6, -1.5}, {-1.6, 1.5}, {1.6, 1.5}}) {
        const double x = cx + dx, yy = y + dy;
        if (!wall(x, yy) || !(std::fabs(depth(x, yy) - t - dy) < 0.6)) return std::nullopt;
    }

    auto inBand = [&](double row) { return std::fabs(depth(cx, P * (row + 0.5)) - t) < 1.2; };
    const double b = std::floor(y / P);
    if (!inBand(b)) return std::nullopt;
    double top = b, bottom = b;
    for (int added = 0; added < 8 && inBand(top - 1); ++added) top -= 1;
    for (int added = 0; added < 8 && inBand(bottom + 1); ++added) bottom += 1;

    const double left = P * (std::floor((5 * a - 0.8) / P - 0.5) + 1);
    const double right = P * std::ceil((5 * a + 1.8) / P - 0.5);
    Pane out;
    out.rect = cg::Rect(left, P * top, right - left, P * (bottom + 1) - P * top);
    // Lattice indices as the facade takes them: wrapped to 32 bits.
    const auto column = static_cast<int64_t>(std::clamp(a, -2147483648.0, 2147483647.0));
    const auto floorBand = static_cast<int64_t>(std::clamp(k, -2147483648.0, 2147483647.0));
    out.lit = cellHash(column, floorBand, kLitSalt) > 0.1f;
    return out;
}

void Art::City::windowLights() {
    const double h = art.H();
    const auto chosen = art.spots(23, 4000, 70, 14, [&](cg::Point p) {
        return pane(p).has_value() && clear(cg::Rect(p.x - 7, p.y - 8, 14, 16));
    });
    for (const cg::Point& p : chosen) {
        const std::optional<Pane> found = pane(p);
        if (!found) continue;
        const cg::Rect& r = found->rect;
        Sprite sp;
        sp.kind = Sprite::Kind::window;
        sp.at = {r.minX(), h - r.maxY()};
        sp.to = {r.maxX(), h - r.minY()};
        sp.size = 1;
        sp.phase = Art::rand(p, 1);
        sp.travel = 90 + 210 * Art::rand(p, 2);
        sp.color = found->lit ? 0x161A22 : 0xFFD27F;
        sp.pulse = 0.25 + 0.5 * Art::rand(p, 3);
        art.sprites.push_back(std::move(sp));
    }
}
