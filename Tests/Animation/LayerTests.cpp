// The layer tree: sublayer operations, frames, the subclass hook and presentation frames.

#include "AnimationTestSupport.h"

#include <gtest/gtest.h>

using namespace ca;

namespace {

// A layer with extra model fields, as the walkers' ActorLayer.
class ActorLayer : public Layer {
public:
    std::vector<cg::Point> way;
    double tick = 0.1;
};

std::vector<const Layer*> order(const Layer& l) {
    std::vector<const Layer*> v;
    for (const auto& s : l.sublayers()) v.push_back(s.get());
    return v;
}

}  // namespace

TEST(Tree, InsertAboveAtIndexAndRemove) {
    Layer host;
    auto ground = std::make_shared<Layer>(), sprites = std::make_shared<Layer>();
    host.addSublayer(ground);
    host.addSublayer(sprites);
    auto glow = std::make_shared<Layer>();
    host.insertSublayer(glow, ground.get());  // just above the ground
    EXPECT_EQ(order(host), (std::vector<const Layer*>{ground.get(), glow.get(), sprites.get()}));
    auto s0 = std::make_shared<Layer>(), s1 = std::make_shared<Layer>();
    sprites->insertSublayer(s0, size_t{0});
    sprites->insertSublayer(s1, s0.get());
    EXPECT_EQ(order(*sprites), (std::vector<const Layer*>{s0.get(), s1.get()}));
    EXPECT_EQ(s1->superlayer(), sprites.get());
    // Moving a layer detaches it from its old parent first.
    host.addSublayer(s0);
    EXPECT_EQ(order(*sprites), (std::vector<const Layer*>{s1.get()}));
    EXPECT_EQ(host.sublayers().back().get(), s0.get());
    s0->removeFromSuperlayer();
    EXPECT_EQ(s0->superlayer(), nullptr);
    EXPECT_EQ(host.sublayers().size(), 3u);
    // No cycles.
    s1->addSublayer(sprites);
    EXPECT_EQ(sprites->superlayer(), &host);
}

TEST(Tree, SubclassFieldsStayOnTheModelLayer) {
    Layer sprites;
    auto actor = std::make_shared<ActorLayer>();
    actor->way = {{0, 0}, {10, 0}};
    actor->setPosition({5, 5});
    sprites.addSublayer(std::make_shared<Layer>());
    sprites.addSublayer(actor);
    const ActorLayer* found = nullptr;
    for (const auto& s : sprites.sublayers())
        if (auto* a = dynamic_cast<const ActorLayer*>(s.get()); a && !found) found = a;
    ASSERT_EQ(found, actor.get());
    EXPECT_EQ(found->way.size(), 2u);
    EXPECT_EQ(found->presentation(0).position, (cg::Point{5, 5}));
}

TEST(Geometry, FrameFromBoundsPositionAndAnchor) {
    Layer l;
    l.setFrame(cg::Rect(0, 0, 2560, 1440));
    EXPECT_EQ(l.position(), (cg::Point{1280, 720}));
    EXPECT_EQ(l.bounds(), cg::Rect(0, 0, 2560, 1440));
    l.setAnchorPoint({1, 0.5});  // the meteor's bright end
    l.setBounds(cg::Rect(0, 0, 46, 1.6));
    l.setPosition({100, 50});
    EXPECT_DOUBLE_EQ(l.frame().minX(), 54);
    EXPECT_DOUBLE_EQ(l.frame().minY(), 49.2);
    EXPECT_NEAR(l.frame().height(), 1.6, 1e-12);
    EXPECT_EQ(l.presentation(0).frame(), l.frame());
}

