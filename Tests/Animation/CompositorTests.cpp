// The compositor at pixel level: each layer kind, opacity, colour dodge, both shadow forms,
// transitions, the minification filter and painting only inside the damage.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Compositor.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace ca;

namespace {

struct Px {
    int a, r, g, b;
    friend bool operator==(const Px&, const Px&) = default;
};

// Pixel at (x, y) counted from the bottom left, premultiplied.
Px up(const cg::Context& c, int x, int y) {
    const uint32_t v = c.pixel(x, c.pixelHeight() - 1 - y);
    return {int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
}

cg::ImageRef solid(int w, int h, uint32_t argb) {
    return cg::Image::fromARGB32(w, h, std::vector<uint32_t>(size_t(w) * size_t(h), argb));
}

std::shared_ptr<Layer> imageLayer(cg::ImageRef image, cg::Rect frame) {
    auto l = std::make_shared<Layer>();
    l->setContents(std::move(image));
    l->setFrame(frame);
    return l;
}

std::unique_ptr<cg::Context> paint(const Layer& root, double t = 0, int w = 100, int h = 100) {
    auto c = cg::Context::makeBitmap(w, h);
    Compositor comp;
    comp.renderAll(root, t, *c);
    return c;
}

}  // namespace

// --- Layer kinds ---

TEST(Compose, ContentsFillTheBoundsTopRowAtTheTop) {
    // Top row blue, bottom row red.
    auto img = cg::Image::fromARGB32(1, 2, {0xFF0000FFu, 0xFFFF0000u});
    Layer root;
    root.addSublayer(imageLayer(img, cg::Rect(10, 20, 30, 40)));
    auto c = paint(root);
    EXPECT_EQ(up(*c, 25, 56).b, 255);  // upper half
    EXPECT_EQ(up(*c, 25, 24).r, 255);  // lower half (texel centres at 30 and 50)
    EXPECT_EQ(up(*c, 5, 30).a, 0);     // outside
    EXPECT_EQ(up(*c, 25, 61).a, 0);
}

TEST(Compose, BackgroundIsRoundedButContentsAreNotMasked) {
    Layer root;
    auto bg = std::make_shared<Layer>();
    bg->setFrame(cg::Rect(10, 10, 40, 40));
    bg->setBackgroundColor(cg::Color::rgb(0x00FF00));
    bg->setCornerRadius(20);
    root.addSublayer(bg);
    auto withImage = imageLayer(solid(2, 2, 0xFFFF0000u), cg::Rect(60, 10, 30, 30));
    withImage->setCornerRadius(15);
    root.addSublayer(withImage);
    auto c = paint(root);
    EXPECT_EQ(up(*c, 30, 30).g, 255);  // centre
    EXPECT_EQ(up(*c, 11, 11).a, 0);    // rounded-off corner
    EXPECT_EQ(up(*c, 61, 11).r, 255);  // contents keep their corners
}

TEST(Compose, ShapeLayerFillsThenStrokesItsPath) {
    Layer root;
    auto s = std::make_shared<ShapeLayer>();
    cg::Path p;
    p.addEllipse(cg::Rect(-20, -20, 40, 40));
    s->setPath(p);
    s->setPosition({50, 50});
    s->setFillColor(cg::Color::rgb(0x0000FF));
    s->setStrokeColor(cg::Color::rgb(0xFF0000));
    s->setLineWidth(4);
    s->setLineCap(cg::LineCap::round);
    s->setLineJoin(cg::LineJoin::round);
    root.addSublayer(s);
    auto c = paint(root);
    EXPECT_EQ(up(*c, 50, 50).b, 255);  // fill
    EXPECT_EQ(up(*c, 70, 50).r, 255);  // on the stroke
    EXPECT_EQ(up(*c, 50, 73).a, 0);    // beyond
    // No fill colour: only the stroke.
    s->setFillColor(std::nullopt);
    auto d = paint(root);
    EXPECT_EQ(up(*d, 50, 50).a, 0);
    EXPECT_EQ(up(*d, 50, 70).r, 255);
}

TEST(Compose, AxialAndRadialGradientLayers) {
    Layer root;
    auto axial = std::make_shared<GradientLayer>();
    axial->setColors({cg::Color::rgb(0xFF0000, 0), cg::Color::rgb(0xFF0000, 1)});
    axial->setStartPoint({0, 0.5});
    axial->setEndPoint({1, 0.5});
    axial->setFrame(cg::Rect(0, 80, 100, 10));
    root.addSublayer(axial);
    auto radial = std::make_shared<GradientLayer>();
    radial->setType(GradientLayer::Type::radial);
    radial->setColors({cg::Color::rgb(0x0000FF), cg::Color::rgb(0x0000FF, 0.5), cg::Color::rgb(0x0000FF, 0)});
    radial->setLocations({0, 0.4, 1});
    radial->setStartPoint({0.5, 0.5});
    radial->setEndPoint({1, 1});
    radial->setFrame(cg::Rect(10, 10, 60, 40));
    root.addSublayer(radial);
    auto c = paint(root);
    EXPECT_LT(up(*c, 2, 85).a, 10);
    EXPECT_NEAR(up(*c, 50, 85).a, 128, 3);
    EXPECT_GT(up(*c, 98, 85).a, 245);
    EXPECT_GT(up(*c, 40, 30).a, 240);        // centre
    EXPECT_NEAR(up(*c, 52, 30).a, 128, 4);   // 0.4 of the way to the rim (x radius 30)
    EXPECT_EQ(up(*c, 11, 11).a, 0);          // corner, outside the ellipse
}

// --- Opacity ---

TEST(Compose, OpacityAppliesToTheSubtreeAsAGroup) {
    Layer root;
    auto parent = std::make_shared<Layer>();
    parent->setOpacity(0.5);
    parent->addSublayer(imageLayer(solid(1, 1, 0xFFFF0000u), cg::Rect(10, 10, 40, 40)));
    parent->addSublayer(imageLayer(solid(1, 1, 0xFF0000FFu), cg::Rect(30, 30, 40, 40)));
    root.addSublayer(parent);
    Compositor comp;
    auto c = cg::Context::makeBitmap(100, 100);
    comp.renderAll(root, 0, *c);
    EXPECT_NEAR(up(*c, 40, 40).a, 128, 1);  // overlap: blue over red, then halved: not 0.75
    EXPECT_NEAR(up(*c, 40, 40).b, 128, 1);
    EXPECT_EQ(up(*c, 40, 40).r, 0);
    EXPECT_EQ(comp.stats().groups, 1u);
    // A subtree that draws once needs no group; opacities multiply and clamp.
    Layer one;
    auto outer = std::make_shared<Layer>();
    outer->setOpacity(0.5);
    auto inner = imageLayer(solid(1, 1, 0xFFFFFFFFu), cg::Rect(0, 0, 10, 10));
    inner->setOpacity(1.7);  // clamped to 1
    outer->addSublayer(inner);
    one.addSublayer(outer);
    comp.renderAll(one, 0, *c);
    EXPECT_NEAR(up(*c, 5, 5).a, 128, 1);
    EXPECT_EQ(comp.stats().groups, 0u);
}

// --- Colour dodge ---

TEST(Compose, ColourDodgeOfASingleLayerAndOfAWholeSubtree) {
    Layer root;
    root.addSublayer(imageLayer(solid(1, 1, 0xFF808080u), cg::Rect(0, 0, 100, 100)));
    auto glow = imageLayer(solid(1, 1, 0xFF808080u), cg::Rect(0, 0, 20, 20));
    glow->setCompositingFilter(CompositingFilter::colorDodge);
    root.addSublayer(glow);
    // A dodged container whose two children overlap: the children composite normally with each
    // other, and the result is dodged once.
    auto group = std::make_shared<Layer>();
    group->setCompositingFilter(CompositingFilter::colorDodge);
    group->addSublayer(imageLayer(solid(1, 1, 0xFFFF0000u), cg::Rect(40, 40, 30, 30)));
    group->addSublayer(imageLayer(solid(1, 1, 0xFF404040u), cg::Rect(55, 55, 30, 30)));
    root.addSublayer(group);
    auto c = paint(root);
    const Px dodged = up(*c, 10, 10);  // 0.5 / (1 − 0.5) = 1
    EXPECT_GE(dodged.r, 254);
    EXPECT_GE(dodged.g, 254);
    EXPECT_EQ(up(*c, 30, 30).r, 128);  // beside it, untouched
    const Px red = up(*c, 45, 45);     // red dodges red to full and green/blue stay grey/(1 − 0)
    EXPECT_EQ(red.r, 255);
    EXPECT_EQ(red.g, 128);
    const Px top = up(*c, 60, 60);     // the grey child hides the red one: 0.5 / (1 − 0.25)
    EXPECT_NEAR(top.r, 171, 1);
    EXPECT_NEAR(top.g, 171, 1);
}

// --- Shadows ---

TEST(Compose, ShadowFromContentFollowsTheStroke) {
    Layer root;
    auto ring = std::make_shared<ShapeLayer>();
    cg::Path circle;
    circle.addEllipse(cg::Rect(-20, -20, 40, 40));
    ring->setPath(circle);
    ring->setPosition({50, 50});
    ring->setFillColor(std::nullopt);
    ring->setStrokeColor(cg::Color::rgb(0xFFFFFF));
    ring->setLineWidth(2);
    ring->setShadowColor({63 / 255.0, 239 / 255.0, 214 / 255.0, 1});
    ring->setShadowOpacity(1);
    ring->setShadowRadius(3);
    ring->setShadowOffset({0, 0});
    root.addSublayer(ring);
    auto c = paint(root);
    const Px onRing = up(*c, 70, 50);
    EXPECT_GT(onRing.r, 240);
    const Px halo = up(*c, 73, 50);  // 2 px outside the ring: the glow's colour
    EXPECT_GT(halo.a, 20);
    EXPECT_GT(halo.g, halo.r);
    EXPECT_EQ(up(*c, 50, 50).a, 0);  // the centre stays clear
    EXPECT_EQ(up(*c, 90, 50).a, 0);  // beyond the blur
}

TEST(Compose, ShadowPathCastsTheEllipseNotTheLayer) {
    Layer root;
    auto flash = std::make_shared<Layer>();
    flash->setBounds(cg::Rect(0, 0, 12, 12));
    flash->setPosition({50, 50});
    flash->setCornerRadius(6);
    flash->setBackgroundColor(cg::Color::rgb(0xFFE7A0));
    flash->setShadowColor(cg::Color::rgb(0xFFE7A0));
    flash->setShadowOpacity(1);
    flash->setShadowRadius(2);
    flash->setShadowOffset({0, 0});
    cg::Path grown;
    grown.addEllipse(cg::Rect(0, 0, 12, 12).insetBy(-6, -6));
    flash->setShadowPath(grown);
    root.addSublayer(flash);
    auto c = paint(root);
    EXPECT_EQ(up(*c, 50, 50).a, 255);
    const Px ring = up(*c, 59, 50);  // outside the bounds, inside the grown ellipse
    EXPECT_GT(ring.a, 200);
    EXPECT_EQ(ring.r, ring.a);  // premultiplied 0xFF red channel
    EXPECT_EQ(up(*c, 50, 70).a, 0);
    // Without a shadow path the shadow would follow the round background instead.
    flash->setShadowPath(std::nullopt);
    EXPECT_LT(up(*paint(root), 62, 50).a, up(*c, 62, 50).a);
}

// --- Transition ---

TEST(Compose, GroundTransitionCrossFades) {
    Layer root;
    auto ground = imageLayer(solid(4, 4, 0xFFFF0000u), cg::Rect(0, 0, 100, 100));
    root.addSublayer(ground);
    Transition fade;
    fade.duration = 2;
    ground->add(fade, "fade");
    ground->setContents(solid(4, 4, 0xFF0000FFu));
    root.commit(0);
    const Px mid = up(*paint(root, 1), 50, 50);
    EXPECT_EQ(mid.a, 255);
    EXPECT_NEAR(mid.r, 128, 1);
    EXPECT_NEAR(mid.b, 128, 1);
    EXPECT_EQ(up(*paint(root, 2), 50, 50).b, 255);
}

// --- Sampling ---

TEST(Compose, MinificationAveragesInsteadOfAliasing) {
    // A 64 × 64 checkerboard of single black and white pixels shown at 8 × 8.
    std::vector<uint32_t> px(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) px[size_t(y * 64 + x)] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    Layer root;
    auto star = imageLayer(cg::Image::fromARGB32(64, 64, px), cg::Rect(10.3, 10.6, 8, 8));
    star->setMinificationFilter(ContentsFilter::trilinear);
    root.addSublayer(star);
    auto c = paint(root, 0, 32, 32);
    for (int y = 12; y < 18; ++y)
        for (int x = 12; x < 18; ++x) EXPECT_NEAR(up(*c, x, y).g, 128, 24) << x << "," << y;
}

// --- Damage-limited painting ---

TEST(Compose, PaintsOnlyInsideTheRectanglesAndSkipsLayersOutside) {
    Layer root;
    root.addSublayer(imageLayer(solid(1, 1, 0xFFFF0000u), cg::Rect(0, 0, 100, 100)));
    for (int i = 0; i < 5; ++i) root.addSublayer(imageLayer(solid(1, 1, 0xFF0000FFu), cg::Rect(i * 20, 0, 10, 10)));
    auto c = cg::Context::makeBitmap(100, 100);
    Compositor comp;
    const cg::Rect damage[] = {cg::Rect(0, 0, 15, 15)};
    comp.render(root, 0, *c, damage);
    EXPECT_EQ(up(*c, 5, 5).b, 255);
    EXPECT_EQ(up(*c, 12, 12).r, 255);
    EXPECT_EQ(up(*c, 25, 5).a, 0);  // outside the damage: untouched
    EXPECT_EQ(comp.stats().layersDrawn, 2u);
    EXPECT_EQ(comp.stats().layersSkipped, 4u);
}

// --- Resampled pictures ---

TEST(Compose, StillPicturesAreResampledOnceAndCopiedAtQuarterPixels) {
    auto disc = [] {
        auto c = cg::Context::makeBitmap(20, 20);
        c->setFillColor(cg::Color::rgb(0xFFAA00));
        c->fillEllipse(cg::Rect(1, 1, 18, 18));
        return c->makeImage();
    }();
    Layer root;
    auto moving = imageLayer(disc, cg::Rect(0, 0, 20, 20));
    moving->add(catest::looping(catest::keyframes("position", {cg::Point{20.3, 30.6}, cg::Point{60.3, 30.6}}), 4, 0),
                "motion");
    root.addSublayer(moving);
    root.commit(0);
    Compositor warm;
    auto a = cg::Context::makeBitmap(100, 100);
    // x = 10.3, 10.8, 15.3, 20.3 and 15.3: two quarter-pixel phases (1 and 3) in x.
    for (double t : {0.0, 0.05, 0.5, 1.0, 0.5}) warm.renderAll(root, t, *a);
    EXPECT_EQ(warm.stats().copied, 1u);
    EXPECT_EQ(warm.stats().resampled, 0u);  // this phase was resampled before
    EXPECT_EQ(warm.cachedPictures(), 2u);
    // A fresh compositor gives the very same pixels: the cache never changes the picture.
    Compositor fresh;
    auto b = cg::Context::makeBitmap(100, 100);
    fresh.renderAll(root, 0.5, *b);
    EXPECT_EQ(fresh.stats().resampled, 1u);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(a->pixel(x, y), b->pixel(x, y));
    // And close to drawing the picture directly at its exact place.
    auto direct = cg::Context::makeBitmap(100, 100);
    direct->drawUnclipped(*disc, cg::Rect(15.3, 20.6, 20, 20));
    EXPECT_NEAR(up(*a, 16, 30).a, up(*direct, 16, 30).a, 40);  // edge: within a quarter pixel
    EXPECT_EQ(up(*a, 25, 30), up(*direct, 25, 30));            // inside: the same
    // A picture that an animation turns is drawn directly (here its rotation is still 0).
    moving->add(catest::looping(catest::keyframes("transform.rotation.z", {0.0, 0.3}), 4, 0), "sway");
    root.commit(0);
    fresh.renderAll(root, 0, *b);
    EXPECT_EQ(fresh.stats().copied, 0u);
}

TEST(Compose, APictureSnapsToItsNearestQuarterPixelCarryingIntoTheNextColumn) {
    // Where a picture's left edge lands, per fractional place: 0.9 and 0.99 round up to the next whole
    // column, where it is copied pixel for pixel, never resampled.
    struct Case {
        double x;
        int firstColumn;
    } const cases[] = {{10.0, 10}, {10.1, 10}, {10.9, 11}, {10.99, 11}, {-0.95, -1}, {-0.05, 0}};
    for (const Case& c : cases) {
        Layer root;
        root.addSublayer(imageLayer(solid(4, 4, 0xFFFF0000u), cg::Rect(c.x, 20, 4, 4)));
        root.commit(0);
        auto out = cg::Context::makeBitmap(40, 40);
        Compositor comp;
        comp.renderAll(root, 0, *out);
        EXPECT_EQ(comp.stats().resampled, 0u) << c.x;
        EXPECT_EQ(comp.stats().copied, 1u) << c.x;
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= c.firstColumn && x < c.firstColumn + 4;
            EXPECT_EQ(up(*out, x, 22).a, inside ? 255 : 0) << "picture at " << c.x << ", column " << x;
        }
    }
}


// --- The background under an opaque ground ---

TEST(Compose, BackgroundIsLeftOutOnlyUnderAnOpaqueGroundCopiedAtFullStrength) {
    std::vector<uint32_t> holed(16, 0xFF204060u);
    holed[5] = 0x80102030u;  // one half-transparent pixel
    const struct {
        cg::ImageRef ground;
        cg::Rect frame;
        double opacity;
        bool skipped;
    } rows[] = {
        {solid(4, 4, 0xFF204060u), cg::Rect(0, 0, 4, 4), 1, true},
        {cg::Image::fromARGB32(4, 4, holed), cg::Rect(0, 0, 4, 4), 1, false},
        {solid(4, 4, 0xFF204060u), cg::Rect(0, 0, 4, 4), 0.5, false},    // faded
        {solid(4, 4, 0xFF204060u), cg::Rect(0.5, 0, 4, 4), 1, false},    // half a pixel off
        {solid(3, 4, 0xFF204060u), cg::Rect(0, 0, 3, 4), 1, false},      // smaller than the damage
    };
    for (const auto& row : rows) {
        Layer root;
        root.addSublayer(imageLayer(row.ground, row.frame));
        root.sublayers()[0]->setOpacity(row.opacity);
        Compositor comp;
        comp.setBackground(cg::Color::rgb(0xFF00FF));
        auto c = cg::Context::makeBitmap(4, 4);
        c->setFillColor(cg::Color::rgb(0x00FF00));  // stale pixels a wrongly skipped clear would leave
        c->fill(cg::Rect(0, 0, 4, 4));
        comp.renderAll(root, 0, *c);
        EXPECT_EQ(comp.stats().backgroundSkipped, row.skipped) << row.frame.minX() << " " << row.opacity;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_LT(up(*c, x, y).g, 0x80) << x << ", " << y;
    }
}
