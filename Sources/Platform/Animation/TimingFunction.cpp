#include "Platform/Animation/TimingFunction.h"

#include <algorithm>
#include <cmath>

namespace ca {

namespace {

// One coordinate of the Bézier (0, p1, p2, 1) at parameter u, and its derivative.
double bezier(double p1, double p2, double u) {
    const double v = 1 - u;
    return 3 * v * v * u * p1 + 3 * v * u * u * p2 + u * u * u;
}

double bezierSlope(double p1, double p2, double u) {
    const double v = 1 - u;
    return 3 * v * v * p1 + 6 * v * u * (p2 - p1) + 3 * u * u * (1 - p2);
}

double clampUnit(double v) { return v > 0 ? (v < 1 ? v : 1.0) : 0.0; }  // NaN → 0

}  // namespace

TimingFunction::TimingFunction(double x1, double y1, double x2, double y2)
    : x1_(clampUnit(x1)), y1_(std::isfinite(y1) ? y1 : 0), x2_(clampUnit(x2)), y2_(std::isfinite(y2) ? y2 : 1) {}

TimingFunction TimingFunction::named(Name name) {
    switch (name) {
        case Name::linear: return {};
        case Name::easeIn: return {0.42, 0, 1, 1};
        case Name::easeOut: return {0, 0, 0.58, 1};
        case Name::easeInEaseOut: return {0.42, 0, 0.58, 1};
        case Name::defaultCurve: return {0.25, 0.1, 0.25, 1};
    }
    return {};
}

double TimingFunction::operator()(double x) const {
    x = clampUnit(x);
    if (isLinear() || x == 0 || x == 1) return x;
    // x(u) is monotonic because x1, x2 lie in [0, 1]: Newton from the linear guess, then bisection
    // when Newton leaves the bracket or stalls. A fixed number of steps keeps results repeatable.
    double lo = 0, hi = 1, u = x;
    for (int i = 0; i < 8; ++i) {
        const double err = bezier(x1_, x2_, u) - x;
        if (std::fabs(err) < 1e-14) return bezier(y1_, y2_, u);
        if (err > 0) hi = u; else lo = u;
        const double slope = bezierSlope(x1_, x2_, u);
        const double next = slope > 1e-9 ? u - err / slope : -1;
        u = next > lo && next < hi ? next : 0.5 * (lo + hi);
    }
    for (int i = 0; i < 60 && hi - lo > 1e-15; ++i) {
        const double err = bezier(x1_, x2_, u) - x;
        if (err == 0) break;
        if (err > 0) hi = u; else lo = u;
        u = 0.5 * (lo + hi);
    }
    return bezier(y1_, y2_, u);
}

}  // namespace ca
