#include "Platform/Animation/Compositor.h"

#include "Platform/Animation/Layer.h"

#include <algorithm>
#include <cmath>

namespace ca {

void Compositor::render(const Layer& root, double mediaTime, cg::Context& ctx, std::span<const cg::Rect> rects) {
    own_.capture(root, mediaTime, ctx.ctm());
    render(own_, ctx, rects);
}

void Compositor::renderAll(const Layer& root, double mediaTime, cg::Context& ctx) {
    const cg::Rect all(0, 0, ctx.pixelWidth(), ctx.pixelHeight());
    render(root, mediaTime, ctx, {&all, 1});
}

void Compositor::render(const Snapshot& snapshot, cg::Context& ctx, std::span<const cg::Rect> rects) {
    stats_ = {};
    snap_ = &snapshot;
    ctx_ = &ctx;
    const bool any = !snapshot.entries().empty();
    for (const cg::Rect& r : rects) {
        if (r.isEmpty()) continue;
        rect_ = r;
        ctx.saveGState();
        ctx.clipToPixelRects({&r, 1});
        if (background_) {
            const cg::Rect user = ctx.clipBoundingBox();
            ctx.clear(user);
            if (background_->a > 0) {
                ctx.setFillColor(*background_);
                ctx.fill(user);
            }
        }
        if (any) drawLayer(0, {});
        ctx.restoreGState();
    }
    snap_ = nullptr;
    ctx_ = nullptr;
}

void Compositor::apply(const Effect& effect) {
    ctx_->setAlpha(effect.alpha);
    ctx_->setBlendMode(effect.blend);
    if (effect.shadow) ctx_->setShadow(effect.shadow->offset, effect.shadow->blur, effect.shadow->color);
}

void Compositor::beginGroup(const Effect& effect) {
    ctx_->saveGState();
    apply(effect);
    ctx_->beginTransparencyLayer();
    stats_.groups += 1;
}

void Compositor::endGroup() {
    ctx_->endTransparencyLayer();
    ctx_->restoreGState();
}

// `outer` is the effect of ancestors whose subtree draws only this layer's subtree's single
// operation (trivial otherwise).
void Compositor::drawLayer(size_t i, const Effect& outer) {
    const Snapshot::Entry& e = snap_->entries()[i];
    if (!e.visible || e.subtreeOps == 0) return;
    if (!e.subtreeBounds.intersects(rect_)) {
        stats_.layersSkipped += 1;
        return;
    }
    const Effect own{e.alpha, e.blend, e.contentShadow ? &e.shadow : nullptr};
    if (outer.trivial()) {
        if (own.trivial()) {
            drawContents(i, {});
        } else if (e.subtreeOps == 1) {
            drawContents(i, own);
        } else {
            beginGroup(own);
            drawContents(i, {});
            endGroup();
        }
        return;
    }
    // Inside an ancestor's group of one operation: this layer's blend acts on a transparent
    // backdrop, where it changes nothing; alphas multiply. Two shadows need a real group.
    if (own.shadow && outer.shadow) {
        beginGroup(outer);
        drawLayer(i, {});
        endGroup();
        return;
    }
    drawContents(i, {outer.alpha * own.alpha, outer.blend, outer.shadow ? outer.shadow : own.shadow});
}

// The layer's own operations, then its sublayers. A non-trivial effect means the subtree draws
// exactly one operation, which gets it.
void Compositor::drawContents(size_t i, const Effect& effect) {
    const auto entries = snap_->entries();
    const Snapshot::Entry& e = entries[i];
    if (e.ownOps > 0 && e.ownBounds.intersects(rect_)) drawOwn(e, effect);
    const Effect inherited = e.ownOps == 0 ? effect : Effect{};
    for (size_t j = i + 1; j < e.end; j = entries[j].end) drawLayer(j, inherited);
}

void Compositor::drawOwn(const Snapshot::Entry& e, const Effect& effect) {
    stats_.layersDrawn += 1;
    cg::Context& c = *ctx_;
    const Layer& layer = *e.layer;
    const Presentation& p = e.pres;
    c.saveGState();
    apply(effect);
    c.concatenateCTM(e.toUser);
    const double corner = std::max(0.0, layer.cornerRadius());

    if (e.pathShadow && !layer.shadowPath()->isEmpty()) {
        c.saveGState();
        c.setShadow(e.shadow.offset, e.shadow.blur, e.shadow.color);
        c.setFillColor(cg::Color::black());
        c.fillShadowOnly(*layer.shadowPath());
        c.restoreGState();
    }
    if (!p.bounds.isEmpty() && layer.backgroundColor() && layer.backgroundColor()->a > 0) {
        c.setFillColor(*layer.backgroundColor());
        if (corner > 0) {
            c.beginPath();
            c.addRoundedRect(p.bounds, corner, corner);
            c.fillPath();
        } else {
            c.fill(p.bounds);
        }
    }
    if (!p.bounds.isEmpty() && p.inTransition && p.transitionFrom) {
        // Cross-fade: old·(1 − f) + new·f, composited once.
        c.beginTransparencyLayer();
        stats_.groups += 1;
        c.setAlpha(1 - p.transitionProgress);
        c.draw(p.transitionFrom, p.bounds);
        if (p.contents) {
            c.setAlpha(p.transitionProgress);
            c.setBlendMode(cg::BlendMode::plusLighter);
            c.draw(p.contents, p.bounds);
        }
        c.endTransparencyLayer();
    } else if (!p.bounds.isEmpty() && p.contents) {
        if (p.inTransition) c.setAlpha(c.alpha() * p.transitionProgress);
        c.draw(p.contents, p.bounds);
    }
    if (layer.kind() == Layer::Kind::shape && p.hasPath && !p.path.isEmpty()) {
        const auto& shape = static_cast<const ShapeLayer&>(layer);
        if (shape.fillColor() && shape.fillColor()->a > 0) {
            c.setFillColor(*shape.fillColor());
            c.fill(p.path);
        }
        if (shape.strokeColor() && shape.strokeColor()->a > 0 && p.lineWidth > 0) {
            c.setStrokeColor(*shape.strokeColor());
            c.setLineWidth(p.lineWidth);
            c.setLineCap(shape.lineCap());
            c.setLineJoin(shape.lineJoin());
            c.setMiterLimit(shape.miterLimit());
            c.stroke(p.path);
        }
    }
    if (layer.kind() == Layer::Kind::gradient && !p.bounds.isEmpty()) {
        const auto& g = static_cast<const GradientLayer&>(layer);
        if (!g.gradient().isEmpty()) {
            c.saveGState();
            if (corner > 0) {
                c.beginPath();
                c.addRoundedRect(p.bounds, corner, corner);
                c.clip();
            } else {
                c.clipToRect(p.bounds);
            }
            const cg::Rect& b = p.bounds;
            auto at = [&](cg::Point u) { return cg::Point{b.minX() + u.x * b.width(), b.minY() + u.y * b.height()}; };
            const cg::Point s = at(g.startPoint()), t = at(g.endPoint());
            if (g.type() == GradientLayer::Type::axial) {
                c.drawLinearGradient(g.gradient(), s, t, {true, true});
            } else {
                const double rx = std::fabs(t.x - s.x), ry = std::fabs(t.y - s.y);
                if (rx > 0 && ry > 0) {
                    c.translateBy(s.x, s.y);
                    c.scaleBy(rx, ry);
                    c.drawRadialGradient(g.gradient(), {0, 0}, 0, {0, 0}, 1, {true, false});
                }
            }
            c.restoreGState();
        }
    }
    c.restoreGState();
}

}  // namespace ca
