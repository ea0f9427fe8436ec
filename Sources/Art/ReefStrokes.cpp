// The corals' thin strokes, sampled here instead of stroked through Cairo. A round-capped, round-joined
// stroke is the union of its segments' capsules; a horizontal line meets each capsule in one interval, so
// the union along a line is a merge of sorted intervals. Each pixel takes the covered length across it on
// 15 lines through its row, as Cairo's scan converter samples a row, which costs a small share of
// building and scanning the stroke's outline for short strokes of a few pixels.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Art/Reef.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr int kSubrows = 15;

struct Interval {
    double lo, hi;
};

// Where the capsule of radius r round segment a–b meets the line y = Y, if it does.
std::optional<Interval> capsuleAt(cg::Point a, cg::Point b, double r, double Y) {
    double lo = INFINITY, hi = -INFINITY;
    auto disc = [&](cg::Point c) {
        const double dy = Y - c.y;
        const double h2 = r * r - dy * dy;
        if (!(h2 > 0)) return;
        const double h = std::sqrt(h2);
        lo = std::min(lo, c.x - h);
        hi = std::max(hi, c.x + h);
    };
    disc(a);
    disc(b);
    // The band between the end caps: 0 ≤ (p − a)·d ≤ |d|² and |(p − a) × d| ≤ r·|d|, each linear in x.
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    if (length2 > 0) {
        const double py = Y - a.y, length = std::sqrt(length2);
        double from = -INFINITY, to = INFINITY;
        // k·x' + m within [low, high], x' = x − a.x.
        auto within = [&](double k, double m, double low, double high) {
            if (k == 0) {
                if (m < low || m > high) {
                    from = INFINITY;
                    to = -INFINITY;
                }
                return;
            }
            double u = (low - m) / k, v = (high - m) / k;
            if (u > v) std::swap(u, v);
            from = std::max(from, u);
            to = std::min(to, v);
        };
        within(dx, dy * py, 0, length2);
        within(-dy, dx * py, -r * length, r * length);
        if (from <= to) {
            lo = std::min(lo, a.x + from);
            hi = std::max(hi, a.x + to);
        }
    }
    if (!(lo < hi)) return std::nullopt;
    return Interval{lo, hi};
}

// Adds the length of [lo, hi] within each pixel column to `row` (columns 0 to width − 1).
void accumulate(float* row, int width, double lo, double hi) {
    lo = std::max(lo, 0.0);
    hi = std::min(hi, static_cast<double>(width));
    if (!(lo < hi)) return;
    const int first = static_cast<int>(lo), last = std::min(static_cast<int>(hi), width - 1);
    if (first == last) {
        row[first] += static_cast<float>(hi - lo);
        return;
    }
    row[first] += static_cast<float>(first + 1 - lo);
    for (int x = first + 1; x < last; ++x) row[x] += 1;
    row[last] += static_cast<float>(hi - last);
}

// Whether the transform keeps circles round (a rotation, a uniform scale, a shift, maybe a mirror), and
// if so its scale.
std::optional<double> roundScale(const cg::Transform& d) {
    const double sx = d.a * d.a + d.b * d.b, sy = d.c * d.c + d.d * d.d;
    if (!std::isfinite(sx) || !std::isfinite(sy) || !(sx > 0)) return std::nullopt;
    if (std::fabs(sx - sy) > 1e-9 * sx || std::fabs(d.a * d.c + d.b * d.d) > 1e-9 * sx) return std::nullopt;
    return std::sqrt(sx);
}

// Cairo's 8-bit premultiplied channel for a colour component c at alpha a.
uint32_t channel(double c, double a) {
    const double v = std::floor(std::clamp(c * a, 0.0, 1.0) * (65536.0 - 1e-5));
    return static_cast<uint32_t>(v) >> 8;
}

// x·a/255, rounded as the drawing library rounds it.
uint32_t scaled(uint32_t x, uint32_t a) {
    const uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

}  // namespace

Art::Reef::Coverage Art::Reef::strokeCoverage(std::span<const cg::Point> pairs, double radius,
                                              std::optional<Disc> clip, int width, int height) {
    Coverage out;
    const std::size_t count = pairs.size() / 2;
    if (count == 0 || !(radius > 0) || !std::isfinite(radius) || width <= 0 || height <= 0) return out;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const cg::Point& p : pairs.first(count * 2)) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return out;
        x0 = std::min(x0, p.x - radius);
        x1 = std::max(x1, p.x + radius);
        y0 = std::min(y0, p.y - radius);
        y1 = std::max(y1, p.y + radius);
    }
    if (clip) {
        if (!(clip->radius > 0) || !std::isfinite(clip->radius) || !std::isfinite(clip->centre.x) ||
            !std::isfinite(clip->centre.y))
            return out;
        x0 = std::max(x0, clip->centre.x - clip->radius);
        x1 = std::min(x1, clip->centre.x + clip->radius);
        y0 = std::max(y0, clip->centre.y - clip->radius);
        y1 = std::min(y1, clip->centre.y + clip->radius);
    }
    // Whole pixels, on the bitmap.
    const double left = std::max(std::floor(x0), 0.0), bottom = std::max(std::floor(y0), 0.0);
    const double right = std::min(std::ceil(x1), static_cast<double>(width));
    const double top = std::min(std::ceil(y1), static_cast<double>(height));
    if (!(left < right) || !(bottom < top)) return out;
    out.x = static_cast<int>(left);
    out.y = static_cast<int>(bottom);
    out.width = static_cast<int>(right - left);
    out.height = static_cast<int>(top - bottom);

    // Each segment's capsule goes into the lines it reaches; lines run up from the box's bottom.
    const int lines = out.height * kSubrows;
    auto lineOf = [&](double y) { return (y - bottom) * kSubrows - 0.5; };
    std::vector<int> starts(static_cast<std::size_t>(lines) + 1, 0);
    struct Reach {
        int from, to;
    };
    std::vector<Reach> reach(count);
    for (std::size_t i = 0; i < count; ++i) {
        const cg::Point a = pairs[2 * i], b = pairs[2 * i + 1];
        const int from = std::max(0, static_cast<int>(std::ceil(lineOf(std::min(a.y, b.y) - radius))));
        const int to = std::min(lines - 1, static_cast<int>(std::floor(lineOf(std::max(a.y, b.y) + radius))));
        reach[i] = {from, to};
        for (int k = from; k <= to; ++k) ++starts[static_cast<std::size_t>(k) + 1];
    }
    for (int k = 0; k < lines; ++k) starts[static_cast<std::size_t>(k) + 1] += starts[static_cast<std::size_t>(k)];
    std::vector<int> members(static_cast<std::size_t>(starts.back()));
    {
        std::vector<int> fill(starts.begin(), starts.end() - 1);
        for (std::size_t i = 0; i < count; ++i)
            for (int k = reach[i].from; k <= reach[i].to; ++k)
                members[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] = static_cast<int>(i);
    }

    std::vector<float> area(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height), 0);
    std::vector<Interval> found;
    for (int k = 0; k < lines; ++k) {
        const int first = starts[static_cast<std::size_t>(k)], end = starts[static_cast<std::size_t>(k) + 1];
        if (first == end) continue;
        const int row = k / kSubrows;  // from the bottom
        const double Y = bottom + (k + 0.5) / kSubrows;
        double clipLo = -INFINITY, clipHi = INFINITY;
        if (clip) {
            const double dy = Y - clip->centre.y, h2 = clip->radius * clip->radius - dy * dy;
            if (!(h2 > 0)) continue;
            const double h = std::sqrt(h2);
            clipLo = clip->centre.x - h;
            clipHi = clip->centre.x + h;
        }
        found.clear();
        for (int m = first; m < end; ++m) {
            const std::size_t i = static_cast<std::size_t>(members[static_cast<std::size_t>(m)]);
            if (const auto span = capsuleAt(pairs[2 * i], pairs[2 * i + 1], radius, Y)) {
                const double lo = std::max(span->lo, clipLo), hi = std::min(span->hi, clipHi);
                if (lo < hi) found.push_back({lo - left, hi - left});
            }
        }
        if (found.empty()) continue;
        std::sort(found.begin(), found.end(), [](const Interval& p, const Interval& q) { return p.lo < q.lo; });
        float* const acc = area.data() + static_cast<std::size_t>(out.height - 1 - row) * static_cast<std::size_t>(out.width);
        Interval run = found.front();
        for (std::size_t j = 1; j < found.size(); ++j) {
            if (found[j].lo <= run.hi) {
                run.hi = std::max(run.hi, found[j].hi);
            } else {
                accumulate(acc, out.width, run.lo, run.hi);
                run = found[j];
            }
        }
        accumulate(acc, out.width, run.lo, run.hi);
    }
    out.alpha.resize(area.size());
    for (std::size_t i = 0; i < area.size(); ++i) {
        const double level = std::clamp(static_cast<double>(area[i]) / kSubrows, 0.0, 1.0) * 255;
        out.alpha[i] = static_cast<uint8_t>(level + 0.5);
    }
    return out;
}

void Art::Reef::strokeSampled(uint32_t color, double alpha, double width, std::span<const cg::Point> pairs,
                              std::optional<Disc> clip) {
    cg::Context& c = *art.ctx;
    const cg::Transform d = c.ctm();
    const std::optional<double> side = roundScale(d);
    const double radius = side ? width / 2 * *side : 0;
    if (!side || !(radius > 0) || radius > 64) {
        // A pen the transform does not keep round (or a broad one) goes through Cairo.
        cg::SavedState saved(c);
        if (clip) {
            cg::Path disc;
            disc.addEllipse(cg::Rect(clip->centre.x - clip->radius, clip->centre.y - clip->radius, 2 * clip->radius,
                                     2 * clip->radius));
            c.clip(disc);
        }
        art.shape(color, alpha, width, [&](cg::Path& path) {
            for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
                path.moveTo(pairs[i]);
                path.lineTo(pairs[i + 1]);
            }
        });
        return;
    }
    std::vector<cg::Point> device;
    device.reserve(pairs.size());
    for (const cg::Point& p : pairs) device.push_back(d.apply(p));
    std::optional<Disc> deviceClip;
    if (clip) deviceClip = Disc{d.apply(clip->centre), clip->radius * *side};
    const Coverage cover = strokeCoverage(device, radius, deviceClip, c.pixelWidth(), c.pixelHeight());
    if (cover.width <= 0) return;

    const cg::Color tint = cg::Color::rgb(color, alpha);
    const double a = std::clamp(tint.a, 0.0, 1.0);
    const uint32_t src[4] = {channel(tint.b, a), channel(tint.g, a), channel(tint.r, a), channel(1, a)};
    std::vector<uint32_t> pixels(cover.alpha.size(), 0);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t m = cover.alpha[i];
        if (m == 0) continue;
        uint32_t p = 0;
        for (int ch = 0; ch < 4; ++ch) p |= (m == 255 ? src[ch] : scaled(src[ch], m)) << (8 * ch);
        pixels[i] = p;
    }
    if (const cg::ImageRef picture = cg::Image::fromARGB32(cover.width, cover.height, std::move(pixels)))
        c.drawPixelAligned(*picture, cover.x, cover.y);
}
