// The dispatch over sprite kinds, colour dodge for glowing sprites, and a contact sheet of the
// builders at several times (sprite-layers-sheet.png in $VM_TEST_OUT) for people to look at.

#include "DesktopWindow/SpriteLayer.h"
#include "SpriteLayerTestSupport.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Graphics/Context.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace layertest;

namespace {

// Every animation key in a layer's subtree.
std::set<std::string> keysBelow(const ca::Layer& l) {
    std::set<std::string> keys;
    for (const auto& k : l.animationKeys()) keys.insert(k);
    for (const auto& c : l.sublayers()) keys.merge(keysBelow(*c));
    return keys;
}

cg::ImageRef blob(double w, double h, uint32_t rgb, double alpha) {
    auto c = cg::Context::makeFrame(w, h, 2);
    const cg::Gradient g({cg::Color::rgb(rgb, alpha), cg::Color::rgb(rgb, 0)}, {0, 1});
    c->scaleBy(1, h / w);
    c->drawRadialGradient(g, {w / 2, w / 2}, 0, {w / 2, w / 2}, w / 2);
    return c->makeImage();
}

// A sprite of each kind that its builder can animate: a route, a period, a picture where one is used.
Sprite typical(Sprite::Kind kind) {
    Sprite s = sprite(kind, {120, 80}, 0.3);
    s.size = 20;
    s.travel = 40;
    s.to = {140, 110};
    s.path = {{20, 20}, {200, 40}, {180, 160}, {40, 140}};
    s.closed = true;
    s.beat = 2;
    s.pulse = 0.1;
    s.dim = {0.5};
    // One frame per way point, as a walker needs.
    for (uint32_t c : {0xFFFFFFu, 0xFFEECCu, 0xFFDDAAu, 0xEEEEEEu}) s.frames.push_back(blob(20, 20, c, 1));
    s.image = s.frames.front();
    return s;
}

}  // namespace

TEST(SpriteLayer, EachKindGetsItsBuildersAnimations) {
    using K = Sprite::Kind;
    struct Case {
        K kind;
        std::vector<std::string> keys;
    } cases[] = {
        {K::boat, {"motion", "yaw"}},  {K::wave, {"motion"}},      {K::streak, {"motion"}},
        {K::surf, {"motion"}},         {K::star, {"blink"}},       {K::bird, {"motion", "flap"}},
        {K::satellite, {"orbit"}},     {K::meteor, {"meteor"}},    {K::cloud, {"drift", "billow", "heave", "thin"}},
        {K::fountain, {"rings", "billow"}},
    };
    for (const Case& c : cases) {
        const auto l = layers::layer(typical(c.kind));
        ASSERT_TRUE(l) << Sprite::kindName(c.kind);
        const auto keys = keysBelow(*l);
        for (const auto& k : c.keys) EXPECT_TRUE(keys.count(k)) << Sprite::kindName(c.kind) << " " << k;
    }
    // Every kind gets a layer that moves by itself.
    for (int k = 0; k < Sprite::kindCount; ++k) {
        const auto l = layers::layer(typical(static_cast<K>(k)));
        ASSERT_TRUE(l) << k;
        EXPECT_FALSE(keysBelow(*l).empty()) << Sprite::kindName(static_cast<K>(k));
    }
}

TEST(SpriteLayer, AWaveWithAPictureIsAWhitecap) {
    Sprite s = typical(Sprite::Kind::wave);
    EXPECT_EQ(layers::layer(s)->sublayers().size(), 1u);
    s.image = nullptr;
    const auto arc = layers::layer(s);
    EXPECT_TRUE(arc->sublayers().empty());
    EXPECT_DOUBLE_EQ(arc->bounds().size.width, 2 * (5 + 1.3));
}

TEST(SpriteLayer, GlowingSpritesOfEveryKindBlendByColourDodge) {
    for (int k = 0; k < Sprite::kindCount; ++k)
        for (bool glow : {false, true}) {
            Sprite s = typical(static_cast<Sprite::Kind>(k));
            s.glow = glow;
            EXPECT_EQ(layers::layer(s)->compositingFilter(),
                      glow ? ca::CompositingFilter::colorDodge : ca::CompositingFilter::none)
                << k;
        }
}

TEST(SpriteLayer, ContactSheet) {
    constexpr double kW = 220, kH = 170, kScale = 2;
    struct Row {
        const char* name;
        uint32_t ground;
        std::vector<Sprite> sprites;
        double times[4];
        double zoom = 1;
    };
    std::vector<Row> rows;
    auto route = [](Sprite s) {
        s.path = {{30, 30}, {190, 40}, {170, 140}, {50, 130}};
        s.closed = true;
        s.travel = 25;
        return s;
    };
    {
        Row r{"boats", 0x1D5A7A, {}, {0, 2, 4, 6}};
        for (uint32_t c : {0xFFFFFFu, 0xD04A3Au}) {
            Sprite s = route(sprite(Sprite::Kind::boat, {0, 0}, c == 0xFFFFFF ? 0 : 0.5));
            s.color = c;
            r.sprites.push_back(s);
        }
        rows.push_back(r);
    }
    {
        Row r{"boats close", 0x1D5A7A, {}, {0, 1.5, 3, 4.5}, 3};
        for (uint32_t c : {0xFFFFFFu, 0x3A6AD0u}) {
            Sprite s = sprite(Sprite::Kind::boat, {0, 0}, c == 0xFFFFFF ? 0 : 0.5);
            s.path = {{12, 12}, {62, 16}, {58, 46}, {16, 42}};
            s.closed = true;
            s.travel = 8;
            s.color = c;
            r.sprites.push_back(s);
        }
        rows.push_back(r);
    }
    {
        Row r{"birds close", 0x4F7A4A, {}, {0, 0.1, 0.2, 2}, 3};
        int i = 0;
        for (uint32_t c : {0x26241Fu, 0xF7F9FAu, 0x4A2F2Au}) {
            Sprite s = sprite(Sprite::Kind::bird, {0, 0}, 0.33 * i++);
            s.path = {{12, 12}, {62, 16}, {58, 46}, {16, 42}};
            s.closed = true;
            s.color = c;
            s.beat = 1.2;
            s.travel = 12;
            r.sprites.push_back(s);
        }
        rows.push_back(r);
    }
    {
        Row r{"birds", 0x4F7A4A, {}, {0, 0.2, 0.4, 3}};
        int i = 0;
        for (uint32_t c : {0x26241Fu, 0xF7F9FAu, 0x4A2F2Au}) {
            Sprite s = route(sprite(Sprite::Kind::bird, {0, 0}, 0.33 * i++));
            s.color = c;
            s.beat = 1.2;
            s.travel = 40;
            r.sprites.push_back(s);
        }
        rows.push_back(r);
    }
    {
        Row r{"sky", 0x0A1026, {}, {0.2, 0.5, 0.8, 10}};
        for (int i = 0; i < 8; ++i) {
            Sprite s = sprite(Sprite::Kind::star, {20.0 + 24 * i, 150.0 - 9 * (i % 3)}, i / 8.0);
            s.size = 1 + 0.3 * (i % 3);
            s.travel = i % 2 ? 1.6 : 0;
            s.color = i % 2 ? 0xFFE6B0 : 0xDDE8FF;
            r.sprites.push_back(s);
        }
        Sprite sat = sprite(Sprite::Kind::satellite, {110, 70}, 0);
        sat.travel = 70;
        r.sprites.push_back(sat);
        Sprite m = sprite(Sprite::Kind::meteor, {0, 0}, 0);
        m.path = {{40, 140}, {120, 110}, {190, 60}};
        m.color = 0xFFF2C0;
        r.sprites.push_back(m);
        rows.push_back(r);
    }
    {
        Row r{"clouds", 0x6A8A5A, {}, {0, 5, 10, 15}};
        for (int i = 0; i < 2; ++i) {
            Sprite s = sprite(Sprite::Kind::cloud, {0, 60.0 + 60 * i}, 0.4 * i);
            s.image = blob(90, 40, i ? 0x000000 : 0xFFFFFF, i ? 0.35 : 0.8);
            s.size = 90;
            s.travel = 220;
            r.sprites.push_back(s);
        }
        rows.push_back(r);
    }
    {
        Row r{"water marks", 0x2B6E8E, {}, {0.5, 1.5, 2.5, 3.5}};
        for (int i = 0; i < 3; ++i) {
            Sprite w = sprite(Sprite::Kind::wave, {40.0 + 60 * i, 140}, 0.1 * i);
            w.travel = 30;
            w.color = 0xE8F6FF;
            r.sprites.push_back(w);
            Sprite st = sprite(Sprite::Kind::streak, {40.0 + 60 * i, 110}, 0.2 + 0.1 * i);
            st.travel = 40;
            st.color = 0xCFEFFF;
            r.sprites.push_back(st);
            Sprite c = sprite(Sprite::Kind::wave, {30.0 + 60 * i, 80}, 0.05 * i);
            c.image = blob(24, 6, 0xFFFFFF, 1);
            c.size = 24;
            c.travel = 20;
            r.sprites.push_back(c);
            Sprite sf = sprite(Sprite::Kind::surf, {40.0 + 60 * i, 25}, 0.1 * i);
            sf.to = {40.0 + 60 * i, 45};
            sf.color = 0xFFFFFF;
            r.sprites.push_back(sf);
        }
        rows.push_back(r);
    }
    {
        Row r{"fountains", 0x7A7466, {}, {0, 0.25, 0.5, 0.75}};
        for (int i = 0; i < 3; ++i) {
            Sprite f = sprite(Sprite::Kind::fountain, {40.0 + 70 * i, 85}, 0.2 * i);
            f.size = 14 + 6 * i;
            f.color = i == 1 ? 0xD8F0FF : 0xFFFFFF;
            r.sprites.push_back(f);
        }
        rows.push_back(r);
    }

    auto sheet = cg::Context::makeFrame(4 * kW, kH * static_cast<double>(rows.size()), kScale);
    ASSERT_TRUE(sheet);
    ca::Compositor comp;
    for (size_t row = 0; row < rows.size(); ++row) {
        auto root = std::make_shared<ca::Layer>();
        root->setFrame({0, 0, kW, kH});
        root->setBackgroundColor(cg::Color::rgb(rows[row].ground));
        auto zoom = std::make_shared<ca::Layer>();
        zoom->setAffineTransform(cg::Transform::scale(rows[row].zoom, rows[row].zoom));
        root->addSublayer(zoom);
        for (const Sprite& s : rows[row].sprites) zoom->addSublayer(layers::layer(s));
        root->commit(0);
        std::vector<uint32_t> sums;
        for (int col = 0; col < 4; ++col) {
            auto cell = cg::Context::makeFrame(kW, kH, kScale);
            comp.renderAll(*root, rows[row].times[col], *cell);
            const auto image = cell->makeImage();
            uint32_t sum = 0;
            for (int y = 0; y < image->pixelHeight(); y += 3)
                for (int x = 0; x < image->pixelWidth(); x += 3) sum = sum * 31 + image->pixel(x, y);
            sums.push_back(sum);
            sheet->draw(image, {col * kW + 2, (rows.size() - 1 - row) * kH + 2, kW - 4, kH - 4});
        }
        // Something moved between the first and the last time shown.
        EXPECT_NE(sums.front(), sums.back()) << rows[row].name;
    }
    const char* env = std::getenv("VM_TEST_OUT");
    const auto dir = env && *env ? std::filesystem::path(env) : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(sheet->makeImage()->writePNG((dir / "sprite-layers-sheet.png").string()));
}
