// Street traffic of the two city scenes: the top-down vehicle drawings (parked cars, moving traffic,
// the police car) and the lane scan that sends gliding vehicles along every open stretch of street.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "Art/City.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

// The special types after the cars, in pick order: taxi, white van, blue van, bus.
struct Special {
    uint32_t color;
    int roof;
    double longer;
    double pivot;
};
constexpr Special kSpecials[] = {{0xF2C230, 3, 0, 8}, {0xF2F2F0, 1, 6, 11}, {0x2E4C7C, 1, 6, 11}, {0xB8352E, 2, 14, 15}};

constexpr double kPoliceW = 26, kPoliceH = 16;

// Int(k·u) for a hash u in [0, 1).
std::size_t pick(double k, double u) {
    const double q = std::floor(k * u);
    return q > 0 ? static_cast<std::size_t>(q) : 0;
}

void fillRect(Art& art, uint32_t color, double alpha, const cg::Rect& r) {
    art.shape(color, alpha, 0, [&](cg::Path& p) { p.addRect(r); });
}

void fillOval(Art& art, uint32_t color, double alpha, const cg::Rect& r) {
    art.shape(color, alpha, 0, [&](cg::Path& p) { p.addEllipse(r); });
}

struct Pictures {
    std::vector<Art::City::Vehicle> vehicles;
    std::vector<cg::ImageRef> police;
};

// All vehicle pictures of one call at once: the cars, the specials, then the police frames.
Pictures vehiclePictures(const Art& art, const std::vector<uint32_t>& colors, bool withPolice) {
    const std::size_t cars = colors.size(), types = cars + std::size(kSpecials);
    const std::size_t total = types + (withPolice ? 4 : 0);
    const auto images = art.offscreenEach(total, [&](Art& worker, std::size_t i) {
        Art::City city(worker);
        if (i < cars) return worker.offscreen(26, 8, [&] { city.car(colors[i], false, 0.3, 0, 0); });
        if (i < types) {
            const Special& k = kSpecials[i - cars];
            return worker.offscreen(26 + k.longer, 8, [&] { city.car(k.color, false, 0.3, k.longer, k.roof); });
        }
        const int frame = static_cast<int>(i - types);
        return worker.offscreen(kPoliceW, kPoliceH, [&] { city.policeCar(frame); });
    });
    Pictures out;
    for (std::size_t i = 0; i < types; ++i) {
        const double longer = i < cars ? 0 : kSpecials[i - cars].longer;
        const double pivot = i < cars ? 8 : kSpecials[i - cars].pivot;
        out.vehicles.push_back({images[i], 26 + longer, pivot});
    }
    for (std::size_t i = types; i < total; ++i)
        if (images[i]) out.police.push_back(images[i]);
    return out;
}

}  // namespace

std::vector<Art::City::Vehicle> Art::City::vehicles(const std::vector<uint32_t>& colors) const {
    return vehiclePictures(art, colors, false).vehicles;
}

std::vector<cg::ImageRef> Art::City::policeFrames() const {
    return vehiclePictures(art, {}, true).police;
}

void Art::City::car(uint32_t color, bool parked, double dim, double L, int roof) {
    const bool night = art.s.night;
    const bool lights = night && !parked;
    cg::Context& c = *art.ctx;
    // The bus is a little wider, with tighter corners.
    const double corner = roof == 2 ? 1 : 1.8, widen = roof == 2 ? 0.4 : 0;
    const cg::Rect body(2, 1.2 - widen, L + 12, 5.6 + 2 * widen);
    auto fillBody = [&](uint32_t colour, double alpha) {
        art.shape(colour, alpha, 0, [&](cg::Path& p) { p.addRoundedRect(body, corner, corner); });
    };

    if (lights) {
        cg::SavedState g(c);
        cg::Path beam;
        beam.moveTo({L + 13.5, 2});
        beam.lineTo({L + 26, 0});
        beam.lineTo({L + 26, 8});
        beam.lineTo({L + 13.5, 6});
        beam.closeSubpath();
        c.clip(beam);
        const cg::Gradient g0({cg::Color::rgb(0xFFF1C4, 0.5), cg::Color::rgb(0xFFF1C4, 0)}, {0, 1});
        c.drawLinearGradient(g0, {L + 13.5, 4}, {L + 26, 4});
    }
    if (!parked) fillRect(art, 0x000000, 0.25, body.offsetBy(0.8, -0.8));
    fillBody(color, 1);
    if (night) fillBody(0x000000, dim);

    constexpr uint32_t glass = 0x1C2530;
    constexpr double glassAlpha = 0.85;
    switch (roof) {
        case 1:
            fillRect(art, glass, glassAlpha, {L + 11.6, 1.9, 1.6, 4.2});
            fillRect(art, 0x000000, 0.12, {L + 10.9, 1.2, 0.5, 5.6});
            fillRect(art, 0xFFFFFF, 0.14, {2.6, 1.8, L + 8, 4.4});
            break;
        case 2:
            fillRect(art, glass, glassAlpha, {L + 12.6, 1.4, 1, 5.2});
            fillRect(art, 0xFFFFFF, night ? 0.25 : 0.55, {3, 1.6, L + 9, 4.8});
            fillRect(art, 0x8C9198, night ? 0.6 : 1, {4.5, 2.6, 3.4, 2.8});
            fillRect(art, 0x8C9198, night ? 0.6 : 1, {L / 2 + 8, 2.6, 3.4, 2.8});
            break;
        default:
            fillRect(art, glass, glassAlpha, {9.4, 2, 2.2, 4});
            fillRect(art, glass, glassAlpha, {3.4, 2.2, 1.4, 3.6});
            fillRect(art, 0xFFFFFF, 0.22, {5.2, 2.2, 3.8, 3.6});
            if (roof == 3) fillRect(art, night ? 0xFFE9A8 : 0x23262B, 1, {6.4, 2.7, 1.2, 2.6});
            break;
    }

    if (lights) {
        fillOval(art, 0xFFF6D8, 1, {L + 13, 1.5, 1.6, 1.6});
        fillOval(art, 0xFFF6D8, 1, {L + 13, 4.9, 1.6, 1.6});
        fillOval(art, 0xFF3B30, 1, {1.5, 1.6, 1.4, 1.4});
        fillOval(art, 0xFF3B30, 1, {1.5, 5, 1.4, 1.4});
    }
}

void Art::City::policeCar(int frame) {
    const bool night = art.s.night;
    const double alpha = night ? 0.5 : 0.25, r = night ? 8 : 4.5;
    cg::Context& c = *art.ctx;
    if (frame == 0 || frame == 2) {
        const uint32_t colour = frame == 0 ? 0xFF2D2D : 0x2D6BFF;
        const cg::Point centre{7.2, frame == 0 ? 9.2 : 6.8};
        const cg::Gradient glow({cg::Color::rgb(colour, alpha), cg::Color::rgb(colour, 0)}, {0, 1});
        c.drawRadialGradient(glow, centre, 0, centre, r);
    }
    cg::SavedState g(c);
    c.translateBy(0, 4);
    car(0x1E232B, false, 0.3, 0, 0);
    fillRect(art, night ? 0xA4A9B2 : 0xF2F4F6, 1, {4.9, 1.8, 4.3, 4.4});
    fillRect(art, 0x2A2E36, 1, {6.5, 1.5, 1.4, 5});
    fillRect(art, frame == 0 ? 0xFF5050 : 0x7A1A1A, 1, {6.65, 4.1, 1.1, 2.2});
    fillRect(art, frame == 2 ? 0x5C95FF : 0x1A2E6A, 1, {6.65, 1.7, 1.1, 2.2});
}

void Art::City::parkedCar(uint32_t color, cg::Point p, double angle, double dim) {
    cg::Context& c = *art.ctx;
    {
        cg::SavedState g(c);
        c.translateBy(p.x + 0.9, p.y - 0.9);
        c.rotateBy(angle);
        art.shape(0x000000, 0.28, 0, [](cg::Path& path) { path.addRoundedRect({-6, -2.8, 12, 5.6}, 1.8, 1.8); });
    }
    cg::SavedState g(c);
    c.translateBy(p.x, p.y);
    c.rotateBy(angle);
    c.translateBy(-8, -4);
    car(color, true, dim, 0, 0);
}

int64_t Art::City::carsFor(double length) {
    if (!(length >= 120)) return 0;
    const double q = std::floor(length / 300);
    return std::max<int64_t>(1, q < 1e6 ? static_cast<int64_t>(q) : 1000000);
}

std::vector<std::pair<double, double>> Art::City::stretches(double length, const std::function<bool(double)>& at) {
    std::vector<std::pair<double, double>> out;
    bool inRun = false;
    double g = 0, e = 0;
    for (int64_t k = 0;; ++k) {
        const double a = 4 + 6 * static_cast<double>(k);
        const bool counts = a + 6 <= length;
        if (counts && at(a)) {
            if (!inRun) g = a;
            inRun = true;
            e = a;
            continue;
        }
        if (inRun) out.emplace_back(g, e);
        inRun = false;
        if (!counts) break;
    }
    return out;
}

std::vector<Art::City::Run> Art::City::runs(const std::function<bool(cg::Point)>& open) const {
    const double w = art.W(), h = art.H();
    std::vector<Lane> lanes;
    // Traffic keeps to the right: eastbound on the south lane, northbound on the east lane.
    for (int64_t j = 0; j <= static_cast<int64_t>(h / 140); ++j) {
        const double centre = 140 * static_cast<double>(j) + 8;
        lanes.push_back({true, centre + 4.5, true});
        lanes.push_back({true, centre - 4.5, false});
    }
    for (int64_t j = 0; j <= static_cast<int64_t>(w / 160); ++j) {
        const double centre = 160 * static_cast<double>(j) + 8;
        lanes.push_back({false, centre + 4.5, false});
        lanes.push_back({false, centre - 4.5, true});
    }
    // The lanes are scanned on several threads and their runs joined in lane order.
    std::vector<std::vector<Run>> found(lanes.size());
    dispatch::concurrentPerform(lanes.size(), [&](std::size_t i) {
        const Lane& lane = lanes[i];
        const auto spans = stretches(lane.eastWest ? w : h, [&](double a) {
            const cg::Point q = lane.eastWest ? cg::Point{a, lane.line} : cg::Point{lane.line, a};
            return open(q) && clear(cg::Rect(q.x - 9, q.y - 9, 18, 18));
        });
        for (const auto& [g, e] : spans) found[i].push_back({lane, g, e});
    });
    std::vector<Run> out;
    for (std::vector<Run>& lane : found) out.insert(out.end(), lane.begin(), lane.end());
    return out;
}

void Art::City::traffic(const std::vector<uint32_t>& colors, const std::function<bool(cg::Point)>& open) {
    const Pictures kinds = vehiclePictures(art, colors, true);
    const std::size_t cars = colors.size();
    const double h = art.H();

    for (const Run& run : runs(open)) {
        const int64_t n = carsFor(run.last - run.first);
        if (n == 0) continue;
        const double from = run.lane.forward ? run.first : run.last;
        const double to = run.lane.forward ? run.last : run.first;
        const auto onLane = [&](double a) {
            return run.lane.eastWest ? cg::Point{a, run.lane.line} : cg::Point{run.lane.line, a};
        };
        const cg::Point S = onLane(from), F = onLane(to);
        const double speed = 18 + 10 * Art::rand(S, 3);
        const double angle = std::atan2((h - F.y) - (h - S.y), F.x - S.x);

        for (int64_t l = 0; l < n; ++l) {
            const auto ul = static_cast<uint64_t>(l);
            Sprite sp;
            sp.kind = Sprite::Kind::glide;
            sp.at = art.flip(S);
            sp.to = art.flip(F);
            sp.phase = (static_cast<double>(l) + 0.6 * Art::rand(S, 4 + ul)) / static_cast<double>(n);
            sp.travel = speed;
            sp.color = 0xFFFFFF;
            sp.angle = angle;
            if (l == 0 && Art::rand(S, 9) < 0.05 && !kinds.police.empty()) {
                sp.size = kPoliceW;
                sp.image = kinds.police.front();
                sp.anchor = {8.0 / 26.0, 0.5};
                sp.frames = kinds.police;
                sp.beat = 0.6;
            } else {
                const double u = Art::rand(S, 20 + ul);
                const Vehicle* type = nullptr;
                if (u < 0.22) {
                    type = &kinds.vehicles[cars + pick(1, u / 0.055) % 4];
                } else {
                    // A caller's list shorter than nine colours wraps round instead of reading past it.
                    const std::size_t k = pick(9, Art::rand(S, 40 + ul)) % 9;
                    if (cars == 0) continue;
                    type = &kinds.vehicles[k % cars];
                }
                sp.size = type->length;
                sp.image = type->image;
                sp.anchor = {type->pivot / type->length, 0.5};
                sp.beat = 1;
            }
            sp.ease = 1;
            sp.grow = 1;
            sp.face = true;
            art.sprites.push_back(std::move(sp));
        }
    }
}
