#include "Platform/Graphics/Context.h"

#include "Platform/Check.h"
#include "Platform/Graphics/Blur.h"
#include "Platform/Graphics/PixelStore.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>

namespace cg {

namespace {

constexpr int kMaxSide = 32767;                  // Cairo's limit
constexpr int64_t kMaxPixels = int64_t{1} << 28;  // 1 GiB of pixels
constexpr double kMaxCoord = 4.0e6;              // well inside Cairo's 24.8 fixed point
constexpr int kLayerGrain = 32;                  // layers grow in steps of this many pixels

// A clear surface of Cairo's own. Its memory may be fresh from the system, pages not yet there: the
// first draw would read them (mapping the shared zero page) and then write them, and each such write
// makes the kernel copy the page and flush every core's address cache. Writing one zero into each page
// (they hold zeros already) brings them in for writing, which needs no flush.
cairo_surface_t* clearSurface(int width, int height) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return s;
    unsigned char* data = cairo_image_surface_get_data(s);
    const std::size_t bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(s)) * static_cast<std::size_t>(height);
    if (!data || bytes == 0) return s;
    constexpr std::uintptr_t kPage = 4096;
    volatile unsigned char* const first = data;
    first[0] = 0;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(data);
    for (std::uintptr_t at = (start + kPage) & ~(kPage - 1); at < start + bytes; at += kPage)
        first[at - start] = 0;
    return s;
}

// Integer device rect, half-open.
struct IRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool contains(const IRect& o) const {
        return o.empty() || (!empty() && o.x0 >= x0 && o.y0 >= y0 && o.x1 <= x1 && o.y1 <= y1);
    }
};

IRect intersect(const IRect& a, const IRect& b) {
    IRect r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    if (r.empty()) return {};
    return r;
}

IRect unite(const IRect& a, const IRect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

IRect expand(const IRect& a, int d) {
    if (a.empty()) return a;
    return {a.x0 - d, a.y0 - d, a.x1 + d, a.y1 + d};
}

IRect shift(const IRect& a, int dx, int dy) {
    if (a.empty()) return a;
    return {a.x0 + dx, a.y0 + dy, a.x1 + dx, a.y1 + dy};
}

// Guarded double → int: NaN gives 0, huge values saturate.
int toInt(double v) {
    if (!(v == v)) return 0;
    v = std::clamp(v, -1.0e9, 1.0e9);
    return static_cast<int>(v);
}

// The whole-pixel rect holding the (device) rect, or empty for a null or non-finite one.
IRect outward(const Rect& r) {
    if (r.isNull()) return {};
    const double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return {};
    IRect out{toInt(std::floor(x0)), toInt(std::floor(y0)), toInt(std::ceil(x1)), toInt(std::ceil(y1))};
    if (out.x1 == out.x0) out.x1 += 1;  // hairline shapes still touch a pixel column
    if (out.y1 == out.y0) out.y1 += 1;
    return out;
}

double clampCoord(double v) { return std::clamp(v, -kMaxCoord, kMaxCoord); }

// Adds a device-space path to Cairo's current path (identity matrix expected). False when the path
// has a non-finite coordinate, in which case nothing is drawn.
bool appendPath(cairo_t* cr, const Path& path) {
    cairo_new_path(cr);
    const auto& pts = path.points();
    for (const Point& p : pts) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    }
    size_t k = 0;
    for (Path::Element e : path.elements()) {
        switch (e) {
            case Path::Element::moveTo:
                cairo_move_to(cr, clampCoord(pts[k].x), clampCoord(pts[k].y));
                k += 1;
                break;
            case Path::Element::lineTo:
                cairo_line_to(cr, clampCoord(pts[k].x), clampCoord(pts[k].y));
                k += 1;
                break;
            case Path::Element::curveTo:
                cairo_curve_to(cr, clampCoord(pts[k].x), clampCoord(pts[k].y), clampCoord(pts[k + 1].x),
                               clampCoord(pts[k + 1].y), clampCoord(pts[k + 2].x), clampCoord(pts[k + 2].y));
                k += 3;
                break;
            case Path::Element::close: cairo_close_path(cr); break;
        }
    }
    return true;
}

cairo_matrix_t toCairo(const Transform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

bool invertible(const Transform& t) {
    const double det = t.a * t.d - t.b * t.c;
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(t.tx) && std::isfinite(t.ty);
}

cairo_operator_t toCairo(BlendMode m) {
    switch (m) {
        case BlendMode::normal: return CAIRO_OPERATOR_OVER;
        case BlendMode::sourceAtop: return CAIRO_OPERATOR_ATOP;
        case BlendMode::sourceIn: return CAIRO_OPERATOR_IN;
        case BlendMode::destinationOver: return CAIRO_OPERATOR_DEST_OVER;
        case BlendMode::destinationOut: return CAIRO_OPERATOR_DEST_OUT;
        case BlendMode::plusLighter: return CAIRO_OPERATOR_ADD;
        case BlendMode::colorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
        case BlendMode::clear: return CAIRO_OPERATOR_CLEAR;
    }
    return CAIRO_OPERATOR_OVER;
}

double unit(double v) { return v > 0 ? (v < 1 ? v : 1.0) : 0.0; }  // NaN → 0

Color sanitized(const Color& c) { return {unit(c.r), unit(c.g), unit(c.b), unit(c.a)}; }

double finiteOr(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

struct Shadow {
    Size offset;
    double blur = 0;
    Color color = Color::clear();
};

struct GState {
    Transform ctm;
    Color fill = Color::black();
    Color stroke = Color::black();
    double lineWidth = 1;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
    double miterLimit = 10;
    std::vector<double> dash;
    double dashPhase = 0;
    double alpha = 1;
    BlendMode blend = BlendMode::normal;
    Shadow shadow;
    IRect clipBox;         // device bounds of the clip
    size_t clipCount = 0;  // clips in force: the first clipCount items of the clip list
};

struct ClipItem {
    Path path;  // device space
    FillRule rule;
    uint64_t id;
};

// A surface being drawn into: the bitmap itself, or a transparency layer over part of it.
struct Target {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    IRect box;                      // device pixels the surface covers
    IRect limit;                    // device pixels it may ever cover
    std::vector<uint64_t> applied;  // ids of the clips set on cr, in order
    // In a band: a second context on the surface for draws cut at the band's rows, the clips set
    // on it (ids in `bandApplied`) followed by the band's rows, kept from one draw to the next. Each
    // clip set or dropped costs Cairo a trip through memory all threads share.
    cairo_t* bandCr = nullptr;
    std::vector<uint64_t> bandApplied;
    size_t depthAtBegin = 0;        // layers: state stack depth just after the layer's save
    bool whole = false;             // in a band: drawn whole all the same
};

// Owners of a Cairo surface or context made for one draw.
template <class T, void (*destroy)(T*)>
struct CairoRelease {
    void operator()(T* p) const { destroy(p); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoRelease<cairo_surface_t, cairo_surface_destroy>>;
using CairoPtr = std::unique_ptr<cairo_t, CairoRelease<cairo_t, cairo_destroy>>;

void destroy(Target& t) {
    if (t.cr) cairo_destroy(t.cr);
    if (t.bandCr) cairo_destroy(t.bandCr);
    if (t.surface) cairo_surface_destroy(t.surface);
    t.cr = nullptr;
    t.bandCr = nullptr;
    t.surface = nullptr;
}

// What is drawn: a solid colour (its alpha already multiplied by the context alpha) or a pattern
// painted with an alpha.
struct Source {
    enum class Kind { solid, pattern } kind = Kind::solid;
    Color color;
    cairo_pattern_t* pattern = nullptr;
    double alpha = 1;
};

// Where it is drawn: inside a filled path, along a stroked path, or over the clip (optionally
// narrowed by a path).
struct Geometry {
    enum class Kind { fill, stroke, paint, cover } kind = Kind::fill;
    const Path* path = nullptr;
    FillRule rule = FillRule::winding;
    bool shapeIsClip = false;  // paint whose shape is the clip itself (gradients)
    IRect bounds;              // paint: device bounds of the source (empty: unbounded)
    IRect reach;               // paint: device bounds of what the source can change, for bands (empty: unknown)
    cairo_surface_t* cover = nullptr;  // cover: the shape's coverage, an A8 surface placed in device space
    IRect coverBox;                    // cover: the device pixels it covers
};

}  // namespace

struct Context::Impl {
    PixelBuffer pixels;  // unset bitmaps: their memory, which outlives the surfaces drawn into it
    int width = 0;
    int height = 0;
    double scale = 1;
    std::vector<Target> targets;  // [0] is the bitmap
    GState state;
    std::vector<GState> stack;
    std::vector<ClipItem> clips;
    uint64_t nextClipId = 1;
    Path current;  // device space
    Path scratch;  // device space, for conveniences
    Path extra;    // device space, gradient side clips
    std::vector<uint8_t> maskBuffer;
    std::vector<uint8_t> coverBuffer;  // strokeMarks' coverage
    detail::BlurScratch blur;
    Context::Stats stats;
    // A band (makeBand): the bitmap is another context's, of which this one may change only `band`.
    bool banded = false;
    IRect band;
    Target side;            // a private bitmap of the picture's size, where draws made whole land
    PixelBuffer sideMemory;  // the rows of it that draws may touch (sideRows), all else unbacked
    IRect sideRows;
    // awaitPixels: run before the first read of or draw into the bitmap, by every thread that gets
    // there before the pixels are ready (each waits in it, or helps); the pixels are marked changed once.
    struct Pending {
        std::atomic<bool> ready{false};
        std::once_flag once;
        std::function<void()> settle;
    };
    std::unique_ptr<Pending> pending;

    void settle() {
        if (!pending || pending->ready.load(std::memory_order_acquire)) return;
        pending->settle();
        std::call_once(pending->once, [this] {
            cairo_surface_mark_dirty(base());
            pending->ready.store(true, std::memory_order_release);
        });
    }

    // A draw that could not be carried out (a surface, mask or layer that cannot be made, a Cairo error).
    void dropped() {
        stats.dropped += 1;
        droppedDraws().fetch_add(1, std::memory_order_relaxed);
    }
    // Paints an image pattern over `g` with the state's alpha, blend mode, shadow and clip.
    void paintImage(Geometry g, cairo_pattern_t* pattern);
    // Whether drawing `g` could change no pixel here (outside the clip, the bitmap or the band), so that
    // a picture need not even be wrapped for it.
    bool paintsNothing(const Geometry& g) const;

    ~Impl() {
        for (auto it = targets.rbegin(); it != targets.rend(); ++it) destroy(*it);
        destroy(side);
    }

    IRect bitmapRect() const { return {0, 0, width, height}; }

    // User space → Cairo device space (y down, row 0 at the top).
    Transform dev() const {
        return state.ctm.concatenating(Transform{1, 0, 0, -1, 0, static_cast<double>(height)});
    }

    cairo_surface_t* base() const { return targets.front().surface; }

    // --- clip ---

    static void applyClip(cairo_t* cr, const ClipItem& c) {
        if (!appendPath(cr, c.path)) cairo_new_path(cr);
        cairo_set_fill_rule(cr, c.rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr);
    }

    void syncClip(Target& t) {
        const size_t n = state.clipCount;
        bool prefix = t.applied.size() <= n;
        for (size_t i = 0; prefix && i < t.applied.size(); ++i) prefix = t.applied[i] == clips[i].id;
        if (!prefix) {
            cairo_reset_clip(t.cr);
            t.applied.clear();
        }
        for (size_t i = t.applied.size(); i < n; ++i) {
            applyClip(t.cr, clips[i]);
            t.applied.push_back(clips[i].id);
        }
    }

    // The target's band context with the state's clips then the band's rows set on it, made or
    // brought up to date; null when Cairo cannot make it.
    cairo_t* bandContext(Target& t, const IRect& rows) {
        const size_t n = state.clipCount;
        bool same = t.bandCr && cairo_status(t.bandCr) == CAIRO_STATUS_SUCCESS && t.bandApplied.size() == n;
        for (size_t i = 0; same && i < n; ++i) same = t.bandApplied[i] == clips[i].id;
        if (same) return t.bandCr;
        if (!t.bandCr || cairo_status(t.bandCr) != CAIRO_STATUS_SUCCESS) {
            if (t.bandCr) cairo_destroy(t.bandCr);
            t.bandCr = cairo_create(t.surface);
        } else {
            cairo_reset_clip(t.bandCr);
        }
        t.bandApplied.clear();
        for (size_t i = 0; i < n; ++i) {
            applyClip(t.bandCr, clips[i]);
            t.bandApplied.push_back(clips[i].id);
        }
        cairo_identity_matrix(t.bandCr);
        cairo_rectangle(t.bandCr, rows.x0, rows.y0, rows.width(), rows.height());
        cairo_clip(t.bandCr);
        if (cairo_status(t.bandCr) == CAIRO_STATUS_SUCCESS) return t.bandCr;
        cairo_destroy(t.bandCr);
        t.bandCr = nullptr;
        return nullptr;
    }

    void replayClips(cairo_t* cr) const {
        for (size_t i = 0; i < state.clipCount; ++i) applyClip(cr, clips[i]);
    }

    void addClip(const Path& devicePath, FillRule rule) {
        IRect box = outward(devicePath.boundingBox());
        state.clipBox = intersect(state.clipBox, box);
        clips.resize(state.clipCount);
        clips.push_back({devicePath, rule, nextClipId++});
        state.clipCount = clips.size();
    }

    // The same, taking over a path built for the purpose (no copy).
    void addClip(Path&& devicePath, FillRule rule) {
        IRect box = outward(devicePath.boundingBox());
        state.clipBox = intersect(state.clipBox, box);
        clips.resize(state.clipCount);
        clips.push_back({std::move(devicePath), rule, nextClipId++});
        state.clipCount = clips.size();
    }

    // --- targets ---

    // Makes `s` the bottom target, the whole bitmap; takes the surface even when it fails.
    static bool attachBase(Impl& impl, cairo_surface_t* s) {
        Target base;
        base.surface = s;
        base.box = base.limit = impl.bitmapRect();
        if (!makeCr(base)) {
            cairo_surface_destroy(s);
            return false;
        }
        impl.targets.push_back(std::move(base));
        return true;
    }

    // A context over `s` (taken over: destroyed on failure) of width × height pixels, drawing at `scale`.
    static std::unique_ptr<Impl> over(cairo_surface_t* s, int width, int height, double scale) {
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            return nullptr;
        }
        auto impl = std::make_unique<Impl>();
        impl->width = width;
        impl->height = height;
        impl->scale = scale;
        if (!attachBase(*impl, s)) return nullptr;
        impl->state.ctm = Transform::scale(scale, scale);
        impl->state.clipBox = impl->bitmapRect();
        return impl;
    }

    static bool makeCr(Target& t) {
        t.cr = cairo_create(t.surface);
        t.applied.clear();
        if (cairo_status(t.cr) != CAIRO_STATUS_SUCCESS) {
            cairo_destroy(t.cr);
            t.cr = nullptr;
            return false;
        }
        return true;
    }

    // Makes sure a layer's surface covers `need`, growing it (and keeping its pixels) if not.
    bool ensureCovers(Target& t, IRect need) {
        need = intersect(need, t.limit);
        if (t.surface && t.box.contains(need)) return true;
        if (need.empty()) return true;
        IRect box = t.surface ? unite(t.box, need) : need;
        auto down = [](int v) { return v >= 0 ? v / kLayerGrain * kLayerGrain : -((-v + kLayerGrain - 1) / kLayerGrain) * kLayerGrain; };
        box = {down(box.x0), down(box.y0), down(box.x1 + kLayerGrain - 1), down(box.y1 + kLayerGrain - 1)};
        box = intersect(box, t.limit);
        if (box.empty()) return false;
        cairo_surface_t* s = clearSurface(box.width(), box.height());
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            dropped();
            return false;
        }
        cairo_surface_set_device_offset(s, -box.x0, -box.y0);
        stats.largestLayerPixels =
            std::max<uint64_t>(stats.largestLayerPixels, uint64_t(box.width()) * uint64_t(box.height()));
        Target grown;
        grown.surface = s;
        grown.box = box;
        grown.limit = t.limit;
        grown.depthAtBegin = t.depthAtBegin;
        grown.whole = t.whole;
        if (!makeCr(grown)) {
            cairo_surface_destroy(s);
            dropped();
            return false;
        }
        if (t.surface) {
            cairo_set_source_surface(grown.cr, t.surface, 0, 0);
            cairo_set_operator(grown.cr, CAIRO_OPERATOR_SOURCE);
            cairo_paint(grown.cr);
            cairo_set_operator(grown.cr, CAIRO_OPERATOR_OVER);
        }
        destroy(t);
        t = std::move(grown);
        return true;
    }

    // Cairo contexts that hit an error stop drawing for good; start a fresh one instead.
    void recover(Target& t) {
        if (!t.surface || (t.cr && cairo_status(t.cr) == CAIRO_STATUS_SUCCESS)) return;
        if (t.cr) cairo_destroy(t.cr);
        makeCr(t);
    }

    // A picture drawn pixel for pixel, moved by whole pixels.
    static bool wholePixelPicture(cairo_pattern_t* p) {
        if (!p || cairo_pattern_get_type(p) != CAIRO_PATTERN_TYPE_SURFACE) return false;
        cairo_matrix_t m;
        cairo_pattern_get_matrix(p, &m);
        return m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0 && m.x0 == std::floor(m.x0) &&
               m.y0 == std::floor(m.y0) && std::fabs(m.x0) < 1e9 && std::fabs(m.y0) < 1e9;
    }

    // In a band, a draw made whole goes to the private bitmap: the band's rows it touches are copied
    // there first and back after; its other rows there are written before the draw reads them, since
    // a page whose first touch is a read costs far more when many threads share the memory.
    //
    // Only the rows a draw may touch are backed by memory: Cairo reads and writes no pixel outside the
    // area an operator bounded by its shape changes, so the bitmap's other rows are never reached. Each
    // band thus holds a few megabytes rather than a picture's worth of fresh pages, every one of which
    // would fault on its first write. `allRows` backs every row (for operators that change
    // pixels outside the shape, and for text).
    Target* wholeTarget(const IRect& touched, bool allRows) {
        const IRect r = intersect(touched, bitmapRect());
        const IRect wanted = allRows ? bitmapRect() : IRect{0, r.y0, width, r.y1};
        if (!side.surface || !sideRows.contains(wanted)) {
            // Some rows around the band too, so that most later draws of the band fit.
            constexpr int kMargin = 64;
            const IRect rows =
                intersect(expand(unite(side.surface ? sideRows : wanted, unite(wanted, {0, band.y0, width, band.y1})),
                                 kMargin),
                          bitmapRect());
            destroy(side);
            const size_t stride = static_cast<size_t>(width) * 4;
            // Every band of every render wants such rows: blocks kept from earlier bands spare the
            // system zeroing fresh pages for each. What was in them is never read (see above).
            sideMemory.reset();
            sideMemory = PixelStore::takeScratch(stride * static_cast<size_t>(rows.height()));
            if (!sideMemory) return nullptr;
            // The surface spans the whole picture; its rows before rows.y0 lie before the memory and are
            // never reached.
            auto* data = reinterpret_cast<unsigned char*>(reinterpret_cast<uintptr_t>(sideMemory.get()) -
                                                          stride * static_cast<size_t>(rows.y0));
            side.surface = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, width * 4);
            side.box = side.limit = bitmapRect();
            sideRows = rows;
            if (cairo_surface_status(side.surface) != CAIRO_STATUS_SUCCESS || !makeCr(side)) {
                destroy(side);
                return nullptr;
            }
        }
        if (r.empty()) return &side;
        cairo_surface_flush(base());
        cairo_surface_flush(side.surface);
        const uint8_t* from = cairo_image_surface_get_data(base());
        uint8_t* to = cairo_image_surface_get_data(side.surface);
        const size_t stride = static_cast<size_t>(width) * 4, x0 = static_cast<size_t>(r.x0) * 4;
        const size_t bytes = static_cast<size_t>(r.width()) * 4;
        for (int y = r.y0; y < r.y1; ++y) {
            const size_t at = stride * static_cast<size_t>(y) + x0;
            if (y >= band.y0 && y < band.y1) std::memcpy(to + at, from + at, bytes);
            else std::memset(to + at, 0, bytes);
        }
        cairo_surface_mark_dirty_rectangle(side.surface, r.x0, r.y0, r.width(), r.height());
        return &side;
    }
    void wholeDone(const IRect& touched) {
        const IRect r = intersect(touched, band);
        if (r.empty()) return;
        cairo_surface_flush(side.surface);
        cairo_surface_flush(base());
        const uint8_t* from = cairo_image_surface_get_data(side.surface);
        uint8_t* to = cairo_image_surface_get_data(base());
        const size_t stride = static_cast<size_t>(width) * 4, x0 = static_cast<size_t>(r.x0) * 4;
        const size_t bytes = static_cast<size_t>(r.width()) * 4;
        for (int y = r.y0; y < r.y1; ++y) std::memcpy(to + stride * static_cast<size_t>(y) + x0, from + stride * static_cast<size_t>(y) + x0, bytes);
        cairo_surface_mark_dirty_rectangle(base(), r.x0, r.y0, r.width(), r.height());
    }

    // --- drawing ---

    void setStroke(cairo_t* cr) const {
        const cairo_matrix_t m = toCairo(dev());
        cairo_set_matrix(cr, &m);
        cairo_set_line_width(cr, state.lineWidth);
        cairo_set_line_cap(cr, state.cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                               : state.cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, state.join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                : state.join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                : CAIRO_LINE_JOIN_MITER);
        cairo_set_miter_limit(cr, state.miterLimit);
        cairo_set_dash(cr, state.dash.data(), static_cast<int>(state.dash.size()), state.dashPhase);
    }

    static void setSource(cairo_t* cr, const Source& s) {
        if (s.kind == Source::Kind::solid) {
            cairo_set_source_rgba(cr, s.color.r, s.color.g, s.color.b, s.color.a);
        } else {
            cairo_set_source(cr, s.pattern);
        }
    }

    // Draws the geometry with the source and the operator already set on cr. With coverageOnly
    // the source is opaque: the result is the shape's coverage.
    void drawGeometry(cairo_t* cr, const Geometry& g, const Source& s, bool coverageOnly) const {
        if (coverageOnly) {
            cairo_set_source_rgba(cr, 0, 0, 0, 1);
        } else {
            setSource(cr, s);
        }
        const double alpha = coverageOnly || s.kind == Source::Kind::solid ? 1.0 : s.alpha;
        const cairo_fill_rule_t rule =
            g.rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
        switch (g.kind) {
            case Geometry::Kind::fill:
                if (!appendPath(cr, *g.path)) return;
                cairo_set_fill_rule(cr, rule);
                cairo_fill(cr);
                break;
            case Geometry::Kind::stroke: {
                if (!appendPath(cr, *g.path)) return;
                setStroke(cr);
                cairo_stroke(cr);
                cairo_identity_matrix(cr);
                break;
            }
            case Geometry::Kind::cover:
                cairo_mask_surface(cr, g.cover, 0, 0);
                break;
            case Geometry::Kind::paint:
                if (g.path) {
                    if (coverageOnly) {
                        if (!appendPath(cr, *g.path)) return;
                        cairo_set_fill_rule(cr, rule);
                        cairo_fill(cr);
                        return;
                    }
                    cairo_save(cr);
                    if (!appendPath(cr, *g.path)) {
                        cairo_restore(cr);
                        return;
                    }
                    cairo_set_fill_rule(cr, rule);
                    cairo_clip(cr);
                    cairo_paint_with_alpha(cr, alpha);
                    cairo_restore(cr);
                } else {
                    cairo_paint_with_alpha(cr, alpha);
                }
                break;
        }
    }

    // Conservative device bounds of what the geometry can touch (before clipping).
    IRect contentBounds(const Geometry& g) const {
        switch (g.kind) {
            case Geometry::Kind::fill: return expand(outward(g.path->boundingBox()), 1);
            case Geometry::Kind::cover: return g.coverBox;
            case Geometry::Kind::stroke: {
                const Transform d = dev();
                const double norm = std::sqrt(d.a * d.a + d.b * d.b + d.c * d.c + d.d * d.d);
                double reach = state.join == LineJoin::miter ? std::max(state.miterLimit, 1.0) : 1.0;
                if (state.cap == LineCap::square) reach = std::max(reach, std::numbers::sqrt2);
                const double r = state.lineWidth / 2 * reach * norm;
                const int pad = toInt(std::ceil(std::min(r, 1.0e6))) + 2;
                return expand(outward(g.path->boundingBox()), pad);
            }
            case Geometry::Kind::paint: {
                IRect b = state.clipBox;
                if (g.path) b = intersect(b, expand(outward(g.path->boundingBox()), 1));
                if (!g.bounds.empty()) b = intersect(b, g.bounds);
                return b;
            }
        }
        return {};
    }

    bool shadowActive() const {
        const Shadow& s = state.shadow;
        return s.color.a > 0;
    }

    // An A8 surface over `box` (device coordinates) on the reusable mask buffer, cleared.
    cairo_surface_t* maskSurface(const IRect& box) {
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, box.width());
        if (stride <= 0) return nullptr;
        const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(box.height());
        if (maskBuffer.size() < bytes) maskBuffer.resize(bytes);
        std::memset(maskBuffer.data(), 0, bytes);
        cairo_surface_t* s = cairo_image_surface_create_for_data(maskBuffer.data(), CAIRO_FORMAT_A8, box.width(),
                                                                 box.height(), stride);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            return nullptr;
        }
        cairo_surface_set_device_offset(s, -box.x0, -box.y0);
        return s;
    }

    // result = D·(1 − M) + M·(S in D): source-in acting only inside the shape's coverage M.
    void boundedIn(Target& t, const IRect& box, const Source& s, cairo_surface_t* coverage) {
        const SurfacePtr tmp(clearSurface(box.width(), box.height()));
        if (cairo_surface_status(tmp.get()) != CAIRO_STATUS_SUCCESS) {
            dropped();
            return;
        }
        cairo_surface_set_device_offset(tmp.get(), -box.x0, -box.y0);
        {
            const CairoPtr held(cairo_create(tmp.get()));
            cairo_t* cr = held.get();
            cairo_set_source_surface(cr, t.surface, 0, 0);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_IN);
            setSource(cr, s);
            cairo_paint_with_alpha(cr, s.kind == Source::Kind::solid ? 1.0 : s.alpha);
        }

        cairo_set_operator(t.cr, CAIRO_OPERATOR_DEST_OUT);
        cairo_set_source_rgba(t.cr, 0, 0, 0, 1);
        cairo_mask_surface(t.cr, coverage, 0, 0);
        cairo_set_operator(t.cr, CAIRO_OPERATOR_ADD);
        cairo_set_source_surface(t.cr, tmp.get(), 0, 0);
        cairo_mask_surface(t.cr, coverage, 0, 0);
        cairo_set_operator(t.cr, CAIRO_OPERATOR_OVER);
    }

    // Whether a draw made whole can be drawn in place in a band: it reaches no row outside the band, so
    // drawn on the picture with the clip it would have had whole, Cairo gives it the bytes of the whole
    // draw. Cairo writes no pixel outside the clip, or outside the path of a fill or stroke (with the
    // pen's reach) or a paint's side path, for operators bounded by their shape. A paint's reach bounds
    // it too where the operator leaves pixels the source does not cover alone: it is the box Cairo itself
    // bounds such a source by. A paint's other bounds are ours, not Cairo's, and are not trusted here.
    bool staysInBand(const Geometry& g, BlendMode mode, const IRect& clip, const IRect& visible,
                     const IRect& shadowVisible) const {
        if (mode == BlendMode::sourceIn) return false;
        IRect writes = visible;
        if (g.kind == Geometry::Kind::paint) {
            writes = g.path ? intersect(clip, expand(outward(g.path->boundingBox()), 1)) : clip;
            if (!g.reach.empty() && mode != BlendMode::clear) writes = intersect(writes, g.reach);
        }
        writes = unite(writes, shadowVisible);
        return writes.y0 >= band.y0 && writes.y1 <= band.y1;
    }

    // The whole drawing pipeline: shadow (blurred, offset, cut by the clip) then the content,
    // both with the blend mode and only where the clip allows.
    void render(const Geometry& g, const Source& s, BlendMode mode, bool withShadow, bool shadowOnly = false) {
        settle();
        if (s.kind == Source::Kind::solid && s.color.a <= 0 && mode != BlendMode::sourceIn &&
            mode != BlendMode::clear)
            return;  // nothing would change
        Target* target = &targets.back();
        const bool shadow = withShadow && shadowActive() && mode != BlendMode::clear;
        double offX = 0, offY = 0, sigma = 0;
        if (shadow) {
            offX = std::clamp(finiteOr(state.shadow.offset.width, 0), -1.0e6, 1.0e6);
            offY = -std::clamp(finiteOr(state.shadow.offset.height, 0), -1.0e6, 1.0e6);
        }
        // In a band, Cairo gives the rows of a clipped solid shape the bytes of the whole shape, and so
        // for a picture moved by whole pixels; other patterns it maps through the centre of the area
        // drawn, so they are drawn whole.
        const bool inBand = banded && !target->whole;
        const bool bandClip = inBand && (s.kind == Source::Kind::solid || wholePixelPicture(s.pattern)) &&
                              mode != BlendMode::sourceIn && offX == std::floor(offX) && offY == std::floor(offY);
        const IRect limit = target->limit;
        const IRect bandRows{limit.x0, band.y0, limit.x1, band.y1};
        const IRect clip = intersect(intersect(state.clipBox, limit), bandClip ? bandRows : limit);
        const IRect content = intersect(contentBounds(g), limit);
        const IRect visible = shadowOnly ? IRect{} : intersect(content, clip);

        // Shadow geometry in device pixels: y-up offset, so a positive height moves it up.
        IRect maskBox, shadowVisible;
        if (shadow) {
            sigma = std::clamp(finiteOr(state.shadow.blur, 0), 0.0, 1.0e4) / 2;
            const int reach = detail::blurReach(sigma);
            const int ox = toInt(std::floor(offX)), oy = toInt(std::floor(offY));
            // Content that can reach the visible clip once blurred and offset.
            const IRect source = intersect(content, expand(shift(clip, -ox, -oy), reach + 1));
            if (!source.empty()) {
                maskBox = expand(source, reach);
                shadowVisible = intersect(expand(shift(maskBox, ox, oy), 1), clip);
            }
        }
        if (visible.empty() && shadowVisible.empty()) return;
        // What a draw drawn whole in a band can change.
        IRect touched = unite(visible, shadowVisible);
        if (!g.reach.empty() && shadowVisible.empty()) touched = intersect(touched, g.reach);
        if (inBand && intersect(touched, bandRows).empty()) return;
        const bool aside = inBand && !bandClip && targets.size() == 1 &&
                           !staysInBand(g, mode, clip, visible, shadowVisible);
        if (aside) {
            target = wholeTarget(touched, mode == BlendMode::sourceIn);
            if (!target) {
                dropped();
                return;
            }
        }
        Target& t = *target;
        if (!ensureCovers(t, unite(visible, shadowVisible))) return;
        recover(t);
        if (!t.cr) {
            dropped();
            return;
        }
        cairo_t* cr = t.cr;
        if (bandClip) {
            cr = bandContext(t, bandRows);
            if (!cr) {
                dropped();
                return;
            }
        } else {
            syncClip(t);
        }

        if (!shadowVisible.empty()) drawShadow(cr, g, s, mode, maskBox, offX, offY, sigma);
        if (!visible.empty()) {
            const bool emulate = mode == BlendMode::sourceIn && !(g.kind == Geometry::Kind::paint && !g.path);
            if (emulate) {
                if (const SurfacePtr m{maskSurface(visible)}) {
                    drawGeometry(CairoPtr(cairo_create(m.get())).get(), g, s, true);
                    cairo_surface_flush(m.get());
                    boundedIn(t, visible, s, m.get());
                } else {
                    dropped();
                }
            } else {
                cairo_set_operator(cr, toCairo(mode));
                drawGeometry(cr, g, s, false);
                cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            }
        }
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) dropped();
        recover(t);
        if (aside) wholeDone(touched);
    }

    void drawShadow(cairo_t* cr, const Geometry& g, const Source& s, BlendMode mode, const IRect& box, double offX,
                    double offY, double sigma) {
        const SurfacePtr held(maskSurface(box));
        cairo_surface_t* m = held.get();
        if (!m) {
            dropped();
            return;
        }
        stats.shadows += 1;
        stats.largestShadowPixels =
            std::max<uint64_t>(stats.largestShadowPixels, uint64_t(box.width()) * uint64_t(box.height()));
        // A solid colour's alpha is uniform: draw plain coverage (Cairo's fastest path) and apply
        // the alpha when compositing.
        const bool solidSource = s.kind == Source::Kind::solid;
        {
            const CairoPtr mcr(cairo_create(m));
            // The shape as drawn, with its alpha; a gradient's shape is the clip.
            if (g.kind == Geometry::Kind::paint && g.shapeIsClip) replayClips(mcr.get());
            drawGeometry(mcr.get(), g, s, solidSource);
        }
        cairo_surface_flush(m);
        detail::gaussianBlurA8(maskBuffer.data(), box.width(), box.height(), cairo_image_surface_get_stride(m), sigma,
                               blur);
        cairo_surface_mark_dirty(m);
        const Color c = state.shadow.color;
        // Source-in would erase the clip outside the blurred mask; the shadow then goes on top.
        cairo_set_operator(cr, mode == BlendMode::sourceIn ? CAIRO_OPERATOR_ATOP : toCairo(mode));
        cairo_set_source_rgba(cr, c.r, c.g, c.b, solidSource ? c.a * s.color.a : c.a);
        cairo_mask_surface(cr, m, offX, offY);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }

    Source solid(const Color& c) const {
        Source s;
        s.color = c;
        s.color.a *= state.alpha;
        return s;
    }

    void fillDevicePath(const Path& p, FillRule rule) {
        Geometry g;
        g.kind = Geometry::Kind::fill;
        g.path = &p;
        g.rule = rule;
        render(g, solid(state.fill), state.blend, true);
    }

    void strokeDevicePath(const Path& p) {
        if (!(state.lineWidth > 0) || !invertible(dev())) return;
        Geometry g;
        g.kind = Geometry::Kind::stroke;
        g.path = &p;
        render(g, solid(state.stroke), state.blend, true);
    }

    // Device path of a user-space path.
    const Path& toDevice(const Path& user) {
        scratch = user;
        scratch.apply(dev());
        return scratch;
    }

    // Radius in device space that covers the clip box seen from a user-space point.
    double userReach(Point from) const {
        const IRect c = state.clipBox;
        if (c.empty()) return 0;
        const Transform inv = dev().inverted();
        double best = 0;
        const Point corners[4] = {{double(c.x0), double(c.y0)}, {double(c.x1), double(c.y0)},
                                  {double(c.x0), double(c.y1)}, {double(c.x1), double(c.y1)}};
        for (const Point& q : corners) {
            const Point u = inv.apply(q);
            best = std::max(best, std::hypot(u.x - from.x, u.y - from.y));
        }
        return best + 1;
    }

    void paintPattern(cairo_pattern_t* pattern, const Path* side, FillRule rule, IRect reach = {}) {
        Geometry g;
        g.kind = Geometry::Kind::paint;
        g.path = side;
        g.rule = rule;
        g.reach = reach;
        g.shapeIsClip = true;
        Source s;
        s.kind = Source::Kind::pattern;
        s.pattern = pattern;
        s.alpha = state.alpha;
        render(g, s, state.blend, true);
    }
};

// ---------------------------------------------------------------------------------------------
// Creation

Context::Context(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Context::~Context() = default;

std::unique_ptr<Context> Context::makeBitmap(int pixelWidth, int pixelHeight, double scale) {
    return makeBitmap(pixelWidth, pixelHeight, scale, true);
}

std::unique_ptr<Context> Context::makeUnsetBitmap(int pixelWidth, int pixelHeight, double scale) {
    return makeBitmap(pixelWidth, pixelHeight, scale, false);
}

std::unique_ptr<Context> Context::makeBitmap(int pixelWidth, int pixelHeight, double scale, bool cleared) {
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide) return nullptr;
    if (int64_t{pixelWidth} * int64_t{pixelHeight} > kMaxPixels) return nullptr;
    if (!std::isfinite(scale) || !(scale > 0) || scale > 1.0e6) return nullptr;
    // Cleared bitmaps stay in Cairo's memory: Cairo knows those start clear and draws the first
    // strokes on them by its own, byte-different paths. Unset ones are our own memory, written by the
    // caller first and able to become an image without a copy.
    PixelBuffer pixels;
    cairo_surface_t* s = nullptr;
    if (cleared) {
        s = clearSurface(pixelWidth, pixelHeight);
    } else {
        pixels = PixelStore::take(static_cast<size_t>(pixelWidth) * static_cast<size_t>(pixelHeight) * 4);
        if (!pixels) return nullptr;
        s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.get()), CAIRO_FORMAT_ARGB32,
                                                pixelWidth, pixelHeight, pixelWidth * 4);
    }
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_stride(s) != pixelWidth * 4) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    auto impl = Impl::over(s, pixelWidth, pixelHeight, scale);
    if (!impl) return nullptr;
    impl->pixels = std::move(pixels);
    return std::unique_ptr<Context>(new Context(std::move(impl)));
}

std::unique_ptr<Context> Context::makeBand(Context& picture, int top, int bottom) {
    Impl& from = *picture.impl_;
    from.settle();
    cairo_surface_flush(from.base());
    unsigned char* pixels = cairo_image_surface_get_data(from.base());
    cairo_surface_t* s = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, from.width, from.height,
                                                           from.width * 4);
    auto impl = Impl::over(s, from.width, from.height, from.scale);
    if (!impl) return nullptr;
    impl->state.ctm = from.state.ctm;
    impl->banded = true;
    impl->band = intersect({0, top, from.width, bottom}, impl->bitmapRect());
    return std::unique_ptr<Context>(new Context(std::move(impl)));
}

std::unique_ptr<Context> Context::makeRows(Context& picture, int top, int bottom, double scale) {
    Impl& from = *picture.impl_;
    if (top < 0 || bottom > from.height || bottom <= top) return nullptr;
    if (!std::isfinite(scale) || !(scale > 0) || scale > 1.0e6) return nullptr;
    from.settle();
    cairo_surface_flush(from.base());
    const size_t stride = static_cast<size_t>(from.width) * 4;
    unsigned char* pixels = cairo_image_surface_get_data(from.base()) + stride * static_cast<size_t>(top);
    cairo_surface_t* s =
        cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, from.width, bottom - top, from.width * 4);
    auto impl = Impl::over(s, from.width, bottom - top, scale);
    if (!impl) return nullptr;
    return std::unique_ptr<Context>(new Context(std::move(impl)));
}

std::unique_ptr<Context> Context::makeFrame(double width, double height, double scale) {
    if (!std::isfinite(width) || !std::isfinite(height) || !std::isfinite(scale)) return nullptr;
    if (!(width > 0) || !(height > 0) || !(scale > 0)) return nullptr;
    const double pw = std::ceil(width * scale), ph = std::ceil(height * scale);
    if (!(pw >= 1 && pw <= kMaxSide && ph >= 1 && ph <= kMaxSide)) return nullptr;
    return makeBitmap(static_cast<int>(pw), static_cast<int>(ph), scale);
}

// ---------------------------------------------------------------------------------------------
// Bitmap

int Context::pixelWidth() const { return impl_->width; }
int Context::pixelHeight() const { return impl_->height; }
std::pair<int, int> Context::changeableRows() const {
    const Impl& m = *impl_;
    if (!m.banded) return {0, m.height};
    return {m.height - m.band.y1, m.height - m.band.y0};  // the band's rows run down
}
size_t Context::bytesPerRow() const { return static_cast<size_t>(impl_->width) * 4; }
double Context::scale() const { return impl_->scale; }

uint8_t* Context::data() {
    impl_->settle();
    cairo_surface_flush(impl_->base());
    return cairo_image_surface_get_data(impl_->base());
}

const uint8_t* Context::data() const {
    impl_->settle();
    cairo_surface_flush(impl_->base());
    return cairo_image_surface_get_data(impl_->base());
}

uint32_t* Context::row(int y) {
    if (y < 0 || y >= impl_->height) return nullptr;
    return reinterpret_cast<uint32_t*>(data() + bytesPerRow() * static_cast<size_t>(y));
}

void Context::pixelsChanged() {
    impl_->settle();
    cairo_surface_mark_dirty(impl_->base());
}

void Context::awaitPixels(std::function<void()> settle) {
    if (!settle) return;
    impl_->pending = std::make_unique<Impl::Pending>();
    impl_->pending->settle = std::move(settle);
}

uint32_t Context::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= impl_->width || y >= impl_->height) return 0;
    const uint8_t* p = data() + bytesPerRow() * static_cast<size_t>(y) + static_cast<size_t>(x) * 4;
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

ImageRef Context::makeImage() const {
    const size_t n = static_cast<size_t>(impl_->width) * static_cast<size_t>(impl_->height);
    PixelBuffer px(static_cast<uint32_t*>(std::malloc(n * 4)));  // every byte is copied over
    if (!px) return nullptr;
    std::memcpy(px.get(), data(), n * 4);
    return Image::adopt(impl_->width, impl_->height, std::move(px));
}

ImageRef Context::takeImage() {
    VM_CHECK(impl_ != nullptr, "image taken twice from one context");
    if (!impl_) return nullptr;
    impl_->settle();
    ImageRef copy = impl_->pixels ? nullptr : makeImage();  // Cairo's own memory cannot be handed over
    cairo_surface_flush(impl_->base());
    const int w = impl_->width, h = impl_->height;
    // The surfaces go first: Cairo must be done with the memory before the image owns it.
    for (auto it = impl_->targets.rbegin(); it != impl_->targets.rend(); ++it) destroy(*it);
    impl_->targets.clear();
    PixelBuffer pixels = std::move(impl_->pixels);
    impl_.reset();
    return copy ? copy : Image::adopt(w, h, std::move(pixels));
}

// ---------------------------------------------------------------------------------------------
// State

void Context::saveGState() { impl_->stack.push_back(impl_->state); }

void Context::restoreGState() {
    Impl& m = *impl_;
    VM_CHECK(!m.stack.empty(), "restore without a matching save");
    if (m.stack.empty()) return;
    // A layer's own save is undone only by ending the layer.
    const bool layerOwnsTop = m.targets.size() > 1 && m.stack.size() <= m.targets.back().depthAtBegin;
    VM_CHECK(!layerOwnsTop, "restore of a save made before the transparency layer began");
    if (layerOwnsTop) return;
    m.state = std::move(m.stack.back());
    m.stack.pop_back();
    m.clips.resize(m.state.clipCount);
}

void Context::translateBy(double tx, double ty) { impl_->state.ctm = impl_->state.ctm.translatedBy(tx, ty); }
void Context::scaleBy(double sx, double sy) { impl_->state.ctm = impl_->state.ctm.scaledBy(sx, sy); }
void Context::rotateBy(double angle) { impl_->state.ctm = impl_->state.ctm.rotatedBy(angle); }
void Context::concatenateCTM(const Transform& t) { impl_->state.ctm = t.concatenating(impl_->state.ctm); }
Context::Stats Context::stats() const { return impl_->stats; }

std::atomic<uint64_t>& Context::droppedDraws() {
    static std::atomic<uint64_t> count{0};
    return count;
}
Transform Context::ctm() const { return impl_->state.ctm; }

void Context::setFillColor(const Color& c) { impl_->state.fill = sanitized(c); }
void Context::setStrokeColor(const Color& c) { impl_->state.stroke = sanitized(c); }
Color Context::fillColor() const { return impl_->state.fill; }
Color Context::strokeColor() const { return impl_->state.stroke; }
void Context::setLineWidth(double width) { impl_->state.lineWidth = std::isfinite(width) && width > 0 ? width : 0; }
void Context::setLineCap(LineCap cap) { impl_->state.cap = cap; }
void Context::setLineJoin(LineJoin join) { impl_->state.join = join; }
void Context::setMiterLimit(double limit) { impl_->state.miterLimit = std::isfinite(limit) ? limit : 10; }

void Context::setLineDash(double phase, std::span<const double> lengths) {
    GState& s = impl_->state;
    s.dash.clear();
    s.dashPhase = 0;
    double total = 0;
    for (double v : lengths) {
        if (!std::isfinite(v) || v < 0) return;  // not a pattern: no dash
        total += v;
    }
    if (!(total > 0) || !std::isfinite(total)) return;
    s.dash.assign(lengths.begin(), lengths.end());
    s.dashPhase = std::isfinite(phase) ? phase : 0;
}

void Context::setAlpha(double alpha) { impl_->state.alpha = unit(alpha); }
void Context::setBlendMode(BlendMode mode) { impl_->state.blend = mode; }

void Context::setShadow(Size offset, double blur, const Color& color) {
    Shadow& s = impl_->state.shadow;
    s.offset = {finiteOr(offset.width, 0), finiteOr(offset.height, 0)};
    s.blur = std::isfinite(blur) && blur > 0 ? blur : 0;
    s.color = sanitized(color);
}

void Context::setShadow(Size offset, double blur) { setShadow(offset, blur, Color::black(1.0 / 3.0)); }
void Context::clearShadow() { impl_->state.shadow = Shadow{}; }

double Context::lineWidth() const { return impl_->state.lineWidth; }
LineCap Context::lineCap() const { return impl_->state.cap; }
LineJoin Context::lineJoin() const { return impl_->state.join; }
double Context::miterLimit() const { return impl_->state.miterLimit; }
double Context::alpha() const { return impl_->state.alpha; }
BlendMode Context::blendMode() const { return impl_->state.blend; }

// ---------------------------------------------------------------------------------------------
// Current path

void Context::beginPath() { impl_->current.clear(); }
void Context::moveTo(Point p) { impl_->current.moveTo(p, impl_->dev()); }
void Context::lineTo(Point p) { impl_->current.lineTo(p, impl_->dev()); }
void Context::quadCurveTo(Point control, Point to) { impl_->current.quadCurveTo(control, to, impl_->dev()); }
void Context::curveTo(Point c1, Point c2, Point to) { impl_->current.curveTo(c1, c2, to, impl_->dev()); }

void Context::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    impl_->current.addArc(center, radius, startAngle, endAngle, clockwise, impl_->dev());
}

void Context::addRect(const Rect& r) { impl_->current.addRect(r, impl_->dev()); }
void Context::addEllipse(const Rect& r) { impl_->current.addEllipse(r, impl_->dev()); }
void Context::addRoundedRect(const Rect& r, double cw, double ch) {
    impl_->current.addRoundedRect(r, cw, ch, impl_->dev());
}
void Context::addLines(std::span<const Point> points) { impl_->current.addLines(points, impl_->dev()); }
void Context::addPath(const Path& path) { impl_->current.addPath(path, impl_->dev()); }
void Context::closePath() { impl_->current.closeSubpath(); }
bool Context::isPathEmpty() const { return impl_->current.isEmpty(); }

std::optional<Point> Context::currentPoint() const {
    const auto p = impl_->current.currentPoint();
    if (!p) return std::nullopt;
    return impl_->dev().inverted().apply(*p);
}

Rect Context::pathBoundingBox() const {
    const Rect r = impl_->current.pathBoundingBox();
    if (r.isNull()) return r;
    return r.applying(impl_->dev().inverted());
}

// ---------------------------------------------------------------------------------------------
// Painting

void Context::fillPath(FillRule rule) {
    impl_->fillDevicePath(impl_->current, rule);
    impl_->current.clear();
}

void Context::strokePath() {
    impl_->strokeDevicePath(impl_->current);
    impl_->current.clear();
}

void Context::clip(FillRule rule) {
    impl_->addClip(impl_->current, rule);
    impl_->current.clear();
}

void Context::fill(const Rect& r) {
    Impl& m = *impl_;
    m.scratch.clear();
    m.scratch.addRect(r, m.dev());
    m.fillDevicePath(m.scratch, FillRule::winding);
}

void Context::fill(const Path& path, FillRule rule) { impl_->fillDevicePath(impl_->toDevice(path), rule); }

void Context::stroke(const Rect& r) {
    Impl& m = *impl_;
    m.scratch.clear();
    m.scratch.addRect(r, m.dev());
    m.strokeDevicePath(m.scratch);
}

void Context::stroke(const Path& path) { impl_->strokeDevicePath(impl_->toDevice(path)); }

void Context::fillEllipse(const Rect& r) {
    Impl& m = *impl_;
    m.scratch.clear();
    m.scratch.addEllipse(r, m.dev());
    m.fillDevicePath(m.scratch, FillRule::winding);
}

void Context::strokeEllipse(const Rect& r) {
    Impl& m = *impl_;
    m.scratch.clear();
    m.scratch.addEllipse(r, m.dev());
    m.strokeDevicePath(m.scratch);
}

void Context::strokeLineSegments(std::span<const Point> points) {
    Impl& m = *impl_;
    m.scratch.clear();
    const Transform d = m.dev();
    for (size_t i = 0; i + 1 < points.size(); i += 2) {
        m.scratch.moveTo(points[i], d);
        m.scratch.lineTo(points[i + 1], d);
    }
    m.strokeDevicePath(m.scratch);
}

namespace {

// The area of the unit pixel square, centred on the origin, on the side x·nx + y·ny <= t of a line
// (n of length 1).
double bound(double v) { return std::clamp(v, -1.0e9, 1.0e9); }

double squareBelow(double t, double nx, double ny) {
    double a = std::fabs(nx), b = std::fabs(ny);
    if (a < b) std::swap(a, b);
    const double half = (a + b) / 2, inner = (a - b) / 2;
    if (t <= -half) return 0;
    if (t >= half) return 1;
    if (t < -inner) return (t + half) * (t + half) / (2 * a * b);  // a corner; b > 0 here
    if (t > inner) return 1 - (half - t) * (half - t) / (2 * a * b);
    return 0.5 + t / a;
}

}  // namespace

void Context::strokeMarks(std::span<const Point> points) {
    Impl& m = *impl_;
    const size_t count = points.size() / 2;
    if (count == 0 || !(m.state.lineWidth > 0)) return;
    const Transform d = m.dev();
    // A similarity (rotation, uniform scale, shift, maybe a mirror) keeps the pen round: its scale is
    // the length of either column.
    const double sx = d.a * d.a + d.b * d.b, sy = d.c * d.c + d.d * d.d;
    const double side = std::sqrt(sx);
    const double radius = m.state.lineWidth / 2 * side;
    const bool round = std::isfinite(sx) && std::isfinite(sy) && sx > 0 &&
                       std::fabs(sx - sy) <= 1e-9 * sx && std::fabs(d.a * d.c + d.b * d.d) <= 1e-9 * sx &&
                       std::isfinite(radius) && radius <= 64;
    if (!round) {
        const LineCap cap = m.state.cap;
        const LineJoin join = m.state.join;
        m.state.cap = LineCap::round;
        m.state.join = LineJoin::round;
        strokeLineSegments(points.first(count * 2));
        m.state.cap = cap;
        m.state.join = join;
        return;
    }
    // The segments in device pixels, and the pixels they can touch.
    struct Segment {
        double ax, ay, bx, by;
    };
    std::vector<Segment> segments;
    segments.reserve(count);
    // A pixel's square reaches half its diagonal from its centre: within that of the pen's edge it is
    // partly covered, further inside wholly.
    constexpr double kHalfDiagonal = 0.70710678118654757;
    const double reach = radius + kHalfDiagonal;
    const double solid = radius > kHalfDiagonal ? (radius - kHalfDiagonal) * (radius - kHalfDiagonal) : -1;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        const Point a = d.apply(points[2 * i]), b = d.apply(points[2 * i + 1]);
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) continue;
        segments.push_back({a.x, a.y, b.x, b.y});
        // Boxes are only looked for on the bitmap: far ends are brought near enough to keep them finite.
        x0 = std::min({x0, bound(a.x), bound(b.x)});
        y0 = std::min({y0, bound(a.y), bound(b.y)});
        x1 = std::max({x1, bound(a.x), bound(b.x)});
        y1 = std::max({y1, bound(a.y), bound(b.y)});
    }
    if (segments.empty()) return;
    const IRect all = expand(outward(Rect(x0, y0, x1 - x0, y1 - y0)), toInt(std::ceil(reach)) + 1);
    const IRect box = intersect(intersect(all, m.state.clipBox), m.targets.back().limit);
    if (box.empty()) return;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, box.width());
    if (stride <= 0) return;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(box.height());
    if (m.coverBuffer.size() < bytes) m.coverBuffer.resize(bytes);
    uint8_t* const cover = m.coverBuffer.data();
    std::memset(cover, 0, bytes);
    // Each pixel takes the coverage of the segment nearest its centre: the share of the pixel's square
    // inside the pen's band through the nearest point, across the direction to the centre. That is the
    // exact area along a mark's sides, and a little more round its ends.
    for (const Segment& s : segments) {
        const double dx = s.bx - s.ax, dy = s.by - s.ay, length2 = dx * dx + dy * dy;
        const double left = bound(std::min(s.ax, s.bx)), top = bound(std::min(s.ay, s.by));
        const IRect near = intersect(expand(outward(Rect(left, top, bound(std::max(s.ax, s.bx)) - left,
                                                         bound(std::max(s.ay, s.by)) - top)),
                                            toInt(std::ceil(reach)) + 1),
                                     box);
        for (int y = near.y0; y < near.y1; ++y) {
            uint8_t* const row = cover + static_cast<size_t>(y - box.y0) * static_cast<size_t>(stride);
            const double py = y + 0.5 - s.ay;
            // Only the part of the segment within reach of the row can reach its pixels: a slanting
            // mark's box is mostly out of reach.
            double tLow = 0, tHigh = 1;
            if (dy != 0) {
                tLow = (py - reach) / dy;
                tHigh = (py + reach) / dy;
                if (tLow > tHigh) std::swap(tLow, tHigh);
                tLow = std::max(tLow, 0.0);
                tHigh = std::min(tHigh, 1.0);
                if (!(tLow <= tHigh)) continue;
            } else if (!(std::fabs(py) < reach)) {
                continue;
            }
            const double xa = s.ax + tLow * dx, xb = s.ax + tHigh * dx;
            // Within the row's part of the box, however far (or undefined) the ends are.
            auto column = [&near](double v) {
                return !(v > near.x0) ? near.x0 : (!(v < near.x1) ? near.x1 : static_cast<int>(v));
            };
            const int from = column(std::floor(std::min(xa, xb) - reach));
            const int to = column(std::floor(std::max(xa, xb) + reach) + 1);
            for (int x = from; x < to; ++x) {
                uint8_t& out = row[x - box.x0];
                if (out == 255) continue;  // covered already
                const double px = x + 0.5 - s.ax;
                double t = length2 > 0 ? (px * dx + py * dy) / length2 : 0;
                t = t < 0 ? 0 : (t > 1 ? 1 : t);
                const double ex = px - t * dx, ey = py - t * dy;
                const double distance2 = ex * ex + ey * ey;
                if (distance2 >= reach * reach) continue;
                if (distance2 <= solid) {
                    out = 255;
                    continue;
                }
                const double distance = std::sqrt(distance2);
                double nx = 1, ny = 0;
                if (distance > 0) {
                    nx = ex / distance;
                    ny = ey / distance;
                } else if (length2 > 0) {
                    const double length = std::sqrt(length2);
                    nx = -dy / length;
                    ny = dx / length;
                }
                const double c = squareBelow(radius - distance, nx, ny) - squareBelow(-radius - distance, nx, ny);
                const uint8_t level = c >= 1 ? 255 : (c > 0 ? static_cast<uint8_t>(c * 255 + 0.5) : 0);
                if (level > out) out = level;
            }
        }
    }
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(cover, CAIRO_FORMAT_A8, box.width(), box.height(), stride);
    const SurfacePtr held(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        m.dropped();
        return;
    }
    cairo_surface_set_device_offset(surface, -box.x0, -box.y0);
    Geometry g;
    g.kind = Geometry::Kind::cover;
    g.cover = surface;
    g.coverBox = box;
    m.render(g, m.solid(m.state.stroke), m.state.blend, true);
}

void Context::clear(const Rect& r) {
    Impl& m = *impl_;
    m.scratch.clear();
    m.scratch.addRect(r, m.dev());
    Geometry g;
    g.kind = Geometry::Kind::fill;
    g.path = &m.scratch;
    Source s;
    s.color = Color::black();
    m.render(g, s, BlendMode::clear, false);
}

void Context::clipToRect(const Rect& r) {
    Impl& m = *impl_;
    Path p;
    p.addRect(r, m.dev());
    m.addClip(p, FillRule::winding);
}

void Context::clip(const Path& path, FillRule rule) { impl_->addClip(path.applying(impl_->dev()), rule); }

void Context::clipToPixelRects(std::span<const Rect> rects) {
    Impl& m = *impl_;
    const Transform flip{1, 0, 0, -1, 0, static_cast<double>(m.height)};
    Path p;
    p.reserve(rects.size() * 5, rects.size() * 4);
    for (const Rect& r : rects)
        if (!r.isEmpty()) p.addRect(r, flip);
    m.addClip(std::move(p), FillRule::winding);
}

void Context::fillShadowOnly(const Path& path, FillRule rule) {
    Impl& m = *impl_;
    Geometry g;
    g.kind = Geometry::Kind::fill;
    g.path = &m.toDevice(path);
    g.rule = rule;
    m.render(g, m.solid(m.state.fill), m.state.blend, true, true);
}

Rect Context::clipBoundingBox() const {
    const IRect c = impl_->state.clipBox;
    if (c.empty()) return Rect::null();
    const Rect r(c.x0, c.y0, c.width(), c.height());
    return r.applying(impl_->dev().inverted());
}

// ---------------------------------------------------------------------------------------------
// Gradients

namespace {

void addStops(cairo_pattern_t* p, const Gradient& g) {
    for (const Gradient::Stop& s : g.stops()) {
        const Color c = sanitized(s.color);
        cairo_pattern_add_color_stop_rgba(p, s.location, c.r, c.g, c.b, c.a);
    }
}

}  // namespace

void Context::drawLinearGradient(const Gradient& g, Point start, Point end, GradientOptions options) {
    Impl& m = *impl_;
    if (g.isEmpty() || m.state.clipBox.empty()) return;
    const Transform d = m.dev();
    if (!invertible(d)) return;
    const double dx = end.x - start.x, dy = end.y - start.y;
    const double len = std::hypot(dx, dy);
    if (!(len > 0) || !std::isfinite(len) || !std::isfinite(start.x) || !std::isfinite(start.y)) return;

    cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    addStops(p, g);
    const cairo_matrix_t pm = toCairo(d.inverted());
    cairo_pattern_set_matrix(p, &pm);
    const bool before = options.drawsBeforeStart, after = options.drawsAfterEnd;
    cairo_pattern_set_extend(p, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);

    const Path* side = nullptr;
    if (before != after) {
        // Cairo pads both ends or neither: pad both and keep one half-plane.
        const Point anchor = before ? end : start;
        const double ux = dx / len, uy = dy / len;   // along the gradient
        const double nx = -uy, ny = ux;               // across it
        const double big = m.userReach(anchor) + len;
        const double s = before ? -1 : 1;             // which way the kept half-plane lies
        m.extra.clear();
        m.extra.moveTo({anchor.x + nx * big, anchor.y + ny * big}, d);
        m.extra.lineTo({anchor.x - nx * big, anchor.y - ny * big}, d);
        m.extra.lineTo({anchor.x - nx * big + s * ux * big, anchor.y - ny * big + s * uy * big}, d);
        m.extra.lineTo({anchor.x + nx * big + s * ux * big, anchor.y + ny * big + s * uy * big}, d);
        m.extra.closeSubpath();
        side = &m.extra;
    }
    m.paintPattern(p, side, FillRule::winding);
    cairo_pattern_destroy(p);
}

void Context::drawRadialGradient(const Gradient& g, Point c0, double r0, Point c1, double r1,
                                 GradientOptions options) {
    Impl& m = *impl_;
    if (g.isEmpty() || m.state.clipBox.empty()) return;
    const Transform d = m.dev();
    if (!invertible(d)) return;
    if (!std::isfinite(c0.x) || !std::isfinite(c0.y) || !std::isfinite(c1.x) || !std::isfinite(c1.y) ||
        !std::isfinite(r0) || !std::isfinite(r1))
        return;
    r0 = std::fabs(r0);
    r1 = std::fabs(r1);
    if (r0 == 0 && r1 == 0) return;

    cairo_pattern_t* p = cairo_pattern_create_radial(c0.x, c0.y, r0, c1.x, c1.y, r1);
    addStops(p, g);
    const cairo_matrix_t pm = toCairo(d.inverted());
    cairo_pattern_set_matrix(p, &pm);
    const bool before = options.drawsBeforeStart, after = options.drawsAfterEnd;
    cairo_pattern_set_extend(p, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);

    const Path* side = nullptr;
    FillRule rule = FillRule::winding;
    if (before != after) {
        // Pad both ends, then drop the side that must stay bare. When one circle holds the other
        // the parameter runs below 0 / above 1 exactly inside or outside a circle; for cones the
        // excluded circle is a close stand-in.
        const double dist = std::hypot(c1.x - c0.x, c1.y - c0.y);
        const bool startInside = dist + r0 <= r1;
        const bool endInside = dist + r1 <= r0;
        auto disc = [&](Point c, double r) {
            m.extra.addEllipse(Rect(c.x - r, c.y - r, 2 * r, 2 * r), d);
        };
        auto outside = [&](Point c, double r) {
            const IRect b = expand(m.state.clipBox, 2);
            m.extra.addRect(Rect(b.x0, b.y0, b.width(), b.height()));
            disc(c, r);
            rule = FillRule::evenOdd;
        };
        m.extra.clear();
        if (after) {  // drop t < 0
            if (endInside) disc(c0, r0);
            else if (r0 > 0) outside(c0, r0);
        } else {  // drop t > 1
            if (startInside) disc(c1, r1);
            else outside(c1, r1);
        }
        if (!m.extra.isEmpty()) side = &m.extra;
    }
    // Without extension nothing is painted beyond the two circles. Like Cairo, the box around both is
    // taken before it is moved to the device: a draw in place in a band relies on Cairo writing nothing
    // outside it.
    IRect reach;
    if (!before && !after) {
        const Rect around =
            Rect(c0.x - r0, c0.y - r0, 2 * r0, 2 * r0).unionWith(Rect(c1.x - r1, c1.y - r1, 2 * r1, 2 * r1));
        reach = expand(outward(around.applying(d)), 1);
    }
    m.paintPattern(p, side, rule, reach);
    cairo_pattern_destroy(p);
}

// ---------------------------------------------------------------------------------------------
// Transparency layers

void Context::beginTransparencyLayer() {
    Impl& m = *impl_;
    saveGState();
    Target layer;
    layer.limit = intersect(m.state.clipBox, m.targets.back().limit);
    layer.depthAtBegin = m.stack.size();
    // Cairo draws differently onto a layer it knows to be clear, and how far a layer has grown decides
    // that: in a band, layers are drawn whole, as without bands.
    layer.whole = m.banded;
    m.stats.layers += 1;
    m.targets.push_back(std::move(layer));
    m.state.alpha = 1;
    m.state.blend = BlendMode::normal;
    m.state.shadow = Shadow{};
}

void Context::endTransparencyLayer() {
    Impl& m = *impl_;
    VM_CHECK(m.targets.size() > 1, "end of a transparency layer that was not begun");
    if (m.targets.size() <= 1) return;
    VM_CHECK(m.stack.size() == m.targets.back().depthAtBegin, "transparency layer ended with saves still open");
    Target layer = std::move(m.targets.back());
    m.targets.pop_back();
    // Back to the state at the beginning: alpha, blend mode, shadow and clip in force then.
    while (m.stack.size() >= layer.depthAtBegin && !m.stack.empty()) {
        m.state = std::move(m.stack.back());
        m.stack.pop_back();
    }
    m.clips.resize(m.state.clipCount);
    if (layer.surface) {
        cairo_surface_flush(layer.surface);
        cairo_pattern_t* p = cairo_pattern_create_for_surface(layer.surface);
        cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
        Geometry g;
        g.kind = Geometry::Kind::paint;
        g.bounds = layer.box;
        Source s;
        s.kind = Source::Kind::pattern;
        s.pattern = p;
        s.alpha = m.state.alpha;
        m.render(g, s, m.state.blend, true);
        cairo_pattern_destroy(p);
    }
    destroy(layer);
}

// ---------------------------------------------------------------------------------------------
// Text

void Context::drawText(const std::string& text, const Rect& box, const TextStyle& style) {
    Impl& m = *impl_;
    if (text.empty() || box.isEmpty() || box.hasNaN()) return;
    m.settle();
    if (m.shadowActive()) {
        // The shadow falls from the glyphs as one shape.
        beginTransparencyLayer();
        drawText(text, box, style);
        endTransparencyLayer();
        return;
    }
    const Rect r = box.standardized();
    // Text space: origin at the box's top left, y down, in points.
    const Transform toDevice = Transform{1, 0, 0, -1, r.minX(), r.maxY()}.concatenating(m.dev());
    if (!invertible(toDevice)) return;
    Target* target = &m.targets.back();
    // Glyphs may overhang the box a little (descenders, the ellipsis): allow a line's height around it.
    const Rect reach = r.insetBy(-style.size, -style.size).applying(m.dev());
    const IRect need = intersect(intersect(outward(reach), m.state.clipBox), target->limit);
    if (need.empty()) return;
    // In a band, text is drawn whole.
    const bool aside = m.banded && m.targets.size() == 1;
    if (aside) {
        if (intersect(need, m.band).empty()) return;
        target = m.wholeTarget(need, true);
        if (!target) {
            m.dropped();
            return;
        }
    }
    Target& t = *target;
    if (!m.ensureCovers(t, need)) return;
    m.recover(t);
    if (!t.cr) {
        m.dropped();
        return;
    }
    m.syncClip(t);
    cairo_save(t.cr);
    const cairo_matrix_t cm = toCairo(toDevice);
    cairo_set_matrix(t.cr, &cm);
    cairo_set_operator(t.cr, toCairo(m.state.blend));
    const Color c = style.color;
    cairo_set_source_rgba(t.cr, c.r, c.g, c.b, c.a * m.state.alpha);
    detail::showText(t.cr, text, r.width(), style);
    cairo_restore(t.cr);
    if (cairo_status(t.cr) != CAIRO_STATUS_SUCCESS) m.dropped();
    m.recover(t);
    if (aside) m.wholeDone(need);
}

// ---------------------------------------------------------------------------------------------
// Images

void Context::draw(const ImageRef& image, const Rect& inRect) {
    if (image) draw(*image, inRect);
}

namespace {

// A Cairo pattern over an image's own pixels (no copy), released with the object. Empty when Cairo
// cannot wrap the pixels.
class ImagePattern {
public:
    ImagePattern(const Image& image, const cairo_matrix_t& imageFromDevice, cairo_extend_t extend,
                 cairo_filter_t filter) {
        surface_ = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.data())), CAIRO_FORMAT_ARGB32,
            image.pixelWidth(), image.pixelHeight(), static_cast<int>(image.bytesPerRow()));
        if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
        pattern_ = cairo_pattern_create_for_surface(surface_);
        cairo_pattern_set_matrix(pattern_, &imageFromDevice);
        cairo_pattern_set_extend(pattern_, extend);
        cairo_pattern_set_filter(pattern_, filter);
    }
    ~ImagePattern() {
        if (pattern_) cairo_pattern_destroy(pattern_);
        cairo_surface_destroy(surface_);
    }
    ImagePattern(const ImagePattern&) = delete;
    ImagePattern& operator=(const ImagePattern&) = delete;
    cairo_pattern_t* get() const { return pattern_; }

private:
    cairo_surface_t* surface_ = nullptr;
    cairo_pattern_t* pattern_ = nullptr;
};

// Image pixels (row 0 at the top) → user space → device, for an image stretched into `r`.
Transform imageToDevice(const Rect& r, int w, int h, const Transform& dev) {
    const Transform toUser{r.width() / w, 0, 0, -r.height() / h, r.minX(), r.maxY()};
    return toUser.concatenating(dev);
}

// A transform that puts every image pixel on exactly one device pixel.
// Whether every pixel of the picture's outermost rows and columns is fully transparent.
bool clearBorder(const Image& image) {
    const int w = image.pixelWidth(), h = image.pixelHeight();
    const uint32_t* p = image.data();
    uint32_t any = 0;
    for (int x = 0; x < w; ++x) any |= p[x] | p[size_t(h - 1) * size_t(w) + size_t(x)];
    for (int y = 0; y < h; ++y) any |= p[size_t(y) * size_t(w)] | p[size_t(y) * size_t(w) + size_t(w - 1)];
    return any == 0;
}

bool pixelAligned(const Transform& t) {
    return t.a == 1 && t.d == 1 && t.b == 0 && t.c == 0 && t.tx == std::round(t.tx) && t.ty == std::round(t.ty);
}

}  // namespace

bool Context::Impl::paintsNothing(const Geometry& g) const {
    if (shadowActive()) return false;
    const Target& t = targets.back();
    const IRect reach = intersect(intersect(contentBounds(g), state.clipBox), t.limit);
    if (reach.empty()) return true;
    return banded && !t.whole && intersect(reach, IRect{t.limit.x0, band.y0, t.limit.x1, band.y1}).empty();
}

void Context::Impl::paintImage(Geometry g, cairo_pattern_t* pattern) {
    Source s;
    s.kind = Source::Kind::pattern;
    s.pattern = pattern;
    s.alpha = state.alpha;
    render(g, s, state.blend, true);
}

void Context::draw(const Image& image, const Rect& inRect) {
    Impl& m = *impl_;
    if (inRect.isEmpty()) return;
    const Rect r = inRect.standardized();
    const int w = image.pixelWidth(), h = image.pixelHeight();
    if (w <= 0 || h <= 0) return;
    const Transform toDevice = imageToDevice(r, w, h, m.dev());
    if (!invertible(toDevice)) return;
    m.scratch.clear();
    m.scratch.addRect(r, m.dev());
    Geometry g;
    g.kind = Geometry::Kind::paint;
    g.path = &m.scratch;
    if (m.paintsNothing(g)) return;
    // Padding keeps the edge pixels at full strength; the rect itself bounds the drawing.
    const ImagePattern pattern(image, toCairo(toDevice.inverted()), CAIRO_EXTEND_PAD,
                               pixelAligned(toDevice) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    if (!pattern.get()) {
        m.dropped();
        return;
    }
    m.paintImage(g, pattern.get());
}

void Context::drawUnclipped(const Image& image, const Rect& inRect, ImageFilter filter) {
    Impl& m = *impl_;
    // Operators that would act beyond the image without a shape to bound them.
    if (m.state.blend == BlendMode::sourceIn || m.state.blend == BlendMode::clear) return draw(image, inRect);
    if (inRect.isEmpty()) return;
    const Rect r = inRect.standardized();
    const int w = image.pixelWidth(), h = image.pixelHeight();
    if (w <= 0 || h <= 0) return;
    const Transform toDevice = imageToDevice(r, w, h, m.dev());
    if (!invertible(toDevice)) return;
    // Drawn larger than its pixels, a texel at the edge would fade over many device pixels: cut
    // the edge at the rect instead. A picture whose outer ring is clear has nothing there to fade,
    // and cutting it (a clip path, slow when turned) would change no more than a level or two.
    if ((std::hypot(toDevice.a, toDevice.b) > 1.01 || std::hypot(toDevice.c, toDevice.d) > 1.01) &&
        !clearBorder(image))
        return draw(image, inRect);
    // Device pixels the image can touch: its rect and the filter's reach around it.
    const IRect bounds = expand(outward(Rect(0, 0, w, h).applying(toDevice)), 1);
    if (bounds.empty()) return;

    Geometry g;
    g.kind = Geometry::Kind::paint;
    g.bounds = bounds;
    if (m.paintsNothing(g)) return;
    cairo_filter_t f = CAIRO_FILTER_GOOD;
    if (filter == ImageFilter::nearest || pixelAligned(toDevice)) f = CAIRO_FILTER_NEAREST;
    else if (filter == ImageFilter::linear) f = CAIRO_FILTER_BILINEAR;
    const ImagePattern pattern(image, toCairo(toDevice.inverted()), CAIRO_EXTEND_NONE, f);
    if (!pattern.get()) {
        m.dropped();
        return;
    }
    m.paintImage(g, pattern.get());
}

void Context::drawPixelAligned(const Image& image, int x, int y) {
    Impl& m = *impl_;
    if (m.state.blend == BlendMode::sourceIn || m.state.blend == BlendMode::clear) {
        const Transform toUser = m.state.ctm.inverted();
        return draw(image, Rect(x, y, image.pixelWidth(), image.pixelHeight()).applying(toUser));
    }
    const int w = image.pixelWidth(), h = image.pixelHeight();
    if (w <= 0 || h <= 0) return;
    const int top = m.height - y - h;  // Cairo's rows run down
    Geometry g;
    g.kind = Geometry::Kind::paint;
    g.bounds = {x, top, x + w, top + h};
    if (m.paintsNothing(g)) return;
    cairo_matrix_t shift;
    cairo_matrix_init_translate(&shift, -x, -top);
    const ImagePattern pattern(image, shift, CAIRO_EXTEND_NONE, CAIRO_FILTER_NEAREST);
    if (!pattern.get()) {
        m.dropped();
        return;
    }
    m.paintImage(g, pattern.get());
}

}  // namespace cg
