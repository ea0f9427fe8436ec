#include "Scene/Sprite.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

Sprite light() {
    Sprite s;
    s.kind = Sprite::Kind::light;
    s.at = {10, 20};
    s.size = 6;
    s.phase = 0.5;
    return s;
}

// Splits on blanks outside parentheses and brackets: points and lists count as one part.
std::vector<std::string> parts(const std::string& s) {
    std::vector<std::string> out(1);
    int depth = 0;
    for (char c : s) {
        if (c == '(' || c == '[') ++depth;
        if (c == ')' || c == ']') --depth;
        if (c == ' ' && depth == 0) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

}  // namespace

TEST(SpriteIdentity, DefaultLightMatchesTheKnownText) {
    EXPECT_EQ(light().identity(),
              "light (10.0, 20.0) 6.0 0.5 0.0 (0.0, 0.0) 16777215 0.0 (0.5, 0.5) 1.0 0 [] 0.0 false 0.0 "
              "1.0 0.0 0.0 1.0 true 0.0 0.0 0.0 false []");
}

TEST(SpriteIdentity, HasTwentyFivePartsWithListsAsOne) {
    EXPECT_EQ(parts(light().identity()).size(), 25u);
    Sprite s = light();
    s.path = {{1, 2}, {3, 4}, {5.25, -6}};
    s.dim = {0.1, 2, 3};
    const auto p = parts(s.identity());
    ASSERT_EQ(p.size(), 25u);
    EXPECT_EQ(p[11], "[(1.0, 2.0), (3.0, 4.0), (5.25, -6.0)]");
    EXPECT_EQ(p[24], "[0.1, 2.0, 3.0]");
}

TEST(SpriteIdentity, ImagesTakeNoPart) {
    Sprite a = light(), b = light();
    // Any non-null pointer serves: the identity never looks through it.
    const cg::ImageRef fake(reinterpret_cast<const cg::Image*>(&b), [](const cg::Image*) {});
    b.image = fake;
    b.frames = {fake, fake};
    b.shade = {fake};
    EXPECT_EQ(a.identity(), b.identity());
}

TEST(SpriteIdentity, EveryOtherFieldChangesIt) {
    const std::string base = light().identity();
    std::vector<Sprite> changed;
    auto with = [&](auto edit) {
        Sprite s = light();
        edit(s);
        changed.push_back(s);
    };
    with([](Sprite& s) { s.kind = Sprite::Kind::star; });
    with([](Sprite& s) { s.at.y = 20.5; });
    with([](Sprite& s) { s.size = 7; });
    with([](Sprite& s) { s.phase = 0.25; });
    with([](Sprite& s) { s.travel = 1; });
    with([](Sprite& s) { s.to = {0, 1}; });
    with([](Sprite& s) { s.color = 0xFFFFFE; });
    with([](Sprite& s) { s.angle = 0.1; });
    with([](Sprite& s) { s.anchor = {0.5, 0}; });
    with([](Sprite& s) { s.beat = 2; });
    with([](Sprite& s) { s.dust = 1; });
    with([](Sprite& s) { s.path = {{3, 4}}; });
    with([](Sprite& s) { s.rest = 1; });
    with([](Sprite& s) { s.closed = true; });
    with([](Sprite& s) { s.pulse = 1; });
    with([](Sprite& s) { s.ease = 0; });
    with([](Sprite& s) { s.spin = 1; });
    with([](Sprite& s) { s.hop = 1; });
    with([](Sprite& s) { s.grow = 2; });
    with([](Sprite& s) { s.face = false; });
    with([](Sprite& s) { s.stroke = 1; });
    with([](Sprite& s) { s.blow = 1; });
    with([](Sprite& s) { s.rain = 1; });
    with([](Sprite& s) { s.glow = true; });
    with([](Sprite& s) { s.dim = {1.0}; });
    std::set<std::string> seen{base};
    for (const Sprite& s : changed) EXPECT_TRUE(seen.insert(s.identity()).second) << s.identity();
    EXPECT_EQ(changed.back().identity().substr(base.size() - 2), "[1.0]");
    EXPECT_EQ(parts(changed[11].identity())[11], "[(3.0, 4.0)]");
}

TEST(SpriteIdentity, NegativeZeroIsWrittenWithItsSign) {
    Sprite a = light(), b = light();
    b.angle = -0.0;
    EXPECT_EQ(parts(b.identity())[7], "-0.0");
    EXPECT_NE(a.identity(), b.identity());
    b.angle = 0.0;
    EXPECT_EQ(a.identity(), b.identity());
}

TEST(SpriteIdentity, NumbersAreShortestRoundTripWithAFraction) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> values = {
        0.1, 1.0 / 3, -3.5, 100000, 123456789.25, 1e-4, 3e-5, 1e300, -1e-300, 9007199254740993.0,
        5e-324, 0.30000000000000004, inf, -inf};
    std::set<std::string> texts;
    for (double v : values) {
        Sprite s = light();
        s.size = v;
        const std::string t = parts(s.identity())[2];
        EXPECT_TRUE(texts.insert(t).second) << t;
        if (std::isfinite(v)) {
            EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
        } else {
            EXPECT_EQ(t, v > 0 ? "inf" : "-inf");
        }
        if (t.find_first_of("ein") == std::string::npos) {
            EXPECT_NE(t.find('.'), std::string::npos) << t;
        }
    }
    Sprite s = light();
    s.size = 100000;
    EXPECT_EQ(parts(s.identity())[2], "100000.0");
    s.size = 0.1;
    EXPECT_EQ(parts(s.identity())[2], "0.1");
    s.size = 0.30000000000000004;
    EXPECT_EQ(parts(s.identity())[2], "0.30000000000000004");
}

TEST(SpriteKind, NamesInOrder) {
    const char* expected[] = {"boat",  "wave",  "streak", "surf",  "light",    "firefly", "star",
                              "bird",  "satellite", "meteor", "sway", "cloud", "glide", "trip",
                              "burst", "blast", "fountain", "beam", "window",  "act"};
    ASSERT_EQ(std::size(expected), static_cast<std::size_t>(Sprite::kindCount));
    for (int i = 0; i < Sprite::kindCount; ++i)
        EXPECT_EQ(Sprite::kindName(static_cast<Sprite::Kind>(i)), expected[i]);
    EXPECT_EQ(static_cast<int>(Sprite::Kind::act), 19);
}
