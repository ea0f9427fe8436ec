#include "Platform/Animation/KeyframeAnimation.h"

#include <algorithm>

namespace ca {

void KeyframeAnimation::setPath(const cg::Path& path) {
    path_ = path;
    segments_.clear();
    const auto& pts = path.points();
    size_t k = 0;
    cg::Point start, current;
    auto line = [&](cg::Point to) {
        const cg::Point a = current;
        segments_.push_back({a, {a.x + (to.x - a.x) / 3, a.y + (to.y - a.y) / 3},
                             {a.x + 2 * (to.x - a.x) / 3, a.y + 2 * (to.y - a.y) / 3}, to, true});
        current = to;
    };
    for (cg::Path::Element e : path.elements()) {
        switch (e) {
            case cg::Path::Element::moveTo:
                start = current = pts[k++];
                break;
            case cg::Path::Element::lineTo: line(pts[k++]); break;
            case cg::Path::Element::curveTo:
                segments_.push_back({current, pts[k], pts[k + 1], pts[k + 2], false});
                current = pts[k + 2];
                k += 3;
                break;
            case cg::Path::Element::close: line(start); break;
        }
    }
}

void KeyframeAnimation::layOutFlat() {
    clearFlat();
    auto all = [&](Value::Type t) {
        return std::all_of(values.begin(), values.end(), [t](const Value& v) { return v.type() == t; });
    };
    if (values.empty()) return;
    const bool numbers = all(Value::Type::number), points = !numbers && all(Value::Type::point);
    if (!numbers && !points) return;
    flat_.reserve(keyTimes.size() + values.size() * (points ? 2 : 1));
    flat_.assign(keyTimes.begin(), keyTimes.end());
    for (const Value& v : values) {
        if (numbers) {
            flat_.push_back(v.number());
        } else {
            flat_.push_back(v.point().x);
            flat_.push_back(v.point().y);
        }
    }
    flatKind_ = numbers ? Flat::numbers : Flat::points;
}

}  // namespace ca
