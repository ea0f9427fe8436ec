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

// One piece of a stroke, cut by horizontal lines: a round end or joint (a disc), or the band a segment
// sweeps between its ends, whose sides are bounds on x linear in the line's height. The stroke is the
// union of its pieces, so a line meets it where it meets any of them.
class Piece {
public:
    static Piece disc(cg::Point c, double r) {
        Piece p;
        p.a_ = c;
        p.r_ = r;
        p.low_ = c.y - r;
        p.high_ = c.y + r;
        return p;
    }
    // None for a segment without length: its ends' discs are all of it.
    static std::optional<Piece> band(cg::Point a, cg::Point b, double r) {
        const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
        if (!(length2 > 0)) return std::nullopt;
        Piece p;
        p.band_ = true;
        p.a_ = a;
        p.r_ = r;
        const double length = std::sqrt(length2);
        // 0 ≤ (q − a)·d ≤ |d|²: between two lines across the segment, or (upright) between its ends' heights.
        if (dx != 0) {
            p.acrossSlope_ = -dy / dx;
            p.acrossLo_ = 0;
            p.acrossHi_ = length2 / dx;
            if (p.acrossLo_ > p.acrossHi_) std::swap(p.acrossLo_, p.acrossHi_);
        } else {
            p.upright_ = true;
        }
        // |(q − a) × d| ≤ r·|d|: between the two lines along the segment, or (level) within r of its height.
        if (dy != 0) {
            p.alongSlope_ = dx / dy;
            p.alongLo_ = r * length / dy;
            p.alongHi_ = -p.alongLo_;
            if (p.alongLo_ > p.alongHi_) std::swap(p.alongLo_, p.alongHi_);
        } else {
            p.level_ = true;
        }
        p.endLow_ = std::min(a.y, b.y);
        p.endHigh_ = std::max(a.y, b.y);
        p.low_ = p.endLow_ - r;
        p.high_ = p.endHigh_ + r;
        return p;
    }

    double low() const { return low_; }
    bool isBand() const { return band_; }
    cg::Point centre() const { return a_; }
    double high() const { return high_; }

    // Where the line y = Y meets the piece, if it does.
    bool at(double Y, Interval& out) const {
        const double py = Y - a_.y;
        if (!band_) {
            const double h2 = r_ * r_ - py * py;
            if (!(h2 > 0)) return false;
            const double h = std::sqrt(h2);
            out = {a_.x - h, a_.x + h};
            return true;
        }
        double from = -INFINITY, to = INFINITY;
        if (upright_) {
            if (Y < endLow_ || Y > endHigh_) return false;
        } else {
            from = acrossSlope_ * py + acrossLo_;
            to = acrossSlope_ * py + acrossHi_;
        }
        if (level_) {
            if (std::fabs(py) > r_) return false;
        } else {
            from = std::max(from, alongSlope_ * py + alongLo_);
            to = std::min(to, alongSlope_ * py + alongHi_);
        }
        if (!(from < to)) return false;
        out = {a_.x + from, a_.x + to};
        return true;
    }

private:
    cg::Point a_;
    double r_ = 0, low_ = 0, high_ = 0;
    bool band_ = false, upright_ = false, level_ = false;
    double acrossSlope_ = 0, acrossLo_ = 0, acrossHi_ = 0;
    double alongSlope_ = 0, alongLo_ = 0, alongHi_ = 0;
    double endLow_ = 0, endHigh_ = 0;
};

// Adds the length of [lo, hi] within each pixel column to a row: the partly covered end columns to
// `area`, the wholly covered ones as a run in `runs` (+1 where it starts, −1 past its end).
void accumulate(float* area, float* runs, int width, double lo, double hi) {
    lo = std::max(lo, 0.0);
    hi = std::min(hi, static_cast<double>(width));
    if (!(lo < hi)) return;
    const int first = static_cast<int>(lo), last = std::min(static_cast<int>(hi), width - 1);
    if (first == last) {
        area[first] += static_cast<float>(hi - lo);
        return;
    }
    area[first] += static_cast<float>(first + 1 - lo);
    if (first + 1 < last) {
        runs[first + 1] += 1;
        runs[last] -= 1;
    }
    area[last] += static_cast<float>(hi - last);
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

    // Each piece goes into the lines it reaches; lines run up from the box's bottom. A joint shared by
    // segments that follow each other is one disc.
    thread_local std::vector<Piece> pieces;
    thread_local std::vector<int> starts, members, fill;
    thread_local std::vector<float> area, runs;
    thread_local std::vector<Interval> found;
    pieces.clear();
    auto addDisc = [&](cg::Point c) {
        const std::size_t n = pieces.size();
        for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
            const Piece& q = pieces[n - back];
            if (!q.isBand() && q.centre() == c) return;
        }
        pieces.push_back(Piece::disc(c, radius));
    };
    for (std::size_t i = 0; i < count; ++i) {
        const cg::Point a = pairs[2 * i], b = pairs[2 * i + 1];
        addDisc(a);
        if (const auto band = Piece::band(a, b, radius)) pieces.push_back(*band);
        addDisc(b);
    }
    const int lines = out.height * kSubrows;
    auto lineOf = [&](double y) { return (y - bottom) * kSubrows - 0.5; };
    starts.assign(static_cast<std::size_t>(lines) + 1, 0);
    struct Reach {
        int from, to;
    };
    thread_local std::vector<Reach> reach;
    reach.resize(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const int from = std::max(0, static_cast<int>(std::ceil(lineOf(pieces[i].low()))));
        const int to = std::min(lines - 1, static_cast<int>(std::floor(lineOf(pieces[i].high()))));
        reach[i] = {from, to};
        for (int k = from; k <= to; ++k) ++starts[static_cast<std::size_t>(k) + 1];
    }
    for (int k = 0; k < lines; ++k) starts[static_cast<std::size_t>(k) + 1] += starts[static_cast<std::size_t>(k)];
    members.resize(static_cast<std::size_t>(starts.back()));
    fill.assign(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (int k = reach[i].from; k <= reach[i].to; ++k)
            members[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] = static_cast<int>(i);

    const std::size_t w = static_cast<std::size_t>(out.width);
    area.assign(w, 0);
    runs.assign(w + 1, 0);
    out.alpha.assign(w * static_cast<std::size_t>(out.height), 0);
    for (int row = 0; row < out.height; ++row) {  // from the bottom
        bool inked = false;
        for (int k = row * kSubrows; k < (row + 1) * kSubrows; ++k) {
            const int first = starts[static_cast<std::size_t>(k)], end = starts[static_cast<std::size_t>(k) + 1];
            if (first == end) continue;
            const double Y = bottom + (k + 0.5) / kSubrows;
            double clipLo = -INFINITY, clipHi = INFINITY;
            if (clip) {
                const double dy = Y - clip->centre.y, h2 = clip->radius * clip->radius - dy * dy;
                if (!(h2 > 0)) continue;
                const double h = std::sqrt(h2);
                clipLo = clip->centre.x - h;
                clipHi = clip->centre.x + h;
            }
            // Pieces that follow each other along a stroke mostly overlap where a line meets them: each
            // is joined to the one before while they do, which leaves few intervals to sort.
            found.clear();
            Interval open{0, -1};
            for (int m = first; m < end; ++m) {
                Interval span;
                if (!pieces[static_cast<std::size_t>(members[static_cast<std::size_t>(m)])].at(Y, span)) continue;
                const double lo = std::max(span.lo, clipLo), hi = std::min(span.hi, clipHi);
                if (!(lo < hi)) continue;
                if (open.lo <= open.hi && lo <= open.hi && hi >= open.lo) {
                    open = {std::min(open.lo, lo), std::max(open.hi, hi)};
                } else {
                    if (open.lo <= open.hi) found.push_back({open.lo - left, open.hi - left});
                    open = {lo, hi};
                }
            }
            if (open.lo <= open.hi) found.push_back({open.lo - left, open.hi - left});
            if (found.empty()) continue;
            // A few intervals a line: sorted in place.
            for (std::size_t j = 1; j < found.size(); ++j) {
                const Interval v = found[j];
                std::size_t i = j;
                for (; i > 0 && found[i - 1].lo > v.lo; --i) found[i] = found[i - 1];
                found[i] = v;
            }
            Interval run = found.front();
            for (std::size_t j = 1; j < found.size(); ++j) {
                if (found[j].lo <= run.hi) {
                    run.hi = std::max(run.hi, found[j].hi);
                } else {
                    accumulate(area.data(), runs.data(), out.width, run.lo, run.hi);
                    run = found[j];
                }
            }
            accumulate(area.data(), runs.data(), out.width, run.lo, run.hi);
            inked = true;
        }
        if (!inked) continue;
        uint8_t* const dst = out.alpha.data() + static_cast<std::size_t>(out.height - 1 - row) * w;
        float whole = 0;
        for (std::size_t x = 0; x < w; ++x) {
            whole += runs[x];
            const double level = std::clamp(static_cast<double>(area[x] + whole) / kSubrows, 0.0, 1.0) * 255;
            dst[x] = static_cast<uint8_t>(level + 0.5);
            area[x] = 0;
            runs[x] = 0;
        }
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
