#include "DesktopWindow/BirdLayer.h"

#include "DesktopWindow/BoatLayer.h"
#include "DesktopWindow/Keyframes.h"
#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"

#include <cmath>
#include <string>
#include <vector>

namespace layers {
namespace {

std::shared_ptr<ca::ShapeLayer> filled(const cg::Path& path, const cg::Color& fill) {
    auto l = std::make_shared<ca::ShapeLayer>();
    l->setPath(path);
    l->setFillColor(fill);
    l->setStrokeColor(std::nullopt);
    l->setLineWidth(1);
    l->setLineCap(cg::LineCap::round);
    l->setLineJoin(cg::LineJoin::round);
    return l;
}

}  // namespace

BirdPalette birdPalette(uint32_t color) {
    BirdPalette p;
    switch (color) {
        case 0x26241F: p.body = 0x2C2B29; p.tips = 0x161514; p.span = 14; p.chord = 3.4; break;
        case 0xF7F9FA: p.body = 0xC3CCD4; p.tips = 0x26292D; p.span = 17; p.chord = 2.6; break;
        case 0x4A2F2A: p.body = 0x7A5642; p.tips = 0x2E1E1A; p.span = 17; p.chord = 4.2; break;
        default: break;
    }
    return p;
}

void addWings(cg::Path& path, const BirdPalette& palette, bool tipsOnly) {
    const double t0 = tipsOnly ? 0.62 : 0;
    // Samples t0, t0 + 0.05, … up to 1, counted in whole steps so that the last one (t = 1 for a full
    // wing) is never lost to rounding.
    const int count = static_cast<int>(std::floor((1 - t0) / 0.05 + 1e-9)) + 1;
    const double span = palette.span, chord = palette.chord;
    for (const double e : {1.0, -1.0}) {
        std::vector<cg::Point> outline;
        outline.reserve(2 * static_cast<size_t>(count));
        for (int k = 0; k < count; ++k) {
            const double t = std::min(t0 + 0.05 * k, 1.0), u = 1 - t;
            outline.push_back({1.4 * u * u + 1.8 * 2 * t * u - 1.4 * t * t,
                               e * (u * u + 0.32 * span * 2 * t * u + 0.5 * span * t * t)});
        }
        for (int k = count - 1; k >= 0; --k) {
            const double t = std::min(t0 + 0.05 * k, 1.0), u = 1 - t;
            outline.push_back({(1.4 - chord) * u * u + (1.2 - chord) * 2 * t * u - 1.4 * t * t,
                               e * (u * u + 0.27 * span * 2 * t * u + 0.5 * span * t * t)});
        }
        path.addLines(outline);
        path.closeSubpath();
    }
}

std::shared_ptr<ca::Layer> bird(const Sprite& s) {
    const BirdPalette palette = birdPalette(s.color);
    const auto course = SpriteLayers::course(s, [](double) { return 1.0; });
    const double d = course.duration, beat = course.beat;
    const size_t n = std::min(course.points.size(), course.headings.size());

    auto root = std::make_shared<ca::Layer>();
    struct Pass {
        bool shadow;
        cg::Point offset;
    };
    for (const Pass pass : {Pass{true, {13, -12}}, Pass{false, {0, 0}}}) {
        const std::string k = std::to_string(s.color) + (pass.shadow ? " true" : " false");
        const cg::Color shade = cg::Color::black(0.12);
        auto fill = [&](uint32_t rgb) { return pass.shadow ? shade : cg::Color::rgb(rgb, 1); };

        auto carrier = std::make_shared<ca::Layer>();
        carrier->setPosition(s.at);
        auto flapper = std::make_shared<ca::Layer>();
        flapper->setPosition({0, 0});
        carrier->addSublayer(flapper);
        auto place = [](const std::shared_ptr<ca::Layer>& parent, std::shared_ptr<ca::Layer> l) {
            l->setPosition({0, 0});
            parent->addSublayer(std::move(l));
        };
        place(flapper, painted("wing " + k, [&] {
                  cg::Path p;
                  addWings(p, palette, false);
                  return filled(p, fill(palette.body));
              }));
        if (!pass.shadow)
            place(flapper, painted("wingtips " + k, [&] {
                      cg::Path p;
                      addWings(p, palette, true);
                      return filled(p, fill(palette.tips));
                  }));
        place(carrier, painted("mantle " + k, [&] {
                  cg::Path p;
                  p.addEllipse({-2.2, -0.85, 4.6, 1.7});
                  return filled(p, fill(palette.body));
              }));
        place(carrier, painted("ends " + k, [&] {
                  cg::Path p;
                  p.addEllipse({1.7, -0.75, 1.6, 1.5});
                  // Left open: filling closes the tail.
                  p.addLines(std::vector<cg::Point>{{-1.8, 0.55}, {-3.9, 1}, {-3.9, -1}, {-1.8, -0.55}});
                  return filled(p, fill(s.color));
              }));

        // Three quick beats in the first 30 % of each period, then a glide.
        auto flap = SpriteLayers::looped(s,
                            keyframes("transform.scale.y", {1, 0.55, 1, 0.55, 1, 0.55, 1, 1},
                                      {0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 1}, 0, ca::CalculationMode::cubic),
                            beat);
        flap.timeOffset = d * s.phase;
        flapper->add(flap, "flap");

        if (n > 0) {
            std::vector<ca::Value> points, headings;
            for (size_t i = 0; i < n; ++i) {
                const cg::Point p = course.points[i];
                points.emplace_back(cg::Point{p.x + pass.offset.x, p.y + pass.offset.y});
                headings.emplace_back(course.headings[i]);
            }
            ca::AnimationGroup motion;
            motion.add(keyframes("position", points, course.times, d));
            motion.add(keyframes("transform.rotation.z", headings, course.times, d));
            carrier->add(SpriteLayers::looped(s, motion, d), "motion");
        }
        root->addSublayer(carrier);
    }
    return root;
}

}  // namespace layers
