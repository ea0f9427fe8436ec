// The giant ape of the island scene: one pose painter (side and front views with inverse-kinematic
// limbs and fur shading) and the sprite that walks its beat, rears, beats its chest and walks back.

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double pi = std::numbers::pi;

// Canvas of every frame and the feet point inside it.
constexpr double canvasW = 69.6;
constexpr double canvasH = 74.4;
constexpr cg::Point feet{33.6, 9.6};
constexpr double figureScale = 1.2;
constexpr double cycle = 17.4;  // points covered by one walk cycle

struct ApeInk {
    uint32_t fur;       // light end of the fur gradient
    uint32_t dark;      // dark end; hands and feet
    uint32_t far;       // far limbs, flat
    uint32_t rim;
    double rimAlpha;
    uint32_t saddle;
    uint32_t face;      // face and ears
    uint32_t brow;
    uint32_t chest;     // chest plates, at alpha 0.9
    uint32_t eye;
};
constexpr ApeInk dayInk{0x443f3a, 0x161312, 0x0e0c0b, 0x9a9086, 0.3, 0xa09a92, 0x100e0e, 0x3e3935, 0x2a2523, 0x8a5422};
constexpr ApeInk nightInk{0x34415c, 0x0a0c12, 0x06070b, 0xa9bee6, 0.6, 0x6a7690, 0x07080b, 0x232a38, 0x141822, 0xf0b860};

constexpr uint32_t mouthColor = 0x6a1814;
constexpr uint32_t teethColor = 0xede6d6;

double smoothstep(double t) { return t * t * (3 - 2 * t); }

cg::Point mid(cg::Point a, cg::Point b) { return {(a.x + b.x) * 0.5, (a.y + b.y) * 0.5}; }

cg::Rect around(cg::Point c, double w, double h) { return {c.x - w / 2, c.y - h / 2, w, h}; }

// The two segments of a limb, each a round-capped outline, as one path.
cg::Path limbPath(cg::Point root, cg::Point end, double upper, double lower, double side, double wUpper,
                  double wLower) {
    const cg::Point joint = Art::apeJoint(root, end, upper, lower, side);
    cg::Path path;
    path.addCapsule(root, joint, wUpper / 2);
    path.addCapsule(joint, end, wLower / 2);
    return path;
}

// Paints the figure of one pose into the painter's current context.
struct Figure {
    Art& art;
    cg::Context& g;
    ApeInk ink;
    double dir;  // -1 for poses shown mirrored

    void fill(const cg::Path& path, uint32_t color, double alpha = 1) {
        g.setFillColor(cg::Color::rgb(color, alpha));
        g.fill(path);
    }
    void ellipse(const cg::Rect& r, uint32_t color, double alpha = 1) {
        art.shape(color, alpha, 0, [&](cg::Path& p) { p.addEllipse(r); });
    }

    // Radial fur gradient lit from the upper left, then a thin rim-light crescent on the lit edge. Each
    // step keeps its clip, offset and blend mode to itself.
    void fur(const cg::Path& path, cg::Point c, double k, double rimAlpha) {
        {
            cg::SavedState saved(g);
            g.clip(path);
            const cg::Gradient grad({cg::Color::rgb(ink.fur), cg::Color::rgb(ink.dark)}, {0, 1});
            g.drawRadialGradient(grad, {c.x + -0.4 * k * dir, c.y + 0.45 * k}, 0, c, 1.25 * k, {false, true});
        }

        cg::SavedState saved(g);
        g.clip(path);
        g.setAlpha(rimAlpha);
        cg::TransparencyLayer layer(g);
        g.setFillColor(cg::Color::rgb(ink.rim));
        g.fill(path);
        g.setBlendMode(cg::BlendMode::destinationOut);
        g.translateBy(0.8 * dir, -0.8);
        g.setFillColor(cg::Color::black());
        g.fill(path);
    }

    // A limb drawn over the torso darkens it first, offset away from the light.
    void castShadow(const cg::Path& limb, const cg::Path& torso) {
        cg::SavedState saved(g);
        g.clip(torso);
        g.translateBy(dir, -1);
        fill(limb, 0x000000, 0.55);
    }

    void side(double step, double rear);
    void sideHead(cg::Point centre, double angle);
    void front(double pound, double roar);
};

void Figure::side(double step, double rear) {
    const Art::ApeStance st = Art::apeStance(step, rear);
    const double th = st.spine;
    // Offsets along and across the spine, from the hip.
    const cg::Transform spine = cg::Transform::translation(st.hip.x, st.hip.y).rotatedBy(th);
    auto along = [&](double a, double c) { return spine.apply(cg::Point{a, c}); };

    // Far leg and foot, flat.
    {
        const cg::Point root{st.hip.x + 1.5, st.hip.y + 0.5};
        const cg::Point end{st.farFoot.x, st.farFoot.y + 1.8};
        fill(limbPath(root, end, 6.8, 7, 1, 7.4, 5.6), ink.far);
        ellipse(around({st.farFoot.x + 1.8, st.farFoot.y + 1.5}, 8, 3.6), ink.far);
    }
    // Far arm and hand, flat; elbows point back.
    {
        const cg::Point root{st.shoulder.x + 1.5, st.shoulder.y - 1.5};
        const cg::Point end{st.farHand.x, st.farHand.y + 2.4};
        fill(limbPath(root, end, 10.6, 11, -1, 7.6, 7), ink.far);
        ellipse(around({st.farHand.x + 0.8, st.farHand.y + 2.2}, 7.2, 5.2), ink.far);
    }
    // Torso: five ellipses strung along the spine.
    cg::Path torso;
    {
        constexpr std::array<std::array<double, 4>, 5> lobes{{
            {0, 0, 15.2, 14.8},
            {7.26, -1.2, 18, 17.2},
            {14.52, -0.6, 19.6, 18.8},
            {22, 0, 18.8, 18},
            {18.92, 3, 16.4, 15.2},
        }};
        for (const auto& l : lobes) torso.addEllipse(around({l[0], l[1]}, l[2], l[3]), spine);
        fur(torso, along(12.1, 2), 13, ink.rimAlpha);
    }
    // Pale saddle on the back.
    {
        cg::SavedState saved(g);
        g.clip(torso);
        const cg::Point c = along(6.6, 7);
        g.translateBy(c.x, c.y);
        g.rotateBy(th);
        g.scaleBy(1, 0.6);
        const cg::Gradient grad({cg::Color::rgb(ink.saddle, 0.9), cg::Color::rgb(ink.saddle, 0.5),
                                 cg::Color::rgb(ink.saddle, 0)},
                                {0, 0.5, 1});
        g.drawRadialGradient(grad, {0, 0}, 0, {0, 0}, 10.5);
    }
    // Near leg; knees point forward.
    {
        const cg::Point root = st.hip;
        const cg::Point end{st.nearFoot.x, st.nearFoot.y + 2};
        const cg::Path leg = limbPath(root, end, 6.8, 7, 1, 8.4, 6.2);
        castShadow(leg, torso);
        fur(leg, mid(root, end), 5.796, 0.7 * ink.rimAlpha);
        ellipse(around({st.nearFoot.x + 2, st.nearFoot.y + 1.6}, 8.8, 4), ink.dark);
    }
    sideHead(st.head, st.nod);
    // Near arm with its knuckles.
    {
        const cg::Point root{st.shoulder.x - 0.5, st.shoulder.y - 1.5};
        const cg::Point end{st.nearHand.x, st.nearHand.y + 2.6};
        const cg::Path arm = limbPath(root, end, 10.6, 11, -1, 9.6, 7.6);
        castShadow(arm, torso);
        fur(arm, mid(root, end), 9.072, 0.7 * ink.rimAlpha);
        ellipse(around({st.nearHand.x + 0.9, st.nearHand.y + 2.4}, 8, 5.8), ink.dark);
        ellipse(around({st.nearHand.x + 0.2, st.nearHand.y + 3.4}, 4, 2), ink.fur, 0.35);
    }
}

void Figure::sideHead(cg::Point centre, double angle) {
    cg::SavedState saved(g);
    g.translateBy(centre.x, centre.y);
    g.rotateBy(angle);
    cg::Path skull;
    skull.addEllipse({-5.6, -5.2, 11, 10.6});
    skull.addEllipse({-5.8, -1.4, 8.8, 9.2});
    fur(skull, {-0.6, 1}, 6, ink.rimAlpha);
    art.shape(ink.face, 1, 0, [](cg::Path& p) {
        p.moveTo({1.4, 4});
        p.quadCurveTo({4.6, 4.6}, {5.6, 2.4});
        p.quadCurveTo({6.2, 0.6}, {8, -1.4});
        p.quadCurveTo({8.4, -4.8}, {4.6, -5});
        p.quadCurveTo({1.6, -5}, {1, -2.6});
        p.closeSubpath();
    });
    art.shape(ink.brow, 1, 1.3, [](cg::Path& p) {
        p.moveTo({2, 3.6});
        p.quadCurveTo({4.6, 4.2}, {5.9, 2.2});
    });
    ellipse({3.8, 0.95, 1.2, 1.1}, ink.eye);
    ellipse({6.6, -1.4, 1, 0.8}, 0x000000, 0.8);
    art.shape(0x000000, 0.7, 0.4, [](cg::Path& p) {
        p.moveTo({4.2, -2.8});
        p.quadCurveTo({6, -3.3}, {7.6, -2.5});
    });
    ellipse({-1.7, -1.6, 2.6, 3.6}, ink.face);
}

void Figure::front(double pound, double roar) {
    // Legs come before the torso and cast nothing on it; knees bow outward.
    for (const double m : {-1.0, 1.0}) {
        const cg::Point hip{5 * m, 13.5};
        const cg::Point foot{6.5 * m, 2};
        const cg::Path leg = limbPath(hip, foot, 6.8, 7, m, 9.6, 6.4);
        fur(leg, {5.75 * m, 7.75}, 5.796, 0.7 * ink.rimAlpha);
        ellipse({8 * m - 4.2, -0.3, 8.4, 3.8}, ink.dark);
    }
    cg::Path torso;
    torso.addEllipse({-9.6, 8.8, 19.2, 12.4});
    torso.addEllipse({-11.6, 13.1, 23.2, 16.8});
    torso.addEllipse({-13, 22.5, 26, 16});
    torso.addEllipse({-10, 29.6, 20, 10.8});
    fur(torso, {0, 27}, 15, ink.rimAlpha);
    ellipse({-8.9, 26.3, 9.2, 7.4}, ink.chest, 0.9);
    ellipse({-0.3, 26.3, 9.2, 7.4}, ink.chest, 0.9);
    // Ears go under the head, so only their outer rims show.
    ellipse({-6.8, 38.4, 2.2, 3.2}, ink.face);
    ellipse({4.6, 38.4, 2.2, 3.2}, ink.face);
    cg::Path head;
    head.addEllipse({-5.8, 34.2, 11.6, 10.8});
    head.addEllipse({-4.3, 39.4, 8.6, 8.2});
    fur(head, {0, 40}, 6.5, 0.7 * ink.rimAlpha);
    ellipse({-4.2, 34.7, 8.4, 8.6}, ink.face);
    art.shape(ink.brow, 1, 1.3, [](cg::Path& p) {
        p.moveTo({-3.7, 41.2});
        p.quadCurveTo({0, 42.4}, {3.7, 41.2});
    });
    ellipse({-2.35, 39.85, 1.2, 1.1}, ink.eye);
    ellipse({1.15, 39.85, 1.2, 1.1}, ink.eye);
    ellipse({-1.4, 37.8, 0.9, 0.8}, 0x000000, 0.8);
    ellipse({0.5, 37.8, 0.9, 0.8}, 0x000000, 0.8);
    if (roar <= 0.05) {
        art.shape(0x000000, 0.7, 0.4, [](cg::Path& p) {
            p.moveTo({-2, 36.9});
            p.quadCurveTo({0, 36.2}, {2, 36.9});
        });
    } else {
        const double h = 0.5 + 1.5 * roar;
        ellipse({-2.3, 36.3 - h, 4.6, 2 * h}, mouthColor);
        art.shape(teethColor, 1, 0.55, [](cg::Path& p) {
            p.moveTo({-1.4, 37.3});
            p.lineTo({1.4, 37.3});
        });
    }
    // Arms: one beats the chest while the other is flung out, by the sign of `pound`.
    for (const double m : {-1.0, 1.0}) {
        const cg::Point shoulder{12 * m, 32.5};
        const double j = 0.5 - 0.5 * pound * m;
        const cg::Point hand{m * (11.5 - 8.9 * j), 35.5 - 7.5 * j};
        const cg::Path arm = limbPath(shoulder, hand, 10.6, 11, m, 8.6, 7.6);
        castShadow(arm, torso);
        fur(arm, mid(shoulder, hand), 9.072, 0.7 * ink.rimAlpha);
        ellipse({hand.x - 3.7, hand.y - 3.2, 7.4, 6.4}, ink.dark);
        ellipse({hand.x - 2.5, hand.y - 0.1, 3.8, 2.2}, ink.fur, 0.4);
    }
}

// Frame count of a beat path: one walk cycle per 17.4 points, rounded half away from zero.
int64_t walkCycles(const std::vector<cg::Point>& beat) {
    double length = 0;
    for (std::size_t i = 1; i < beat.size(); ++i)
        length += std::hypot(beat[i].x - beat[i - 1].x, beat[i].y - beat[i - 1].y);
    const double n = std::round(length / cycle);
    // A path long enough to overflow the count is no beat; treat it as none rather than convert.
    if (!(n > 0) || n > 1e6) return 0;
    return static_cast<int64_t>(n);
}

}  // namespace

cg::Point Art::apeTread(double phase, double reach, double lift) {
    const double g = phase - std::floor(phase);
    if (g < 0.62) return {reach * (1 - 2 * g / 0.62), 0};
    const double t = (g - 0.62) / 0.38;
    return {reach * (2 * smoothstep(t) - 1), lift * std::sin(pi * t)};
}

cg::Point Art::apeJoint(cg::Point root, cg::Point end, double upper, double lower, double side) {
    const double dx = end.x - root.x, dy = end.y - root.y;
    const double dist = std::hypot(dx, dy);
    const double d = std::clamp(dist, 0.001, upper + lower - 0.01);
    const double a = (d * d + upper * upper - lower * lower) / (2 * d);
    const double h = std::sqrt(std::max(upper * upper - a * a, 0.0));
    // Coincident ends have no direction; any will do for a fully folded limb.
    const double ux = dist > 0 ? dx / dist : 1;
    const double uy = dist > 0 ? dy / dist : 0;
    return {root.x + ux * a - side * uy * h, root.y + uy * a + side * ux * h};
}

Art::ApeStance Art::apeStance(double step, double rear) {
    ApeStance st;
    const double R = smoothstep(rear);
    st.spine = 0.47 + 0.91 * R;
    const double bob = 0.4 * (1 - R) * std::cos(4 * pi * step);
    st.hip = {8.5 * R - 10, 14 - 0.5 * R - bob};
    st.shoulder = {st.hip.x + 22 * std::cos(st.spine), 14 - 0.5 * R + 22 * std::sin(st.spine)};

    const cg::Point farGait = apeTread(step + 0.5, 1, 2.2 * (1 - R));
    double farX = (st.hip.x - 1) + 4.5 * (1 - R) * farGait.x;
    farX = farX + (3 - farX) * R;
    st.farFoot = {farX, farGait.y};

    const cg::Point nearGait = apeTread(step, 1, 2.2 * (1 - R));
    double nearX = (st.hip.x - 1) + 4.5 * (1 - R) * nearGait.x;
    nearX = nearX + (-4.5 - nearX) * R;
    st.nearFoot = {nearX, nearGait.y};

    const cg::Point farReach = apeTread(step + 0.75, 4.5, 2.6);
    cg::Point farHand{farReach.x + (st.shoulder.x + 4), farReach.y};
    farHand = {farHand.x + (st.shoulder.x + 10.4 - farHand.x) * R, farHand.y + (st.shoulder.y - 4.75 - farHand.y) * R};
    st.farHand = farHand;

    const cg::Point nearReach = apeTread(step + 0.25, 4.5, 2.6);
    cg::Point nearHand{nearReach.x + (st.shoulder.x + 1.5), nearReach.y};
    nearHand = {nearHand.x + (st.shoulder.x + 8.9 - nearHand.x) * R,
                nearHand.y + (st.shoulder.y - 4.75 - nearHand.y) * R};
    st.nearHand = nearHand;

    const double reach = 8.4 - 0.2 * R;
    st.head = {st.shoulder.x + reach * std::cos(0.12 + R), st.shoulder.y + reach * std::sin(0.12 + R)};
    st.nod = 0.12 * R + 0.05 * (1 - R) * std::sin(4 * pi * step);
    return st;
}

void Art::ape(double step, double rear, double pound, double roar, bool mirrored, bool facing) {
    Figure figure{*this, *ctx, s.night ? nightInk : dayInk, mirrored ? -1.0 : 1.0};
    cg::SavedState saved(ctx);
    if (facing)
        figure.front(pound, roar);
    else
        figure.side(step, rear);
}

cg::Point Art::beatSpot(const std::vector<cg::Point>& beat, double t) {
    const std::size_t n = beat.size();
    if (n == 0) return {};
    if (n == 1) return beat[0];
    t = t > 0 ? std::min(t, 1.0) : 0;  // NaN counts as the start
    const double f = t * static_cast<double>(n - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(f), n - 2);
    const double w = f - static_cast<double>(i);
    const cg::Point a = beat[i], b = beat[i + 1];
    return {a.x + (b.x - a.x) * w, a.y + (b.y - a.y) * w};
}

Art::ApeTimeline Art::apeTimeline(const std::vector<cg::Point>& beat) {
    using Set = ApePose::Set;
    ApeTimeline out;
    if (beat.empty()) return out;
    const int64_t n = walkCycles(beat);
    const int64_t hold = n > 0 ? 10 : 45;

    auto walk = [](bool m, int i) { return ApePose{Set::walk, m, i}; };
    auto rear = [](bool m, int k) { return ApePose{Set::rear, m, k}; };
    const ApePose front0{Set::front, false, 0}, front1{Set::front, false, 1}, front2{Set::front, false, 2};

    for (const bool back : {false, true}) {
        const bool d = back, other = !back;
        for (int64_t j = 0; j < 20 * n; ++j) {
            const double f = static_cast<double>(j) / 20;
            const double u = (f + 0.012 * std::sin(-4 * pi * f)) / static_cast<double>(n);
            out.frames.push_back(walk(d, static_cast<int>(j % 20)));
            out.path.push_back(beatSpot(beat, back ? 1 - u : u));
        }
        const cg::Point end = beatSpot(beat, back ? 0 : 1);
        const std::size_t showStart = out.frames.size();
        for (int k = 0; k < 6; ++k) out.frames.push_back(rear(d, k));
        out.frames.push_back(front0);
        if (!back) {
            for (int k = 0; k < 18; ++k) out.frames.push_back(k % 2 == 0 ? front1 : front2);
        } else {
            for (int k = 0; k < 14; ++k) out.frames.push_back(front0);
        }
        out.frames.push_back(front0);
        out.frames.push_back(front0);
        for (int k = 5; k >= 0; --k) out.frames.push_back(rear(other, k));
        for (int64_t k = 0; k < hold; ++k) out.frames.push_back(walk(other, 0));
        out.path.insert(out.path.end(), out.frames.size() - showStart, end);
    }

    for (const bool m : {false, true}) {
        for (int k = 0; k < 6; ++k) out.shade.push_back(rear(m, k));
        out.shade.push_back(front0);
        for (int k = 0; k < 12; ++k) out.shade.push_back(k % 2 == 0 ? front1 : front2);
        out.shade.push_back(front0);
        for (int k = 5; k >= 0; --k) out.shade.push_back(rear(m, k));
    }
    return out;
}

namespace {

// A pose of the patrolling ape: its shadow radius, whether it is mirrored, and the ape() arguments.
struct KongPose {
    double shadow;
    bool mirrored;
    double step, rear, pound, roar;
    bool facing;
};

const std::vector<KongPose>& kongPoses() {
    static const std::vector<KongPose> poses = [] {
        std::vector<KongPose> out;
        out.reserve(55);
        for (const bool m : {false, true})
            for (int i = 0; i < 20; ++i) out.push_back({20.4, m, static_cast<double>(i) / 20, 0, 0, 0, false});
        for (const bool m : {false, true})
            for (int k = 1; k <= 6; ++k) {
                const double r = static_cast<double>(k) / 6;
                out.push_back({(17 - 5 * r) * 1.2, m, 0, r, 0, 0, false});
            }
        constexpr std::array<std::array<double, 2>, 3> fronts{{{0, 0}, {1, 1}, {-1, 1}}};
        for (const auto& pr : fronts) out.push_back({14.4, false, 0, 0, pr[0], pr[1], true});
        return out;
    }();
    return poses;
}

}  // namespace

std::size_t Art::kongPoseCount() { return kongPoses().size(); }

cg::ImageRef Art::kongPose(std::size_t i) {
    const KongPose& p = kongPoses().at(i);
    return offscreen(canvasW, canvasH, [&] {
        groundShadow(feet, p.shadow, 0.2);
        cg::SavedState saved(ctx);
        ctx->translateBy(feet.x, feet.y);
        ctx->scaleBy(p.mirrored ? -figureScale : figureScale, figureScale);
        ape(p.step, p.rear, p.pound, p.roar, p.mirrored, p.facing);
    });
}

void Art::kong(const std::vector<cg::Point>& beat) {
    if (beat.empty()) return;
    kong(beat, offscreenEach(kongPoseCount(), [](Art& a, std::size_t i) { return a.kongPose(i); }));
}

void Art::kong(const std::vector<cg::Point>& beat, const std::vector<cg::ImageRef>& drawn) {
    if (beat.empty() || drawn.size() != kongPoseCount()) return;
    const std::vector<KongPose>& poses = kongPoses();
    std::array<std::vector<cg::ImageRef>, 2> walk, rear;
    std::vector<cg::ImageRef> front;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (!drawn[i]) continue;
        const KongPose& p = poses[i];
        (p.facing ? front : p.rear > 0 ? rear[p.mirrored] : walk[p.mirrored]).push_back(drawn[i]);
    }
    for (const bool m : {false, true})
        if (walk[m].size() != 20 || rear[m].size() != 6) return;
    if (front.size() != 3) return;

    auto image = [&](const ApePose& p) -> const cg::ImageRef& {
        switch (p.set) {
            case ApePose::Set::walk: return walk[p.mirrored][static_cast<std::size_t>(p.index)];
            case ApePose::Set::rear: return rear[p.mirrored][static_cast<std::size_t>(p.index)];
            case ApePose::Set::front: break;
        }
        return front[static_cast<std::size_t>(p.index)];
    };

    const ApeTimeline line = apeTimeline(beat);
    Sprite sp;
    sp.kind = Sprite::Kind::act;
    sp.size = canvasW;
    sp.phase = rand(beat.front(), 3);
    sp.anchor = {feet.x / canvasW, feet.y / canvasH};
    sp.frames.reserve(line.frames.size());
    for (const ApePose& p : line.frames) sp.frames.push_back(image(p));
    sp.shade.reserve(line.shade.size());
    for (const ApePose& p : line.shade) sp.shade.push_back(image(p));
    sp.beat = 0.13;
    sp.path.reserve(line.path.size());
    for (const cg::Point& q : line.path) sp.path.push_back(flip(q));
    sp.at = sp.path.front();
    sprites.push_back(std::move(sp));
}
