#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IconFinder.h"

namespace {

using shots::Box;
using shots::FoundIcon;
using shots::Image;
using shots::Point;

constexpr uint32_t sky = 0x3a6ea5;

Image plain(int w, int h, uint32_t colour = sky) {
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.assign(size_t(w) * size_t(h), colour);
    return image;
}

void fill(Image& image, Box b, uint32_t colour) {
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x) image.pixels[size_t(y) * size_t(image.width) + size_t(x)] = colour;
}

// A line of "text" centred on cx from y: letters 6 px wide, 1 px apart, 11 px tall, in white.
void label(Image& image, double cx, int y, int letters) {
    const int width = letters * 7 - 1;
    const int x0 = int(cx - width / 2.0);
    for (int i = 0; i < letters; ++i) fill(image, {x0 + 7 * i, y + (i % 3), x0 + 7 * i + 6, y + 11}, 0xffffff);
}

// A 48 × 40 folder-like picture centred on (cx, cy) with a darker tab on top and a see-through stripe 2 px
// wide from top to bottom.
void icon(Image& image, int cx, int cy) {
    fill(image, {cx - 24, cy - 20, cx + 24, cy + 20}, 0xe0b040);
    fill(image, {cx - 24, cy - 20, cx - 4, cy - 14}, 0x906020);
    fill(image, {cx + 2, cy - 20, cx + 4, cy + 20}, sky);
}

TEST(IconFinder, TheBackgroundIsTheColourMostPixelsHave) {
    Image image = plain(100, 50);
    fill(image, {0, 0, 60, 20}, 0x101010);  // 1200 pixels against 3800
    EXPECT_EQ(shots::dominantColour(image), sky);
    fill(image, {0, 0, 100, 40}, 0x101010);
    EXPECT_EQ(shots::dominantColour(image), 0x101010u);
}

TEST(IconFinder, DiffersOnlyBeyondTheToleranceInSomeChannel) {
    struct Case {
        uint32_t a, b;
        int tolerance;
        bool differs;
    } cases[] = {{sky, sky, 0, false},           {0x3a6ea5, 0x3a6ebd, 24, false}, {0x3a6ea5, 0x3a6ebe, 24, true},
                 {0x3a6ea5, 0x226ea5, 24, false}, {0x3a6ea5, 0x216ea5, 24, true},  {0x000000, 0x00ff00, 200, true}};
    for (const Case& c : cases) EXPECT_EQ(shots::differs(c.a, c.b, c.tolerance), c.differs) << std::hex << c.a << " " << c.b;
}

TEST(IconFinder, FindsAColumnOfIconsWithTheirLabelsAndTheCentresOfThePictures) {
    Image image = plain(640, 480);
    const int centres[][2] = {{60, 50}, {60, 150}, {60, 250}, {180, 50}};
    for (const auto& c : centres) {
        icon(image, c[0], c[1]);
        label(image, c[0], c[1] + 24, 7);
    }
    // The second icon's name takes two lines.
    label(image, 60, 150 + 24 + 13, 4);
    const auto icons = shots::findIcons(image, shots::dominantColour(image));
    ASSERT_EQ(icons.size(), 4u);
    const double want[][2] = {{60, 50}, {180, 50}, {60, 150}, {60, 250}};
    for (size_t i = 0; i < icons.size(); ++i) {
        EXPECT_DOUBLE_EQ(icons[i].icon.centreX(), want[i][0]) << i;
        EXPECT_DOUBLE_EQ(icons[i].icon.centreY(), want[i][1]) << i;
        EXPECT_EQ(icons[i].icon.height(), 40) << "the label is not part of the picture";
    }
    EXPECT_EQ(icons[0].whole.y1, 50 + 24 + 11);
    EXPECT_EQ(icons[2].whole.y1, 150 + 24 + 13 + 11) << "both lines of the name";
}

TEST(IconFinder, AnIconWellBelowALabelIsAnIconOfItsOwnAndPanelsAndSpecksAreNoIcons) {
    Image image = plain(800, 600);
    fill(image, {0, 0, 800, 26}, 0x000000);  // a panel along the top
    fill(image, {300, 300, 303, 303}, 0xffffff);  // a speck
    icon(image, 100, 100);
    label(image, 100, 124, 8);
    // 12 rows below the label: no longer its name.
    icon(image, 100, 124 + 11 + 12 + 20);
    // A narrow line of text alone is no icon either.
    label(image, 500, 400, 1);
    shots::Options options;
    const auto icons = shots::findIcons(image, sky, options);
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_DOUBLE_EQ(icons[1].icon.centreY(), 124 + 11 + 12 + 20);
    options.labelGap = 12;
    EXPECT_EQ(shots::findIcons(image, sky, options).size(), 1u) << "within the gap it reads as a label";
}

TEST(IconFinder, PixelsCloseToTheBackgroundAreBackground) {
    Image image = plain(200, 200);
    fill(image, {20, 20, 180, 180}, 0x406ea5);  // 6 off in red: a shade of the same background
    icon(image, 100, 100);
    const auto icons = shots::findIcons(image, sky);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].icon.width(), 48);
}

TEST(IconFinder, KeptShareCountsTheIconsOwnPixelsStillShown) {
    Image alone = plain(200, 200);
    icon(alone, 100, 100);
    const auto icons = shots::findIcons(alone, sky);
    ASSERT_EQ(icons.size(), 1u);
    struct Case {
        const char* what;
        Box cover;
        double share;
    } cases[] = {{"nothing over it", {0, 0, 0, 0}, 1.0},
                 {"scenery around it only", {0, 0, 200, 70}, 1.0},
                 {"its left half painted over", {0, 0, 100, 200}, 0.5},
                 {"painted over", {0, 0, 200, 200}, 0.0}};
    for (const Case& c : cases) {
        Image shown = plain(200, 200, 0x208030);  // scenery instead of the plain background
        icon(shown, 100, 100);
        fill(shown, c.cover, 0x208030);
        // The stripe through the icon shows the scenery: it is not the icon's own.
        EXPECT_NEAR(shots::keptShare(alone, shown, icons[0], sky), c.share, 0.03) << c.what;
    }
    EXPECT_EQ(shots::keptShare(alone, plain(100, 100), icons[0], sky), 0) << "another size";
}

FoundIcon at(double cx, double cy) {
    const int x = int(cx) - 24, y = int(cy) - 24;
    return {{x, y, x + 48, y + 48}, {x, y, x + 48, y + 70}};
}

TEST(IconFinder, EveryIconNeedsACentreWithinTheRadiusAndEveryCentreAnIcon) {
    const std::vector<FoundIcon> icons = {at(100, 100), at(100, 200)};
    struct Case {
        const char* what;
        std::vector<Point> centres;
        bool ok;
    } cases[] = {{"exact", {{100, 100}, {100, 200}}, true},
                 {"3 px and 4 px off", {{103, 100}, {100, 196}}, true},
                 {"4.3 px off", {{103, 103}, {100, 200}}, false},
                 {"one centre missing", {{100, 100}}, false},
                 {"a centre without an icon", {{100, 100}, {100, 200}, {300, 300}}, false},
                 {"both centres at one icon", {{100, 100}, {101, 101}}, false},
                 {"none", {}, false}};
    for (const Case& c : cases) {
        bool ok = !c.ok;
        const auto lines = shots::matchCentres(icons, c.centres, 4, ok);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_GE(lines.size(), icons.size()) << c.what;
    }
    bool ok = true;
    shots::matchCentres({}, {}, 4, ok);
    EXPECT_FALSE(ok) << "a screenshot without icons shows nothing to match";
}

TEST(IconFinder, ParsesTheTracedCentres) {
    const auto points = shots::parseCentres(" 100.5,300.0 50,50  x,1 7,8,9 -2.5,1e2 ");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[0].x, 100.5);
    EXPECT_DOUBLE_EQ(points[1].y, 50);
    EXPECT_DOUBLE_EQ(points[2].x, -2.5);
    EXPECT_DOUBLE_EQ(points[2].y, 100);
}

}  // namespace
