// The orbit scene: its paths and rover tracks, the planet and dome props, the frames, and whole renders
// checked against the placements they come from.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "Art/Orbit.h"
#include "ArtTestSupport.h"
#include "SelfTest/SelfTest.h"

namespace {

cg::Point flipped(cg::Point p, double h) { return {p.x, h - p.y}; }

std::vector<cg::Point> placedAt(const RenderedScene& scene, bool night, int salt) {
    const auto it = scene.placed.find(std::string("orbit-") + (night ? "night-" : "day-") + std::to_string(salt));
    return it == scene.placed.end() ? std::vector<cg::Point>{} : it->second;
}

SceneSpec orbitSpec(double w, double h, std::vector<cg::Point> icons, bool night, double scale = 1) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.icons = std::move(icons);
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = SceneKind::orbit;
    s.night = night;
    return s;
}

bool sameImage(const cg::ImageRef& a, const cg::ImageRef& b) { return arttest::pixels(*a) == arttest::pixels(*b); }

}  // namespace

TEST(OrbitPaths, BowsBendToTheirSideAndEndWhereTheyShould) {
    const cg::Point p{500, 400};
    const double k = (Art::rand(p, 2) - 0.5) * 0.18;
    struct Row {
        std::vector<cg::Point> path;
        cg::Point mid, end;
    };
    const Row rows[] = {
        {Art::Orbit::coast(p), {302.8, 362.8}, {120, 280}},
        {Art::Orbit::pass(p), {725, 433}, {920, 550}},
        {Art::Orbit::fall(p), {575.4, 460.4}, {670, 480}},
        {Art::Orbit::rockDrift(p), {630 - 60 * k, 370 - 260 * k}, {760, 340}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(row.path.size(), 3u);
        EXPECT_EQ(row.path[0], p);
        EXPECT_NEAR(row.path[1].x, row.mid.x, 1e-9);
        EXPECT_NEAR(row.path[1].y, row.mid.y, 1e-9);
        EXPECT_NEAR(row.path[2].x, row.end.x, 1e-9);
        EXPECT_NEAR(row.path[2].y, row.end.y, 1e-9);
    }
}

TEST(OrbitPaths, PatrolGoesOnceRoundItsCentreInsideItsEllipse) {
    for (int i = 0; i < 200; ++i) {
        const cg::Point p{37.5 + 7.3 * i, 900 - 3.1 * i};
        const auto loop = Art::Orbit::patrol(p);
        ASSERT_EQ(loop.size(), 6u);
        const double rx = 44 + 24 * Art::rand(p, 1), ry = 28 + 12 * Art::rand(p, 2);
        double turned = 0, last = 0;
        for (std::size_t j = 0; j < loop.size(); ++j) {
            const double u = (loop[j].x - p.x) / rx, v = (loop[j].y - p.y) / ry;
            const double reach = std::hypot(u, v);
            EXPECT_GE(reach, 0.75 - 1e-12);
            EXPECT_LE(reach, 1 + 1e-12);
            const double a = std::atan2(v, u);
            if (j > 0) {
                const double step = std::remainder(a - last, 2 * std::numbers::pi);
                EXPECT_GT(step, 0) << "the loop must keep turning one way";
                turned += step;
            }
            last = a;
        }
        turned += std::remainder(std::atan2((loop[0].y - p.y) / ry, (loop[0].x - p.x) / rx) - last,
                                 2 * std::numbers::pi);
        EXPECT_NEAR(turned, 2 * std::numbers::pi, 1e-9);
    }
}

TEST(OrbitPaths, TracksRunBesideTheLoopOnBothSides) {
    struct Row {
        std::vector<cg::Point> line;
        double o;
        std::vector<cg::Point> expected;
    };
    const Row rows[] = {
        // Heading +x (y up): a positive offset lies on the left, above the line.
        {{{0, 0}, {5, 0}, {10, 0}}, 2.6, {{0, 2.6}, {5, 2.6}, {10, 2.6}}},
        {{{0, 0}, {5, 0}, {10, 0}}, -2.6, {{0, -2.6}, {5, -2.6}, {10, -2.6}}},
        // The last point looks back at its neighbour; a lone point stays where it is.
        {{{0, 0}, {0, 4}}, 1, {{-1, 0}, {-1, 4}}},
        {{{3, 3}}, 2.6, {{3, 3}}},
        // Repeated points never divide by zero.
        {{{3, 3}, {3, 3}}, 2.6, {{3, 3}, {3, 3}}},
    };
    for (const Row& row : rows) {
        const auto side = Art::Orbit::track(row.line, row.o);
        ASSERT_EQ(side.size(), row.expected.size());
        for (std::size_t j = 0; j < side.size(); ++j) {
            EXPECT_NEAR(side[j].x, row.expected[j].x, 1e-12);
            EXPECT_NEAR(side[j].y, row.expected[j].y, 1e-12);
        }
    }
}

TEST(OrbitStars, DenseInASlantedBandWithADarkerLaneDownItsMiddle) {
    // Mean density at signed distance d across the band, sampled along its length on a 1112-point screen.
    const float h = 1112;
    auto mean = [h](double d) {
        double sum = 0;
        for (int i = 0; i < 400; ++i) {
            const double s = -600 + 3.0 * i;
            const double x = 0.85 * h + s * 0.854 + d * 0.52, y = 0.5 * h - s * 0.52 + d * 0.854;
            sum += Art::Orbit::starDensity(static_cast<float>(x), static_cast<float>(y), h);
        }
        return sum / 400;
    };
    EXPECT_GT(mean(70), 0.3);
    EXPECT_GT(mean(-70), 0.3);
    EXPECT_LT(mean(0), 0.8 * mean(70));
    EXPECT_LT(mean(450), 0.01);
    EXPECT_LT(mean(-450), 0.01);
}

TEST(OrbitStars, BandedDotsGiveTheSamePictureAsOnePass) {
    // Dots across band seams, overlapping one another and reaching off the canvas, on a ground that is
    // not blank, at a scale where the bands do not split the height evenly.
    auto banded = arttest::painter(150, 100.5, 2, SceneKind::orbit), direct = arttest::painter(150, 100.5, 2, SceneKind::orbit);
    std::vector<Art::Orbit::Dot> dots;
    RNG rng(42);
    for (int i = 0; i < 400; ++i) {
        const double x = rng.uniform(-10, 160), y = rng.uniform(-10, 160), r = rng.uniform(0.3, 9);
        const double a = rng.uniform(0.2, 1);
        dots.push_back({{x, y}, r, static_cast<uint32_t>(rng.next() * 0xFFFFFF), a});
    }
    for (cg::Context* c : {banded.bitmap.get(), direct.bitmap.get()}) {
        c->setFillColor(cg::Color::rgb(0x203040));
        c->fill(cg::Rect(0, 0, 150, 100));
    }
    banded.art->paintInBands([&](Art& a, const cg::Rect& band) { Art::Orbit::fillDots(*a.ctx, dots, band); });
    for (const Art::Orbit::Dot& d : dots) {
        direct.bitmap->setFillColor(cg::Color::rgb(d.color, d.alpha));
        direct.bitmap->fillEllipse(cg::Rect(d.c.x - d.r, d.c.y - d.r, 2 * d.r, 2 * d.r));
    }
    EXPECT_EQ(arttest::pixels(*banded.bitmap->makeImage()), arttest::pixels(*direct.bitmap->makeImage()));
}

TEST(OrbitProps, PlanetFitsItsBoxWithRingsReachingOutToTheSides) {
    for (double r : {26.0, 36.0}) {
        auto d = arttest::painter(240, 160, 2, SceneKind::orbit);
        Art::Orbit(*d.art).planet({120, 80}, r);
        const cg::Context& c = *d.bitmap;
        double left = 240, right = 0;
        for (int y = 0; y < c.pixelHeight(); ++y)
            for (int x = 0; x < c.pixelWidth(); ++x) {
                if (!(c.pixel(x, y) >> 24)) continue;
                const double px = (x + 0.5) / 2, py = 160 - (y + 0.5) / 2;
                EXPECT_LT(std::fabs(px - 120), 95);
                EXPECT_LT(std::fabs(py - 80), 60);
                left = std::min(left, px);
                right = std::max(right, px);
            }
        EXPECT_LT(left, 120 - 2.1 * r);
        EXPECT_GT(right, 120 + 2.1 * r);
    }
}

TEST(OrbitProps, DomeLightMovesFromTheAntennaToTheDomeAtNight) {
    for (bool night : {false, true}) {
        auto d = arttest::painter(240, 160, 1, SceneKind::orbit, night);
        const cg::Point base{100, 40};
        Art::Orbit(*d.art).habitat(base);
        ASSERT_EQ(d->sprites.size(), 1u);
        const Sprite& sp = d->sprites[0];
        EXPECT_EQ(sp.kind, Sprite::Kind::light);
        EXPECT_EQ(sp.at, night ? cg::Point(100, 45) : cg::Point(113, 54));
        EXPECT_EQ(sp.size, night ? 1.4 : 0.5);
        EXPECT_EQ(sp.color, night ? 0x8FE3FFu : 0xFF5C5Cu);
        // The phase hashes the drawing point, not the scene point it came from.
        EXPECT_EQ(sp.phase, Art::rand(base, 0));
        EXPECT_NE(sp.phase, Art::rand(flipped(base, 160), 0));
        EXPECT_EQ(d.bitmap->pixel(100, 160 - 41) >> 24, 0xFFu);  // the base slab
    }
}

TEST(OrbitScene, FramesAnchorsAndPathsOfTheMovingBodies) {
    for (bool night : {false, true}) {
        const SceneSpec spec = SelfTest::sampleDesktop(SceneKind::orbit, night);
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const double h = spec.size.height, width = night ? 32 : 18;
        const auto rovers = placedAt(*scene, night, 8);
        ASSERT_FALSE(rovers.empty());
        std::size_t seen = 0;
        for (const Sprite& sp : scene->sprites) {
            if (sp.kind != Sprite::Kind::trip) continue;
            if (sp.beat == 2.4) {
                // The rover drives the plain six-point loop; only its tracks are smoothed.
                const cg::Point p = rovers.at(seen++);
                std::vector<cg::Point> loop;
                for (const cg::Point& q : Art::Orbit::patrol(p)) loop.push_back(flipped(q, h));
                EXPECT_EQ(sp.path, loop);
                EXPECT_EQ(sp.at, loop.front());
                EXPECT_TRUE(sp.closed);
                EXPECT_EQ(sp.size, width);
                EXPECT_EQ(sp.anchor, cg::Point(9 / width, 0.5));
                ASSERT_EQ(sp.frames.size(), 6u);
                EXPECT_EQ(sp.frames[0]->pixelWidth(), static_cast<int>(std::ceil(width * spec.scale)));
                EXPECT_FALSE(sameImage(sp.frames[0], sp.frames[1])) << "the beacon blinks in the first frame";
                for (std::size_t i = 2; i < 6; ++i) EXPECT_TRUE(sameImage(sp.frames[1], sp.frames[i]));
            } else if (sp.size == 48) {
                ASSERT_EQ(sp.frames.size(), 8u);
                EXPECT_FALSE(sameImage(sp.frames[0], sp.frames[1])) << "the strobe flashes in the first frame";
            } else if (sp.size == 160 || sp.size == 22) {
                ASSERT_TRUE(sp.image);
                EXPECT_EQ(sp.image->pixelWidth(), static_cast<int>(std::ceil(sp.size * spec.scale)));
            }
        }
        EXPECT_EQ(seen, rovers.size());
    }
}

// Every sprite comes from a placement: twinkling stars from the bright and sparkle stars (kept away from
// the planet), one satellite per planet, meteors, dome lights, and at most the allowed moving bodies.
TEST(OrbitScene, SpritesFollowThePlacementsAndKeepAwayFromThePlanet) {
    std::vector<cg::Point> crowd;  // icons so close that no planet box is clear
    for (double x = 40; x < 520; x += 110)
        for (double y = 40; y < 360; y += 120) crowd.push_back({x, y});
    const SceneSpec specs[] = {SelfTest::sampleDesktop(SceneKind::orbit, false),
                               SelfTest::sampleDesktop(SceneKind::orbit, true), orbitSpec(900, 560, {}, false),
                               orbitSpec(900, 560, {}, true), orbitSpec(520, 360, crowd, false),
                               orbitSpec(520, 360, crowd, true)};
    bool sawNoPlanet = false, sawPlanet = false;
    for (const SceneSpec& spec : specs) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const bool night = spec.night;
        const double h = spec.size.height;
        const auto site = placedAt(*scene, night, 1);
        (site.empty() ? sawNoPlanet : sawPlanet) = true;
        auto farFromPlanet = [&](cg::Point p, double d) {
            return site.empty() || std::hypot(p.x - site[0].x, p.y - site[0].y) > d;
        };

        std::vector<cg::Point> stars;
        for (const cg::Point& p : placedAt(*scene, night, 2))
            if (Art::rand(p, 2) < (night ? 0.06 : 0.035) && farFromPlanet(p, 100)) stars.push_back(flipped(p, h));
        for (const cg::Point& p : placedAt(*scene, night, 10)) {
            EXPECT_TRUE(farFromPlanet(p, 120));
            if (Art::rand(p, 2) < 0.5) stars.push_back(flipped(p, h));
        }
        std::vector<cg::Point> starAt, meteorAt, lightAt;
        std::size_t satellites = 0, trips = 0;
        for (const Sprite& sp : scene->sprites) {
            switch (sp.kind) {
                case Sprite::Kind::star: starAt.push_back(sp.at); break;
                case Sprite::Kind::satellite: ++satellites; break;
                case Sprite::Kind::meteor: meteorAt.push_back(sp.at); break;
                case Sprite::Kind::light: lightAt.push_back(sp.at); break;
                case Sprite::Kind::trip: ++trips; break;
                default: ADD_FAILURE() << "unexpected sprite kind " << Sprite::kindName(sp.kind);
            }
        }
        EXPECT_EQ(starAt, stars);
        EXPECT_EQ(satellites, site.size());
        EXPECT_EQ(meteorAt.size(), placedAt(*scene, night, 5).size());
        EXPECT_LE(meteorAt.size(), 3u);
        EXPECT_EQ(lightAt.size(), placedAt(*scene, night, 4).size());
        EXPECT_EQ(trips, placedAt(*scene, night, 8).size() + placedAt(*scene, night, 7).size() +
                             placedAt(*scene, night, 9).size() + placedAt(*scene, night, 6).size());
    }
    EXPECT_TRUE(sawPlanet);
    EXPECT_TRUE(sawNoPlanet);
}
