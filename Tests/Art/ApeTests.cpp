#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "IslandTestSupport.h"

using islandtest::at;
using islandtest::near;
using islandtest::painter;
using Pose = Art::ApePose;
using Set = Art::ApePose::Set;

namespace {

double length(const std::vector<cg::Point>& p) {
    double l = 0;
    for (std::size_t i = 1; i < p.size(); ++i) l += std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y);
    return l;
}

// The show at a pass's end, from rearing up to the first frames of the walk back.
std::vector<Pose> show(bool back, int64_t hold) {
    const bool d = back;
    std::vector<Pose> s;
    for (int k = 0; k < 6; ++k) s.push_back({Set::rear, d, k});
    s.push_back({Set::front, false, 0});
    if (!back)
        for (int k = 0; k < 18; ++k) s.push_back({Set::front, false, 1 + k % 2});
    else
        for (int k = 0; k < 14; ++k) s.push_back({Set::front, false, 0});
    s.push_back({Set::front, false, 0});
    s.push_back({Set::front, false, 0});
    for (int k = 5; k >= 0; --k) s.push_back({Set::rear, !d, k});
    for (int64_t k = 0; k < hold; ++k) s.push_back({Set::walk, !d, 0});
    return s;
}

// One pose drawn into its own 69.6 × 74.4 canvas the way the sprite frames are, x-scale chosen freely.
std::unique_ptr<cg::Context> pose(Art& art, double xScale, bool mirrored, bool facing, double roar = 0,
                                  double scale = 2) {
    auto frame = cg::Context::makeFrame(69.6, 74.4, scale);
    cg::Context* scene = art.ctx;
    art.ctx = frame.get();
    art.ctx->translateBy(33.6, 9.6);
    art.ctx->scaleBy(xScale, 1.2);
    art.ape(0.3, 0, 0, roar, mirrored, facing);
    art.ctx = scene;
    return frame;
}

// How far the lit side of a figure lies left of its middle: luminance-weighted minus alpha-weighted x.
double lightBias(const cg::Context& c) {
    double wa = 0, xa = 0, wl = 0, xl = 0;
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) {
            const auto p = islandtest::unpack(c.pixel(x, y));
            if (p.a < 255) continue;
            const double lum = p.r + p.g + p.b;
            wa += 1;
            xa += x;
            wl += lum;
            xl += lum * x;
        }
    return xl / wl - xa / wa;
}

}  // namespace

TEST(ApeGait, StanceSlidesBackAndSwingLiftsOnAHalfSine) {
    EXPECT_EQ(Art::apeTread(0, 4.5, 2.6), (cg::Point{4.5, 0}));
    EXPECT_EQ(Art::apeTread(0.31, 4.5, 2.6).x, 0);
    EXPECT_EQ(Art::apeTread(0.62, 4.5, 2.6), (cg::Point{-4.5, 0}));
    const cg::Point top = Art::apeTread(0.81, 4.5, 2.6);
    EXPECT_NEAR(top.x, 0, 1e-12);
    EXPECT_NEAR(top.y, 2.6, 1e-12);
    // Period 1, also for negative phases.
    EXPECT_EQ(Art::apeTread(1.25, 1, 2), Art::apeTread(0.25, 1, 2));
    EXPECT_EQ(Art::apeTread(-0.25, 1, 2), Art::apeTread(0.75, 1, 2));
}

TEST(ApeStance, OnAllFoursAndUpright) {
    const auto down0 = Art::apeStance(0, 0), down1 = Art::apeStance(0.25, 0);
    EXPECT_EQ(down0.spine, 0.47);
    EXPECT_DOUBLE_EQ(down0.hip.y, 13.6);  // bob +0.4 down at step 0, up at a quarter step
    EXPECT_DOUBLE_EQ(down1.hip.y, 14.4);
    EXPECT_EQ(down0.hip.x, -10);
    EXPECT_EQ(down0.shoulder.y, down1.shoulder.y);  // the shoulders do not bob

    for (const double step : {0.0, 0.1, 0.35, 0.8}) {
        const auto up = Art::apeStance(step, 1);
        EXPECT_DOUBLE_EQ(up.spine, 1.38);
        EXPECT_DOUBLE_EQ(up.hip.y, 13.5);
        EXPECT_DOUBLE_EQ(up.nod, 0.12);
        EXPECT_DOUBLE_EQ(up.farFoot.x, 3);
        EXPECT_DOUBLE_EQ(up.nearFoot.x, -4.5);
        EXPECT_DOUBLE_EQ(up.farFoot.y, 0);
        EXPECT_DOUBLE_EQ(up.nearFoot.y, 0);
        EXPECT_DOUBLE_EQ(up.farHand.y, up.shoulder.y - 4.75);
        EXPECT_DOUBLE_EQ(up.nearHand.y, up.shoulder.y - 4.75);
        EXPECT_DOUBLE_EQ(up.farHand.x, up.shoulder.x + 10.4);
        EXPECT_DOUBLE_EQ(up.nearHand.x, up.shoulder.x + 8.9);
    }
    // Four-beat walk: near leg, near arm, far leg, far arm a quarter cycle apart.
    const auto w = Art::apeStance(0, 0);
    EXPECT_EQ(w.nearFoot.x, (w.hip.x - 1) + 4.5 * Art::apeTread(0, 1, 2.2).x);
    EXPECT_EQ(w.farFoot.x, (w.hip.x - 1) + 4.5 * Art::apeTread(0.5, 1, 2.2).x);
}

TEST(ApeLimbs, BonesKeepTheirLengthAndBendTheStatedWay) {
    const cg::Point hip{0, 14}, foot{1, 2};
    const cg::Point knee = Art::apeJoint(hip, foot, 6.8, 7, 1);
    EXPECT_NEAR(std::hypot(knee.x - hip.x, knee.y - hip.y), 6.8, 1e-9);
    EXPECT_NEAR(std::hypot(foot.x - knee.x, foot.y - knee.y), 7, 1e-9);
    EXPECT_GT(knee.x, 0.5);  // counter-clockwise of a downward limb: forward
    const cg::Point elbow = Art::apeJoint({10, 24}, {12, 4}, 10.6, 11, -1);
    EXPECT_LT(elbow.x, 11);  // clockwise: back
    // Out of reach: the joint lies on the straight line at the upper bone's length.
    const cg::Point straight = Art::apeJoint({0, 0}, {0, -40}, 6.8, 7, 1);
    const double d = 6.8 + 7 - 0.01;
    EXPECT_NEAR(straight.y, -(d * d + 6.8 * 6.8 - 49) / (2 * d), 1e-9);
    EXPECT_LT(std::fabs(straight.x), 0.5);
    // Coincident ends fold the limb without a fault.
    const cg::Point folded = Art::apeJoint({3, 3}, {3, 3}, 6.8, 7, 1);
    EXPECT_TRUE(std::isfinite(folded.x) && std::isfinite(folded.y));
}

TEST(ApeBeat, SpotRunsOverPointIndices) {
    const std::vector<cg::Point> one{{12, 34}};
    for (const double t : {0.0, 0.5, 1.0, -3.0, 7.0, std::nan("")}) EXPECT_EQ(Art::beatSpot(one, t), one[0]);
    const std::vector<cg::Point> path{{0, 0}, {1, 0}, {101, 0}};
    EXPECT_EQ(Art::beatSpot(path, 0.5), (cg::Point{1, 0}));  // index, not arc length
    EXPECT_EQ(Art::beatSpot(path, 0.75), (cg::Point{51, 0}));
    EXPECT_EQ(Art::beatSpot(path, 1), (cg::Point{101, 0}));
    EXPECT_EQ(Art::beatSpot(path, 2), (cg::Point{101, 0}));
    EXPECT_EQ(Art::beatSpot(path, -1), (cg::Point{0, 0}));
    EXPECT_EQ(Art::beatSpot({}, 0.5), (cg::Point{0, 0}));
}

TEST(ApeTimeline, ShortBeatIsOnlyTheShows) {
    for (const std::vector<cg::Point>& beat : {std::vector<cg::Point>{{50, 60}, {58.6, 60}},
                                               std::vector<cg::Point>{{50, 60}}}) {
        ASSERT_LT(length(beat), 8.7);
        const auto line = Art::apeTimeline(beat);
        ASSERT_EQ(line.frames.size(), 152u);
        ASSERT_EQ(line.path.size(), 152u);
        std::vector<Pose> expected = show(false, 45);
        const auto back = show(true, 45);
        expected.insert(expected.end(), back.begin(), back.end());
        EXPECT_EQ(line.frames, expected);
        for (std::size_t i = 0; i < 78; ++i) EXPECT_EQ(line.path[i], beat.back());
        for (std::size_t i = 78; i < 152; ++i) EXPECT_EQ(line.path[i], beat.front());
    }
}

TEST(ApeTimeline, OneCyclePerSeventeenPointFour) {
    const std::vector<cg::Point> beat{{100, 80}, {117.4, 80}};
    const auto line = Art::apeTimeline(beat);
    ASSERT_EQ(line.frames.size(), 20u + 33 + 10 + 20 + 29 + 10);
    for (int j = 0; j < 20; ++j) {
        EXPECT_EQ(line.frames[j], (Pose{Set::walk, false, j}));
        const double f = j / 20.0;
        const double u = f + 0.012 * std::sin(-4 * M_PI * f);
        EXPECT_NEAR(line.path[j].x, 100 + 17.4 * u, 1e-9);
        EXPECT_EQ(line.path[j].y, 80);
    }
    const std::size_t backStart = 20 + 33 + 10;
    std::vector<Pose> out(line.frames.begin() + 20, line.frames.begin() + backStart);
    EXPECT_EQ(out, show(false, 10));
    for (int j = 0; j < 20; ++j) {
        EXPECT_EQ(line.frames[backStart + j], (Pose{Set::walk, true, j}));
        const double f = j / 20.0;
        const double u = f + 0.012 * std::sin(-4 * M_PI * f);
        EXPECT_NEAR(line.path[backStart + j].x, 100 + 17.4 * (1 - u), 1e-9);
    }
    std::vector<Pose> back(line.frames.begin() + backStart + 20, line.frames.end());
    EXPECT_EQ(back, show(true, 10));
    EXPECT_EQ(line.path[backStart - 1], beat.back());
    EXPECT_EQ(line.path.back(), beat.front());

    // Half a cycle rounds away from zero; just under it rounds to nothing.
    EXPECT_EQ(Art::apeTimeline({{0, 0}, {8.7, 0}}).frames.size(), 122u);
    EXPECT_EQ(Art::apeTimeline({{0, 0}, {8.69, 0}}).frames.size(), 152u);
    // Two cycles over a bent path.
    EXPECT_EQ(Art::apeTimeline({{0, 0}, {20, 0}, {20, 14.8}}).frames.size(), 40u + 33 + 10 + 40 + 29 + 10);
}

TEST(ApeTimeline, ClickReactionsForBothOrientations) {
    const auto line = Art::apeTimeline({{0, 0}});
    ASSERT_EQ(line.shade.size(), 52u);
    for (const bool m : {false, true}) {
        std::vector<Pose> r;
        for (int k = 0; k < 6; ++k) r.push_back({Set::rear, m, k});
        r.push_back({Set::front, false, 0});
        for (int k = 0; k < 12; ++k) r.push_back({Set::front, false, 1 + k % 2});
        r.push_back({Set::front, false, 0});
        for (int k = 5; k >= 0; --k) r.push_back({Set::rear, m, k});
        EXPECT_EQ(std::vector<Pose>(line.shade.begin() + (m ? 26 : 0), line.shade.begin() + (m ? 52 : 26)), r);
    }
    EXPECT_TRUE(Art::apeTimeline({}).frames.empty());
}

TEST(Kong, SpriteCarriesFramesPositionsAndReactions) {
    auto p = painter(false, 2);
    const std::vector<cg::Point> beat{{100, 80}, {117.4, 80}};
    p.art->kong(beat);
    ASSERT_EQ(p.art->sprites.size(), 1u);
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
    const Sprite& sp = p.art->sprites[0];
    const auto line = Art::apeTimeline(beat);
    EXPECT_EQ(sp.kind, Sprite::Kind::act);
    EXPECT_EQ(sp.size, 69.6);
    EXPECT_EQ(sp.anchor, (cg::Point{0.48275862068965525, 0.12903225806451613}));
    EXPECT_EQ(sp.beat, 0.13);
    EXPECT_EQ(sp.phase, Art::rand(beat[0], 3));
    EXPECT_EQ(sp.at, (cg::Point{100, 180 - 80}));
    ASSERT_EQ(sp.path.size(), line.path.size());
    for (std::size_t i = 0; i < sp.path.size(); ++i) EXPECT_EQ(sp.path[i], p.art->flip(line.path[i]));
    EXPECT_EQ(sp.at, sp.path[0]);
    EXPECT_FALSE(sp.image);

    // 55 pose drawings, shared by reference: equal poses are the same image and different poses differ.
    ASSERT_EQ(sp.frames.size(), line.frames.size());
    ASSERT_EQ(sp.shade.size(), 52u);
    std::vector<Pose> poses(line.frames);
    poses.insert(poses.end(), line.shade.begin(), line.shade.end());
    std::vector<const cg::Image*> images;
    for (const auto& f : sp.frames) images.push_back(f.get());
    for (const auto& f : sp.shade) images.push_back(f.get());
    std::set<const cg::Image*> distinct(images.begin(), images.end());
    EXPECT_EQ(distinct.size(), 55u);
    for (std::size_t i = 0; i < poses.size(); ++i)
        for (std::size_t j = i + 1; j < poses.size(); ++j)
            ASSERT_EQ(poses[i] == poses[j], images[i] == images[j]) << i << " " << j;
    for (const cg::Image* img : distinct) {
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->pixelWidth(), 140);   // ⌈69.6 × 2⌉
        EXPECT_EQ(img->pixelHeight(), 149);  // ⌈74.4 × 2⌉
    }
}

TEST(Kong, OnePointBeatStandsAndShows) {
    auto p = painter(true, 1);
    p.art->kong({{40, 30}});
    ASSERT_EQ(p.art->sprites.size(), 1u);
    const Sprite& sp = p.art->sprites[0];
    EXPECT_EQ(sp.frames.size(), 152u);
    ASSERT_EQ(sp.path.size(), 152u);
    for (const auto& q : sp.path) EXPECT_EQ(q, (cg::Point{40, 150}));
    EXPECT_EQ(sp.frames[0]->pixelWidth(), 70);
    EXPECT_EQ(sp.frames[0]->pixelHeight(), 75);

    p.art->kong({});
    EXPECT_EQ(p.art->sprites.size(), 1u);  // an empty beat has no ape
}

TEST(Kong, NoSpriteWhenFramesCannotBeMade) {
    auto p = painter(false, 2000);
    p.art->kong({{40, 30}, {80, 30}});
    EXPECT_TRUE(p.art->sprites.empty());
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
}

TEST(Kong, PosesDrawnBeforehandGiveTheSameSpriteAndAShortListNone) {
    const std::vector<cg::Point> beat{{100, 80}, {117.4, 80}};
    auto whole = painter(false, 1);
    whole.art->kong(beat);
    ASSERT_EQ(whole.art->sprites.size(), 1u);
    std::vector<cg::ImageRef> poses;
    for (std::size_t i = 0; i < Art::kongPoseCount(); ++i) poses.push_back(whole.art->kongPose(i));
    struct Case {
        std::size_t count;
        std::size_t sprites;
    };
    for (const Case c : {Case{poses.size(), 1}, Case{poses.size() - 1, 0}, Case{0, 0}}) {
        auto p = painter(false, 1);
        p.art->kong(beat, std::vector<cg::ImageRef>(poses.begin(), poses.begin() + static_cast<std::ptrdiff_t>(c.count)));
        ASSERT_EQ(p.art->sprites.size(), c.sprites) << c.count;
        if (!c.sprites) continue;
        const Sprite& got = p.art->sprites[0];
        const Sprite& want = whole.art->sprites[0];
        EXPECT_EQ(got.path, want.path);
        ASSERT_EQ(got.frames.size(), want.frames.size());
        for (std::size_t i = 0; i < got.frames.size(); ++i) {
            const cg::Image &a = *got.frames[i], &b = *want.frames[i];
            ASSERT_EQ(a.pixelWidth() * a.pixelHeight(), b.pixelWidth() * b.pixelHeight());
            const std::size_t n = static_cast<std::size_t>(a.pixelWidth()) * static_cast<std::size_t>(a.pixelHeight());
            EXPECT_TRUE(std::equal(a.data(), a.data() + n, b.data())) << i;
        }
    }
}

TEST(ApePose, MirroredFramesKeepTheLightOnTheUpperLeft) {
    // Memory x grows to the right: a lit left side pulls the luminance centroid left. Comparing each
    // frame with the same figure lit from the other side isolates the light from the figure's shape.
    auto p = painter(false);
    for (const bool facing : {false, true}) {
        for (const double xScale : {1.2, -1.2}) {
            const bool mirrored = xScale < 0;
            const double right = lightBias(*pose(*p.art, xScale, mirrored, facing));
            const double wrong = lightBias(*pose(*p.art, xScale, !mirrored, facing));
            EXPECT_LT(right + 0.5, wrong) << facing << " " << xScale;
            // The front figure is symmetric: its light alone decides the side.
            if (facing) {
                EXPECT_LT(right, 0) << xScale;
            }
        }
    }
}

TEST(ApePose, EveryPartAfterTheFirstFurShadingStillShows) {
    // A clip, offset or erasing blend left over from one part would hide the parts drawn after it.
    auto p = painter(false);
    auto front = pose(*p.art, 1.2, false, true, 0, 4);
    auto fig = [](double x, double y) { return cg::Point{33.6 + 1.2 * x, 9.6 + 1.2 * y}; };
    EXPECT_EQ(at(*front, fig(0, 20)).a, 255);      // torso, after the legs
    EXPECT_EQ(at(*front, fig(0, 44)).a, 255);      // head crest
    EXPECT_EQ(at(*front, fig(-13.5, 32.4)).a, 255);  // the left arm's upper bone, outside the torso
    EXPECT_EQ(at(*front, fig(-8, 1.6)).a, 255);    // a foot
    auto side = pose(*p.art, 1.2, false, false, 0, 4);
    const auto st = Art::apeStance(0.3, 0);
    const double cs = std::cos(st.nod), sn = std::sin(st.nod);
    EXPECT_EQ(at(*side, fig(st.head.x + 6 * cs + 2 * sn, st.head.y + 6 * sn - 2 * cs)).a, 255);  // face
    EXPECT_EQ(at(*side, fig(st.nearHand.x + 0.9, st.nearHand.y + 2.4)).a, 255);  // near hand
}

TEST(ApePose, NightEyesGlowAndTheMouthOpensAboveAFifth) {
    auto fig = [](double x, double y) { return cg::Point{33.6 + 1.2 * x, 9.6 + 1.2 * y}; };
    auto day = painter(false), night = painter(true);
    EXPECT_TRUE(near(at(*pose(*day.art, 1.2, false, true, 0, 4), fig(-1.75, 40.4)), 0x8a5422, 3));
    EXPECT_TRUE(near(at(*pose(*night.art, 1.2, false, true, 0, 4), fig(-1.75, 40.4)), 0xf0b860, 3));
    EXPECT_TRUE(near(at(*pose(*day.art, 1.2, false, true, 0.05, 4), fig(0, 36.0)), 0x100e0e, 3));
    EXPECT_TRUE(near(at(*pose(*day.art, 1.2, false, true, 0.06, 4), fig(0, 36.0)), 0x6a1814, 3));
    const auto wide = pose(*day.art, 1.2, false, true, 1, 4);
    EXPECT_TRUE(near(at(*wide, fig(0, 34.5)), 0x6a1814, 3));  // height 4 at roar 1: down to 34.3
    EXPECT_TRUE(near(at(*wide, fig(0, 37.3)), 0xede6d6, 3));  // the teeth
}
