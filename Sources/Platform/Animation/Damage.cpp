#include "Platform/Animation/Damage.h"

#include "Platform/Animation/Layer.h"

#include <algorithm>

namespace ca {

namespace {

bool samePresentation(const Presentation& a, const Presentation& b, bool shape) {
    if (a.contents != b.contents || a.inTransition != b.inTransition) return false;
    if (a.inTransition && (a.transitionFrom != b.transitionFrom || a.transitionProgress != b.transitionProgress))
        return false;
    if (shape && (a.lineWidth != b.lineWidth || a.hasPath != b.hasPath || !(a.path == b.path))) return false;
    return true;
}

// Whether the pixels the entry draws itself can differ (the same layer at both times).
bool sameDrawing(const Snapshot::Entry& a, const Snapshot::Entry& b) {
    if (!a.visible || !b.visible) return a.visible == b.visible;
    return a.version == b.version && a.toDevice == b.toDevice && a.alpha == b.alpha && a.outerAlpha == b.outerAlpha &&
           a.outerFilter == b.outerFilter && a.rigid == b.rigid &&
           samePresentation(a.pres, b.pres, a.kind == Layer::Kind::shape);
}

double area(const cg::Rect& r) { return r.width() * r.height(); }

void add(std::vector<cg::Rect>& out, const cg::Rect& r, const cg::Rect& viewport) {
    if (r.isNull()) return;
    const cg::Rect c = r.intersection(viewport);
    if (!c.isNull() && !c.isEmpty()) out.push_back(c);
}

}  // namespace

void Damage::compute(const Snapshot& before, const Snapshot& after, std::vector<cg::Rect>& out,
                     const cg::Rect& viewport) {
    out.clear();
    const auto a = before.entries();
    const auto b = after.entries();
    const size_t n = std::max(a.size(), b.size());
    size_t same = 0;  // entries [0, same) are the same layers in the same order
    while (same < a.size() && same < b.size() && a[same].id == b[same].id) ++same;
    changed_.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (i >= same) {
            changed_[i] = 1;
            if (i < a.size() && a[i].visible) add(out, a[i].ownBounds, viewport);
            if (i < b.size() && b[i].visible) add(out, b[i].ownBounds, viewport);
            continue;
        }
        if (sameDrawing(a[i], b[i])) continue;
        changed_[i] = 1;
        if (a[i].visible) add(out, a[i].ownBounds, viewport);
        if (b[i].visible) add(out, b[i].ownBounds, viewport);
    }
    // Shadows taken from content change with anything beneath them.
    for (size_t i = 0; i < n; ++i) {
        const bool sa = i < a.size() && a[i].visible && a[i].contentShadow;
        const bool sb = i < b.size() && b[i].visible && b[i].contentShadow;
        if (!sa && !sb) continue;
        const size_t end = std::max(i < a.size() ? size_t(a[i].end) : 0, i < b.size() ? size_t(b[i].end) : 0);
        bool any = changed_[i] != 0;
        for (size_t j = i + 1; j < end && j < n && !any; ++j) any = changed_[j] != 0;
        if (!any) continue;
        if (sa) add(out, a[i].shadowBounds, viewport);
        if (sb) add(out, b[i].shadowBounds, viewport);
    }
    merge(out);
}

void Damage::merge(std::vector<cg::Rect>& rects) {
    if (rects.size() < 2) return;
    std::sort(rects.begin(), rects.end(), [](const cg::Rect& p, const cg::Rect& q) {
        return p.minX() < q.minX() || (p.minX() == q.minX() && p.minY() < q.minY());
    });
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects.size(); ++i) {
            if (rects[i].isNull()) continue;
            for (size_t j = i + 1; j < rects.size(); ++j) {
                if (rects[j].isNull()) continue;
                if (rects[j].minX() > rects[i].maxX()) break;
                const cg::Rect u = rects[i].unionWith(rects[j]);
                if (area(u) <= area(rects[i]) + area(rects[j])) {
                    rects[i] = u;
                    rects[j] = cg::Rect::null();
                    merged = true;
                }
            }
        }
        std::erase_if(rects, [](const cg::Rect& r) { return r.isNull(); });
    }
}

std::vector<cg::Rect> Damage::between(const Layer& root, double t0, double t1, const cg::Transform& userToDevice,
                                      const cg::Rect& viewport) {
    Snapshot a, b;
    a.capture(root, t0, userToDevice);
    b.capture(root, t1, userToDevice);
    Damage d;
    std::vector<cg::Rect> out;
    d.compute(a, b, out, viewport);
    return out;
}

}  // namespace ca
