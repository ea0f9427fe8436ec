#include "DesktopWindow/Walkers.h"

#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"

std::shared_ptr<ActorLayer> Walkers::act(const Sprite& s) {
    auto layer = std::make_shared<ActorLayer>();
    SpriteLayers::imageLayer(s, nullptr, *layer);
    const auto& pictures = s.frames;
    const size_t n = pictures.size();
    if (s.path.empty() || s.path.size() != n) return layer;  // stands still and ignores clicks

    layer->frames = pictures;
    layer->way = s.path;
    layer->tick = s.beat;
    const size_t half = s.shade.size() / 2;
    layer->turns = {std::vector<cg::ImageRef>(s.shade.begin(), s.shade.begin() + static_cast<std::ptrdiff_t>(half)),
                    std::vector<cg::ImageRef>(s.shade.end() - static_cast<std::ptrdiff_t>(half), s.shade.end())};

    const double period = s.beat * static_cast<double>(n);
    ca::KeyframeAnimation steps("contents");
    steps.values.assign(pictures.begin(), pictures.end());
    steps.calculationMode = ca::CalculationMode::discrete;
    steps.duration = period;
    ca::KeyframeAnimation walk("position");
    walk.values.assign(s.path.begin(), s.path.end());
    walk.values.emplace_back(s.path.front());
    walk.duration = period;
    ca::AnimationGroup motion;
    motion.add(steps);
    motion.add(walk);
    layer->add(SpriteLayers::looped(s, motion, period), "motion");
    return layer;
}
