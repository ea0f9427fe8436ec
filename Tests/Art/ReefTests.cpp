// The reef: its routes, the choices and poses of its props, and whole reef renders by day and by night.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "Art/Reef.h"
#include "ArtTestSupport.h"
#include "SelfTest/SelfTest.h"

namespace {

// The self-test's desktop at one pixel per point: the same placements, a quicker render.
SceneSpec desk(bool night) {
    SceneSpec s = SelfTest::sampleDesktop(SceneKind::reef, night);
    s.scale = 1;
    return s;
}

enum class Group { roamer, bait, turtle, clown, school, ray, bubble, jelly, diver, beam, patch, kelp, anemone, plankton, cloud, other };

// Which group a sprite belongs to, told apart by the fields that set each group off.
Group groupOf(const Sprite& sp) {
    switch (sp.kind) {
        case Sprite::Kind::firefly: return Group::plankton;
        case Sprite::Kind::cloud: return Group::cloud;
        case Sprite::Kind::sway: return sp.size == 16 ? Group::kelp : Group::anemone;
        case Sprite::Kind::trip: break;
        default: return Group::other;
    }
    if (sp.glow) return sp.size == 250 ? Group::beam : Group::patch;
    if (sp.ease == 2.2) return Group::bubble;
    if (sp.beat == 2.4) return Group::jelly;
    if (sp.size == 50) return Group::diver;
    if (sp.beat == 2.8) return Group::turtle;
    if (sp.beat == 2.6) return Group::ray;
    if (sp.pulse == 0.35) return Group::roamer;
    if (sp.beat == 0.32) return Group::bait;
    if (sp.beat == 0.45) return Group::clown;
    if (sp.pulse == 0.4) return Group::school;
    return Group::other;
}

std::map<Group, int> census(const std::vector<Sprite>& sprites) {
    std::map<Group, int> n;
    for (const Sprite& sp : sprites) n[groupOf(sp)] += 1;
    return n;
}

double signedArea(const std::vector<cg::Point>& loop) {
    double sum = 0;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const cg::Point a = loop[i], b = loop[(i + 1) % loop.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum / 2;
}

std::vector<cg::Point> someSpots() {
    std::vector<cg::Point> pts;
    for (int i = 0; i < 300; ++i) pts.push_back({(i * 137) % 1500 + 0.37 * i, (i * 59) % 900 + 0.11 * i});
    return pts;
}

}  // namespace

// --- Routes ---

TEST(ReefRoutes, LapsRingTheirSpotAndRunTheWayTheirHashSays) {
    int reversed = 0;
    for (const cg::Point& p : someSpots()) {
        const auto loop = Art::Reef::lap(p, 50, 30, 40);
        EXPECT_GE(loop.size(), 6u);
        EXPECT_LE(loop.size(), 8u);
        for (const cg::Point& q : loop) EXPECT_LE(std::hypot(q.x - p.x, q.y - p.y), 50 + 1e-9);
        const bool back = Art::rand(p, 43) >= 0.5;
        EXPECT_EQ(signedArea(loop) < 0, back) << p.x << " " << p.y;
        reversed += back;
        // A school member's loop stays close round the school's spot.
        for (const cg::Point& q : Art::Reef::mill(p, 3)) EXPECT_LE(std::hypot(q.x - p.x, q.y - p.y), 22 + 9);
    }
    EXPECT_GT(reversed, 0);
}

TEST(ReefRoutes, BubblesZigzagUpAndJellyfishDriftInFortyPointSteps) {
    for (const cg::Point& p : someSpots()) {
        for (uint64_t i = 0; i < 3; ++i) {
            const auto path = Art::Reef::rise(p, i);
            ASSERT_GE(path.size(), 3u);
            EXPECT_EQ(path.front(), p);
            EXPECT_NEAR(path.back().x, p.x + (Art::rand(p, i) - 0.5) * 8, 1e-9);
            EXPECT_NEAR(path.back().y, p.y - 90, 1e-9);
            // Inner points lie one to two points off the straight line, on alternate sides.
            for (std::size_t k = 1; k + 1 < path.size(); ++k) {
                const double f = static_cast<double>(k) / static_cast<double>(path.size() - 1);
                const double off = path[k].x - (p.x + (path.back().x - p.x) * f);
                EXPECT_GT(std::fabs(off), 0.9);
                EXPECT_LT(std::fabs(off), 2.01);
                EXPECT_EQ(off < 0, k % 2 == 1);
            }
        }
        const auto drift = Art::Reef::drift(p);
        ASSERT_EQ(drift.size(), 6u);
        for (std::size_t k = 1; k < drift.size(); ++k)
            EXPECT_NEAR(std::hypot(drift[k].x - drift[k - 1].x, drift[k].y - drift[k - 1].y), 40, 1e-9);
        EXPECT_LT(drift.back().y, p.y) << "jellyfish drift up the screen";
    }
}

TEST(ReefShimmerCurve, DimOverTheDeepFullOnTheSlopesDimmerOnTheFlats) {
    const struct {
        float depth, factor;
    } table[] = {{-0.1f, 0.55f}, {0, 0.55f}, {0.06f, 0.775f}, {0.12f, 1}, {0.26f, 1}, {0.29f, 0.825f}, {0.4f, 0.65f}};
    for (const auto& row : table) EXPECT_NEAR(reefShimmerCurve(row.depth), row.factor, 1e-6) << row.depth;
}

// --- Props ---

TEST(ReefProps, ClamAndCoralColoursAndFormsFollowTheVariation) {
    using C = Art::Reef::Colors;
    const struct {
        double v;
        C clamDay, clamNight, coralDay, coralNight;
        int form;
    } table[] = {
        {0.001, {0x1f6fa8, 0x58c8e0}, {0x1e3a58, 0x3e6a88}, {0x6a5e3e, 0xb4a47a}, {0x3a3040, 0x6a5a6e}, 2},
        {0.1, {0x2c7a5e, 0x8ad0a0}, {0x2a3a4a, 0x4e6a6a}, {0x40604a, 0x80a286}, {0x263a34, 0x4a6a58}, 1},
        // The clam's third day pair has no night twin: 2 mod 2 picks the first.
        {0.2, {0x5a3c8a, 0x9a7ad0}, {0x1e3a58, 0x3e6a88}, {0x40604a, 0x80a286}, {0x263a34, 0x4a6a58}, 3},
        {0.3, {0x1f6fa8, 0x58c8e0}, {0x2a3a4a, 0x4e6a6a}, {0x40604a, 0x80a286}, {0x263a34, 0x4a6a58}, 0},
        {0.5, {0x5a3c8a, 0x9a7ad0}, {0x2a3a4a, 0x4e6a6a}, {0x52546a, 0x9096b2}, {0x2e2c48, 0x5a5480}, 4},
        {0.9, {0x1f6fa8, 0x58c8e0}, {0x2a3a4a, 0x4e6a6a}, {0x6e5458, 0xb48e92}, {0x3e2e3e, 0x7a5a70}, 2},
    };
    for (const auto& row : table) {
        EXPECT_EQ(Art::Reef::clamColors(row.v, false), row.clamDay) << row.v;
        EXPECT_EQ(Art::Reef::clamColors(row.v, true), row.clamNight) << row.v;
        EXPECT_EQ(Art::Reef::coralColors(row.v, false), row.coralDay) << row.v;
        EXPECT_EQ(Art::Reef::coralColors(row.v, true), row.coralNight) << row.v;
        EXPECT_EQ(Art::Reef::coralForm(row.v), row.form) << row.v;
    }
}

TEST(ReefProps, EveryCoralFormLooksTheSameWhereverItStands) {
    for (double v : {0.3, 0.1, 0.001, 0.2, 0.5}) {
        auto p = arttest::painter(120, 60, 2, SceneKind::reef);
        const auto image = p->offscreen(120, 60, [&] {
            Art::Reef reef(*p.art);
            reef.coral({20, 25}, v, 1.7);
            reef.coral({80, 30}, v, 1.7);
        });
        ASSERT_TRUE(image);
        int worst = 0, inked = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 100; ++x) {
                const uint32_t a = image->pixel(x, y + 10), b = image->pixel(x + 120, y);
                inked += (a >> 24) != 0;
                for (int shift = 0; shift < 32; shift += 8)
                    worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
            }
        EXPECT_GT(inked, 200) << "form " << Art::Reef::coralForm(v);
        EXPECT_LE(worst, 2) << "form " << Art::Reef::coralForm(v);
    }
}

TEST(ReefProps, DiverKicksWithItsLegsInOppositePhase) {
    const auto still = Art::Reef::kicks(0), kick = Art::Reef::kicks(0.25);
    EXPECT_EQ(still[0].foot.x, 10);
    EXPECT_EQ(still[1].foot.x, 10);
    EXPECT_NEAR(still[0].fin, 6.4, 1e-12);
    EXPECT_NEAR(still[1].fin, 6.4, 1e-12);
    EXPECT_NEAR(kick[0].fin, 8, 1e-12);
    EXPECT_NEAR(kick[1].fin, 4.8, 1e-12);

    // The drawn fins reach back as far as the kick says: x 3.6 for both at rest; at a quarter the upper
    // one (y about 15) reaches x 0.8, the lower one (y about 10) only x 6.4.
    const struct {
        double phase;
        cg::Point at;
        bool inked;
    } table[] = {{0, {4.2, 14.8}, true}, {0, {3, 14.8}, false}, {0, {4.2, 9.2}, true}, {0, {3, 9.2}, false},
                 {0.25, {1.5, 15.6}, true}, {0.25, {7, 10}, true}, {0.25, {5.5, 10}, false}};
    auto p = arttest::painter(50, 24, 4, SceneKind::reef, true);
    for (const auto& row : table) {
        const auto frame = p->offscreen(50, 24, [&] { Art::Reef(*p.art).diver(row.phase); });
        ASSERT_TRUE(frame);
        const uint32_t px = frame->pixel(int(row.at.x * 4), int((24 - row.at.y) * 4));
        EXPECT_EQ((px >> 24) > 128, row.inked) << row.phase << " at " << row.at.x << ", " << row.at.y;
    }
}

TEST(ReefFloor, LayingOverRoundsEveryChannelAsSourceOverAtAnyRowLength) {
    // Source pixels: clear, opaque, half and faint alpha, and one whose colour exceeds its alpha (clamped).
    const uint32_t sources[] = {0x00000000, 0xff204060, 0x80402010, 0x10080402, 0x7f7f7f7f, 0x40ff10ff, 0xc0a0b0c0};
    const uint32_t dests[] = {0xffffffff, 0xff123456, 0x00000000, 0x80808080, 0xff010203};
    for (int n : {0, 1, 3, 4, 5, 8, 11, 37}) {
        std::vector<uint32_t> src(static_cast<std::size_t>(n)), dst(src.size()), want(src.size());
        for (int i = 0; i < n; ++i) {
            // Runs of clear pixels too, so that whole clear groups are passed over.
            src[i] = (i / 4) % 3 == 1 ? 0 : sources[(i * 5) % std::size(sources)];
            dst[i] = dests[(i * 3) % std::size(dests)];
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const uint32_t s = (src[i] >> shift) & 0xFF, d = (dst[i] >> shift) & 0xFF;
                out |= std::min<uint32_t>(s + (d * (255 - (src[i] >> 24)) + 127) / 255, 255) << shift;
            }
            want[i] = out;
        }
        Art::Reef::layOver(src.data(), dst.data(), n);
        EXPECT_EQ(dst, want) << n;
    }
}

// --- Whole reefs ---

TEST(ReefScene, DayAndNightGroupsStayWithinTheirLimits) {
    const struct {
        Group group;
        int dayMin, dayMax, nightMin, nightMax;
    } table[] = {
        {Group::roamer, 1, 16, 1, 8}, {Group::bait, 7, 21, 7, 21},   {Group::turtle, 1, 1, 1, 1},
        {Group::school, 7, 28, 0, 0}, {Group::ray, 1, 1, 0, 0},      {Group::bubble, 3, 18, 3, 18},
        {Group::plankton, 0, 0, 1, 30}, {Group::jelly, 0, 0, 1, 3},  {Group::diver, 0, 0, 1, 1},
        {Group::beam, 0, 0, 1, 1},    {Group::patch, 1, 6, 1, 5},    {Group::cloud, 3, 3, 0, 0},
        {Group::kelp, 1, 26, 1, 26},  {Group::anemone, 1, 7, 1, 7},  {Group::other, 0, 0, 0, 0},
    };
    for (bool night : {false, true}) {
        const auto scene = Renderer::render(desk(night), {});
        ASSERT_TRUE(scene);
        auto n = census(scene->sprites);
        for (const auto& row : table) {
            const int lo = night ? row.nightMin : row.dayMin, hi = night ? row.nightMax : row.dayMax;
            EXPECT_GE(n[row.group], lo) << "group " << int(row.group) << (night ? " night" : " day");
            EXPECT_LE(n[row.group], hi) << "group " << int(row.group) << (night ? " night" : " day");
        }
        // Seven bait fish to a ball, seven fish to a school, two fish to an anemone.
        EXPECT_EQ(n[Group::bait] % 7, 0);
        EXPECT_EQ(n[Group::school] % 7, 0);
        EXPECT_EQ(n[Group::clown], 2 * n[Group::anemone]);
        if (night) {
            // The beam lies right under its diver on the same loop.
            const auto& s = scene->sprites;
            const auto beam = std::find_if(s.begin(), s.end(), [](const Sprite& sp) { return groupOf(sp) == Group::beam; });
            ASSERT_NE(beam, s.end());
            ASSERT_NE(beam + 1, s.end());
            EXPECT_EQ(groupOf(beam[1]), Group::diver);
            EXPECT_EQ(beam->path, beam[1].path);
            EXPECT_EQ(beam->phase, beam[1].phase);
        }
    }
}

TEST(ReefScene, AnemonesStandBesideAClusterAndKelpOnTheSlopes) {
    const SceneSpec spec = desk(false);
    const auto scene = Renderer::render(spec, {});
    ASSERT_TRUE(scene);
    const auto& centres = scene->placed.at("reef-day-10");
    const double H = spec.size.height;
    for (const Sprite& sp : scene->sprites) {
        if (groupOf(sp) != Group::anemone) continue;
        double nearest = 1e9;
        for (const cg::Point& c : centres) nearest = std::min(nearest, std::hypot(c.x - sp.at.x, c.y - (H - sp.at.y)));
        EXPECT_GE(nearest, 24);
        EXPECT_LT(nearest, 44);
    }
    // Kelp grows between the floor and the reef top, never on a cliff face.
    const Look look(SceneKind::reef, false, static_cast<float>(H));
    const Terrain t = Renderer::terrain(spec, look, Renderer::keepRects(spec));
    const float e = look.land[0].t;
    const auto& kelp = scene->placed.at("reef-day-3");
    EXPECT_FALSE(kelp.empty());
    for (const cg::Point& p : kelp) {
        EXPECT_GT(t.v->sample(p), 0.05f);
        EXPECT_LT(t.v->sample(p), e - 0.05f);
        EXPECT_LT(t.body->sample(p), e - 0.05f);
    }
}

TEST(ReefScene, IconsEverywherePlaceNothingAndTheRenderStillReturns) {
    for (bool night : {false, true}) {
        SceneSpec s;
        s.size = {640, 400};
        s.scale = 1;
        s.iconSize = 64;
        s.textSize = 12;
        s.kind = SceneKind::reef;
        s.night = night;
        for (double y = 0; y <= 440; y += 60)
            for (double x = 0; x <= 680; x += 60) s.icons.push_back({x, y});
        const auto scene = Renderer::render(s, {});
        ASSERT_TRUE(scene);
        for (const auto& [key, points] : scene->placed)
            if (key.find("-keep") == std::string::npos) {
                EXPECT_TRUE(points.empty()) << key;
            }
        // Only the day's cloud shadows drift over a reef with no room.
        for (const Sprite& sp : scene->sprites) EXPECT_EQ(sp.kind, Sprite::Kind::cloud);
        EXPECT_EQ(scene->sprites.size(), night ? 0u : 3u);
    }
}

TEST(ReefScene, FarThingsStayWhenAnIconMovesOrComesAtNight) {
    const struct {
        cg::Point from, to;
    } moves[] = {{{420, 760}, {720, 760}}, {{420, 300}, {420, 300}}};
    for (const auto& m : moves) {
        SceneSpec a = desk(true), b = a;
        if (m.from == m.to) b.icons.push_back(m.to);
        else b.icons.back() = m.to;
        const auto A = Renderer::render(a, {});
        const auto B = Renderer::render(b, A->placed);
        ASSERT_TRUE(A && B);
        const double H = a.size.height;
        auto far = [&](cg::Point q) {
            q.y = H - q.y;
            return std::hypot(q.x - m.from.x, q.y - m.from.y) > 420 && std::hypot(q.x - m.to.x, q.y - m.to.y) > 420;
        };
        std::size_t farSprites = 0, kept = 0;
        for (const Sprite& sp : A->sprites) {
            if (!far(sp.at) || !std::all_of(sp.path.begin(), sp.path.end(), far)) continue;
            ++farSprites;
            const std::string id = sp.identity();
            kept += std::any_of(B->sprites.begin(), B->sprites.end(), [&](const Sprite& o) { return o.identity() == id; });
        }
        EXPECT_GT(farSprites, 20u);
        EXPECT_EQ(kept, farSprites);
        std::size_t changed = 0, compared = 0;
        for (int y = 0; y < 1112; y += 2)
            for (int x = 0; x < 1710; x += 2) {
                if (!far({double(x), H - y})) continue;
                ++compared;
                changed += A->image->pixel(x, y) != B->image->pixel(x, y);
            }
        EXPECT_LT(changed * 1000, compared);
    }
}

TEST(ReefScene, WithoutFrameBitmapsTheFloorIsTheSameAndSpritesGoWithoutPictures) {
    for (bool night : {false, true}) {
        // The scene's bitmap is one pixel per point either way; at the second scale no frame can be made.
        std::vector<uint32_t> floors[2];
        for (int k = 0; k < 2; ++k) {
            SceneSpec s = desk(night);
            s.scale = k == 0 ? 1 : 5000;
            const Look look(s.kind, night, static_cast<float>(s.size.height));
            const auto keep = Renderer::keepRects(s);
            auto bitmap = cg::Context::makeBitmap(1710, 1112, 1);
            Art art(bitmap.get(), s, Renderer::terrain(s, look, keep), keep, look, {});
            art.reef();
            floors[k] = arttest::pixels(*bitmap->makeImage());
            if (k == 0) continue;
            auto n = census(art.sprites);
            EXPECT_EQ(n[Group::kelp], 0) << "kelp without a frond has no sprite";
            EXPECT_GT(n[Group::anemone], 0);
            EXPECT_GT(n[Group::bubble], 0);
            for (const Sprite& sp : art.sprites) {
                if (sp.kind == Sprite::Kind::sway || groupOf(sp) == Group::bubble || groupOf(sp) == Group::beam) {
                    EXPECT_FALSE(sp.image);
                }
                if (sp.kind == Sprite::Kind::trip && !sp.glow) {
                    EXPECT_TRUE(sp.frames.empty() && sp.shade.empty());
                }
            }
        }
        EXPECT_TRUE(floors[0] == floors[1]) << "the sea floor does not depend on the frames";
    }
}
