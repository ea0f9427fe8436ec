#pragma once
// The drawing state that carries from one drawing to the next on the scene context, so a context made
// to draw part of the scene elsewhere can start from where the scene's stands.

#include "Platform/Graphics/Context.h"

struct CarriedState {
    cg::Color fill, stroke;
    double lineWidth = 1, miterLimit = 10, alpha = 1;
    cg::LineCap cap = cg::LineCap::butt;
    cg::LineJoin join = cg::LineJoin::miter;
    cg::BlendMode blend = cg::BlendMode::normal;

    // Braced, so the getters run in the order written.
    static CarriedState of(const cg::Context& c) {
        return {c.fillColor(), c.strokeColor(), c.lineWidth(), c.miterLimit(), c.alpha(),
                c.lineCap(),   c.lineJoin(),    c.blendMode()};
    }
    // One fixed order, the one both band painters have always set it in.
    void applyTo(cg::Context& c) const {
        c.setFillColor(fill);
        c.setStrokeColor(stroke);
        c.setLineWidth(lineWidth);
        c.setMiterLimit(miterLimit);
        c.setAlpha(alpha);
        c.setLineCap(cap);
        c.setLineJoin(join);
        c.setBlendMode(blend);
    }
};
