#include "Platform/Animation/Snapshot.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/LayerModel.h"
#include "Platform/Animation/Program.h"
#include "Platform/Animation/Timeline.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ca {

namespace {

double unit(double v) { return v > 0 ? (v < 1 ? v : 1.0) : 0.0; }  // NaN → 0

// Device pixels a bounds-space rect covers, grown by `pad` pixels, in whole pixels.
cg::Rect deviceRect(const cg::Rect& r, const cg::Transform& toDevice, double pad) {
    if (r.isNull()) return r;
    const cg::Rect d = r.applying(toDevice);
    if (!std::isfinite(d.minX()) || !std::isfinite(d.minY()) || !std::isfinite(d.maxX()) || !std::isfinite(d.maxY()))
        return cg::Rect::null();
    return d.insetBy(-pad, -pad).integral();
}

// Device scale of a transform: the square root of its area factor.
double areaScale(const cg::Transform& t) { return std::sqrt(std::fabs(t.a * t.d - t.b * t.c)); }

// Pixels a cg shadow of this blur spreads, plus a margin for rounding.
double shadowReach(double blur) { return std::ceil(3 * blur / 2) + 2; }

cg::Rect shadowExtent(const cg::Rect& deviceShape, const Snapshot::Shadow& s) {
    if (deviceShape.isNull()) return deviceShape;
    const double r = shadowReach(s.blur);
    return deviceShape.offsetBy(s.offset.width, s.offset.height).insetBy(-r, -r).integral();
}

// The largest power of two not above v (v > 0): a dyadic lattice keeps the usual exact values.
// It is exp2(floor(log2(v))); the exponent alone gives it wherever log2 cannot round across a power
// of two (v more than a hair below one), which is nearly always and costs no logarithm.
double dyadicStep(double v) {
    int e = 0;
    const double m = std::frexp(v, &e);  // v = m·2^e, m in [0.5, 1) for finite v > 0
    if (m == 0.5 || (m > 0.5 && m < 1 - 0x1p-30)) return std::ldexp(1.0, e - 1);
    return std::exp2(std::floor(std::log2(v)));
}

// Steps of angles (radians) and of scales and shears: never coarser than this, so that a tiny
// layer (a thin stroke) is not flattened by a lattice sized to its extent.
constexpr double kCoarsestLinearStep = 1.0 / 64;

// v on the lattice of `step`; unchanged where there is no usable step (an infinite extent).
double snap(double v, double step) { return step > 0 && std::isfinite(step) ? std::round(v / step) * step : v; }

// A full walk chases pointers (layer → its laid-out animations), which the processor cannot guess:
// between frames other programs evict the tree from the caches, and each of those reads would wait
// for memory in turn. So the walk asks for the sublayers ahead of the one it visits, one step of the
// chain per sublayer, each step reading only what an earlier one brought in. (A replay reads its
// copies in order, which the processor follows by itself.)
void prefetchLines(const void* p, size_t bytes) {
    const char* c = static_cast<const char*>(p);
    for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(c + at);
}

// Step 1: the layer itself (its subclass's extra fields are not what the walk reads first).
void prefetchLayer(const Layer& l) { prefetchLines(&l, sizeof(Layer)); }

// Step 2: its animations, as the layer laid them out.
void prefetchProgram(const Layer& l) {
    constexpr size_t kMost = 1024;  // a long program is read in order, which the processor follows anyway
    const detail::Program& p = l.program();
    if (!p.nodes().empty()) prefetchLines(p.nodes().data(), std::min(kMost, p.nodes().size_bytes()));
    if (!p.dataSpan().empty()) prefetchLines(p.dataSpan().data(), std::min(kMost, p.dataSpan().size_bytes()));
}

}  // namespace

cg::Transform Snapshot::settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance) {
    Memo memo;
    return settled(t, extent, rigid, tolerance, memo);
}

cg::Transform Snapshot::settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance,
                                Memo& memo) {
    return settled(t, extent, rigid, tolerance, tolerance > 0 ? dyadicStep(tolerance) : 0, memo);
}

namespace {

// round(v / step) for a v known only as `near`, within `err` of it: true, with the result in `r`, when
// every value in that range rounds alike (away from the midpoints between lattice points by more
// than the error and the division's own rounding).
bool sureRound(double near, double err, double step, double& r) {
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(near)) return false;
    const double q = near / step;
    r = std::round(q);
    return std::fabs(q - r) < 0.5 - (err / step + 1e-9 * (1 + std::fabs(q)));
}

// The angle lattice's step for a reach: zero is on every angle lattice, so the step may follow the
// reach closely (in eighths of an octave, steady while the reach hardly changes) rather than by halves.
double angleStepFor(double reach, double tolerance) {
    return reach > 0 ? std::exp2(std::floor(std::log2(tolerance / reach) * 8) / 8) : 0;
}

}  // namespace

cg::Transform Snapshot::settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance,
                                double positionStep, Memo& memo) {
    if (!(tolerance > 0) || extent.isNull() || extent.hasNaN()) return t;
    const double hw = extent.width() / 2, hh = extent.height() / 2;  // standardized: not negative
    const cg::Point centre{extent.midX(), extent.midY()};
    cg::Transform out = t;
    if (!rigid) {
        // A = R(θ)·[sx k; 0 sy]: the angle moves the box's corners by its reach, the scales and the
        // shear by the half extents they act on.
        //
        // Each value below is first estimated without trigonometry (square roots and products, a few
        // units in the last place off); where the estimate lies clear of the lattice's rounding
        // boundaries it rounds exactly as the full computation would, which decides only otherwise.
        const double a = t.a, b = t.b, c = t.c, d = t.d;
        const double sq = a * a + b * b;
        const bool tame = sq > 1e-280 && sq < 1e280;  // hypot and the sum of squares agree to the ulp
        const double sxNear = tame ? std::sqrt(sq) : 0;
        double sx = std::numeric_limits<double>::quiet_NaN();  // hypot(a, b), once needed
        auto exactSx = [&] {
            if (std::isnan(sx)) sx = std::hypot(a, b);
            return sx;
        };
        if (tame || (exactSx() > 0 && std::isfinite(sx))) {
            double th = std::numeric_limits<double>::quiet_NaN();  // atan2(b, a), once needed
            auto exactTh = [&] {
                if (std::isnan(th)) th = std::atan2(b, a);
                return th;
            };
            auto stepFor = [&](double extent) { return std::min(dyadicStep(tolerance / extent), kCoarsestLinearStep); };

            // How far the box's farthest corner lies from its centre: the same at every angle. A
            // turning layer keeps its reach, and the angle step with it.
            const double ux = a * hw + c * hh, uy = b * hw + d * hh, vx = a * hw - c * hh, vy = b * hw - d * hh;
            const double reachSq = std::max(ux * ux + uy * uy, vx * vx + vy * vy);
            if (!(reachSq > memo.reachLoSq && reachSq < memo.reachHiSq)) {
                const double reach = std::max(std::hypot(ux, uy), std::hypot(vx, vy));
                if (!(reach == memo.reach)) {
                    memo.reach = reach;
                    memo.fine = angleStepFor(reach, tolerance);
                    memo.reachLoSq = 0;
                    memo.reachHiSq = -1;
                    if (memo.fine > 0 && std::isfinite(memo.fine)) {
                        // The reaches whose step is the same eighth of an octave, less a margin.
                        const double e = std::log2(memo.fine) * 8;
                        const double lo = tolerance / std::exp2((e + 1) / 8) * (1 + 1e-9);
                        const double hi = tolerance / std::exp2(e / 8) * (1 - 1e-9);
                        if (lo < reach && reach < hi) {
                            memo.reachLoSq = lo * lo;
                            memo.reachHiSq = hi * hi;
                        }
                    }
                }
            }
            const double angleStep = std::min(memo.fine, kCoarsestLinearStep);

            // The angle is on a lattice: a slow turn stays in the last frame's cell for several frames,
            // which a turn of (a, b) back by the cell's angle tells.
            double angle;
            const double x = a * memo.cos + b * memo.sin, y = b * memo.cos - a * memo.sin;
            if (angleStep == memo.cellStep && memo.cellTan > 0 && x > 0 && std::fabs(y) < x * memo.cellTan) {
                angle = memo.angle;
            } else {
                angle = snap(exactTh(), angleStep);
                if (!(angle == memo.angle)) {
                    memo.angle = angle;
                    memo.cos = angle == 0 ? 1 : std::cos(angle);
                    memo.sin = angle == 0 ? 0 : std::sin(angle);
                }
                memo.cellStep = angleStep;
                memo.cellTan = 0;
                // Cells that reach ±π would wrap around where atan2 does; they are always decided in full.
                if (angleStep > 1e-9 && std::isfinite(angleStep) && std::fabs(angle) + angleStep < std::numbers::pi)
                    memo.cellTan = (0.5 - 1e-6) * angleStep;
            }

            // Scale along the turned x axis.
            double scaleX, r = 0;
            if (!(hw > 0)) scaleX = exactSx();
            else if (tame && sureRound(sxNear, 1e-12 * sxNear, stepFor(hw), r)) scaleX = r * stepFor(hw);
            else scaleX = snap(exactSx(), stepFor(hw));

            // Shear and scale along y: the columns turned back by θ, with cos θ and sin θ from the
            // first column's direction.
            double k, sy;
            auto exactKSy = [&] {
                const double cs = std::cos(exactTh()), sn = std::sin(th);
                k = cs * c + sn * d;
                sy = -sn * c + cs * d;
            };
            if (hh > 0) {
                const double step = stepFor(hh);
                double rk = 0, rs = 0;
                const double err = 1e-12 * (std::fabs(c) + std::fabs(d));
                const double cs = tame ? a / sxNear : 0, sn = tame ? b / sxNear : 0;
                if (tame && sureRound(cs * c + sn * d, err, step, rk) && sureRound(-sn * c + cs * d, err, step, rs)) {
                    k = rk * step;
                    sy = rs * step;
                } else {
                    exactKSy();
                    k = snap(k, step);
                    sy = snap(sy, step);
                }
            } else {
                exactKSy();
            }
            // A zero's sign depends on the last bits of the products above; +0 whichever way they fall.
            k += 0.0;
            sy += 0.0;

            const double c2 = memo.cos, s2 = memo.sin;
            out.a = c2 * scaleX;
            out.b = s2 * scaleX;
            out.c = c2 * k - s2 * sy;
            out.d = s2 * k + c2 * sy;
            if (!std::isfinite(out.a + out.b + out.c + out.d)) out = t;
        }
    }
    // The box's centre lands on the position lattice; the linear part turns about it.
    const cg::Point at = t.apply(centre);
    const cg::Point to{snap(at.x, positionStep), snap(at.y, positionStep)};
    if (!std::isfinite(to.x) || !std::isfinite(to.y)) return t;
    out.tx = 0;
    out.ty = 0;
    const cg::Point turned = out.apply(centre);
    out.tx = to.x - turned.x;
    out.ty = to.y - turned.y;
    return out;
}

void Snapshot::capture(const Layer& root, double mediaTime, const cg::Transform& userToDevice) {
    count_ = 0;
    time_ = mediaTime;
    userToDevice_ = userToDevice;
    deviceToUser_ = userToDevice.inverted();
    positionStep_ = tolerance_ > 0 ? dyadicStep(tolerance_) : 0;
    rate_ = 0;
    nextStart_.reset();
    finished_ = 0;
    // No layer anywhere has changed since this tree was last captured: its copies stand for it.
    const uint64_t mutations = Layer::mutations();
    replaying_ = &root == modelRoot_ && mutations == modelMutations_ && !models_.empty();
    if (!replaying_) {
        modelRoot_ = nullptr;
        models_.clear();
        nodes_.clear();
        data_.clear();
        curves_.clear();
    }
    visit(&root, mediaTime, 1, 0, cg::Transform{}, 1, false, true, false);
    if (!replaying_) {
        modelRoot_ = &root;
        modelMutations_ = mutations;
    }
}

FrameRequest Snapshot::frameRequest(double cap) const {
    // The largest of min(cap, rate) over the running animations is min(cap, the largest rate).
    return {std::max(0.0, std::min(cap, rate_)), nextStart_};
}

Snapshot::Visit Snapshot::visit(const Layer* source, double parentTime, double scale, double offset,
                                const cg::Transform& parentToUser, double outerAlpha, bool outerFilter, bool rigid,
                                bool culled) {
    const size_t index = count_++;
    if (index == entries_.size()) entries_.emplace_back();
    if (!replaying_) {
        // Copy the layer and its laid-out animations.
        if (index == models_.size()) models_.emplace_back();
        detail::LayerModel& m = models_[index];
        m.assign(*source);
        const detail::Program& program = source->program();
        m.nodes = uint32_t(nodes_.size());
        m.nodeCount = uint32_t(program.nodes().size());
        m.data = uint32_t(data_.size());
        m.curves = uint32_t(curves_.size());
        nodes_.insert(nodes_.end(), program.nodes().begin(), program.nodes().end());
        data_.insert(data_.end(), program.dataSpan().begin(), program.dataSpan().end());
        curves_.insert(curves_.end(), program.curves().begin(), program.curves().end());
    } else if (index + 2 < models_.size()) {
        prefetchLines(&models_[index + 2], sizeof(detail::LayerModel));
    }
    const detail::LayerModel& m = models_[index];
    const Layer& layer = *m.layer;
    {
        Entry& e = entries_[index];
        e.layer = &layer;
        e.id = m.id;
        e.version = m.version;
        e.alpha = unit(m.opacity);
        e.visible = !culled && !m.hidden;
        e.ownOps = e.subtreeOps = 0;
        e.ownBounds = e.subtreeBounds = e.shadowBounds = cg::Rect::null();
        e.kind = m.kind;
        e.filled = m.background && m.background->a > 0;
        e.contentsFilter = contentsFilter(m.minFilter, m.magFilter);
    }
    const double local = (parentTime - m.beginTime) * m.speed + m.timeOffset;
    scale *= m.speed;
    offset = (offset - m.beginTime) * m.speed + m.timeOffset;

    // One pass over the animations, hidden layers' too: which are finished (and so as good as
    // removed), which turn or scale the layer, and what they ask of frame pacing. Pacing reads the
    // time line as frameRequest does (media·scale + offset), which can differ from `local` in the
    // last bits.
    const double paced = time_ * scale + offset;
    bool reshaped = false;
    const detail::Program::View program{std::span<const detail::Program::Node>(nodes_).subspan(m.nodes, m.nodeCount),
                                        data_.data() + m.data, std::span<const TimingFunction>(curves_).subspan(m.curves)};
    for (size_t k = 0; k < program.nodes.size(); k = program.nodes[k].end) {
        const detail::Program::Node& entry = program.nodes[k];
        const double begin = entry.timing.beginTime, speed = entry.timing.speed;
        if (entry.timing.isRemovedOnCompletion && (local - begin) * speed >= entry.span) {  // detail::hasEnded
            finished_ += 1;
            continue;
        }
        reshaped = reshaped || entry.reshapes;
        if (scale == 0 || speed == 0) continue;
        const double active = (paced - begin) * speed;
        if (active < 0) {
            if (speed > 0 && scale > 0) {
                const double start = (begin - offset) / scale;
                if (start > time_ && (!nextStart_ || start < *nextStart_)) nextStart_ = start;
            }
        } else if (active < entry.span) {
            rate_ = std::max(rate_, entry.rate);
        }
    }

    bool visible = entries_[index].visible;
    cg::Transform toUser;
    double alpha = 0;
    bool filter = false;
    if (visible) {
        Entry& e = entries_[index];
        detail::evaluate(m, program, local, e.pres);
        e.alpha = alpha = unit(e.pres.opacity);
        e.visible = visible = alpha > 0;
        e.toUser = toUser = e.pres.toSuperlayer().concatenating(parentToUser);
        e.toDevice = toUser.concatenating(userToDevice_);
        e.outerAlpha = outerAlpha;
        e.outerFilter = outerFilter;
        rigid = rigid && !reshaped;
        e.rigid = rigid;
        if (tolerance_ > 0) {
            // Only what this layer draws is rounded; its sublayers round their own transforms.
            cg::Rect extent = e.pres.bounds;
            if (m.kind == Layer::Kind::shape && e.pres.hasPath && !e.pres.path.isEmpty()) {
                const double half = e.pres.lineWidth > 0 ? e.pres.lineWidth / 2 : 0;
                extent = extent.unionWith(e.pres.path.pathBoundingBox().insetBy(-half, -half));
            }
            if (memo_.size() <= index) memo_.resize(entries_.size());
            const cg::Transform drawn = settled(e.toDevice, extent, rigid, tolerance_, positionStep_, memo_[index]);
            if (!(drawn == e.toDevice)) {
                e.toDevice = drawn;
                e.toUser = drawn.concatenating(deviceToUser_);
            }
            // Steps of 1/128 stay under half a level of an 8-bit channel.
            e.alpha = alpha = std::round(alpha * 128) / 128;
            e.visible = visible = alpha > 0;
        }
        switch (m.filter) {
            case CompositingFilter::none: e.blend = cg::BlendMode::normal; break;
            case CompositingFilter::colorDodge: e.blend = cg::BlendMode::colorDodge; break;
            case CompositingFilter::plusLighter: e.blend = cg::BlendMode::plusLighter; break;
        }
        filter = e.blend != cg::BlendMode::normal;

        // Shadow, in device pixels.
        // The colour only where there is a shadow: the same product (zero) without reading it.
        const double shadowOpacity = unit(m.shadowOpacity);
        const double shadowAlpha = shadowOpacity > 0 ? shadowOpacity * unit(m.shadowColor.a) : 0;
        const bool shadowed = shadowAlpha > 0;
        e.pathShadow = shadowed && layer.shadowPath().has_value();
        e.contentShadow = shadowed && !layer.shadowPath().has_value();
        e.shadow = {};
        if (shadowed) {
            const cg::Size off = m.shadowOffset;
            const cg::Transform& d = e.toDevice;
            e.shadow.offset = {d.a * off.width + d.c * off.height, d.b * off.width + d.d * off.height};
            e.shadow.blur = std::max(0.0, 2 * m.shadowRadius * areaScale(d));
            e.shadow.color = m.shadowColor.withAlpha(shadowAlpha);
        }

        // Own drawing operations and the pixels they touch.
        const Presentation& p = e.pres;
        const bool hasArea = !p.bounds.isEmpty();
        uint32_t ops = 0;
        cg::Rect own = cg::Rect::null();
        if (e.pathShadow && !layer.shadowPath()->isEmpty()) {
            ops += 1;
            own = own.unionWith(shadowExtent(deviceRect(layer.shadowPath()->pathBoundingBox(), e.toDevice, 1), e.shadow));
        }
        if (hasArea && e.filled) {
            ops += 1;
            own = own.unionWith(deviceRect(p.bounds, e.toDevice, 1));
        }
        if (hasArea && (p.contents || (p.inTransition && p.transitionFrom))) {
            ops += 1;
            own = own.unionWith(deviceRect(p.bounds, e.toDevice, 1));
        }
        if (m.kind == Layer::Kind::shape && p.hasPath && !p.path.isEmpty()) {
            const auto& shape = static_cast<const ShapeLayer&>(layer);
            const cg::Rect box = p.path.pathBoundingBox();
            if (shape.fillColor() && unit(shape.fillColor()->a) > 0) {
                ops += 1;
                own = own.unionWith(deviceRect(box, e.toDevice, 1));
            }
            if (shape.strokeColor() && unit(shape.strokeColor()->a) > 0 && p.lineWidth > 0) {
                ops += 1;
                double reach = p.lineWidth / 2;
                if (shape.lineJoin() == cg::LineJoin::miter) reach *= std::max(1.0, shape.miterLimit());
                if (shape.lineCap() == cg::LineCap::square) reach *= std::sqrt(2.0);
                own = own.unionWith(deviceRect(box.insetBy(-reach, -reach), e.toDevice, 1));
            }
        }
        if (m.kind == Layer::Kind::gradient && hasArea &&
            !static_cast<const GradientLayer&>(layer).gradient().isEmpty()) {
            ops += 1;
            own = own.unionWith(deviceRect(p.bounds, e.toDevice, 1));
        }
        e.ownOps = ops;
        e.ownBounds = own;
    }

    Visit result;
    uint32_t ops = visible ? entries_[index].ownOps : 0;
    cg::Rect bounds = visible ? entries_[index].ownBounds : cg::Rect::null();
    auto add = [&](const Visit& v) {
        ops += v.ops;
        bounds = bounds.unionWith(v.bounds);
    };
    if (replaying_) {
        for (uint32_t i = 0, n = m.children; i < n; ++i)
            add(visit(nullptr, local, scale, offset, toUser, outerAlpha * alpha, outerFilter || filter, rigid, !visible));
    } else {
        const auto subs = layer.sublayers();
        const size_t n = subs.size();
        for (size_t i = 0; i < n; ++i) {
            if (i + 4 < n) prefetchLayer(*subs[i + 4]);
            if (i + 2 < n) prefetchProgram(*subs[i + 2]);
            add(visit(subs[i].get(), local, scale, offset, toUser, outerAlpha * alpha, outerFilter || filter, rigid,
                      !visible));
        }
    }
    Entry& e = entries_[index];
    e.end = static_cast<uint32_t>(count_);
    if (!visible || ops == 0) {
        e.subtreeOps = 0;
        return result;
    }
    e.subtreeOps = ops;
    if (e.contentShadow) {
        e.shadowBounds = shadowExtent(bounds, e.shadow);
        bounds = bounds.unionWith(e.shadowBounds);
    }
    e.subtreeBounds = bounds;
    result.ops = ops;
    result.bounds = bounds;
    return result;
}

}  // namespace ca
