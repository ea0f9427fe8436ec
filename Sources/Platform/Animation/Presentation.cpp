#include "Platform/Animation/Presentation.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/LayerModel.h"
#include "Platform/Animation/Program.h"
#include "Platform/Animation/Timeline.h"
#include "Platform/Animation/Transition.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

namespace ca {

cg::Transform Presentation::toSuperlayer() const {
    const double ax = bounds.minX() + anchorPoint.x * bounds.width();
    const double ay = bounds.minY() + anchorPoint.y * bounds.height();
    return cg::Transform::translation(-ax, -ay)
        .concatenating(transform)
        .concatenating(cg::Transform::translation(position.x, position.y));
}

cg::Rect Presentation::frame() const { return bounds.applying(toSuperlayer()); }

namespace detail {

namespace {

enum class Channel { number, point, image, path, none };

// dst = src, without touching the picture's shared count when dst holds it already (most frames):
// that count lives beside the picture, a cache line the walk need not read.
void setImage(cg::ImageRef& dst, const cg::ImageRef& src) {
    if (dst.get() == src.get() && !dst.owner_before(src) && !src.owner_before(dst)) return;
    dst = src;
}

Channel channelOf(KeyPath k) {
    switch (k) {
        case KeyPath::opacity:
        case KeyPath::rotationZ:
        case KeyPath::scale:
        case KeyPath::scaleX:
        case KeyPath::scaleY:
        case KeyPath::lineWidth: return Channel::number;
        case KeyPath::position: return Channel::point;
        case KeyPath::contents: return Channel::image;
        case KeyPath::path: return Channel::path;
        case KeyPath::unknown: return Channel::none;
    }
    return Channel::none;
}

struct Eval {
    Presentation& out;
    bool transformAnimated = false;

    // --- the value below an animation ---

    double number(KeyPath k) const {
        switch (k) {
            case KeyPath::opacity: return out.opacity;
            case KeyPath::rotationZ: return out.rotation;
            case KeyPath::scale: return 0.5 * (out.scaleX + out.scaleY);
            case KeyPath::scaleX: return out.scaleX;
            case KeyPath::scaleY: return out.scaleY;
            case KeyPath::lineWidth: return out.lineWidth;
            default: return 0;
        }
    }

    void setNumber(KeyPath k, double v, bool additive) {
        switch (k) {
            case KeyPath::opacity: out.opacity = additive ? out.opacity + v : v; break;
            case KeyPath::rotationZ:
                out.rotation = additive ? out.rotation + v : v;
                transformAnimated = true;
                break;
            case KeyPath::scale:
                out.scaleX = additive ? out.scaleX + v : v;
                out.scaleY = additive ? out.scaleY + v : v;
                transformAnimated = true;
                break;
            case KeyPath::scaleX:
                out.scaleX = additive ? out.scaleX + v : v;
                transformAnimated = true;
                break;
            case KeyPath::scaleY:
                out.scaleY = additive ? out.scaleY + v : v;
                transformAnimated = true;
                break;
            case KeyPath::lineWidth: out.lineWidth = additive ? out.lineWidth + v : v; break;
            default: break;
        }
    }

    void setPoint(cg::Point p, bool additive) {
        out.position = additive ? cg::Point{out.position.x + p.x, out.position.y + p.y} : p;
    }

    void setPath(const cg::Path& p) {
        out.path = p;
        out.hasPath = true;
    }

    // Writes the path from a to b at u into out.path, element by element (no allocation once the
    // storage has grown). Paths of different shapes switch halfway.
    void lerpPath(const cg::Path& a, const cg::Path& b, double u) {
        if (a.elements() != b.elements()) return setPath(u < 0.5 ? a : b);
        cg::Path& p = out.path;
        p.clear();
        const auto& pa = a.points();
        const auto& pb = b.points();
        auto at = [&](size_t i) { return cg::Point{pa[i].x + (pb[i].x - pa[i].x) * u, pa[i].y + (pb[i].y - pa[i].y) * u}; };
        size_t k = 0;
        for (cg::Path::Element e : a.elements()) {
            switch (e) {
                case cg::Path::Element::moveTo: p.moveTo(at(k)); k += 1; break;
                case cg::Path::Element::lineTo: p.lineTo(at(k)); k += 1; break;
                case cg::Path::Element::curveTo: p.curveTo(at(k), at(k + 1), at(k + 2)); k += 3; break;
                case cg::Path::Element::close: p.closeSubpath(); break;
            }
        }
        out.hasPath = true;
    }

    // --- basic ---

    void basic(const BasicAnimation& a, double f) {
        const KeyPath k = a.parsedKeyPath();
        const Value& from = a.fromValue;
        const Value& to = a.toValue;
        const Value& by = a.byValue;
        switch (channelOf(k)) {
            case Channel::number: {
                auto num = [](const Value& v) { return v.type() == Value::Type::number; };
                const double cur = number(k);
                double v0 = cur, v1 = cur;
                if (num(from) && num(to)) v0 = from.number(), v1 = to.number();
                else if (num(from) && num(by)) v0 = from.number(), v1 = from.number() + by.number();
                else if (num(by) && num(to)) v0 = to.number() - by.number(), v1 = to.number();
                else if (num(from)) v0 = from.number();
                else if (num(to)) v1 = to.number();
                else if (num(by)) v1 = cur + by.number();
                else return;
                setNumber(k, v0 + (v1 - v0) * f, a.isAdditive);
                break;
            }
            case Channel::point: {
                auto pt = [](const Value& v) { return v.type() == Value::Type::point; };
                const cg::Point cur = out.position;
                cg::Point v0 = cur, v1 = cur;
                auto plus = [](cg::Point p, cg::Point q) { return cg::Point{p.x + q.x, p.y + q.y}; };
                auto minus = [](cg::Point p, cg::Point q) { return cg::Point{p.x - q.x, p.y - q.y}; };
                if (pt(from) && pt(to)) v0 = from.point(), v1 = to.point();
                else if (pt(from) && pt(by)) v0 = from.point(), v1 = plus(from.point(), by.point());
                else if (pt(by) && pt(to)) v0 = minus(to.point(), by.point()), v1 = to.point();
                else if (pt(from)) v0 = from.point();
                else if (pt(to)) v1 = to.point();
                else if (pt(by)) v1 = plus(cur, by.point());
                else return;
                setPoint({v0.x + (v1.x - v0.x) * f, v0.y + (v1.y - v0.y) * f}, a.isAdditive);
                break;
            }
            case Channel::image: {
                const Value& pick = f < 1 ? from : to;
                if (pick.type() == Value::Type::image) setImage(out.contents, pick.image());
                break;
            }
            case Channel::path: {
                const bool hasFrom = from.type() == Value::Type::path, hasTo = to.type() == Value::Type::path;
                if (hasFrom && hasTo) lerpPath(*from.path(), *to.path(), f);
                else if (hasTo && out.hasPath) {
                    const cg::Path cur = out.path;
                    lerpPath(cur, *to.path(), f);
                } else if (hasFrom && out.hasPath) {
                    const cg::Path cur = out.path;
                    lerpPath(*from.path(), cur, f);
                }
                break;
            }
            case Channel::none: break;
        }
    }

    // --- keyframes ---

    // Key time idx of `count` evenly spread ones unless the animation gives exactly `count`.
    static double keyTime(std::span<const double> kt, size_t idx, size_t count) {
        if (kt.size() == count) return kt[idx];
        return count > 1 ? static_cast<double>(idx) / static_cast<double>(count - 1) : 0;
    }

    // Interval i of `count` key times holding f, and the fraction u within it (after the
    // interval's timing function). Before the first key time u is 0 in interval 0; at or after the
    // last, u is 1 in the last interval.
    static void locate(std::span<const TimingFunction> curves, std::span<const double> kt, size_t count, double f,
                       size_t& i, double& u) {
        const size_t last = count - 1;
        if (kt.size() == count) {
            if (!(f > kt[0])) { i = 0; u = 0; }
            else if (f >= kt[last]) { i = last - 1; u = 1; }
            else {
                i = static_cast<size_t>(std::upper_bound(kt.begin(), kt.end(), f) - kt.begin()) - 1;
                i = std::min(i, last - 1);
                const double span = kt[i + 1] - kt[i];
                u = span > 0 ? (f - kt[i]) / span : 1;
            }
        } else {
            const double x = std::clamp(f, 0.0, 1.0) * static_cast<double>(last);
            if (x >= static_cast<double>(last)) { i = last - 1; u = 1; }
            else {
                i = static_cast<size_t>(x);
                u = x - static_cast<double>(i);
            }
        }
        if (i < curves.size()) u = curves[i](u);
    }

    // Index of the value a discrete animation shows at f.
    static size_t discreteIndex(std::span<const double> kt, size_t n, double f) {
        size_t i = 0;
        if (kt.size() == n + 1 || kt.size() == n) {
            i = static_cast<size_t>(std::upper_bound(kt.begin(), kt.end(), f) - kt.begin());
            i = i > 0 ? i - 1 : 0;
        } else {
            const double x = std::max(f, 0.0) * static_cast<double>(n);
            i = x >= static_cast<double>(n) ? n - 1 : static_cast<size_t>(x);
        }
        return std::min(i, n - 1);
    }

    // Catmull-Rom weights: value = w0·p[i] + w1·p[i+1] + tangents, with the tangents built from
    // p[i−1], p[i+1] and p[i], p[i+2] and scaled for uneven key times.
    struct Cubic {
        size_t im1, i, i1, i2;
        double h00, h10, h01, h11, sOut, sIn;
    };

    static Cubic cubic(std::span<const double> kt, size_t n, size_t i, double u) {
        Cubic c;
        c.i = i;
        c.i1 = i + 1;
        c.im1 = i > 0 ? i - 1 : i;
        c.i2 = i + 2 < n ? i + 2 : i + 1;
        const double t0 = keyTime(kt, i, n), t1 = keyTime(kt, i + 1, n);
        const double d = t1 - t0;
        const double dPrev = i > 0 ? t0 - keyTime(kt, i - 1, n) : d;
        const double dNext = i + 2 < n ? keyTime(kt, i + 2, n) - t1 : d;
        c.sOut = dPrev + d > 0 ? 2 * d / (dPrev + d) : 1;
        c.sIn = d + dNext > 0 ? 2 * d / (d + dNext) : 1;
        const double u2 = u * u, u3 = u2 * u;
        c.h00 = 2 * u3 - 3 * u2 + 1;
        c.h10 = u3 - 2 * u2 + u;
        c.h01 = -2 * u3 + 3 * u2;
        c.h11 = u3 - u2;
        return c;
    }

    static double cubicValue(const Cubic& c, double pm1, double p0, double p1, double p2) {
        const double mOut = 0.5 * (p1 - pm1) * c.sOut;
        const double mIn = 0.5 * (p2 - p0) * c.sIn;
        return c.h00 * p0 + c.h10 * mOut + c.h01 * p1 + c.h11 * mIn;
    }

    static cg::Point bezier(const KeyframeAnimation::Segment& s, double u) {
        const double v = 1 - u;
        const double b0 = v * v * v, b1 = 3 * v * v * u, b2 = 3 * v * u * u, b3 = u * u * u;
        return {b0 * s.p0.x + b1 * s.c1.x + b2 * s.c2.x + b3 * s.p1.x,
                b0 * s.p0.y + b1 * s.c1.y + b2 * s.c2.y + b3 * s.p1.y};
    }

    // Direction of travel at u; where the derivative vanishes (a control point on an end), the
    // chord towards the next distinct control point stands in.
    static double tangentAngle(const KeyframeAnimation::Segment& s, double u) {
        const double v = 1 - u;
        double dx = 3 * (v * v * (s.c1.x - s.p0.x) + 2 * v * u * (s.c2.x - s.c1.x) + u * u * (s.p1.x - s.c2.x));
        double dy = 3 * (v * v * (s.c1.y - s.p0.y) + 2 * v * u * (s.c2.y - s.c1.y) + u * u * (s.p1.y - s.c2.y));
        if (dx == 0 && dy == 0) {
            const cg::Point from = u < 0.5 ? s.p0 : s.c1;
            const cg::Point to = u < 0.5 ? (s.c2 == s.p0 ? s.p1 : s.c2) : s.p1;
            dx = to.x - from.x;
            dy = to.y - from.y;
            if (dx == 0 && dy == 0) dx = s.p1.x - s.p0.x, dy = s.p1.y - s.p0.y;
        }
        return std::atan2(dy, dx);
    }

    void keyframePath(const KeyframeAnimation& a, double f) {
        const auto& segs = a.segments();
        if (segs.empty()) return;
        const size_t n = segs.size() + 1;
        size_t i;
        double u;
        locate(a.timingFunctions, a.keyTimes, n, f, i, u);
        const auto& s = segs[i];
        setPoint(bezier(s, u), a.isAdditive);
        if (a.rotationMode != RotationMode::none) {
            double angle = tangentAngle(s, u);
            if (a.rotationMode == RotationMode::autoReverse) angle += std::numbers::pi;
            out.rotation += angle;
            transformAnimated = true;
        }
    }

    // Numbers (or points: an x and a y each) laid out flat, `count` key times first.
    struct FlatKeys {
        KeyPath key;
        bool points;
        bool additive;
        CalculationMode mode;
        size_t values;
        std::span<const double> keyTimes;
        const double* data;  // the values
        std::span<const TimingFunction> curves;
    };

    void flatKeyframes(const FlatKeys& a, double f) {
        const size_t n = a.values;
        const std::span<const double> kt = a.keyTimes;
        size_t i = 0, j = 0;
        double u = 0;
        const CalculationMode mode = n == 1 ? CalculationMode::discrete : a.mode;
        if (mode == CalculationMode::discrete) {
            i = j = discreteIndex(kt, n, f);
        } else {
            locate(a.curves, kt, n, f, i, u);
            j = i + 1;
        }
        const double* p = a.data;
        if (!a.points) {
            double v;
            if (mode == CalculationMode::cubic) {
                const Cubic c = cubic(kt, n, i, u);
                v = cubicValue(c, p[c.im1], p[i], p[j], p[c.i2]);
            } else {
                v = p[i] + (p[j] - p[i]) * u;
            }
            return setNumber(a.key, v, a.additive);
        }
        auto at = [p](size_t m) { return cg::Point{p[2 * m], p[2 * m + 1]}; };
        const cg::Point v0 = at(i), v1 = at(j);
        cg::Point q;
        if (mode == CalculationMode::cubic) {
            const Cubic c = cubic(kt, n, i, u);
            const cg::Point pm = at(c.im1), p2 = at(c.i2);
            q = {cubicValue(c, pm.x, v0.x, v1.x, p2.x), cubicValue(c, pm.y, v0.y, v1.y, p2.y)};
        } else {
            q = {v0.x + (v1.x - v0.x) * u, v0.y + (v1.y - v0.y) * u};
        }
        setPoint(q, a.additive);
    }

    void keyframe(const KeyframeAnimation& a, double f) {
        const KeyPath k = a.parsedKeyPath();
        if (k == KeyPath::position && a.path()) return keyframePath(a, f);
        const auto& vals = a.values;
        const size_t n = vals.size();
        if (n == 0) return;
        const Channel ch = channelOf(k);
        // Numbers and points laid out flat, key times first: the same arithmetic as below on the
        // same doubles.
        const KeyframeAnimation::Flat laid = a.flatKind();
        const bool flat = (ch == Channel::number && laid == KeyframeAnimation::Flat::numbers) ||
                          (ch == Channel::point && laid == KeyframeAnimation::Flat::points);
        if (flat) {
            const std::span<const double> kt = a.flat().first(a.keyTimes.size());
            return flatKeyframes({k, ch == Channel::point, a.isAdditive, a.calculationMode, n, kt,
                                  a.flat().data() + kt.size(), a.timingFunctions},
                                 f);
        }
        const std::span<const double> kt = a.keyTimes;
        size_t i = 0, j = 0;
        double u = 0;
        CalculationMode mode = a.calculationMode;
        if (ch == Channel::image) mode = CalculationMode::discrete;
        if (n == 1) mode = CalculationMode::discrete;
        if (mode == CalculationMode::discrete) {
            i = j = discreteIndex(kt, n, f);
        } else {
            locate(a.timingFunctions, kt, n, f, i, u);
            j = i + 1;
        }
        const Value& v0 = vals[i];
        const Value& v1 = vals[j];
        switch (ch) {
            case Channel::number: {
                if (v0.type() != Value::Type::number || v1.type() != Value::Type::number) return;
                double v;
                if (mode == CalculationMode::cubic) {
                    const Cubic c = cubic(kt, n, i, u);
                    v = cubicValue(c, vals[c.im1].number(), v0.number(), v1.number(), vals[c.i2].number());
                } else {
                    v = v0.number() + (v1.number() - v0.number()) * u;
                }
                setNumber(k, v, a.isAdditive);
                break;
            }
            case Channel::point: {
                if (v0.type() != Value::Type::point || v1.type() != Value::Type::point) return;
                cg::Point p;
                if (mode == CalculationMode::cubic) {
                    const Cubic c = cubic(kt, n, i, u);
                    const cg::Point pm = vals[c.im1].point(), p2 = vals[c.i2].point();
                    p = {cubicValue(c, pm.x, v0.point().x, v1.point().x, p2.x),
                         cubicValue(c, pm.y, v0.point().y, v1.point().y, p2.y)};
                } else {
                    p = {v0.point().x + (v1.point().x - v0.point().x) * u, v0.point().y + (v1.point().y - v0.point().y) * u};
                }
                setPoint(p, a.isAdditive);
                break;
            }
            case Channel::image:
                if (v0.type() == Value::Type::image || v0.isNone()) setImage(out.contents, v0.image());
                break;
            case Channel::path:
                if (v0.type() != Value::Type::path || v1.type() != Value::Type::path) return;
                if (i == j) setPath(*v0.path());
                else lerpPath(*v0.path(), *v1.path(), u);
                break;
            case Channel::none: break;
        }
    }

    // --- any animation ---

    void apply(const Animation& a, double parentTime, double inheritedDuration, bool inGroup) {
        const double d = durationOf(a, inheritedDuration);
        const Phase ph = phaseAt(a, parentTime, d, inGroup);
        if (!ph.applies) return;
        switch (a.kind()) {
            case Animation::Kind::basic: basic(static_cast<const BasicAnimation&>(a), ph.fraction); break;
            case Animation::Kind::keyframe: keyframe(static_cast<const KeyframeAnimation&>(a), ph.fraction); break;
            case Animation::Kind::group:
                for (const auto& child : static_cast<const AnimationGroup&>(a).animations)
                    if (child) apply(*child, ph.fraction * d, d, true);
                break;
            case Animation::Kind::transition:
                out.inTransition = true;
                setImage(out.transitionFrom, static_cast<const Transition&>(a).snapshot());
                out.transitionProgress = std::clamp(ph.fraction, 0.0, 1.0);
                break;
        }
    }

    // The same, from the layer's laid-out record `k` of program p.
    void apply(const Program::View& p, size_t k, double parentTime, double inheritedDuration, bool inGroup) {
        const auto nodes = p.nodes;
        const Program::Node& n = nodes[k];
        if (n.kind == Program::Node::Kind::other) return apply(*n.animation, parentTime, inheritedDuration, inGroup);
        const double d = durationOf(n.timing, inheritedDuration);
        const Phase ph = phaseAt(n.timing, parentTime, d, inGroup);
        if (!ph.applies) return;
        if (n.kind == Program::Node::Kind::group) {
            for (size_t c = k + 1; c < n.end; c = nodes[c].end) apply(p, c, ph.fraction * d, d, true);
            return;
        }
        const double* data = p.data + n.data;
        flatKeyframes({n.key, n.flat == KeyframeAnimation::Flat::points, n.additive, n.mode, n.values,
                       std::span<const double>(data, n.keyTimes), data + n.keyTimes,
                       p.curves.subspan(n.curves, n.curveCount)},
                      ph.fraction);
    }
};

}  // namespace

void LayerModel::assign(const Layer& l) {
    layer = &l;
    kind = l.kind();
    hidden = l.isHidden();
    filter = l.compositingFilter();
    minFilter = l.minificationFilter();
    magFilter = l.magnificationFilter();
    children = uint32_t(l.sublayers().size());
    id = l.id();
    version = l.version();
    bounds = l.bounds();
    position = l.position();
    anchorPoint = l.anchorPoint();
    opacity = l.opacity();
    beginTime = l.beginTime();
    speed = l.speed();
    timeOffset = l.timeOffset();
    transform = l.affineTransform();
    setImage(contents, l.contents());
    parts = l.transformParts();
    shadowOpacity = l.shadowOpacity();
    shadowRadius = l.shadowRadius();
    background = l.backgroundColor();
    shadowColor = l.shadowColor();
    shadowOffset = l.shadowOffset();
}

void evaluate(const LayerModel& m, const Program::View& program, double localTime, Presentation& out) {
    out.localTime = localTime;
    out.bounds = m.bounds;
    out.position = m.position;
    out.anchorPoint = m.anchorPoint;
    out.opacity = m.opacity;
    const TransformParts& parts = m.parts;
    out.rotation = parts.rotation;
    out.scaleX = parts.scaleX;
    out.scaleY = parts.scaleY;
    setImage(out.contents, m.contents);
    out.inTransition = false;
    if (out.transitionFrom) out.transitionFrom.reset();
    out.transitionProgress = 1;
    if (m.kind == Layer::Kind::shape) {
        const auto& shape = static_cast<const ShapeLayer&>(*m.layer);
        out.hasPath = shape.path().has_value();
        if (out.hasPath) out.path = *shape.path();
        else out.path.clear();
        out.lineWidth = shape.lineWidth();
    } else {
        out.hasPath = false;
        out.path.clear();
        out.lineWidth = 0;
    }

    Eval ev{out};
    const size_t count = program.nodes.size();
    for (size_t k = 0; k < count; k = program.nodes[k].end) ev.apply(program, k, localTime, 0, false);

    if (ev.transformAnimated) {
        TransformParts p = parts;
        p.rotation = out.rotation;
        p.scaleX = out.scaleX;
        p.scaleY = out.scaleY;
        out.transform = p.compose();
    } else {
        out.transform = m.transform;
    }
}

void evaluate(const Layer& layer, double localTime, Presentation& out) {
    LayerModel m;
    m.assign(layer);
    evaluate(m, layer.program().view(), localTime, out);
}

}  // namespace detail

}  // namespace ca
