// The still pictures of a scene: sprites frozen in place, sample desktop items or stand-ins on top.
#include "SelfTest/Preview.h"

#include <gtest/gtest.h>

#include <string>

#include "Platform/Graphics/Context.h"

namespace {

// A plain dark background of w × h points at scale 1.
cg::ImageRef background(int w, int h) {
    auto ctx = cg::Context::makeBitmap(w, h, 1);
    ctx->setFillColor(cg::Color::rgb(0x102030));
    ctx->fill(cg::Rect(0, 0, w, h));
    return ctx->makeImage();
}

cg::ImageRef square(uint32_t rgb) {
    auto ctx = cg::Context::makeBitmap(8, 8, 1);
    ctx->setFillColor(cg::Color::rgb(rgb));
    ctx->fill(cg::Rect(0, 0, 8, 8));
    return ctx->makeImage();
}

// Pixel at a point given y-up, as the sprites are placed.
uint32_t at(const cg::Image& img, double x, double y) {
    return img.pixel(static_cast<int>(x), img.pixelHeight() - 1 - static_cast<int>(y)) & 0xFFFFFF;
}

// Whether any pixel in the y-up rect differs from the background.
bool touched(const cg::Image& img, const cg::Image& bg, cg::Rect r) {
    for (int y = static_cast<int>(r.minY()); y < static_cast<int>(r.maxY()); ++y)
        for (int x = static_cast<int>(r.minX()); x < static_cast<int>(r.maxX()); ++x)
            if (at(img, x, y) != at(bg, x, y)) return true;
    return false;
}

Sprite sprite(Sprite::Kind kind, cg::Point where, cg::ImageRef image, std::vector<cg::ImageRef> frames = {},
              std::vector<cg::Point> path = {}, bool closed = false) {
    Sprite sp;
    sp.kind = kind;
    sp.at = where;
    sp.size = 8;
    sp.image = std::move(image);
    sp.frames = std::move(frames);
    sp.path = std::move(path);
    sp.closed = closed;
    return sp;
}

SceneSpec desk(std::vector<cg::Point> icons) {
    SceneSpec s;
    s.size = {400, 300};
    s.scale = 1;
    s.icons = std::move(icons);
    s.iconSize = 48;
    s.textSize = 10;
    return s;
}

}  // namespace

TEST(Preview, SampleItemsRepeatEveryTenIcons) {
    EXPECT_STREQ(SelfTest::sampleItem(0).label, "Projects");
    EXPECT_STREQ(SelfTest::sampleItem(9).label, "Budget.csv");
    EXPECT_STREQ(SelfTest::sampleItem(10).label, "Projects");
    EXPECT_STREQ(SelfTest::sampleItem(11).label, "Photos");
    EXPECT_EQ(SelfTest::sampleItem(12).type, SelfTest::ItemType::pdf);
}

TEST(Preview, SpritesAreFrozenWhereTheyStartAndSomeKindsNeverShow) {
    const auto bg = background(400, 300);
    struct Case {
        const char* what;
        Sprite sprite;
        cg::Point expectAt;  // y-up; (−1, −1): drawn nowhere
    } cases[] = {
        {"at", sprite(Sprite::Kind::light, {50, 50}, square(0xFF0000)), {50, 50}},
        {"first frame without an image", sprite(Sprite::Kind::trip, {90, 50}, nullptr, {square(0x00FF00)}), {90, 50}},
        {"closed two-point path: at",
         sprite(Sprite::Kind::trip, {130, 50}, square(0xFF0000), {}, {{200, 200}, {210, 210}}, true), {130, 50}},
        {"closed three-point path: its first point",
         sprite(Sprite::Kind::trip, {170, 50}, square(0xFF0000), {}, {{250, 200}, {260, 210}, {270, 200}}, true),
         {250, 200}},
        {"cloud", sprite(Sprite::Kind::cloud, {300, 50}, square(0xFF0000)), {-1, -1}},
        {"blast", sprite(Sprite::Kind::blast, {300, 90}, square(0xFF0000)), {-1, -1}},
    };
    for (const Case& c : cases) {
        const auto out = SelfTest::withIcons(bg, desk({}), {c.sprite});
        ASSERT_EQ(out->pixelWidth(), 400);
        ASSERT_EQ(out->pixelHeight(), 300);
        if (c.expectAt.x < 0) {
            EXPECT_FALSE(touched(*out, *bg, cg::Rect(0, 0, 400, 300))) << c.what;
        } else {
            EXPECT_NE(at(*out, c.expectAt.x, c.expectAt.y), at(*bg, 0, 0)) << c.what;
        }
    }
}

TEST(Preview, StandInsHaveLabelBarsOnlyAboveNinePointText) {
    const auto bg = background(400, 300);
    for (double text : {9.0, 10.0}) {
        SceneSpec s = desk({{200, 100}});  // y-up centre (200, 200)
        s.textSize = text;
        const auto out = SelfTest::withIcons(bg, s, {}, true);
        EXPECT_EQ(at(*out, 200, 200), 0xFFFFFFu);
        // The lower bar spans y 200 − 24 − 24 … +6.
        EXPECT_EQ(touched(*out, *bg, cg::Rect(180, 154, 40, 4)), text > 9) << text;
    }
}

TEST(Preview, LabelsSitBelowCentredOrRightOfTheIconAndStayInTheirBox) {
    const auto bg = background(400, 300);
    for (bool right : {false, true}) {
        SceneSpec s = desk({{100, 100}});  // y-up centre (100, 200)
        s.labelsRight = right;
        const auto out = SelfTest::withIcons(bg, s, {});
        const bool below = touched(*out, *bg, cg::Rect(80, 158, 40, 10));
        const bool beside = touched(*out, *bg, cg::Rect(130, 195, 40, 10));
        EXPECT_EQ(below, !right) << right;
        EXPECT_EQ(beside, right) << right;
    }
    // A long name is cut in the middle: nothing is drawn past its label box (78 points wide, centred).
    cg::TextStyle style;
    style.size = 10;
    auto ctx = cg::Context::makeBitmap(300, 40, 1);
    ctx->drawText(std::string(60, 'W') + ".txt", cg::Rect(111, 10, 78, 13), style);
    const auto img = ctx->makeImage();
    bool outside = false, inside = false;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            const bool ink = (img->pixel(x, y) >> 24) != 0;
            if (ink && (x < 108 || x > 192)) outside = true;
            if (ink && x >= 111 && x < 189) inside = true;
        }
    EXPECT_TRUE(inside);
    EXPECT_FALSE(outside);
}
