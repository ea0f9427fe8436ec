#include "DesktopWindow/BoatLayer.h"

#include "DesktopWindow/Keyframes.h"
#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Graphics/Context.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <vector>

namespace layers {
namespace {

struct Painting {
    cg::ImageRef image;
    cg::Rect box;
};

std::mutex paintingsLock;
std::map<std::string, Painting>& paintings() {
    static std::map<std::string, Painting> cache;
    return cache;
}

std::mutex puffsLock;
std::map<uint32_t, cg::ImageRef>& puffs() {
    static std::map<uint32_t, cg::ImageRef> cache;
    return cache;
}

// A shape with round caps and joins, no stroke unless given.
std::shared_ptr<ca::ShapeLayer> shape(const cg::Path& path, std::optional<cg::Color> fill,
                                      std::optional<cg::Color> stroke = std::nullopt, double width = 1) {
    auto l = std::make_shared<ca::ShapeLayer>();
    l->setPath(path);
    l->setFillColor(fill);
    l->setStrokeColor(stroke);
    l->setLineWidth(width);
    l->setLineCap(cg::LineCap::round);
    l->setLineJoin(cg::LineJoin::round);
    return l;
}

// Flat transom at the stern, curving to the bow at (7, 0).
cg::Path hullOutline() {
    cg::Path p;
    p.moveTo({-7, -2.1});
    p.lineTo({-7, 2.1});
    p.quadCurveTo({3.5, 3.3}, {7, 0});
    p.quadCurveTo({3.5, -3.3}, {-7, -2.1});
    return p;
}

std::shared_ptr<ca::Layer> at(std::shared_ptr<ca::Layer> l, cg::Point p) {
    l->setPosition(p);
    return l;
}

}  // namespace

std::shared_ptr<ca::Layer> painted(const std::string& key, const std::function<std::shared_ptr<ca::ShapeLayer>()>& make) {
    std::unique_lock<std::mutex> hold(paintingsLock);
    auto& cache = paintings();
    auto it = cache.find(key);
    if (it == cache.end()) {
        auto live = make();
        if (!live || !live->path()) return live;
        const cg::Path& path = *live->path();
        const double grow = 0.5 + live->lineWidth();
        const cg::Rect tight = path.pathBoundingBox();
        if (tight.isNull()) return live;
        const cg::Rect box(tight.minX() - grow, tight.minY() - grow, tight.width() + 2 * grow, tight.height() + 2 * grow);
        auto ctx = cg::Context::makeFrame(box.width(), box.height(), 4);
        if (!ctx) return live;
        ctx->translateBy(-box.minX(), -box.minY());
        if (live->fillColor()) {
            ctx->addPath(path);
            ctx->setFillColor(*live->fillColor());
            ctx->fillPath(cg::FillRule::winding);
        }
        if (live->strokeColor() && live->lineWidth() > 0) {
            ctx->addPath(path);
            ctx->setStrokeColor(*live->strokeColor());
            ctx->setLineWidth(live->lineWidth());
            ctx->setLineCap(cg::LineCap::round);
            ctx->setLineJoin(cg::LineJoin::round);
            ctx->strokePath();
        }
        cg::ImageRef image = ctx->makeImage();
        if (!image) return live;
        it = cache.emplace(key, Painting{image, box}).first;
    }
    const Painting entry = it->second;
    hold.unlock();
    auto layer = std::make_shared<ca::Layer>();
    layer->setContents(entry.image);
    const double w = entry.box.width(), h = entry.box.height();
    layer->setBounds({0, 0, w, h});
    layer->setAnchorPoint({-entry.box.minX() / w, -entry.box.minY() / h});
    return layer;
}

cg::ImageRef puff(uint32_t color) {
    std::lock_guard<std::mutex> hold(puffsLock);
    auto& cache = puffs();
    if (auto it = cache.find(color); it != cache.end()) return it->second;
    auto ctx = cg::Context::makeBitmap(40, 40);
    if (!ctx) return nullptr;
    const cg::Gradient g({cg::Color::rgb(color, 1), cg::Color::rgb(color, 0)}, {0, 1});
    if (g.isEmpty()) return nullptr;
    ctx->drawRadialGradient(g, {20, 20}, 0, {20, 20}, 20);
    cg::ImageRef image = ctx->makeImage();
    if (!image) return nullptr;
    return cache.emplace(color, image).first->second;
}

double sailAngle(double heading) {
    const double c = std::cos(heading), s = std::sin(heading);
    const double dot = 0.8 * c - 0.6 * s;
    const double m = 0.22 + 0.5 * std::max(dot, 0.0);
    const double cross = -0.6 * c - 0.8 * s;
    return cross >= 0 ? std::numbers::pi - m : std::numbers::pi + m;
}

std::shared_ptr<ca::Layer> boat(const Sprite& s) {
    const bool lantern = s.color != 0xFFFFFF;
    const std::string flag = lantern ? "true" : "false";

    auto root = std::make_shared<ca::Layer>();
    auto wake = std::make_shared<ca::Layer>();
    root->addSublayer(wake);
    auto carrier = std::make_shared<ca::Layer>();
    carrier->setPosition(s.at);
    root->addSublayer(carrier);

    if (!lantern) {
        // The sail's shadow falls on the water and does not turn with the hull.
        cg::Path tri;
        tri.addLines(std::vector<cg::Point>{{0.6, 0.5}, {11, -8.4}, {8.2, -9.6}});
        tri.closeSubpath();
        carrier->addSublayer(shape(tri, cg::Color::rgb(0x0B2235, 0.16)));
    }
    auto lee = std::make_shared<ca::Layer>();
    lee->setPosition({0.9, -0.9});
    lee->addSublayer(at(painted("lee", [] { return shape(hullOutline(), cg::Color::rgb(0x0B2235, 0.22)); }), {0, 0}));
    carrier->addSublayer(lee);
    auto hull = std::make_shared<ca::Layer>();
    hull->setPosition({0, 0});
    carrier->addSublayer(hull);
    auto body = std::make_shared<ca::Layer>();
    body->setPosition({0, 0});
    hull->addSublayer(body);

    body->addSublayer(at(painted("deck " + flag,
                                 [&] {
                                     return shape(hullOutline(), cg::Color::rgb(lantern ? 0x8E99AE : 0xD9DCDB),
                                                  cg::Color::rgb(0x2E3A44, 0.35), 0.5);
                                 }),
                         {0, 0}));
    body->addSublayer(at(painted("cockpit " + flag,
                                 [&] {
                                     cg::Path p;
                                     p.addRoundedRect({-5.6, -1.2, 3.6, 2.4}, 0.8, 0.8);
                                     return shape(p, cg::Color::rgb(lantern ? 0x5C6478 : 0xA88E6E));
                                 }),
                         {0, 0}));

    const auto course = SpriteLayers::course(s, [](double h) { return 0.35 + 0.65 * std::fabs(std::cos(h)); });
    const double d = course.duration;
    const size_t n = std::min(course.points.size(), course.headings.size());

    std::vector<ca::Value> sailAngles;
    for (size_t k = 0; k < n; ++k) sailAngles.push_back(sailAngle(course.headings[k]));
    auto sail = [&](double x, double length, double bulge) {
        auto layer = painted("sail " + std::to_string(s.color) + " " + decimal(length), [&] {
            cg::Path lens;
            lens.moveTo({0, 0});
            lens.quadCurveTo({length / 2, bulge}, {length, 0});
            lens.quadCurveTo({length / 2, -bulge}, {0, 0});
            return shape(lens, cg::Color::rgb(s.color, 1), cg::Color::rgb(0x6F7F90, 0.5), 0.35);
        });
        layer->setPosition({x, 0});
        if (n > 0) {
            ca::AnimationGroup swing;
            swing.add(keyframes("transform.rotation.z", sailAngles, course.times, d));
            layer->add(SpriteLayers::looped(s, swing, d), "motion");
        }
        body->addSublayer(layer);
    };
    sail(6.6, 4.2, 0.6);
    sail(1.5, 7.6, 0.85);

    if (lantern) {
        auto glow = std::make_shared<ca::Layer>();
        glow->setContents(SpriteLayers::glowing(0xFFE7A8, 1, 4.17, 13.5, 1, 96));
        glow->setBounds({0, 0, 16.2, 16.2});
        glow->setPosition({1.5, 0});
        body->addSublayer(glow);
    }
    body->addSublayer(at(painted("mast " + flag,
                                 [&] {
                                     cg::Path p;
                                     p.addEllipse({0.9, -0.6, 1.2, 1.2});
                                     return shape(p, cg::Color::rgb(lantern ? 0xFFF1C9 : 0x39424C));
                                 }),
                         {0, 0}));

    body->add(SpriteLayers::looped(s,
                      keyframes("transform.rotation.z", {-0.04, 0.03, -0.015, 0.04, -0.04}, {}, 0,
                                ca::CalculationMode::cubic),
                      5.3 + 1.4 * s.phase),
              "yaw");

    // Without a single course point there is no stern to trail a wake from: the boat stays where it is.
    if (n == 0) return root;

    std::vector<ca::Value> stern;
    std::vector<ca::Value> points, headings;
    for (size_t k = 0; k < n; ++k) {
        const cg::Point p = course.points[k];
        const double h = course.headings[k];
        stern.emplace_back(cg::Point{p.x - 6 * std::cos(h), p.y - 6 * std::sin(h)});
        points.emplace_back(p);
        headings.emplace_back(h);
    }
    const double base = lantern ? 0.3 : 0.5;
    const cg::ImageRef puffImage = puff(lantern ? 0x7DEFE0 : 0xFFFFFF);
    for (int i = 0; i <= 21; ++i) {
        const double g = i / 21.0;
        const double r = 1.4 + 3.2 * g;
        auto p = std::make_shared<ca::Layer>();
        p->setContents(puffImage);
        p->setBounds({0, 0, 2 * r, 2 * r});
        p->setPosition(stern.front().point());
        const float opacity = static_cast<float>(base * (1 - g) * (1 - g) + 0.04);
        p->setOpacity(opacity);
        auto trail = SpriteLayers::looped(s, keyframes("position", stern, course.times, d), d);
        // Each puff shows where the stern was a quarter second per puff earlier.
        double offset = std::fmod(d * s.phase - 0.25 * i, d);
        if (offset < 0) offset += d;
        trail.timeOffset = offset;
        p->add(trail, "motion");
        wake->addSublayer(p);
    }

    ca::AnimationGroup sailing;
    sailing.add(keyframes("position", points, course.times, d));
    carrier->add(SpriteLayers::looped(s, sailing, d), "motion");
    for (const auto& holder : {hull, lee}) {
        ca::AnimationGroup turn;
        turn.add(keyframes("transform.rotation.z", headings, course.times, d));
        holder->add(SpriteLayers::looped(s, turn, d), "motion");
    }
    return root;
}

}  // namespace layers
