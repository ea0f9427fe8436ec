// Ten glyphs, one per scene, drawn about the origin in a box of roughly 72 × 62 points. Gaps between the
// parts of a glyph are cut out of its layer, so every glyph is one shape in one colour.

#include "FolderIcons/FolderSymbols.h"

#include "Platform/Graphics/StateGuard.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace FolderIcons {

namespace {

using cg::Path;
using cg::Point;
constexpr double pi = std::numbers::pi;

// Removes what the path covers from the glyph drawn so far.
void cut(cg::Context& g, const Path& p) {
    cg::SavedState s(g);
    g.setBlendMode(cg::BlendMode::destinationOut);
    g.fill(p);
}

void cutStroke(cg::Context& g, const Path& p, double width) {
    cg::SavedState s(g);
    g.setBlendMode(cg::BlendMode::destinationOut);
    g.setLineWidth(width);
    g.stroke(p);
}

// Fills the path and strokes it with round joins, which rounds its corners by half the width.
void fillRounded(cg::Context& g, const Path& p, double width) {
    g.fill(p);
    cg::SavedState s(g);
    g.setLineWidth(width);
    g.setLineJoin(cg::LineJoin::round);
    g.stroke(p);
}

Path polygon(std::initializer_list<Point> points) {
    Path p;
    p.addLines(std::vector<Point>(points));
    p.closeSubpath();
    return p;
}

void umbrella(cg::Context& g) {
    cg::SavedState s(g);
    g.translateBy(0, 2);
    g.rotateBy(0.35);
    Path canopy;
    canopy.moveTo({30, 0});
    canopy.addArc({0, 0}, 30, 0, pi, false);
    // Scalloped rim between the ribs.
    for (int i = 0; i < 3; ++i) {
        const double x0 = -30 + 20.0 * i;
        canopy.quadCurveTo({x0 + 10, 5}, {x0 + 20, 0});
    }
    canopy.closeSubpath();
    g.fill(canopy);
    Path pole;
    pole.addCapsule({0, 2}, {0, -36}, 2.8);
    g.fill(pole);
}

void mountains(cg::Context& g) {
    const Path big = polygon({{-18, -26}, {10, 26}, {36, -26}});
    const Path small = polygon({{-36, -26}, {-15, 9}, {5, -26}});
    fillRounded(g, big, 6);
    cutStroke(g, small, 14);
    fillRounded(g, small, 6);
}

// A four-pointed sparkle with gently concave sides.
Path sparkle(Point c, double r) {
    const double k = 0.18 * r;
    Path p;
    p.moveTo({c.x, c.y + r});
    p.quadCurveTo({c.x + k, c.y + k}, {c.x + r, c.y});
    p.quadCurveTo({c.x + k, c.y - k}, {c.x, c.y - r});
    p.quadCurveTo({c.x - k, c.y - k}, {c.x - r, c.y});
    p.quadCurveTo({c.x - k, c.y + k}, {c.x, c.y + r});
    p.closeSubpath();
    return p;
}

void moonAndStars(cg::Context& g) {
    g.fillEllipse({-6 - 27, -2 - 27, 54, 54});
    Path bite;
    bite.addEllipse({9 - 22, 10 - 22, 44, 44});
    cut(g, bite);
    g.fill(sparkle({15, 15}, 12));
    g.fill(sparkle({29, -5}, 7.5));
}

void buildings(cg::Context& g) {
    Path towers;
    towers.addRoundedRect({-33, -28, 31, 58}, 3, 3);
    towers.addRoundedRect({3, -28, 30, 40}, 3, 3);
    g.fill(towers);
    Path windows;
    for (const double y : {17.0, 4.0, -9.0})
        for (const double x : {-26.0, -15.0}) windows.addRect({x, y, 7, 7});
    for (const double y : {0.0, -13.0})
        for (const double x : {10.0, 20.0}) windows.addRect({x, y, 7, 7});
    cut(g, windows);
}

void house(cg::Context& g) {
    g.fill(polygon({{-22, -30}, {22, -30}, {22, 4}, {0, 23}, {-22, 4}}));
    g.fill(cg::Rect(13, 6, 9, 22));  // chimney
    Path roof;
    roof.moveTo({-33, 0});
    roof.lineTo({0, 29});
    roof.lineTo({33, 0});
    cutStroke(g, roof, 17);
    cg::SavedState s(g);
    g.setLineWidth(8);
    g.setLineCap(cg::LineCap::round);
    g.setLineJoin(cg::LineJoin::round);
    g.stroke(roof);
    Path door;
    door.addRoundedRect({-6, -30, 12, 19}, 3, 3);
    cut(g, door);
}

void snowflake(cg::Context& g) {
    Path arms;
    for (int i = 0; i < 6; ++i) {
        const double a = pi / 2 + i * pi / 3;
        const Point dir{std::cos(a), std::sin(a)};
        arms.moveTo({0, 0});
        arms.lineTo({30 * dir.x, 30 * dir.y});
        // Two pairs of branches pointing outward at 45 degrees.
        for (const auto& [at, length] : std::array<std::pair<double, double>, 2>{{{13, 11}, {22, 7}}}) {
            const Point base{at * dir.x, at * dir.y};
            for (const double side : {-1.0, 1.0}) {
                const double b = a + side * pi / 4;
                arms.moveTo(base);
                arms.lineTo({base.x + length * std::cos(b), base.y + length * std::sin(b)});
            }
        }
    }
    cg::SavedState s(g);
    g.setLineWidth(5.5);
    g.setLineCap(cg::LineCap::round);
    g.setLineJoin(cg::LineJoin::round);
    g.stroke(arms);
}

void fish(cg::Context& g) {
    Path body;
    body.moveTo({-35, 0});
    body.curveTo({-29, 22}, {2, 23}, {14, 4});
    body.lineTo({33, 19});
    body.quadCurveTo({27, 10}, {28, 0});
    body.quadCurveTo({27, -10}, {33, -19});
    body.lineTo({14, -4});
    body.curveTo({2, -23}, {-29, -22}, {-35, 0});
    body.closeSubpath();
    fillRounded(g, body, 4);
    g.fill(polygon({{-10, 17}, {2, 28}, {5, 16}}));  // dorsal fin
    Path eye;
    eye.addEllipse({-25, 1, 8, 8});
    cut(g, eye);
    Path gill;
    gill.moveTo({-12, 13});
    gill.quadCurveTo({-5, 0}, {-12, -13});
    cg::SavedState s(g);
    g.setLineCap(cg::LineCap::round);
    cutStroke(g, gill, 3);
}

void shield(cg::Context& g) {
    Path p;
    p.moveTo({0, 31});
    p.curveTo({9, 26}, {19, 25}, {28, 24});
    p.lineTo({28, 2});
    p.curveTo({28, -15}, {15, -25}, {0, -32});
    p.curveTo({-15, -25}, {-28, -15}, {-28, 2});
    p.lineTo({-28, 24});
    p.curveTo({-19, 25}, {-9, 26}, {0, 31});
    p.closeSubpath();
    fillRounded(g, p, 3);
}

void waves(cg::Context& g) {
    Path p;
    for (const double y0 : {18.0, 0.0, -18.0}) {
        std::vector<Point> line;
        for (int i = 0; i <= 64; ++i) {
            const double x = -32 + i;
            line.push_back({x, y0 + 5 * std::sin(2 * pi * (x + 32) / 26)});
        }
        p.addLines(line);
    }
    cg::SavedState s(g);
    g.setLineWidth(6);
    g.setLineCap(cg::LineCap::round);
    g.setLineJoin(cg::LineJoin::round);
    g.stroke(p);
}

void flower(cg::Context& g) {
    Path cup;  // a tulip head of three petals
    cup.moveTo({0, 3});
    cup.curveTo({-12, 3}, {-18, 13}, {-17, 29});
    cup.quadCurveTo({-11, 26}, {-7, 20});
    cup.quadCurveTo({-4, 27}, {0, 32});
    cup.quadCurveTo({4, 27}, {7, 20});
    cup.quadCurveTo({11, 26}, {17, 29});
    cup.curveTo({18, 13}, {12, 3}, {0, 3});
    cup.closeSubpath();
    fillRounded(g, cup, 2);
    Path stem;
    stem.addCapsule({0, 4}, {0, -30}, 2.6);
    g.fill(stem);
    Path leaves;
    leaves.moveTo({-1, -27});
    leaves.curveTo({-11, -25}, {-25, -15}, {-27, 3});
    leaves.curveTo({-16, -1}, {-6, -10}, {-1, -17});
    leaves.closeSubpath();
    leaves.moveTo({1, -25});
    leaves.curveTo({10, -23}, {21, -15}, {23, -3});
    leaves.curveTo({14, -6}, {6, -11}, {1, -15});
    leaves.closeSubpath();
    g.fill(leaves);
}

}  // namespace

void drawSymbol(cg::Context& g, SceneKind kind, cg::Point centre, const cg::Color& color) {
    cg::SavedState s(g);
    g.setAlpha(color.a);
    cg::TransparencyLayer layer(g);
    g.translateBy(centre.x, centre.y);
    g.setFillColor(color.withAlpha(1));
    g.setStrokeColor(color.withAlpha(1));
    switch (kind) {
        case SceneKind::archipelago: umbrella(g); break;
        case SceneKind::canyon: mountains(g); break;
        case SceneKind::orbit: moonAndStars(g); break;
        case SceneKind::city: buildings(g); break;
        case SceneKind::skyline: house(g); break;
        case SceneKind::winter: snowflake(g); break;
        case SceneKind::reef: fish(g); break;
        case SceneKind::warzone: shield(g); break;
        case SceneKind::sea: waves(g); break;
        case SceneKind::pond: flower(g); break;
    }
}

}  // namespace FolderIcons
