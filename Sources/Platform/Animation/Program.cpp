#include "Platform/Animation/Program.h"

#include "Platform/Animation/AnimationGroup.h"

namespace ca::detail {

void Program::add(const Animation& a) {
    const size_t at = nodes_.size();
    nodes_.emplace_back();
    {
        Node& n = nodes_[at];
        n.timing = Timing::of(a);
        n.animation = &a;
    }
    if (a.kind() == Animation::Kind::group) {
        nodes_[at].kind = Node::Kind::group;
        for (const auto& child : static_cast<const AnimationGroup&>(a).animations)
            if (child) add(*child);
    } else if (a.kind() == Animation::Kind::keyframe) {
        const auto& k = static_cast<const KeyframeAnimation&>(a);
        const KeyPath key = k.parsedKeyPath();
        const bool numbers = k.flatKind() == KeyframeAnimation::Flat::numbers;
        const bool points = k.flatKind() == KeyframeAnimation::Flat::points;
        const bool numberKey = key == KeyPath::opacity || key == KeyPath::rotationZ || key == KeyPath::scale ||
                               key == KeyPath::scaleX || key == KeyPath::scaleY || key == KeyPath::lineWidth;
        // A position along a path follows the path, whatever values it also holds.
        const bool pointKey = key == KeyPath::position && !k.path();
        if ((numbers && numberKey) || (points && pointKey)) {
            Node& n = nodes_[at];
            n.kind = Node::Kind::keyframes;
            n.key = key;
            n.mode = k.calculationMode;
            n.flat = k.flatKind();
            n.additive = k.isAdditive;
            n.values = uint32_t(k.values.size());
            n.keyTimes = uint32_t(k.keyTimes.size());
            n.data = uint32_t(data_.size());
            n.curves = uint32_t(curves_.size());
            n.curveCount = uint32_t(k.timingFunctions.size());
            data_.insert(data_.end(), k.flat().begin(), k.flat().end());
            curves_.insert(curves_.end(), k.timingFunctions.begin(), k.timingFunctions.end());
        }
    }
    nodes_[at].end = uint32_t(nodes_.size());
}

}  // namespace ca::detail
