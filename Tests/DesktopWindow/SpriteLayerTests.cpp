// The dispatch over sprite kinds, colour dodge for glowing sprites, and a contact sheet of the
// builders at four times each (sprite-layers-sheet.png in $VM_TEST_OUT) for people to look at.

#include "DesktopWindow/BoatLayer.h"
#include "DesktopWindow/CloudLayers.h"
#include "DesktopWindow/SpriteLayer.h"
#include "DesktopWindow/WaveLayers.h"
#include "SpriteLayerTestSupport.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Graphics/Context.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace layertest;
using K = Sprite::Kind;

namespace {

std::set<std::string> keysBelow(const ca::Layer& l) {
    std::set<std::string> keys;
    for (const auto& k : l.animationKeys()) keys.insert(k);
    for (const auto& c : l.sublayers()) keys.merge(keysBelow(*c));
    return keys;
}

cg::ImageRef blob(double w, double h, uint32_t rgb, double alpha) {
    auto c = cg::Context::makeFrame(w, h, 2);
    c->scaleBy(1, h / w);
    c->drawRadialGradient(cg::Gradient({cg::Color::rgb(rgb, alpha), cg::Color::rgb(rgb, 0)}), {w / 2, w / 2}, 0,
                          {w / 2, w / 2}, w / 2);
    return c->makeImage();
}

// A sprite every builder can animate: a closed route, a period, one picture per way point.
Sprite typical(K kind, cg::Point at = {120, 80}, double phase = 0.3) {
    Sprite s = sprite(kind, at, phase);
    s.size = 20;
    s.travel = 40;
    s.to = {at.x + 20, at.y + 30};
    s.path = {{20, 20}, {200, 40}, {180, 160}, {40, 140}};
    s.closed = true;
    s.beat = 1.2;
    s.dim = {0.5};
    for (uint32_t c : {0xFFFFFFu, 0xFFEECCu, 0xFFDDAAu, 0xEEEEEEu}) s.frames.push_back(blob(20, 6, c, 1));
    s.image = s.frames.front();
    return s;
}

}  // namespace

TEST(SpriteLayer, EachKindGetsItsBuildersAnimationsAndGlowsByColourDodge) {
    const std::map<K, std::vector<std::string>> expected = {
        {K::boat, {"motion", "yaw"}}, {K::wave, {"motion"}},     {K::streak, {"motion"}},
        {K::surf, {"motion"}},        {K::star, {"blink"}},      {K::bird, {"motion", "flap"}},
        {K::satellite, {"orbit"}},    {K::meteor, {"meteor"}},   {K::cloud, {"drift", "billow", "heave", "thin"}},
        {K::fountain, {"rings", "billow"}}};
    for (int k = 0; k < Sprite::kindCount; ++k)
        for (bool glow : {false, true}) {
            Sprite s = typical(static_cast<K>(k));
            s.glow = glow;
            const auto l = layers::layer(s);
            ASSERT_TRUE(l) << k;
            const auto keys = keysBelow(*l);
            EXPECT_FALSE(keys.empty()) << Sprite::kindName(s.kind);
            const auto it = expected.find(s.kind);
            for (const auto& key : it != expected.end() ? it->second : std::vector<std::string>{})
                EXPECT_TRUE(keys.count(key)) << Sprite::kindName(s.kind) << key;
            EXPECT_EQ(l->compositingFilter(), glow ? ca::CompositingFilter::colorDodge : ca::CompositingFilter::none);
        }
    EXPECT_EQ(layers::layer(typical(K::wave))->sublayers().size(), 1u);  // with a picture: the whitecap
}

TEST(SpriteLayer, SharedPicturesAreOneObjectEvenWhenBuiltOnSeveralThreads) {
    constexpr int kThreads = 6;
    std::vector<std::vector<const void*>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&seen, i] {
            const auto body = sub(sub(sub(layers::boat(typical(K::boat)), 1), 2), 0);
            seen[size_t(i)] = {layers::puff(0x123457).get(), layers::arcImage(7, 2, 1, 0x123457).get(),
                               layers::basin(0x123457).rings.front().get(), body->sublayers()[2]->contents().get()};
        });
    for (auto& t : threads) t.join();
    for (const auto& s : seen) EXPECT_EQ(s, seen.front());
}

TEST(SpriteLayer, ContactSheet) {
    constexpr double kW = 220, kH = 170;
    struct Row {
        const char* name;
        uint32_t ground;
        double zoom;
        std::vector<double> times;
        std::vector<Sprite> sprites;
    };
    auto flock = [](K kind, std::vector<uint32_t> colours, double travel, cg::Point scale) {
        std::vector<Sprite> out;
        for (size_t i = 0; i < colours.size(); ++i) {
            Sprite s = typical(kind, {0, 0}, 0.33 * double(i));
            for (auto& p : s.path) p = {p.x * scale.x, p.y * scale.y};
            s.color = colours[i];
            s.travel = travel;
            out.push_back(s);
        }
        return out;
    };
    auto line = [](K kind, int n, cg::Point from, cg::Point step, auto&& setUp) {
        std::vector<Sprite> out;
        for (int i = 0; i < n; ++i) {
            Sprite s = typical(kind, {from.x + step.x * i, from.y + step.y * (i % 3)}, 0.13 * i);
            s.image = nullptr;
            setUp(s, i);
            out.push_back(s);
        }
        return out;
    };
    std::vector<Row> rows = {
        {"boats close", 0x1D5A7A, 3, {0, 1.5, 3, 4.5}, flock(K::boat, {0xFFFFFF, 0x3A6AD0}, 8, {0.3, 0.3})},
        {"birds close", 0x4F7A4A, 3, {0, 0.1, 0.2, 2}, flock(K::bird, {0x26241F, 0xF7F9FA, 0x4A2F2A}, 12, {0.3, 0.3})},
        {"sky", 0x0A1026, 1, {0.2, 0.5, 0.8, 10},
         line(K::star, 8, {20, 150}, {24, -9}, [](Sprite& s, int i) {
             s.size = 1 + 0.3 * (i % 3);
             s.travel = i % 2 ? 1.6 : 0;
             s.color = i % 2 ? 0xFFE6B0 : 0xDDE8FF;
         })},
        {"clouds", 0x6A8A5A, 1, {0, 5, 10, 15},
         line(K::cloud, 2, {0, 60}, {0, 60}, [](Sprite& s, int i) {
             s.image = blob(90, 40, i ? 0x000000 : 0xFFFFFF, i ? 0.35 : 0.8);
             s.size = 90;
             s.travel = 220;
         })},
        {"water marks", 0x2B6E8E, 1, {0.5, 1.5, 2.5, 3.5},
         line(K::wave, 12, {40, 25}, {60, 40}, [](Sprite& s, int i) {
             s.at = {40.0 + 60 * (i % 3), 25.0 + 40 * (i / 3)};
             s.to = {s.at.x, s.at.y + 18};
             s.kind = i / 3 == 0 ? K::surf : i / 3 == 2 ? K::streak : K::wave;
             s.travel = 20 + 5 * (i / 3);
             if (i / 3 == 1) s.image = blob(24, 6, 0xFFFFFF, 1);
         })},
        {"fountains", 0x7A7466, 1, {0, 0.25, 0.5, 0.75},
         line(K::fountain, 3, {40, 85}, {70, 0}, [](Sprite& s, int i) {
             s.size = 14 + 6 * i;
             s.color = i == 1 ? 0xD8F0FF : 0xFFFFFF;
         })},
    };
    rows[2].sprites.push_back(typical(K::satellite, {110, 70}, 0));
    rows[2].sprites.push_back(typical(K::meteor, {0, 0}, 0));
    rows[2].sprites.back().path = {{40, 140}, {120, 110}, {190, 60}};

    auto sheet = cg::Context::makeFrame(4 * kW, kH * double(rows.size()), 2);
    ca::Compositor comp;
    for (size_t row = 0; row < rows.size(); ++row) {
        auto root = std::make_shared<ca::Layer>(), zoom = std::make_shared<ca::Layer>();
        root->setFrame({0, 0, kW, kH});
        root->setBackgroundColor(cg::Color::rgb(rows[row].ground));
        zoom->setAffineTransform(cg::Transform::scale(rows[row].zoom, rows[row].zoom));
        root->addSublayer(zoom);
        for (const Sprite& s : rows[row].sprites) zoom->addSublayer(layers::layer(s));
        root->commit(0);
        std::vector<cg::ImageRef> cells;
        for (int col = 0; col < 4; ++col) {
            auto cell = cg::Context::makeFrame(kW, kH, 2);
            comp.renderAll(*root, rows[row].times[size_t(col)], *cell);
            cells.push_back(cell->makeImage());
            sheet->draw(cells.back(), {col * kW + 2, double(rows.size() - 1 - row) * kH + 2, kW - 4, kH - 4});
        }
        // Something moved between the first and the last time shown.
        const auto &a = *cells.front(), &b = *cells.back();
        EXPECT_FALSE(std::equal(a.data(), a.data() + a.pixelWidth() * a.pixelHeight(), b.data())) << rows[row].name;
    }
    const char* env = std::getenv("VM_TEST_OUT");
    const auto dir = env && *env ? std::filesystem::path(env) : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(sheet->makeImage()->writePNG((dir / "sprite-layers-sheet.png").string()));
}
