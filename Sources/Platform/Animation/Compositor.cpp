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
    renders_ += 1;
    rects_.build(rects);
    if (rects_.rects().empty()) return;
    snap_ = &snapshot;
    ctx_ = &ctx;
    stats_.backgroundSkipped = background_ && coveredByOpaquePicture(rects_.rects());
    if (background_ && !stats_.backgroundSkipped) {
        ctx.saveGState();
        ctx.clipToPixelRects(rects_.rects());
        const cg::Rect user = ctx.clipBoundingBox();
        ctx.clear(user);
        if (background_->a > 0) {
            ctx.setFillColor(*background_);
            ctx.fill(user);
        }
        ctx.restoreGState();
    }
    if (!snapshot.entries().empty()) drawLayer(0, {}, false);
    snap_ = nullptr;
    ctx_ = nullptr;
    if (renders_ % 30 == 0) evict();
}

bool Compositor::opaque(const cg::ImageRef& image) {
    if (opaqueChecked_.lock() != image) {
        opaqueChecked_ = image;
        const uint32_t* p = image->data();
        const size_t n = size_t(image->pixelWidth()) * size_t(image->pixelHeight());
        uint32_t all = 0xFF000000u;
        for (size_t k = 0; k < n; ++k) all &= p[k];
        opaqueAnswer_ = all == 0xFF000000u;
    }
    return opaqueAnswer_;
}

// Whether the first operation of the tree copies an opaque picture over every rectangle, so that
// clearing them first changes no pixel.
bool Compositor::coveredByOpaquePicture(std::span<const cg::Rect> rects) {
    const auto entries = snap_->entries();
    size_t i = 0;
    while (i < entries.size() && !(entries[i].visible && entries[i].ownOps > 0)) {
        if (entries[i].visible && entries[i].contentShadow) return false;  // an ancestor's shadow
        ++i;
    }
    if (i == entries.size()) return false;
    const Snapshot::Entry& e = entries[i];
    const Presentation& p = e.pres;
    if (e.ownOps != 1 || e.kind != Layer::Kind::plain || e.pathShadow || e.contentShadow || e.alpha != 1 ||
        e.outerAlpha != 1 || e.blend != cg::BlendMode::normal || e.outerFilter || p.inTransition || !p.contents ||
        !e.rigid || e.filled)
        return false;
    // Exactly the picture's pixels at a whole-pixel place: drawn as a plain copy.
    const cg::Transform& d = e.toDevice;
    const cg::Rect r = p.bounds.applying(d);
    if (d.b != 0 || d.c != 0 || r.width() != p.contents->pixelWidth() || r.height() != p.contents->pixelHeight() ||
        r.minX() != std::floor(r.minX()) || r.minY() != std::floor(r.minY()))
        return false;
    for (const cg::Rect& q : rects)
        if (!r.contains(q)) return false;
    return opaque(p.contents);
}

void Compositor::evict() {
    std::erase_if(cache_, [&](const auto& kv) { return kv.second.lastUse + 120 < renders_; });
}

size_t Compositor::PictureHash::operator()(const PictureKey& k) const {
    uint64_t h = reinterpret_cast<uintptr_t>(k.image);
    auto mix = [&](uint64_t v) { h = (h ^ v) * 0x100000001B3ull; };
    mix(std::hash<double>{}(k.width));
    mix(std::hash<double>{}(k.height));
    mix(uint64_t(k.phaseX) << 8 | uint64_t(k.phaseY) << 16 | uint64_t(k.filter) << 24);
    return size_t(h);
}

void Compositor::apply(const Effect& effect) {
    ctx_->setAlpha(effect.alpha);
    ctx_->setBlendMode(effect.blend);
    if (effect.shadow) ctx_->setShadow(effect.shadow->offset, effect.shadow->blur, effect.shadow->color);
}

bool Compositor::clipTo(const cg::Rect& bounds) {
    if (rects_.collect(bounds, scratch_)) return false;  // inside one rectangle: no clip needed
    stats_.clipped += 1;
    ctx_->saveGState();
    ctx_->clipToPixelRects(scratch_);
    return true;
}

void Compositor::beginGroup(const Effect& effect, const cg::Rect& bounds, bool inside) {
    groupClips_.push_back(!inside && clipTo(bounds));
    ctx_->saveGState();
    apply(effect);
    ctx_->beginTransparencyLayer();
    stats_.groups += 1;
}

void Compositor::endGroup() {
    ctx_->endTransparencyLayer();
    ctx_->restoreGState();
    if (groupClips_.back()) ctx_->restoreGState();
    groupClips_.pop_back();
}

// `outer` is the effect of ancestors whose subtree draws only this layer's subtree's single
// operation (trivial otherwise).
void Compositor::drawLayer(size_t i, const Effect& outer, bool inside) {
    const Snapshot::Entry& e = snap_->entries()[i];
    if (!e.visible || e.subtreeOps == 0) return;
    if (!rects_.intersectsAny(e.subtreeBounds)) {
        stats_.layersSkipped += 1;
        return;
    }
    const Effect own{e.alpha, e.blend, e.contentShadow ? &e.shadow : nullptr};
    if (outer.trivial()) {
        if (own.trivial()) {
            drawContents(i, {}, inside);
        } else if (e.subtreeOps == 1) {
            drawContents(i, own, inside);
        } else {
            beginGroup(own, e.subtreeBounds, inside);
            drawContents(i, {}, true);
            endGroup();
        }
        return;
    }
    // Inside an ancestor's group of one operation: this layer's blend acts on a transparent
    // backdrop, where it changes nothing; alphas multiply. Two shadows need a real group.
    if (own.shadow && outer.shadow) {
        beginGroup(outer, e.subtreeBounds, inside);
        drawLayer(i, {}, true);
        endGroup();
        return;
    }
    drawContents(i, {outer.alpha * own.alpha, outer.blend, outer.shadow ? outer.shadow : own.shadow}, inside);
}

// The layer's own operations, then its sublayers. A non-trivial effect means the subtree draws
// exactly one operation, which gets it.
void Compositor::drawContents(size_t i, const Effect& effect, bool inside) {
    const auto entries = snap_->entries();
    const Snapshot::Entry& e = entries[i];
    if (e.ownOps > 0 && rects_.intersectsAny(e.ownBounds)) drawOwn(e, effect, inside);
    const Effect inherited = e.ownOps == 0 ? effect : Effect{};
    for (size_t j = i + 1; j < e.end; j = entries[j].end) drawLayer(j, inherited, inside);
}

void Compositor::drawPicture(const Snapshot::Entry& e, const cg::ImageRef& image, cg::ImageFilter filter) {
    cg::Context& c = *ctx_;
    const cg::Transform& d = e.toDevice;
    if (!e.rigid || d.b != 0 || d.c != 0 || !(d.a > 0) || !(d.d > 0)) {
        c.drawUnclipped(*image, e.pres.bounds, filter);
        return;
    }
    const cg::Rect r = e.pres.bounds.applying(d);
    const double x0 = r.minX(), y0 = r.minY();
    // The size from the scale alone: the same at every position.
    const double width = e.pres.bounds.width() * d.a, height = e.pres.bounds.height() * d.d;
    if (!std::isfinite(x0) || !std::isfinite(y0) || std::fabs(x0) > 1e8 || std::fabs(y0) > 1e8) return;
    double ix = std::floor(x0), iy = std::floor(y0);
    int qx = int(std::lround((x0 - ix) * 4)), qy = int(std::lround((y0 - iy) * 4));
    if (qx == 4) qx = 0, ix += 1;
    if (qy == 4) qy = 0, iy += 1;
    stats_.copied += 1;
    if (qx == 0 && qy == 0 && width == image->pixelWidth() && height == image->pixelHeight()) {
        c.drawPixelAligned(*image, int(ix), int(iy));
        return;
    }
    const PictureKey key{image.get(), width, height, qx, qy, filter};
    auto it = cache_.find(key);
    if (it == cache_.end()) {
        const double fx = qx / 4.0, fy = qy / 4.0;
        const int w = int(std::ceil(fx + width)) + 1, h = int(std::ceil(fy + height)) + 1;
        auto bitmap = cg::Context::makeBitmap(w, h);
        if (!bitmap) {
            c.drawUnclipped(*image, e.pres.bounds, filter);
            return;
        }
        bitmap->drawUnclipped(*image, cg::Rect(fx, fy, width, height), filter);
        it = cache_.emplace(key, Picture{image, bitmap->makeImage(), 0}).first;
        stats_.resampled += 1;
    }
    it->second.lastUse = renders_;
    c.drawPixelAligned(*it->second.resampled, int(ix), int(iy));
}

void Compositor::drawOwn(const Snapshot::Entry& e, const Effect& effect, bool inside) {
    stats_.layersDrawn += 1;
    cg::Context& c = *ctx_;
    const bool clipped = !inside && clipTo(e.ownBounds);
    c.saveGState();
    apply(effect);
    stats_.groups += uint64_t(drawOwnOperations(c, e, [&](const cg::ImageRef& image, cg::ImageFilter filter) {
        drawPicture(e, image, filter);
    }));
    c.restoreGState();
    if (clipped) c.restoreGState();
}

cg::ImageFilter contentsFilter(const Layer& layer) {
    return contentsFilter(layer.minificationFilter(), layer.magnificationFilter());
}

cg::ImageFilter contentsFilter(ContentsFilter minification, ContentsFilter magnification) {
    // Minification always averages (a good filter); nearest only when the layer asks for it.
    return minification == ContentsFilter::nearest && magnification == ContentsFilter::nearest
               ? cg::ImageFilter::nearest
               : cg::ImageFilter::good;
}

int drawOwnOperations(cg::Context& c, const Snapshot::Entry& e, const StillPicture& still) {
    int groups = 0;
    const Layer& layer = *e.layer;
    const Presentation& p = e.pres;
    c.saveGState();
    c.concatenateCTM(e.toUser);
    const double corner = std::max(0.0, layer.cornerRadius());
    const cg::ImageFilter filter = e.contentsFilter;

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
        groups += 1;
        c.setAlpha(1 - p.transitionProgress);
        c.drawUnclipped(*p.transitionFrom, p.bounds, filter);
        if (p.contents) {
            c.setAlpha(p.transitionProgress);
            c.setBlendMode(cg::BlendMode::plusLighter);
            c.drawUnclipped(*p.contents, p.bounds, filter);
        }
        c.endTransparencyLayer();
    } else if (!p.bounds.isEmpty() && p.contents) {
        if (p.inTransition) {
            c.setAlpha(c.alpha() * p.transitionProgress);
            c.drawUnclipped(*p.contents, p.bounds, filter);
        } else if (still) {
            still(p.contents, filter);
        } else {
            c.drawUnclipped(*p.contents, p.bounds, filter);
        }
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
    return groups;
}

}  // namespace ca
