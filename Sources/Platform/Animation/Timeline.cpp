#include "Platform/Animation/Timeline.h"

#include <cmath>

namespace ca::detail {

double floorMod(double x, double m) {
    double r = x - m * std::floor(x / m);
    if (r < 0) r = 0;
    if (r >= m) r = 0;  // rounding just below a multiple
    return r;
}

Phase phaseAt(const Timing& a, double parentTime, double d, bool inGroup) {
    Phase ph;
    const double span = activeDuration(a, d);
    double active = (parentTime - a.beginTime) * a.speed;
    if (!std::isfinite(active)) return ph;
    const bool fillsBack = a.fillMode == FillMode::backwards || a.fillMode == FillMode::both;
    const bool fillsForward = a.fillMode == FillMode::forwards || a.fillMode == FillMode::both;
    bool ended = false;
    if (active < 0) {
        if (!fillsBack) return ph;
        active = 0;
    } else if (active >= span) {
        if (!fillsForward || (!inGroup && a.isRemovedOnCompletion)) return ph;
        ended = true;
    } else {
        ph.running = a.speed != 0;
    }
    const double cycle = a.autoreverses ? 2 * d : d;
    const double local = (ended ? span : active) + a.timeOffset;
    double pos = std::isfinite(local) ? floorMod(local, cycle) : 0;
    if (ended && pos == 0 && local != 0) pos = cycle;  // the end of the last iteration
    if (a.autoreverses && pos > d) pos = 2 * d - pos;
    double f = d > 0 ? pos / d : 1;
    if (a.hasCurve) f = a.curve(f);
    ph.applies = true;
    ph.fraction = f;
    return ph;
}

bool hasEnded(const Animation& a, double layerTime) {
    const double d = durationOf(a, 0);
    return (layerTime - a.beginTime) * a.speed >= activeDuration(a, d);
}

}  // namespace ca::detail
