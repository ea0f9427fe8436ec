// Air traffic over the two city scenes: one airliner at most, flying a gentle bow from one side of the
// screen to another, clear of the icons; by night with navigation lamps and a strobe.

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "Art/City.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"

namespace {

// Int(k·u) for a hash u in [0, 1).
int64_t side(double k, double u) {
    const double q = std::floor(k * u);
    return q > 0 ? static_cast<int64_t>(q) : 0;
}

}  // namespace

std::vector<cg::Point> Art::City::flight(cg::Point p) const {
    const double w = art.W(), h = art.H();
    const int64_t a = side(4, Art::rand(p, 1)) % 4;
    const int64_t b = (a + 1 + side(3, Art::rand(p, 2))) % 4;
    cg::Point start, end;
    switch (a) {
        case 0: start = {-40, p.x / w * h}; break;
        case 1: start = {p.x, -40}; break;
        case 2: start = {w + 40, p.x / w * h}; break;
        default: start = {p.x, h + 40}; break;
    }
    switch (b) {
        case 0: end = {-40, p.y}; break;
        case 1: end = {p.y / h * w, -40}; break;
        case 2: end = {w + 40, p.y}; break;
        default: end = {p.y / h * w, h + 40}; break;
    }
    double k = 0.06 + 0.1 * Art::rand(p, 6);
    if (Art::rand(p, 5) >= 0.5) k = -k;
    const cg::Point middle{(start.x + end.x) / 2 + (end.y - start.y) * k, (start.y + end.y) / 2 - (end.x - start.x) * k};
    return {start, middle, end};
}

bool Art::City::flightFits(cg::Point p) const {
    const std::vector<cg::Point> path = flight(p);
    if (!(pathLength(path) > art.H())) return false;
    for (const cg::Point& q : rounded(path, false, 6))
        if (!clear(cg::Rect(q.x - 20, q.y - 20, 40, 40))) return false;
    return true;
}

void Art::City::flyover() {
    const bool night = art.s.night;
    const std::size_t n = night ? 6 : 1;
    const auto made = art.offscreenEach(n, [](Art& worker, std::size_t i) {
        const bool strobe = worker.s.night && i == 0;
        return worker.offscreen(40, 40, [&] { Art::City(worker).airliner(strobe); });
    });
    std::vector<cg::ImageRef> frames;
    for (const cg::ImageRef& f : made)
        if (f) frames.push_back(f);

    const auto chosen = art.spots(22, 400, 1, 1, [&](cg::Point p) { return flightFits(p); });
    for (const cg::Point& p : chosen) {
        const std::vector<cg::Point> path = flight(p);
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.at = art.flip(path.front());
        sp.size = 40;
        sp.phase = Art::rand(p, 3);
        sp.travel = 38;
        sp.color = 0xFFFFFF;
        if (night) sp.frames = frames;
        else if (!frames.empty()) sp.image = frames.front();
        sp.beat = 1.4;
        for (const cg::Point& q : path) sp.path.push_back(art.flip(q));
        sp.rest = 1.5 + Art::rand(p, 4);
        sp.closed = false;
        art.sprites.push_back(std::move(sp));
    }
}

void Art::City::airliner(bool strobe) {
    const bool night = art.s.night;
    cg::Context& c = *art.ctx;
    art.shape(night ? 0x2E3238 : 0xC9CFD6, 1, 0, [](cg::Path& p) {
        const cg::Point quads[4][4] = {{{23, 21.6}, {15.5, 35.5}, {13, 35.5}, {16, 21.6}},
                                       {{8, 21.2}, {4.5, 26}, {2.8, 26}, {4, 21.2}},
                                       {{23, 18.4}, {15.5, 4.5}, {13, 4.5}, {16, 18.4}},
                                       {{8, 18.8}, {4.5, 14}, {2.8, 14}, {4, 18.8}}};
        for (const auto& q : quads) {
            p.moveTo(q[0]);
            for (int i = 1; i < 4; ++i) p.lineTo(q[i]);
            p.closeSubpath();
        }
    });
    const uint32_t engine = night ? 0x24272C : 0x8E97A2;
    art.shape(engine, 1, 0, [](cg::Path& p) { p.addEllipse({18.3, 25.65, 4.6, 1.9}); });
    art.shape(engine, 1, 0, [](cg::Path& p) { p.addEllipse({18.3, 12.45, 4.6, 1.9}); });
    art.shape(night ? 0x3A3F47 : 0xF4F6F8, 1, 0, [](cg::Path& p) { p.addRoundedRect({2.5, 18.3, 35, 3.4}, 1.7, 1.7); });
    art.shape(0x000000, 0.12, 0, [](cg::Path& p) { p.addRect({4, 18.3, 32, 0.8}); });
    if (!night) return;

    auto lamp = [&](uint32_t colour, double x, double y, double r) {
        const cg::Gradient g({cg::Color::rgb(colour, 0.75), cg::Color::rgb(colour, 0)}, {0, 1});
        c.drawRadialGradient(g, {x, y}, 0, {x, y}, r);
        art.shape(colour, 1, 0, [&](cg::Path& p) { p.addEllipse({x - 0.55, y - 0.55, 1.1, 1.1}); });
        art.shape(0xFFFFFF, 0.8, 0, [&](cg::Path& p) { p.addEllipse({x - 0.3, y - 0.3, 0.6, 0.6}); });
    };
    lamp(0xFF3B30, 14.4, 35.4, 2.6);
    lamp(0x2EE07A, 14.4, 4.6, 2.6);
    lamp(0xFFFFFF, 2.4, 20, 2);
    if (!strobe) return;
    lamp(0xFFFFFF, 14.2, 35.6, 5);
    lamp(0xFFFFFF, 14.2, 4.4, 5);
    lamp(0xFF2A1A, 17, 20, 3.2);
}
