// The corals drawn from sampled coverage instead of through Cairo's strokes, clips and gradients. A round-
// capped, round-joined stroke is the union of discs at its points and bands along its segments, and a
// filled ellipse or simple polygon meets a horizontal line in intervals too: each pixel takes the covered
// length across it on 15 lines through its row, as Cairo's scan converter samples a row. A coral's shapes
// are laid one over another in a picture of its own, shaded here where they carry a radial gradient, and
// the picture goes onto the floor in one draw. For shapes of a few pixels this costs a small share of
// building, scanning and compositing each outline, clip and gradient through Cairo. Art::canopySampled and
// Art::ovalsSampled, the bush corals' crown and dots made general, serve the other painters' small
// crowns and dots the same way.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

#include "Art/Reef.h"
#include "Art/SampledSheet.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/StateGuard.h"

using sampled::channel;
using sampled::over;
using sampled::pixelOf;
using sampled::Radial;
using sampled::scaled;
using sampled::Sheet;
using sampled::times;

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
    static Piece disc(cg::Point c, double r) { return ellipse(c, r, r); }
    // An ellipse with axes along x and y.
    static Piece ellipse(cg::Point c, double rx, double ry) {
        Piece p;
        p.a_ = c;
        p.r_ = ry;
        p.rx_ = rx;
        p.low_ = c.y - ry;
        p.high_ = c.y + ry;
        p.left_ = c.x - rx;
        p.right_ = c.x + rx;
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
        p.left_ = std::min(a.x, b.x) - r;
        p.right_ = std::max(a.x, b.x) + r;
        return p;
    }

    double low() const { return low_; }
    double left() const { return left_; }
    double right() const { return right_; }
    bool isBand() const { return band_; }
    cg::Point centre() const { return a_; }
    double high() const { return high_; }

    // Where the line y = Y meets the piece, if it does.
    bool at(double Y, Interval& out) const {
        const double py = Y - a_.y;
        if (!band_) {
            const double h2 = r_ * r_ - py * py;
            if (!(h2 > 0)) return false;
            const double h = rx_ == r_ ? std::sqrt(h2) : rx_ / r_ * std::sqrt(h2);
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
    double r_ = 0, rx_ = 0, low_ = 0, high_ = 0, left_ = 0, right_ = 0;
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

// The whole pixels of the bitmap that the box (x0, y0)–(x1, y1) reaches from row `fromRow` up, as out's
// box; false when there are none.
bool wholePixels(Art::Reef::Coverage& out, double x0, double y0, double x1, double y1, int width, int height,
                 int fromRow) {
    const double left = std::max(std::floor(x0), 0.0);
    const double bottom = std::max(std::floor(y0), static_cast<double>(std::max(fromRow, 0)));
    const double right = std::min(std::ceil(x1), static_cast<double>(width));
    const double top = std::min(std::ceil(y1), static_cast<double>(height));
    if (!(left < right) || !(bottom < top)) return false;
    out.x = static_cast<int>(left);
    out.y = static_cast<int>(bottom);
    out.width = static_cast<int>(right - left);
    out.height = static_cast<int>(top - bottom);
    return true;
}

// One pixel row of coverage from its accumulated shares (area, and the runs that cover whole pixels from
// there on), written into out's alpha, and both cleared for the next row.
void resolveRow(Art::Reef::Coverage& out, int row, float* area, float* runs) {
    const std::size_t w = static_cast<std::size_t>(out.width);
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

// Whether the transform keeps circles round (a rotation, a uniform scale, a shift, maybe a mirror), and
// if so its scale.
std::optional<double> roundScale(const cg::Transform& d) {
    const double sx = d.a * d.a + d.b * d.b, sy = d.c * d.c + d.d * d.d;
    if (!std::isfinite(sx) || !std::isfinite(sy) || !(sx > 0)) return std::nullopt;
    if (std::fabs(sx - sy) > 1e-9 * sx || std::fabs(d.a * d.c + d.b * d.d) > 1e-9 * sx) return std::nullopt;
    return std::sqrt(sx);
}


}  // namespace

namespace {

// The coverage of the union of the pieces, cut to the disc if one is given and to the rows from `fromRow` up
// of a width × height bitmap.
Art::Reef::Coverage coverPieces(const std::vector<Piece>& pieces, std::optional<Art::Reef::Disc> clip, int width,
                                int height, int fromRow = 0) {
    Art::Reef::Coverage out;
    if (pieces.empty() || width <= 0 || height <= 0) return out;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Piece& p : pieces) {
        x0 = std::min(x0, p.left());
        x1 = std::max(x1, p.right());
        y0 = std::min(y0, p.low());
        y1 = std::max(y1, p.high());
    }
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) return out;
    if (clip) {
        if (!(clip->radius > 0) || !std::isfinite(clip->radius) || !std::isfinite(clip->centre.x) ||
            !std::isfinite(clip->centre.y))
            return out;
        x0 = std::max(x0, clip->centre.x - clip->radius);
        x1 = std::min(x1, clip->centre.x + clip->radius);
        y0 = std::max(y0, clip->centre.y - clip->radius);
        y1 = std::min(y1, clip->centre.y + clip->radius);
    }
    if (!wholePixels(out, x0, y0, x1, y1, width, height, fromRow)) return out;
    const double left = out.x, bottom = out.y;

    // Each piece goes into the lines it reaches; lines run up from the box's bottom.
    thread_local std::vector<int> starts, fill;
    thread_local std::vector<float> area, runs;
    thread_local std::vector<Interval> spans, found;
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
    // Each piece is cut by its lines in turn, its intervals stored in its lines' slots.
    spans.resize(static_cast<std::size_t>(starts.back()));
    fill.assign(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        for (int k = reach[i].from; k <= reach[i].to; ++k) {
            Interval span;
            if (piece.at(bottom + (k + 0.5) / kSubrows, span))
                spans[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] = span;
        }
    }

    const std::size_t w = static_cast<std::size_t>(out.width);
    area.assign(w, 0);
    runs.assign(w + 1, 0);
    out.alpha.assign(w * static_cast<std::size_t>(out.height), 0);
    for (int row = 0; row < out.height; ++row) {  // from the bottom
        bool inked = false;
        for (int k = row * kSubrows; k < (row + 1) * kSubrows; ++k) {
            const int first = starts[static_cast<std::size_t>(k)], end = fill[static_cast<std::size_t>(k)];
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
                const Interval span = spans[static_cast<std::size_t>(m)];
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
        if (inked) resolveRow(out, row, area.data(), runs.data());
    }
    return out;
}

}  // namespace

Art::Reef::Coverage Art::Reef::strokeCoverage(std::span<const cg::Point> pairs, double radius,
                                              std::optional<Disc> clip, int width, int height) {
    const std::size_t count = pairs.size() / 2;
    if (count == 0 || !(radius > 0) || !std::isfinite(radius)) return {};
    for (const cg::Point& p : pairs.first(count * 2))
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {};
    // A joint shared by segments that follow each other is one disc.
    thread_local std::vector<Piece> pieces;
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
    return coverPieces(pieces, clip, width, height);
}

Art::Reef::Coverage Art::Reef::polygonCoverage(std::span<const cg::Point> rim, int width, int height, int fromRow) {
    // A simple polygon's crossings pair up along a line: inside between the first and second, and so on.
    Coverage out;
    if (rim.size() < 3 || width <= 0 || height <= 0) return out;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const cg::Point& p : rim) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return out;
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    if (!wholePixels(out, x0, y0, x1, y1, width, height, fromRow)) return out;
    const double left = out.x, bottom = out.y;

    // Each edge crosses the lines from its lower end (included) to its upper end (not): a line through a
    // corner counts it once.
    const int lines = out.height * kSubrows;
    thread_local std::vector<int> starts, fill;
    thread_local std::vector<double> crossings;
    thread_local std::vector<float> area, runs;
    starts.assign(static_cast<std::size_t>(lines) + 1, 0);
    auto firstLine = [&](double y) { return std::max(0, static_cast<int>(std::ceil((y - bottom) * kSubrows - 0.5))); };
    const std::size_t n = rim.size();
    for (std::size_t i = 0; i < n; ++i) {
        const cg::Point p = rim[i], q = rim[(i + 1) % n];
        const int from = firstLine(std::min(p.y, q.y)), to = std::min(lines, firstLine(std::max(p.y, q.y)));
        for (int k = from; k < to; ++k) ++starts[static_cast<std::size_t>(k) + 1];
    }
    for (int k = 0; k < lines; ++k) starts[static_cast<std::size_t>(k) + 1] += starts[static_cast<std::size_t>(k)];
    crossings.resize(static_cast<std::size_t>(starts.back()));
    fill.assign(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        const cg::Point p = rim[i], q = rim[(i + 1) % n];
        const int from = firstLine(std::min(p.y, q.y)), to = std::min(lines, firstLine(std::max(p.y, q.y)));
        const double slope = (q.x - p.x) / (q.y - p.y);
        for (int k = from; k < to; ++k)
            crossings[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] =
                p.x + (bottom + (k + 0.5) / kSubrows - p.y) * slope - left;
    }

    const std::size_t w = static_cast<std::size_t>(out.width);
    area.assign(w, 0);
    runs.assign(w + 1, 0);
    out.alpha.assign(w * static_cast<std::size_t>(out.height), 0);
    for (int row = 0; row < out.height; ++row) {
        bool inked = false;
        for (int k = row * kSubrows; k < (row + 1) * kSubrows; ++k) {
            double* const first = crossings.data() + starts[static_cast<std::size_t>(k)];
            double* const end = crossings.data() + fill[static_cast<std::size_t>(k)];
            if (end - first < 2) continue;
            std::sort(first, end);
            for (double* c = first; c + 1 < end; c += 2) accumulate(area.data(), runs.data(), out.width, c[0], c[1]);
            inked = true;
        }
        if (inked) resolveRow(out, row, area.data(), runs.data());
    }
    return out;
}

Art::Reef::Coverage Art::Reef::ellipseCoverage(cg::Point centre, double rx, double ry, int width, int height,
                                                int fromRow) {
    if (!(rx > 0) || !(ry > 0) || !std::isfinite(rx) || !std::isfinite(ry) || !std::isfinite(centre.x) ||
        !std::isfinite(centre.y))
        return {};
    return coverPieces({Piece::ellipse(centre, rx, ry)}, std::nullopt, width, height, fromRow);
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

namespace {

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}


}  // namespace

namespace {


}  // namespace

void Art::Reef::bush(uint32_t dark, uint32_t light, double v) { art.canopySampled({0, 0}, 5.5, dark, light, v); }

void Art::canopySampled(cg::Point p, double r, uint32_t dark, uint32_t light, double k) {
    cg::Context& c = *ctx;
    const cg::Transform d = c.ctm();
    const double side = std::fabs(d.a);
    if (!(d.b == 0 && d.c == 0 && std::fabs(d.d) == side && side > 0 && std::isfinite(side) &&
          std::isfinite(d.tx) && std::isfinite(d.ty))) {
        canopy(p, r, dark, light, k);
        return;
    }
    // The lobes and dots as Art::canopy places them, from the same draws.
    RNG rng(toUInt64(k * 1000000) + 11);
    struct Lobe {
        cg::Point c;
        double rho;
    };
    std::array<Lobe, 7> lobes;
    for (std::size_t i = 0; i < 6; ++i) {
        const double theta = 1.05 * static_cast<double>(i) + rng.uniform(-0.4, 0.4);
        const double dist = r * rng.uniform(0.25, 0.5);
        const double rho = r * rng.uniform(0.42, 0.6);
        lobes[i] = {{p.x + dist * std::cos(theta), p.y + dist * std::sin(theta)}, rho};
    }
    std::stable_sort(lobes.begin(), lobes.begin() + 6, [](const Lobe& a, const Lobe& b) {
        return a.c.y - 0.3 * a.c.x < b.c.y - 0.3 * b.c.x;
    });
    lobes[6] = {{p.x - 0.1 * r, p.y + 0.1 * r}, 0.55 * r};

    // Everything lies within 1.2 r of p: one picture of that box, laid over the bitmap at the end, of the
    // rows the context can change (in a band, the band's).
    const int W = c.pixelWidth();
    const auto [low, H] = c.changeableRows();
    Sheet sheet(d.apply(p), 1.2 * r * side, 1.2 * r * side, W, H, low);
    // Int(0.6 r + 3), guarded for radii the callers never pass.
    const double count = 0.6 * r + 3;
    const int64_t dots = count > 0 ? (count < 1e6 ? static_cast<int64_t>(count) : 1000000) : 0;
    // The dots' fills would leave their colour on the context.
    if (dots > 0) c.setFillColor(cg::Color::rgb(light, 0.55));
    if (sheet.empty()) return;
    // Each lobe: its disc filled with the radial gradient from a focus up and to the left of its centre
    // (radius 0) to 1.15 its radius round the centre, light to dark at 0.75 and dark beyond.
    for (const Lobe& lobe : lobes) {
        const cg::Point centre = d.apply(lobe.c);
        const cg::Point focus = d.apply(cg::Point{lobe.c.x - 0.4 * lobe.rho, lobe.c.y + 0.45 * lobe.rho});
        sheet.lay(Reef::ellipseCoverage(centre, lobe.rho * side, lobe.rho * side, W, H, low),
                  Radial(focus, centre, 1.15 * lobe.rho * side, light, dark, 0.75));
    }
    // The light dots over the lower left, each a small ellipse.
    const uint32_t dotPixel = pixelOf(light, 0.55);
    for (int64_t i = 0; i < dots; ++i) {
        const double a = rng.uniform(1.6, 3.6);
        const double e = r * rng.uniform(0.2, 0.75);
        const cg::Point at = d.apply(cg::Point{p.x + e * std::cos(a), p.y + e * std::sin(a)});
        sheet.lay(Reef::ellipseCoverage(at, 0.07 * r * side, 0.06 * r * side, W, H, low),
                  [&](double, double) { return dotPixel; });
    }
    sheet.draw(c);
}

void Art::Reef::brain(uint32_t m, uint32_t o, double beta) {
    constexpr double kRadius = 4.6;
    std::array<cg::Point, 7 * 8 * 2> ridges;
    std::size_t n = 0;
    for (int i = -3; i <= 3; ++i) {
        cg::Point from;
        for (int j = 0; j <= 8; ++j) {
            const double t = kRadius * (j / 4.0 - 1);
            const double w = 1.3 * i + 0.5 * std::sin(2.3 * i + 1.9 * j);
            const cg::Point q{t * std::cos(beta) - w * std::sin(beta), t * std::sin(beta) + w * std::cos(beta)};
            if (j > 0) {
                ridges[n++] = from;
                ridges[n++] = q;
            }
            from = q;
        }
    }
    cg::Context& c = *art.ctx;
    const cg::Transform d = c.ctm();
    const std::optional<double> side = roundScale(d);
    const cg::Point focus{-1.84, 2.07};
    constexpr double kReach = 5.75;
    if (!side || kRadius * *side > 4096) {
        {
            cg::SavedState clipped(c);
            cg::Path disc;
            disc.addEllipse(cg::Rect(-kRadius, -kRadius, 2 * kRadius, 2 * kRadius));
            c.clip(disc);
            c.drawRadialGradient(cg::Gradient({cg::Color::rgb(o), cg::Color::rgb(m)}, {0, 1}), focus, 0, {0, 0},
                                 kReach, {false, true});
        }
        strokeSampled(m, 0.75, 0.45, ridges, Disc{{0, 0}, kRadius});
        return;
    }
    const int W = c.pixelWidth(), H = c.pixelHeight();
    const cg::Point centre = d.apply(cg::Point{0, 0});
    const double radius = kRadius * *side;
    Sheet sheet(centre, radius, radius, W, H);
    if (sheet.empty()) return;
    sheet.lay(ellipseCoverage(centre, radius, radius, W, H), Radial(d.apply(focus), centre, kReach * *side, o, m, 1));
    std::array<cg::Point, ridges.size()> device;
    for (std::size_t i = 0; i < ridges.size(); ++i) device[i] = d.apply(ridges[i]);
    const uint32_t ridge = pixelOf(m, 0.75);
    sheet.lay(strokeCoverage(device, 0.45 / 2 * *side, Disc{centre, radius}, W, H), [ridge](double, double) { return ridge; });
    sheet.draw(c);
}

void Art::Reef::dotsSampled(uint32_t color, double alpha, std::span<const cg::Rect> ovals) {
    std::vector<Oval> same;
    same.reserve(ovals.size());
    for (const cg::Rect& r : ovals) same.push_back({r, color});
    art.ovalsSampled(same, alpha);
}

void Art::ovalsSampled(std::span<const Oval> ovals, double alpha) {
    if (ovals.empty()) return;
    cg::Context& c = *ctx;
    const cg::Transform d = c.ctm();
    const double sx = std::fabs(d.a), sy = std::fabs(d.d);
    if (!(d.b == 0 && d.c == 0 && sx > 0 && sy > 0 && std::isfinite(sx) && std::isfinite(sy))) {
        for (const Oval& o : ovals) shape(o.color, alpha, 0, [&o](cg::Path& path) { path.addEllipse(o.box); });
        return;
    }
    // The last fill would leave its colour on the context.
    c.setFillColor(cg::Color::rgb(ovals.back().color, alpha));
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Oval& o : ovals) {
        const cg::Rect box = o.box.applying(d);
        x0 = std::min(x0, box.minX());
        y0 = std::min(y0, box.minY());
        x1 = std::max(x1, box.maxX());
        y1 = std::max(y1, box.maxY());
    }
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    // Only the rows the context can change (in a band, the band's).
    const int W = c.pixelWidth();
    const auto [low, H] = c.changeableRows();
    Sheet sheet({(x0 + x1) / 2, (y0 + y1) / 2}, (x1 - x0) / 2, (y1 - y0) / 2, W, H, low);
    if (sheet.empty()) return;
    // Ovals of one colour after another share their pixel.
    uint32_t color = ovals.front().color, pixel = pixelOf(color, alpha);
    for (const Oval& o : ovals) {
        if (o.color != color) {
            color = o.color;
            pixel = pixelOf(color, alpha);
        }
        const cg::Point at = d.apply(cg::Point{o.box.midX(), o.box.midY()});
        sheet.lay(Reef::ellipseCoverage(at, o.box.width() / 2 * sx, o.box.height() / 2 * sy, W, H, low),
                  [pixel](double, double) { return pixel; });
    }
    sheet.draw(c);
}

namespace {

// Whether the transform is a uniform scale and a shift, maybe mirrored: it keeps circles and the axes.
bool keepsAxes(const cg::Transform& d) {
    const double side = std::fabs(d.a);
    return d.b == 0 && d.c == 0 && std::fabs(d.d) == side && side > 0 && side < 4096 && std::isfinite(d.tx) &&
           std::isfinite(d.ty);
}

// The rim's outline through Cairo, filled with the coral's radial gradient: the way without a picture.
void shadeThroughCairo(cg::Context& c, uint32_t m, uint32_t o, std::span<const cg::Point> rim, cg::Point focus,
                       double reach) {
    cg::SavedState clipped(c);
    cg::Path outline;
    outline.addLines(rim);
    outline.closeSubpath();
    c.clip(outline);
    c.drawRadialGradient(cg::Gradient({cg::Color::rgb(o), cg::Color::rgb(m)}, {0, 1}), focus, 0, {0, 0}, reach,
                         {false, true});
}

}  // namespace

void Art::Reef::plate(uint32_t m, uint32_t o, std::span<const cg::Point> rim) {
    constexpr cg::Point kFocus{-2.6, 2.925};
    constexpr double kReach = 8.125;
    const cg::Rect shadow(-4.3, -8.32, 13, 11.44);
    std::array<cg::Point, 14 * 2> spokes;
    for (std::size_t k = 0; k < 14; ++k) {
        const double a = 2 * std::numbers::pi * static_cast<double>(k) / 14;
        spokes[2 * k] = {0, 0};
        spokes[2 * k + 1] = {5.85 * std::cos(a), 5.2 * std::sin(a)};
    }
    std::vector<cg::Point> edge;
    for (std::size_t k = 0; k < rim.size(); ++k) {
        edge.push_back(rim[k]);
        edge.push_back(rim[(k + 1) % rim.size()]);
    }
    cg::Context& c = *art.ctx;
    const cg::Transform d = c.ctm();
    if (!keepsAxes(d)) {
        art.shape(0x000000, 0.2, 0, [&](cg::Path& path) { path.addEllipse(shadow); });
        shadeThroughCairo(c, m, o, rim, kFocus, kReach);
        strokeSampled(o, 0.35, 0.35, spokes);
        strokeSampled(o, 0.6, 0.5, edge);
        return;
    }
    const double side = std::fabs(d.a);
    const int W = c.pixelWidth(), H = c.pixelHeight();
    // The shadow reaches furthest: 8.32 down and 8.7 to the right; the rim and its edge stay within 6.8.
    Sheet sheet(d.apply(cg::Point{0, 0}), 8.8 * side, 8.8 * side, W, H);
    if (sheet.empty()) return;
    const uint32_t dark = pixelOf(0x000000, 0.2);
    sheet.lay(ellipseCoverage(d.apply(shadow.mid()), shadow.width() / 2 * side, shadow.height() / 2 * side, W, H),
              [dark](double, double) { return dark; });
    std::vector<cg::Point> device(rim.size());
    for (std::size_t k = 0; k < rim.size(); ++k) device[k] = d.apply(rim[k]);
    const cg::Point centre = d.apply(cg::Point{0, 0});
    sheet.lay(polygonCoverage(device, W, H), Radial(d.apply(kFocus), centre, kReach * side, o, m, 1));
    for (cg::Point& p : spokes) p = d.apply(p);
    const uint32_t spoke = pixelOf(o, 0.35), rimLine = pixelOf(o, 0.6);
    sheet.lay(strokeCoverage(spokes, 0.35 / 2 * side, std::nullopt, W, H), [spoke](double, double) { return spoke; });
    for (cg::Point& p : edge) p = d.apply(p);
    sheet.lay(strokeCoverage(edge, 0.5 / 2 * side, std::nullopt, W, H), [rimLine](double, double) { return rimLine; });
    sheet.draw(c);
}

void Art::Reef::lobed(uint32_t m, uint32_t o, std::span<const cg::Point> rim, std::span<const cg::Rect> dots) {
    constexpr cg::Point kFocus{-2, 2.25};
    constexpr double kReach = 6.25;
    cg::Context& c = *art.ctx;
    const cg::Transform d = c.ctm();
    if (!keepsAxes(d)) {
        shadeThroughCairo(c, m, o, rim, kFocus, kReach);
        dotsSampled(o, 0.8, dots);
        return;
    }
    const double side = std::fabs(d.a);
    const int W = c.pixelWidth(), H = c.pixelHeight();
    double reach = 0;
    for (const cg::Point& p : rim) reach = std::max({reach, std::fabs(p.x), std::fabs(p.y)});
    for (const cg::Rect& r : dots) reach = std::max({reach, std::fabs(r.minX()), std::fabs(r.maxX()), std::fabs(r.minY()), std::fabs(r.maxY())});
    const cg::Point centre = d.apply(cg::Point{0, 0});
    Sheet sheet(centre, reach * side + 1, reach * side + 1, W, H);
    if (sheet.empty()) return;
    std::vector<cg::Point> device(rim.size());
    for (std::size_t k = 0; k < rim.size(); ++k) device[k] = d.apply(rim[k]);
    sheet.lay(polygonCoverage(device, W, H), Radial(d.apply(kFocus), centre, kReach * side, o, m, 1));
    const uint32_t dot = pixelOf(o, 0.8);
    for (const cg::Rect& r : dots)
        sheet.lay(ellipseCoverage(d.apply(r.mid()), r.width() / 2 * side, r.height() / 2 * side, W, H),
                  [dot](double, double) { return dot; });
    sheet.draw(c);
}

void Art::Reef::branches(uint32_t m, uint32_t o, std::span<const cg::Point> lines, std::span<const cg::Point> polyps) {
    constexpr double kPolyp = 0.55;
    const uint32_t tips = art.s.night ? 0x7a86b0 : 0xc9e2f0;
    cg::Context& c = *art.ctx;
    const cg::Transform d = c.ctm();
    // A lighter core drawn up and to the left gives the branches their rounded top.
    const cg::Transform core = d.translatedBy(-0.3, 0.3);
    if (!keepsAxes(d)) {
        strokeSampled(m, 1, 1.5, lines);
        cg::SavedState saved(c);
        c.translateBy(-0.3, 0.3);
        strokeSampled(o, 0.8, 0.7, lines);
        art.shape(tips, 0.9, 0, [&](cg::Path& path) {
            for (const cg::Point& q : polyps) path.addEllipse(cg::Rect(q.x - kPolyp, q.y - kPolyp, 2 * kPolyp, 2 * kPolyp));
        });
        return;
    }
    const double side = std::fabs(d.a);
    const int W = c.pixelWidth(), H = c.pixelHeight();
    double reach = 0;
    for (const cg::Point& p : lines) reach = std::max({reach, std::fabs(p.x), std::fabs(p.y)});
    for (const cg::Point& p : polyps) reach = std::max({reach, std::fabs(p.x), std::fabs(p.y)});
    const double r = (reach + 0.3 + 0.75) * side + 1;
    Sheet sheet(d.apply(cg::Point{0, 0}), r, r, W, H);
    if (sheet.empty()) return;
    std::vector<cg::Point> device(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) device[i] = d.apply(lines[i]);
    const uint32_t limb = pixelOf(m, 1), light = pixelOf(o, 0.8), tip = pixelOf(tips, 0.9);
    sheet.lay(strokeCoverage(device, 0.75 * side, std::nullopt, W, H), [limb](double, double) { return limb; });
    for (std::size_t i = 0; i < lines.size(); ++i) device[i] = core.apply(lines[i]);
    sheet.lay(strokeCoverage(device, 0.35 * side, std::nullopt, W, H), [light](double, double) { return light; });
    // The polyps are one fill: where two overlap they are covered once. A polyp is a stroke of no length.
    std::vector<cg::Point> dots;
    for (const cg::Point& q : polyps) {
        dots.push_back(core.apply(q));
        dots.push_back(core.apply(q));
    }
    sheet.lay(strokeCoverage(dots, kPolyp * side, std::nullopt, W, H), [tip](double, double) { return tip; });
    sheet.draw(c);
}
