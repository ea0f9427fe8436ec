#pragma once
// The geometry of one fish pose: the spine bent by the swimming wave, the local frame along it and the
// body's half-width profile. Body coordinate u runs from 0 at the snout to 1 at the tail tip.

#include <algorithm>
#include <cmath>

#include "Art/Art.h"

struct Art::FishBody {
    static constexpr double twoPi = 6.283185307179586;

    const Fish& fish;
    double W = 0;
    double H = 0;
    double phase = 0;

    // S(u): the snout at W/2 + L/2, the tail tip at W/2 − L/2; the wave grows from 0.08·L·A at the snout
    // to L·A at the tail tip and travels tailward as the phase grows.
    cg::Point spine(double u) const {
        const double L = fish.length, A = fish.amp;
        return {W / 2 + L / 2 - L * u, H / 2 + L * A * (0.92 * u * u + 0.08) * std::sin(twoPi * (phase - 0.85 * u))};
    }
    // Unit tangent toward the snout.
    cg::Point tangent(double u) const {
        const cg::Point a = spine(std::max(u - 0.01, 0.0)), b = spine(std::min(u + 0.01, 1.0));
        const double dx = a.x - b.x, dy = a.y - b.y;
        const double len = std::max(std::hypot(dx, dy), 0.0001);
        return {dx / len, dy / len};
    }
    // Unit normal, on the +y side of a straight fish.
    cg::Point normal(double u) const {
        const cg::Point t = tangent(u);
        return {-t.y, t.x};
    }
    // P(u, k): the point at signed distance k from the spine.
    cg::Point at(double u, double k) const {
        const cg::Point s = spine(u), n = normal(u);
        return {s.x + k * n.x, s.y + k * n.y};
    }
    // The half-width at u for a body of largest half-width w: 0 at the snout, w near u = 0.25 … 0.3, and
    // the floor (0.13·w, a koi 0.16·w) at u = 0.8 where the tail begins.
    double half(double u, double w) const {
        const double tau = std::min(u / 0.8, 1.0);
        double p, f;
        if (fish.koi) {
            p = std::sqrt(std::sin(M_PI * std::pow(tau, 0.7)));
            f = 0.16;
        } else if (fish.shark) {
            p = std::sin(M_PI * std::pow(tau, 0.72));
            f = 0.13;
        } else {
            p = std::pow(std::sin(M_PI * std::pow(tau, 0.6)), 0.7);
            f = 0.13;
        }
        return w * std::max(p, f * tau);
    }
    double half(double u) const { return half(u, fish.width); }
};
