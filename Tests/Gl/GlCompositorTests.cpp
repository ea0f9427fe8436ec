// The OpenGL compositor against the Cairo one, under Xvfb with Mesa (llvmpipe): the same layer trees
// give the same frames within a small tolerance (rounding of bilinear weights and of premultiplied
// arithmetic differs between pixman and the GPU), its choice and its fallbacks, and its GPU memory.

#include "DesktopWindow/DesktopWindow.h"
#include "DesktopWindow/SpriteLayer.h"
#include "Pipeline/Render.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Transition.h"
#include "Platform/Desktop/CairoFrameCompositor.h"
#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/GlFrameCompositor.h"
#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/ShelfPacker.h"
#include "SelfTest/SelfTest.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string outDir() {
    const char* d = std::getenv("VM_TEST_OUT");
    std::string dir = std::string(d ? d : "test-out") + "/gl";
    std::filesystem::create_directories(dir);
    return dir;
}

struct Env {
    explicit Env(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~Env() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::unique_ptr<GlFrameCompositor> makeGl(int w, int h, int scale = 1, GlFrameCompositor::Options options = {}) {
    std::string why, renderer;
    auto gl = GlFrameCompositor::create(w, h, scale, makeX11GlTarget(), options, why, renderer);
    EXPECT_TRUE(gl) << why;
    return gl;
}

// Small pictures on atlas pages even on the software renderer, which keeps them apart by default:
// the frames compared with Cairo's are those a GPU gets.
std::unique_ptr<GlFrameCompositor> makeAtlasGl(int w, int h) {
    GlFrameCompositor::Options options;
    options.atlas = GlFrameCompositor::Options::Atlas::on;
    return makeGl(w, h, 1, options);
}

struct Difference {
    double within = 0;  // fraction of pixels whose channels all lie within the tolerance
    int largest = 0;    // largest channel difference
};

uint8_t channel(uint32_t p, int c) { return uint8_t(p >> (8 * c)); }

Difference compare(const cg::Image& a, const cg::Image& b, int tolerance, const std::string& diffPath = {}) {
    Difference d;
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return d;
    const size_t n = size_t(a.pixelWidth()) * size_t(a.pixelHeight());
    size_t good = 0;
    std::vector<uint32_t> diff(n);
    for (size_t i = 0; i < n; ++i) {
        int worst = 0;
        for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(int(channel(a.data()[i], c)) - int(channel(b.data()[i], c))));
        d.largest = std::max(d.largest, worst);
        if (worst <= tolerance) ++good;
        // Differences amplified eight times, red where over the tolerance.
        const uint32_t g = uint32_t(std::min(255, worst * 8));
        diff[i] = 0xFF000000u | (worst > tolerance ? 0xFF0000u : 0) | (g << 8) | g;
    }
    d.within = double(good) / double(n);
    if (!diffPath.empty()) cg::Image::fromARGB32(a.pixelWidth(), a.pixelHeight(), std::move(diff))->writePNG(diffPath);
    return d;
}

// A picture with structure: a soft disc with a hard-edged bar, premultiplied.
cg::ImageRef sprite(int w, int h, uint32_t seed) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
            double a = std::clamp(1.2 - 2.4 * std::sqrt(dx * dx + dy * dy), 0.0, 1.0);
            if (std::abs(dx) < 0.1) a = 1;
            const uint32_t A = uint32_t(std::lround(a * 255));
            const uint32_t r = (A * ((seed * 37 + uint32_t(x) * 11) & 0xFF)) / 255;
            const uint32_t g = (A * ((seed * 91 + uint32_t(y) * 7) & 0xFF)) / 255;
            const uint32_t b = (A * ((seed * 13 + uint32_t(x + y) * 5) & 0xFF)) / 255;
            px[size_t(y) * size_t(w) + size_t(x)] = A << 24 | r << 16 | g << 8 | b;
        }
    return cg::Image::fromARGB32(w, h, std::move(px));
}

std::shared_ptr<ca::Layer> pictureLayer(cg::ImageRef image, cg::Rect bounds, cg::Point at) {
    auto l = std::make_shared<ca::Layer>();
    l->setBounds(bounds);
    l->setPosition(at);
    l->setContents(std::move(image));
    return l;
}

// A host with a striped ground, as the desktop's is: an opaque picture copied pixel for pixel.
std::shared_ptr<ca::Layer> host(int w, int h) {
    auto root = std::make_shared<ca::Layer>();
    root->setBounds(cg::Rect(0, 0, w, h));
    root->setAnchorPoint({0, 0});
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y) * size_t(w) + size_t(x)] =
                0xFF000000u | uint32_t((x * 5) & 0xFF) << 16 | uint32_t((y * 3 + 40) & 0xFF) << 8 | uint32_t(((x + y) / 8 % 2) ? 200 : 60);
    auto ground = pictureLayer(cg::Image::fromARGB32(w, h, std::move(px)), cg::Rect(0, 0, w, h), {0, 0});
    ground->setAnchorPoint({0, 0});
    root->addSublayer(ground);
    return root;
}

struct SmallCase {
    friend void PrintTo(const SmallCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    std::function<void(ca::Layer& root)> build;
    double t = 0;
    int tolerance = 3;         // per channel
    double within = 0.999;     // fraction of pixels inside it
};

class SmallTrees : public ::testing::TestWithParam<SmallCase> {};

TEST_P(SmallTrees, MatchCairo) {
    const SmallCase& c = GetParam();
    constexpr int W = 160, H = 120;
    auto root = host(W, H);
    c.build(*root);
    CairoFrameCompositor cairo(W, H, 1);
    cairo.update(*root, c.t, 1);
    const auto a = cairo.frame();
    ASSERT_TRUE(a);
    const std::string base = outDir() + "/small-" + c.name;
    a->writePNG(base + "-cairo.png");
    auto plain = host(W, H);
    CairoFrameCompositor ground(W, H, 1);
    ground.update(*plain, c.t, 1);
    // Both ways of batching: a program for pictures drawn much smaller apart (software renderers),
    // or one program for every picture (GPUs); both ways of handing over vertices; small pictures on
    // atlas pages (GPUs) or in textures of their own (software renderers).
    using Programs = GlFrameCompositor::Options::Programs;
    using Atlas = GlFrameCompositor::Options::Atlas;
    struct Way {
        Programs programs;
        bool mapVertices;
        Atlas atlas;
        const char* suffix;
    };
    for (const Way& way : {Way{Programs::split, true, Atlas::on, "-gl"},
                           Way{Programs::single, false, Atlas::on, "-gl-single-copied"},
                           Way{Programs::split, true, Atlas::off, "-gl-own-textures"}}) {
        GlFrameCompositor::Options options;
        options.programs = way.programs;
        options.mapVertices = way.mapVertices;
        options.atlas = way.atlas;
        const std::string suffix = way.suffix;
        auto gl = makeGl(W, H, 1, options);
        ASSERT_TRUE(gl);
        gl->update(*root, c.t, 1);
        const auto b = gl->frame();
        ASSERT_TRUE(b);
        b->writePNG(base + suffix + ".png");
        const Difference d = compare(*a, *b, c.tolerance, base + suffix + "-diff.png");
        EXPECT_GE(d.within, c.within) << c.name << suffix << ": largest difference " << d.largest;
        // The tree drew something besides the ground: the frames are not just the ground.
        EXPECT_LT(compare(*ground.frame(), *b, 0).within, 0.99) << c.name << suffix << " drew nothing";
    }
}

const cg::Rect kSprite(0, 0, 40, 30);

std::vector<SmallCase> smallCases() {
    std::vector<SmallCase> v;
    v.push_back({"fractional-position", [](ca::Layer& r) {
                     r.addSublayer(pictureLayer(sprite(40, 30, 1), kSprite, {50.3, 60.6}));
                 }});
    v.push_back({"nearest-scaled", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(20, 15, 2), kSprite, {80, 60});
                     l->setMinificationFilter(ca::ContentsFilter::nearest);
                     l->setMagnificationFilter(ca::ContentsFilter::nearest);
                     r.addSublayer(l);
                 }});
    v.push_back({"linear-magnified", [](ca::Layer& r) {
                     r.addSublayer(pictureLayer(sprite(20, 15, 3), kSprite, {80.5, 60.25}));
                 }});
    v.push_back({"rotated", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(40, 30, 4), kSprite, {80, 60});
                     l->setAffineTransform(cg::Transform::rotation(0.5));
                     r.addSublayer(l);
                 }});
    v.push_back({"colour-dodge", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(40, 30, 5), kSprite, {70, 50});
                     l->setCompositingFilter(ca::CompositingFilter::colorDodge);
                     l->setOpacity(0.8);
                     r.addSublayer(l);
                 }});
    v.push_back({"plus-lighter", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(40, 30, 6), kSprite, {70, 50});
                     l->setCompositingFilter(ca::CompositingFilter::plusLighter);
                     r.addSublayer(l);
                 }});
    v.push_back({"group-opacity", [](ca::Layer& r) {
                     auto g = std::make_shared<ca::Layer>();
                     g->setBounds(cg::Rect(0, 0, 100, 80));
                     g->setPosition({80, 60});
                     g->setOpacity(0.5);
                     g->addSublayer(pictureLayer(sprite(40, 30, 7), kSprite, {40, 40}));
                     g->addSublayer(pictureLayer(sprite(40, 30, 8), kSprite, {55, 45}));
                     r.addSublayer(g);
                 }});
    v.push_back({"group-dodge", [](ca::Layer& r) {
                     auto g = std::make_shared<ca::Layer>();
                     g->setBounds(cg::Rect(0, 0, 100, 80));
                     g->setPosition({80, 60});
                     g->setCompositingFilter(ca::CompositingFilter::colorDodge);
                     g->addSublayer(pictureLayer(sprite(40, 30, 9), kSprite, {40, 40}));
                     g->addSublayer(pictureLayer(sprite(40, 30, 10), kSprite, {55, 45}));
                     r.addSublayer(g);
                 }});
    v.push_back({"content-shadow", [](ca::Layer& r) {
                     auto s = std::make_shared<ca::ShapeLayer>();
                     cg::Path p;
                     p.addEllipse(cg::Rect(-20, -20, 40, 40));
                     s->setPath(p);
                     s->setFillColor(std::nullopt);
                     s->setStrokeColor(cg::Color{0.9, 0.95, 1, 0.9});
                     s->setLineWidth(3);
                     s->setPosition({80, 60});
                     s->setShadowColor(cg::Color{0.2, 0.9, 0.8, 1});
                     s->setShadowRadius(3);
                     s->setShadowOpacity(1);
                     s->setShadowOffset({0, 0});
                     r.addSublayer(s);
                 }});
    v.push_back({"path-shadow-rounded-fill", [](ca::Layer& r) {
                     auto l = std::make_shared<ca::Layer>();
                     l->setBounds(cg::Rect(0, 0, 12, 12));
                     l->setCornerRadius(6);
                     l->setPosition({60.5, 40.5});
                     l->setBackgroundColor(cg::Color{1, 0.8, 0.3, 0.9});
                     l->setShadowColor(cg::Color{1, 0.8, 0.3, 1});
                     l->setShadowOpacity(1);
                     l->setShadowRadius(4);
                     l->setShadowOffset({0, 0});
                     cg::Path halo;
                     halo.addEllipse(cg::Rect(-4, -4, 20, 20));
                     l->setShadowPath(halo);
                     l->setOpacity(0.7);
                     r.addSublayer(l);
                 }});
    v.push_back({"gradient", [](ca::Layer& r) {
                     auto g = std::make_shared<ca::GradientLayer>();
                     g->setBounds(cg::Rect(0, 0, 60, 40));
                     g->setPosition({90, 70});
                     g->setColors({cg::Color{1, 1, 1, 0.8}, cg::Color{0.2, 0.4, 1, 0}});
                     g->setType(ca::GradientLayer::Type::radial);
                     g->setStartPoint({0.5, 0.5});
                     g->setEndPoint({1, 1});
                     r.addSublayer(g);
                 }});
    v.push_back({"cross-fade", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(40, 30, 11), kSprite, {60.5, 50});
                     ca::Transition fade;
                     fade.duration = 2;
                     fade.beginTime = 0;
                     l->add(fade, "contents");
                     l->setContents(sprite(40, 30, 12));
                     r.addSublayer(l);
                 }, 0.7});
    v.push_back({"moving-translucent", [](ca::Layer& r) {
                     auto l = pictureLayer(sprite(40, 30, 13), kSprite, {20, 20});
                     ca::BasicAnimation move("position");
                     move.fromValue = cg::Point{20, 20};
                     move.toValue = cg::Point{140, 100};
                     move.duration = 1;
                     l->add(move, "move");
                     l->setOpacity(0.6);
                     r.addSublayer(l);
                 }, 0.37});
    // Small pictures share atlas pages: drawn larger, smaller, turned and cut at their rects, none
    // may show a neighbour's texels past its edge.
    v.push_back({"atlas-neighbours", [](ca::Layer& r) {
                     for (int i = 0; i < 12; ++i) {
                         auto l = pictureLayer(sprite(8 + i, 6 + i % 4, uint32_t(20 + i)), cg::Rect(0, 0, 8 + i, 6 + i % 4),
                                               {14.3 + (i % 4) * 38, 18.6 + (i / 4) * 40});
                         if (i % 3 == 0) l->setAffineTransform(cg::Transform::scale(2.6, 2.6));
                         if (i % 3 == 1) l->setAffineTransform(cg::Transform::rotation(0.3).scaledBy(1.8, 1.8));
                         r.addSublayer(l);
                     }
                     r.addSublayer(pictureLayer(sprite(120, 90, 40), cg::Rect(0, 0, 30, 22), {130.4, 100.2}));
                 }});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Gl, SmallTrees, ::testing::ValuesIn(smallCases()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

// Hundreds of moving pictures for many frames: the mapped vertex ring laps several times (each
// segment reused after its fence), and the last frame still matches Cairo's.
TEST(SmallTreesRing, FramesStayRightAfterTheVertexRingLaps) {
    constexpr int W = 160, H = 120;
    auto root = host(W, H);
    for (int i = 0; i < 300; ++i) {
        auto l = pictureLayer(sprite(6 + i % 5, 5 + i % 3, uint32_t(100 + i % 7)), cg::Rect(0, 0, 6 + i % 5, 5 + i % 3),
                              {double(10 + (i * 37) % 140), double(10 + (i * 53) % 100)});
        ca::BasicAnimation move("position");
        move.fromValue = cg::Point{double(10 + (i * 37) % 140), double(10 + (i * 53) % 100)};
        move.toValue = cg::Point{double(10 + (i * 71) % 140), double(10 + (i * 29) % 100)};
        move.duration = 7;
        l->add(move, "move");
        root->addSublayer(l);
    }
    auto gl = makeAtlasGl(W, H);
    ASSERT_TRUE(gl);
    double t = 0;
    uint64_t quads = 0;
    for (int f = 0; f < 300; ++f) {
        t = f / 30.0;
        gl->update(*root, t, 1);
        quads += gl->frameWork().quads;
    }
    // 4 vertices a picture: twice round the four segments of 32768 vertices.
    EXPECT_GT(quads * 4, uint64_t(2 * 4 * 32768));
    CairoFrameCompositor cairo(W, H, 1);
    cairo.update(*root, t, 1);
    const Difference d = compare(*cairo.frame(), *gl->frame(), 3, outDir() + "/ring-diff.png");
    EXPECT_GE(d.within, 0.999) << "largest difference " << d.largest;
}

// A layer that cg draws (a shape, a fill, a shadow) is drawn again only when what it draws changed:
// not while its opacity animates, not for other layers moving, not for a frame with nothing new.
// (Any change to the layer's own properties draws it again once.)
struct RasterCase {
    friend void PrintTo(const RasterCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    std::function<void(ca::ShapeLayer& shape, ca::Layer& other)> change;
    uint64_t redrawn;  // cg drawings in the next frame
    double t = 0;      // its time
};

class CachedShapes : public ::testing::TestWithParam<RasterCase> {};

TEST_P(CachedShapes, RedrawnOnlyWhenTheirDrawingChanges) {
    const RasterCase& c = GetParam();
    constexpr int W = 160, H = 120;
    auto root = host(W, H);
    auto shape = std::make_shared<ca::ShapeLayer>();
    cg::Path ring;
    ring.addEllipse(cg::Rect(-20, -20, 40, 40));
    shape->setPath(ring);
    shape->setFillColor(cg::Color{0.9, 0.4, 0.2, 0.8});
    shape->setStrokeColor(cg::Color{0.2, 0.3, 1, 1});
    shape->setLineWidth(3);
    shape->setPosition({60.25, 50.5});
    root->addSublayer(shape);
    auto other = pictureLayer(sprite(20, 15, 3), cg::Rect(0, 0, 20, 15), {120, 90});
    root->addSublayer(other);
    auto gl = makeAtlasGl(W, H);
    ASSERT_TRUE(gl);
    gl->update(*root, 0, 1);
    ASSERT_EQ(gl->frameWork().rasters, 1u);
    c.change(*shape, *other);
    root->commit(0);
    gl->invalidate();  // a frame whatever changed
    gl->update(*root, c.t, 1);
    EXPECT_EQ(gl->frameWork().rasters, c.redrawn) << c.name;
    // And what it shows is the shape as it is now.
    CairoFrameCompositor cairo(W, H, 1);
    cairo.update(*root, c.t, 1);
    const Difference d = compare(*cairo.frame(), *gl->frame(), 3);
    EXPECT_GE(d.within, 0.999) << c.name << ": largest difference " << d.largest;
}

INSTANTIATE_TEST_SUITE_P(
    Gl, CachedShapes,
    ::testing::Values(RasterCase{"nothing", [](ca::ShapeLayer&, ca::Layer&) {}, 0},
                      RasterCase{"other-layer-moves", [](ca::ShapeLayer&, ca::Layer& o) { o.setPosition({100, 80}); }, 0},
                      RasterCase{"opacity-animates", [](ca::ShapeLayer& s, ca::Layer&) {
                                     ca::BasicAnimation fade("opacity");
                                     fade.fromValue = 1.0;
                                     fade.toValue = 0.3;
                                     fade.duration = 2;
                                     s.add(fade, "fade");
                                 }, 0, 1},
                      RasterCase{"path", [](ca::ShapeLayer& s, ca::Layer&) {
                                     cg::Path p;
                                     p.addRect(cg::Rect(-15, -10, 30, 20));
                                     s.setPath(p);
                                 }, 1},
                      RasterCase{"fill-colour", [](ca::ShapeLayer& s, ca::Layer&) {
                                     s.setFillColor(cg::Color{0.1, 0.8, 0.3, 1});
                                 }, 1},
                      RasterCase{"line-width", [](ca::ShapeLayer& s, ca::Layer&) { s.setLineWidth(5); }, 1},
                      RasterCase{"moved-by-a-fraction", [](ca::ShapeLayer& s, ca::Layer&) {
                                     s.setPosition({70.5, 52.25});
                                 }, 1}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == '-') ch = '_';
        return n;
    });

// ---- Atlas pages ----

struct PackCase {
    friend void PrintTo(const PackCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    int size, gutter;
    std::vector<std::pair<int, int>> pictures;  // w × h, placed in order
    std::vector<std::optional<std::pair<int, int>>> expected;  // where each goes, or no room
};

class ShelfPacking : public ::testing::TestWithParam<PackCase> {};

TEST_P(ShelfPacking, PlacesPicturesOnShelvesWithGutters) {
    const PackCase& c = GetParam();
    ShelfPacker packer(c.size, c.gutter);
    ASSERT_EQ(c.pictures.size(), c.expected.size());
    std::vector<std::array<int, 4>> placed;
    for (size_t i = 0; i < c.pictures.size(); ++i) {
        const auto [w, h] = c.pictures[i];
        const auto at = packer.place(w, h);
        ASSERT_EQ(at.has_value(), c.expected[i].has_value()) << c.name << " picture " << i;
        if (!at) continue;
        EXPECT_EQ(at->x, c.expected[i]->first) << c.name << " picture " << i;
        EXPECT_EQ(at->y, c.expected[i]->second) << c.name << " picture " << i;
        // Inside the page with a gutter to its edges, and a gutter from every other picture.
        EXPECT_GE(at->x, c.gutter);
        EXPECT_GE(at->y, c.gutter);
        EXPECT_LE(at->x + w + c.gutter, c.size);
        EXPECT_LE(at->y + h + c.gutter, c.size);
        for (const auto& q : placed) {
            const bool apart = at->x + w + c.gutter <= q[0] || q[0] + q[2] + c.gutter <= at->x ||
                               at->y + h + c.gutter <= q[1] || q[1] + q[3] + c.gutter <= at->y;
            EXPECT_TRUE(apart) << c.name << " picture " << i << " touches an earlier one";
        }
        placed.push_back({at->x, at->y, w, h});
    }
    EXPECT_EQ(packer.pictures(), int(placed.size()));
}

INSTANTIATE_TEST_SUITE_P(Gl, ShelfPacking,
                         ::testing::Values(
                             PackCase{"one-row", 64, 2, {{10, 10}, {10, 10}, {20, 10}},
                                      {{{2, 2}}, {{14, 2}}, {{26, 2}}}},
                             // A row full: the next shelf starts below the tallest of the first.
                             PackCase{"wraps", 32, 2, {{12, 8}, {12, 8}, {12, 8}},
                                      {{{2, 2}}, {{16, 2}}, {{2, 12}}}},
                             // A short picture goes on the shelf of its height, not a taller one twice its size.
                             PackCase{"shelf-by-height", 128, 2, {{20, 40}, {20, 8}, {20, 30}, {20, 8}},
                                      {{{2, 2}}, {{2, 44}}, {{24, 2}}, {{24, 44}}}},
                             PackCase{"too-large", 32, 2, {{29, 10}, {28, 28}, {28, 29}},
                                      {std::nullopt, {{2, 2}}, std::nullopt}},
                             PackCase{"full", 24, 2, {{9, 9}, {9, 9}, {9, 9}, {9, 9}, {1, 1}},
                                      {{{2, 2}}, {{13, 2}}, {{2, 13}}, {{13, 13}}, std::nullopt}},
                             PackCase{"empty-picture", 32, 2, {{0, 5}, {5, 0}}, {std::nullopt, std::nullopt}}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

// The page is free again only once every picture on it is gone.
TEST(ShelfPackingRelease, ThePageEmptiesWhenItsLastPictureGoes) {
    ShelfPacker packer(24, 2);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(packer.place(9, 9));
    EXPECT_FALSE(packer.place(9, 9));
    for (int i = 0; i < 3; ++i) packer.release();
    EXPECT_EQ(packer.pictures(), 1);
    EXPECT_FALSE(packer.place(9, 9)) << "a place reused while a picture is still on the page";
    packer.release();
    EXPECT_EQ(packer.pictures(), 0);
    EXPECT_EQ(packer.used(), 0);
    const auto again = packer.place(9, 9);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->x, 2);
    EXPECT_EQ(again->y, 2);
}

// ---- Whole scenes ----

struct Desk {
    double t = 0;
    std::vector<std::pair<double, std::function<void()>>> pending;
    std::unique_ptr<RenderedScene> scene;
    std::unique_ptr<DesktopWindow> window;

    Desk(SceneKind kind, bool night, int w, int h) {
        SceneSpec spec = SelfTest::sampleDesktop(kind, night);
        spec.size = {double(w), double(h)};
        spec.scale = 1;
        auto rendered = Renderer::render(spec, {});
        if (!rendered) return;
        scene = std::make_unique<RenderedScene>(std::move(*rendered));
        window = std::make_unique<DesktopWindow>(
            cg::Rect(0, 0, w, h), [](const Sprite& s) { return layers::layer(s); },
            DesktopWindow::Services{[this] { return t; }, [] { return false; },
                                    [this](double d, std::function<void()> f) { pending.push_back({t + d, std::move(f)}); }});
        window->show(*scene, 0.7);
    }

    // Moves the clock to `to`, running timers that fall due.
    void at(double to) {
        t = to;
        for (size_t i = 0; i < pending.size();) {
            if (pending[i].first <= t) {
                auto f = std::move(pending[i].second);
                pending.erase(pending.begin() + long(i));
                f();
                i = 0;
            } else {
                ++i;
            }
        }
        window->host().removeFinishedAnimations(t);
    }
};

struct SceneCase {
    friend void PrintTo(const SceneCase& c, std::ostream* os) {
        *os << scene_kind::rawValue(c.kind) << (c.night ? " by night" : " by day");
    }
    SceneKind kind;
    bool night;
};

class Scenes : public ::testing::TestWithParam<SceneCase> {};

// 99.9 % of the pixels within 3 levels on every channel, at t = 0, 3.3 and 10 s after the show.
TEST_P(Scenes, GlFramesEqualCairoFrames) {
    const SceneCase& c = GetParam();
    constexpr int W = 1280, H = 800;
    Desk desk(c.kind, c.night, W, H);
    ASSERT_TRUE(desk.window);
    CairoFrameCompositor cairo(W, H, 1);
    auto gl = makeAtlasGl(W, H);
    ASSERT_TRUE(gl);
    for (double t : {0.0, 3.3, 10.0}) {
        desk.at(t);
        cairo.update(desk.window->host(), t, 1);
        gl->update(desk.window->host(), t, 1);
        const auto a = cairo.frame(), b = gl->frame();
        ASSERT_TRUE(a && b);
        char name[128];
        std::snprintf(name, sizeof name, "%s/%s-%s-%04.1f", outDir().c_str(),
                      std::string(scene_kind::rawValue(c.kind)).c_str(), c.night ? "night" : "day", t);
        a->writePNG(std::string(name) + "-cairo.png");
        b->writePNG(std::string(name) + "-gl.png");
        const Difference d = compare(*a, *b, 3, std::string(name) + "-diff.png");
        EXPECT_GE(d.within, 0.999) << name << ": largest difference " << d.largest;
        std::printf("%s: %.4f %% within 3 levels, largest difference %d, %.1f MB on the GPU\n", name,
                    100 * d.within, d.largest, double(gl->stats().gpuBytes) / 1e6);
    }
}

std::vector<SceneCase> sceneCases() {
    std::vector<SceneCase> v;
    for (SceneKind k : scene_kind::allCases)
        for (bool night : {false, true}) v.push_back({k, night});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Gl, Scenes, ::testing::ValuesIn(sceneCases()), [](const auto& info) {
    return std::string(scene_kind::rawValue(info.param.kind)) + (info.param.night ? "_night" : "_day");
});

// ---- Memory ----

// The self-test desktop at its full size stays under 256 MB of textures and framebuffers, and
// pictures of a scene that left are given back.
TEST(GlMemory, SelfTestDesktopStaysUnder256MBAndFreesLeftScenes) {
    constexpr int W = 3420, H = 2224;
    constexpr uint64_t kBound = 256ull << 20;
    Desk desk(SceneKind::archipelago, false, W, H);
    ASSERT_TRUE(desk.window);
    auto gl = makeGl(W, H);
    ASSERT_TRUE(gl);
    uint64_t first = 0;
    for (double t = 0; t < 4; t += 0.5) {
        desk.at(t);
        gl->update(desk.window->host(), t, 1);
        first = std::max(first, gl->stats().gpuBytes);
    }
    std::printf("archipelago at %d x %d: %.1f MB on the GPU\n", W, H, double(first) / 1e6);
    EXPECT_LE(first, kBound);
    // At least the frame and the ground.
    EXPECT_GE(first, uint64_t(W) * H * 4 * 2);

    // Another scene: after its fade and a few seconds of frames the old pictures are gone.
    SceneSpec spec = SelfTest::sampleDesktop(SceneKind::winter, true);
    spec.size = {double(W), double(H)};
    auto winter = Renderer::render(spec, {});
    ASSERT_TRUE(winter);
    desk.window->show(*winter, 0.7);
    uint64_t peak = 0, last = 0;
    for (int f = 0; f < 200; ++f) {
        const double t = 4 + f / 30.0;
        desk.at(t);
        gl->update(desk.window->host(), t, 1);
        gl->invalidate();  // a frame every time, as if the scene moved everywhere
        peak = std::max(peak, gl->stats().gpuBytes);
        last = gl->stats().gpuBytes;
    }
    std::printf("after the change to winter: peak %.1f MB, then %.1f MB\n", double(peak) / 1e6, double(last) / 1e6);
    EXPECT_LE(peak, kBound);
    auto fresh = makeGl(W, H);
    ASSERT_TRUE(fresh);
    for (int f = 0; f < 3; ++f) fresh->update(desk.window->host(), desk.t + f / 30.0, 1);
    // Only what the winter scene needs, give or take the offscreen buffers grown meanwhile.
    EXPECT_LE(last, fresh->stats().gpuBytes + uint64_t(W) * H * 4);
    EXPECT_LT(last, peak);
}

// ---- Choice and fallbacks ----

struct ChoiceCase {
    friend void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    const char* compositor;  // VM_COMPOSITOR
    const char* fail;        // VM_GL_FAIL
    bool gl;                 // GL expected
    const char* message;     // part of the stderr line
};

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(Choice, PicksTheBackEndAndSaysWhy) {
    const ChoiceCase& c = GetParam();
    Env a("VM_COMPOSITOR", c.compositor), b("VM_GL_FAIL", c.fail);
    ::testing::internal::CaptureStderr();
    auto comp = makeFrameCompositor(200, 100, 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(comp);
    EXPECT_EQ(dynamic_cast<GlFrameCompositor*>(comp.get()) != nullptr, c.gl) << err;
    EXPECT_EQ(dynamic_cast<CairoFrameCompositor*>(comp.get()) != nullptr, !c.gl) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    // Whichever it is, it draws.
    auto root = host(200, 100);
    EXPECT_TRUE(comp->update(*root, 0, 1));
    EXPECT_EQ(comp->frame()->pixel(10, 10), root->sublayers()[0]->contents()->pixel(10, 10));
}

INSTANTIATE_TEST_SUITE_P(Gl, Choice,
                         ::testing::Values(ChoiceCase{"forced_gl", "gl", nullptr, true, "OpenGL on llvmpipe"},
                                           ChoiceCase{"forced_cairo", "cairo", nullptr, false, "VM_COMPOSITOR=cairo"},
                                           ChoiceCase{"software_renderer", nullptr, nullptr, false,
                                                      "is a software rasteriser"},
                                           ChoiceCase{"no_display", "gl", "display", false, "no EGL display"},
                                           ChoiceCase{"no_context", "gl", "context", false, "no OpenGL 3.3"},
                                           ChoiceCase{"shader_fails", "gl", "shader", false,
                                                      "a shader did not compile"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A lost context hands the window to the Cairo back end, which goes on drawing the same pictures.
TEST(GlFallback, LostContextGoesOnWithCairo) {
    constexpr int W = 160, H = 120;
    auto root = host(W, H);
    root->addSublayer(pictureLayer(sprite(40, 30, 3), kSprite, {50.25, 60.5}));
    auto gl = makeGl(W, H);
    ASSERT_TRUE(gl);
    GtkWidget* box = gl->widget();
    EXPECT_TRUE(gl->update(*root, 0, 1));
    EXPECT_FALSE(gl->fellBack());
    ::testing::internal::CaptureStderr();
    gl->loseContextForTesting();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("context was lost"), std::string::npos) << err;
    EXPECT_TRUE(gl->fellBack());
    EXPECT_EQ(gl->widget(), box);  // the surface keeps its widget
    GList* children = gtk_container_get_children(GTK_CONTAINER(box));
    ASSERT_EQ(g_list_length(children), 1u);
    EXPECT_TRUE(GTK_IS_DRAWING_AREA(children->data));
    g_list_free(children);
    EXPECT_TRUE(gl->update(*root, 0, 1));
    CairoFrameCompositor cairo(W, H, 1);
    cairo.update(*root, 0, 1);
    EXPECT_EQ(compare(*cairo.frame(), *gl->frame(), 0).within, 1.0);
    EXPECT_EQ(gl->stats().gpuBytes, 0u);
}

// A window that takes no GL surface (here a target that finds no native window) is handed to Cairo
// once realized, and is drawn by it from then on.
TEST(GlFallback, WindowWithoutSurfaceGoesOnWithCairo) {
    struct NoWindow : GlWindowTarget {
        std::unique_ptr<GlWindowTarget> real = makeX11GlTarget();
        unsigned platform() const override { return real->platform(); }
        void* nativeDisplay() const override { return real->nativeDisplay(); }
        int nativeVisual() const override { return real->nativeVisual(); }
        void* nativeWindow(GtkWidget*) override { return nullptr; }
    };
    constexpr int W = 160, H = 120;
    std::string why, renderer;
    auto gl = GlFrameCompositor::create(W, H, 1, std::make_unique<NoWindow>(), {}, why, renderer);
    ASSERT_TRUE(gl) << why;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), gl->widget());
    ::testing::internal::CaptureStderr();
    gtk_widget_show_all(window);
    mainloop::runUntil([&] { return gl->fellBack(); }, 10);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(gl->fellBack());
    EXPECT_NE(err.find("takes no GL surface"), std::string::npos) << err;
    auto root = host(W, H);
    root->addSublayer(pictureLayer(sprite(40, 30, 5), kSprite, {70.5, 50.75}));
    EXPECT_TRUE(gl->update(*root, 0, 1));
    CairoFrameCompositor cairo(W, H, 1);
    cairo.update(*root, 0, 1);
    EXPECT_EQ(compare(*cairo.frame(), *gl->frame(), 0).within, 1.0);
    gtk_widget_destroy(window);
}

// ---- On screen ----

// The shell's desktop window on an X server shows what the GL compositor drew: GTK paints nothing
// over it, and the window fade ends at the full picture.
TEST(GlSurface, TheWindowShowsTheComposedFrame) {
    Env a("VM_COMPOSITOR", "gl");
    DesktopShell shell;
    ASSERT_GT(shell.screens(), 0u);
    const DesktopSurface::Geometry g = shell.surface(0)->geometry();
    SceneSpec spec = SelfTest::sampleDesktop(SceneKind::pond, false);
    spec.size = {double(g.width), double(g.height)};
    auto scene = Renderer::render(spec, {});
    ASSERT_TRUE(scene);
    shell.setAnimating(false);
    shell.show(0, *scene, 0.3);
    mainloop::runFor(2.5);
    const FrameCompositor& comp = shell.surface(0)->compositor();
    ASSERT_NE(dynamic_cast<const GlFrameCompositor*>(&comp), nullptr);
    EXPECT_GT(comp.stats().frames, 0u);
    const auto frame = comp.frame();
    ASSERT_TRUE(frame);
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, g.x, g.y, g.width, g.height);
    ASSERT_TRUE(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot), nc = gdk_pixbuf_get_n_channels(shot);
    const guchar* px = gdk_pixbuf_get_pixels(shot);
    std::vector<uint32_t> argb(size_t(g.width) * size_t(g.height));
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const guchar* p = px + y * stride + x * nc;
            argb[size_t(y) * size_t(g.width) + size_t(x)] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    g_object_unref(shot);
    auto screen = cg::Image::fromARGB32(g.width, g.height, std::move(argb));
    screen->writePNG(outDir() + "/surface-screen.png");
    frame->writePNG(outDir() + "/surface-frame.png");
    const Difference d = compare(*frame, *screen, 0, outDir() + "/surface-diff.png");
    EXPECT_GE(d.within, 0.999) << "largest difference " << d.largest;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!mainloop::init()) {
        std::fprintf(stderr, "gl_tests need an X display (ctest runs them under xvfb-run)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
