#include "Platform/Animation/FramePacing.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Timeline.h"

#include <algorithm>
#include <cmath>

namespace ca {

namespace detail {

double preferredRate(const Animation& a, double cap) {
    const FrameRateRange& r = a.preferredFrameRateRange;
    if (r.preferred > 0) return r.preferred;
    if (r.maximum > 0) return r.maximum;
    if (a.kind() == Animation::Kind::group) {
        double best = 0;
        for (const auto& c : static_cast<const AnimationGroup&>(a).animations)
            if (c) {
                const FrameRateRange& cr = c->preferredFrameRateRange;
                best = std::max(best, double(cr.preferred > 0 ? cr.preferred : cr.maximum));
            }
        if (best > 0) return best;
    }
    return cap;
}

}  // namespace detail

namespace {

// local = media·scale + offset for the layer being visited.
void visit(const Layer& layer, double mediaTime, double scale, double offset, double cap, FrameRequest& out) {
    scale *= layer.speed();
    offset = (offset - layer.beginTime()) * layer.speed() + layer.timeOffset();
    if (scale != 0) {
        const double local = mediaTime * scale + offset;
        for (const auto& e : layer.animationEntries()) {
            const Animation& a = *e.animation;
            if (a.speed == 0) continue;
            const double d = detail::durationOf(a, 0);
            const double active = (local - a.beginTime) * a.speed;
            if (active < 0) {
                if (a.speed > 0 && scale > 0) {
                    const double start = (a.beginTime - offset) / scale;
                    if (start > mediaTime && (!out.nextStart || start < *out.nextStart)) out.nextStart = start;
                }
                continue;
            }
            if (active >= detail::activeDuration(a, d)) continue;
            out.rate = std::max(out.rate, std::min(cap, detail::preferredRate(a, cap)));
        }
    }
    for (const auto& s : layer.sublayers()) visit(*s, mediaTime, scale, offset, cap, out);
}

}  // namespace

FrameRequest frameRequest(const Layer& root, double mediaTime, double cap) {
    FrameRequest out;
    visit(root, mediaTime, 1, 0, cap, out);
    return out;
}

}  // namespace ca
