// Walkers: the walk loop, and where a click sets the figure off.

#include "BuilderTestSupport.h"

#include "DesktopWindow/Walkers.h"

using namespace buildertest;

namespace {

// Bars of distinct colours, 10 × 20 points.
std::vector<cg::ImageRef> pictures(int n, uint32_t base = 0xE0A040) {
    std::vector<cg::ImageRef> out;
    for (int i = 0; i < n; ++i) {
        auto c = cg::Context::makeFrame(10, 20, 2);
        c->setFillColor(cg::Color::rgb(base + 0x28 * static_cast<uint32_t>(i)));
        c->fill(cg::Rect(2, 0, 6, 20 - 2 * i));
        out.push_back(c->makeImage());
    }
    return out;
}

// A square loop walked clockwise from the bottom left: up, right, down, left (the last leg heads left).
Sprite walker(int shades = 8) {
    Sprite s;
    s.kind = Sprite::Kind::act;
    s.size = 10;
    s.beat = 0.1;
    s.path = {{0, 0}, {0, 40}, {40, 40}, {40, 0}};
    s.at = s.path[0];
    s.frames = pictures(4);
    s.shade = pictures(shades, 0x3060E0);
    return s;
}

}  // namespace

TEST(Walkers, WalkOneFramePerLegAndSplitTheTurnPictures) {
    Sprite s = walker(5);
    const auto w = Walkers::act(s);
    ASSERT_EQ(w->turns.size(), 2u);
    EXPECT_EQ(w->turns[0], (std::vector<cg::ImageRef>{s.shade[0], s.shade[1]}));
    EXPECT_EQ(w->turns[1], (std::vector<cg::ImageRef>{s.shade[3], s.shade[4]}));
    const auto& g = anim<ca::AnimationGroup>(*w, "motion");
    EXPECT_NEAR(g.duration, 0.4, 1e-12);
    EXPECT_EQ(child<ca::KeyframeAnimation>(g, 1).values.size(), 5u);  // back to the start
    w->commit(0);
    EXPECT_EQ(w->presentation(0.15).contents, s.frames[1]);
    EXPECT_NEAR(w->presentation(0.15).position.x, 20, 1e-9);

    s.path.push_back({0, 20});  // 5 points, 4 frames: stands still and ignores clicks
    const auto still = Walkers::act(s);
    EXPECT_TRUE(still->animationKeys().empty());
    EXPECT_TRUE(still->frames.empty());
    still->setOff(1);
    EXPECT_TRUE(still->animationKeys().empty());
}

TEST(Walkers, AClickAtALegsMidpointTurnsNowAndResumesFromThere) {
    const auto w = Walkers::act(walker());
    w->commit(0);
    w->setOff(0.15);  // the middle of leg 1, heading right: turns[0], 4 pictures
    ASSERT_TRUE(w->animation("turn"));
    const auto& turn = anim<ca::AnimationGroup>(*w, "turn");
    EXPECT_DOUBLE_EQ(turn.beginTime, 0.15);
    EXPECT_NEAR(turn.duration, 0.45, 1e-12);
    EXPECT_NEAR(child<ca::BasicAnimation>(turn, 1).fromValue.point().x, 20, 1e-9);
    const auto& walk = anim<ca::AnimationGroup>(*w, "motion");
    EXPECT_DOUBLE_EQ(walk.beginTime, 0.55);
    EXPECT_NEAR(walk.timeOffset, 1.5 * 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(w->busy, 0.55);
    EXPECT_NEAR(w->presentation(0.45).position.x, 20, 1e-9);
    EXPECT_EQ(w->presentation(0.45).contents, w->turns[0][2]);
    EXPECT_NEAR(w->presentation(0.65).position.y, 20, 1e-9);  // walked on from there for 0.1 s
    EXPECT_EQ(w->presentation(0.65).contents, w->frames[2]);

    w->setOff(0.5);  // still turning: ignored
    EXPECT_DOUBLE_EQ(anim<ca::AnimationGroup>(*w, "turn").beginTime, 0.15);
    w->setOff(0.65);  // walking down leg 2: a new turn, with the other pictures
    EXPECT_DOUBLE_EQ(anim<ca::AnimationGroup>(*w, "turn").beginTime, 0.65);
    EXPECT_EQ(child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*w, "turn"), 0).values[0].image(), w->turns[1][0]);
}

TEST(Walkers, LegsAreChosenByPictureAndDistance) {
    struct Case { cg::Point pos; size_t leg; bool turns; bool right; };
    const Case cases[] = {
        {{1.9, 20}, 0, true, false},   // leg 0 heads up (x does not grow): turns[1]
        {{2.0, 20}, 0, false, false},  // 2 points off: never chosen
        {{30, 1}, 3, true, false},     // the closing leg heads left
    };
    for (const Case& c : cases) {
        auto w = Walkers::act(walker());
        w->removeAllAnimations();
        w->add(ca::AnimationGroup(), "motion");
        w->setContents(w->frames[c.leg]);
        w->setPosition(c.pos);
        w->setOff(0);
        EXPECT_EQ(w->animation("turn") != nullptr, c.turns) << c.pos.x;
    }
    // On the last leg heading right (way reversed), turns[0] plays; a leg of two equal points never.
    Sprite s = walker();
    s.path = {{40, 0}, {40, 40}, {0, 40}, {0, 0}};
    auto w = Walkers::act(s);
    w->setOff(3, 0.5, 1);
    EXPECT_EQ(anim<ca::AnimationGroup>(*w, "turn").animations.size(), 2u);
    EXPECT_EQ(child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*w, "turn"), 0).values[0].image(), w->turns[0][0]);
    s.path = {{0, 0}, {0, 0}, {40, 40}, {40, 0}};
    w = Walkers::act(s);
    w->removeAllAnimations();
    w->add(ca::AnimationGroup(), "motion");
    w->setContents(w->frames[0]);
    w->setPosition({0, 0});
    w->setOff(0);
    EXPECT_FALSE(w->animation("turn"));
}

TEST(Walkers, ContactSheetOfTheApeAndAClickedWalker) {
    auto rows = rowsOf(SceneKind::archipelago, false, sprites(SceneKind::archipelago, false, Sprite::Kind::act),
                       [](const Sprite& s) { return buildertest::LayerRef(Walkers::act(s)); }, 60);
    ASSERT_EQ(rows.size(), 1u);
    // The same walker walking, and clicked at once: it turns (blue) until 2 s, then walks on.
    Sprite s = walker();
    s.beat = 0.5;
    s.size = 24;
    for (bool click : {false, true}) {
        auto w = Walkers::act(s);
        w->commit(0);
        if (click) w->setOff(0);
        SheetRow row;
        row.layer = w;
        row.region = regionOf(s, 20);
        rows.push_back(row);
    }
    const auto sheet = contactSheet("walker-sheet", rows, kSheetTimes);
    ASSERT_TRUE(sheet);
    for (int r = 1; r < 3; ++r) EXPECT_GT(rowChange(*sheet, r, 5), 0.5) << r;
}
