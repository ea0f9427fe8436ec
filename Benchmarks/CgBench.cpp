// The drawing layer against raw Cairo: fills, strokes, shadowed shapes, layers, small frames and PNG.
// Run from the release build: build/release/Benchmarks/CgBench

#include "Platform/Graphics/Context.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr int kSide = 1024;
constexpr int kShapes = 1000;

struct Shape {
    double x, y, r, rr, g, b, a;
};

// A fixed, deterministic set of shapes.
const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = [] {
        std::vector<Shape> v;
        uint64_t s = 0x9E3779B97F4A7C15ull;
        auto next = [&] {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            return static_cast<double>(s >> 11) / 9007199254740992.0;
        };
        for (int i = 0; i < kShapes; ++i) {
            const double x = next() * kSide, y = next() * kSide, r = 3 + next() * 12;
            const double cr = next(), cg = next(), cb = next(), ca = 0.4 + 0.6 * next();
            v.push_back({x, y, r, cr, cg, cb, ca});
        }
        return v;
    }();
    return all;
}

cairo_t* rawContext(cairo_surface_t*& surface) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSide, kSide);
    cairo_t* cr = cairo_create(surface);
    cairo_matrix_t flip;
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, kSide);
    cairo_set_matrix(cr, &flip);
    return cr;
}

void rawEllipse(cairo_t* cr, double cx, double cy, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * std::numbers::pi);
    cairo_close_path(cr);
}

void BM_Fill_Cg(benchmark::State& state) {
    auto c = cg::Context::makeBitmap(kSide, kSide);
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            c->setFillColor({s.rr, s.g, s.b, s.a});
            c->fillEllipse(cg::Rect(s.x - s.r, s.y - s.r, 2 * s.r, 2 * s.r));
        }
        benchmark::DoNotOptimize(c->pixel(0, 0));
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
}
BENCHMARK(BM_Fill_Cg)->Unit(benchmark::kMillisecond);

void BM_Fill_Cairo(benchmark::State& state) {
    cairo_surface_t* surface;
    cairo_t* cr = rawContext(surface);
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            cairo_set_source_rgba(cr, s.rr, s.g, s.b, s.a);
            rawEllipse(cr, s.x, s.y, s.r);
            cairo_fill(cr);
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_Fill_Cairo)->Unit(benchmark::kMillisecond);

void BM_Stroke_Cg(benchmark::State& state) {
    auto c = cg::Context::makeBitmap(kSide, kSide);
    c->setLineWidth(2);
    c->setLineCap(cg::LineCap::round);
    c->setLineJoin(cg::LineJoin::round);
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            c->setStrokeColor({s.rr, s.g, s.b, s.a});
            c->beginPath();
            c->moveTo({s.x, s.y});
            c->lineTo({s.x + 3 * s.r, s.y + s.r});
            c->quadCurveTo({s.x + 4 * s.r, s.y + 3 * s.r}, {s.x + s.r, s.y + 4 * s.r});
            c->strokePath();
        }
        benchmark::DoNotOptimize(c->pixel(0, 0));
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
}
BENCHMARK(BM_Stroke_Cg)->Unit(benchmark::kMillisecond);

void BM_Stroke_Cairo(benchmark::State& state) {
    cairo_surface_t* surface;
    cairo_t* cr = rawContext(surface);
    cairo_set_line_width(cr, 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            cairo_set_source_rgba(cr, s.rr, s.g, s.b, s.a);
            cairo_move_to(cr, s.x, s.y);
            cairo_line_to(cr, s.x + 3 * s.r, s.y + s.r);
            // The same quadratic as a cubic.
            const double x0 = s.x + 3 * s.r, y0 = s.y + s.r, cx = s.x + 4 * s.r, cy = s.y + 3 * s.r;
            const double x1 = s.x + s.r, y1 = s.y + 4 * s.r;
            cairo_curve_to(cr, x0 + 2.0 / 3 * (cx - x0), y0 + 2.0 / 3 * (cy - y0), x1 + 2.0 / 3 * (cx - x1),
                           y1 + 2.0 / 3 * (cy - y1), x1, y1);
            cairo_stroke(cr);
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_Stroke_Cairo)->Unit(benchmark::kMillisecond);

// Shadowed shapes: blur in device pixels given as the argument.
void BM_ShadowedFill_Cg(benchmark::State& state) {
    auto c = cg::Context::makeBitmap(kSide, kSide);
    c->setShadow({2, -2}, static_cast<double>(state.range(0)), cg::Color::black(0.4));
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            c->setFillColor({s.rr, s.g, s.b, s.a});
            c->fillEllipse(cg::Rect(s.x - s.r, s.y - s.r, 2 * s.r, 2 * s.r));
        }
        benchmark::DoNotOptimize(c->pixel(0, 0));
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
}
BENCHMARK(BM_ShadowedFill_Cg)->Arg(0)->Arg(4)->Arg(12)->Unit(benchmark::kMillisecond);

// What raw Cairo offers without a blur: the shape drawn twice (offset, then in place).
void BM_ShadowedFill_CairoHardShadow(benchmark::State& state) {
    cairo_surface_t* surface;
    cairo_t* cr = rawContext(surface);
    for (auto _ : state) {
        for (const Shape& s : shapes()) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0.4 * s.a);
            rawEllipse(cr, s.x + 2, s.y - 2, s.r);
            cairo_fill(cr);
            cairo_set_source_rgba(cr, s.rr, s.g, s.b, s.a);
            rawEllipse(cr, s.x, s.y, s.r);
            cairo_fill(cr);
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface)[0]);
    }
    state.SetItemsProcessed(state.iterations() * kShapes);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_ShadowedFill_CairoHardShadow)->Unit(benchmark::kMillisecond);

// A transparency layer around each small prop on a large bitmap.
void BM_LayerPerProp_Cg(benchmark::State& state) {
    auto c = cg::Context::makeBitmap(kSide, kSide);
    c->setAlpha(0.6);
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            const Shape& s = shapes()[static_cast<size_t>(i)];
            c->beginTransparencyLayer();
            c->setFillColor({s.rr, s.g, s.b, 1});
            c->fillEllipse(cg::Rect(s.x - s.r, s.y - s.r, 2 * s.r, 2 * s.r));
            c->fillEllipse(cg::Rect(s.x, s.y - s.r, 2 * s.r, 2 * s.r));
            c->endTransparencyLayer();
        }
        benchmark::DoNotOptimize(c->pixel(0, 0));
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_LayerPerProp_Cg)->Unit(benchmark::kMillisecond);

void BM_LayerPerProp_CairoGroup(benchmark::State& state) {
    cairo_surface_t* surface;
    cairo_t* cr = rawContext(surface);
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            const Shape& s = shapes()[static_cast<size_t>(i)];
            cairo_push_group(cr);  // unclipped: a group the size of the bitmap
            cairo_set_source_rgba(cr, s.rr, s.g, s.b, 1);
            rawEllipse(cr, s.x, s.y, s.r);
            rawEllipse(cr, s.x + s.r, s.y, s.r);
            cairo_fill(cr);
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, 0.6);
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface)[0]);
    }
    state.SetItemsProcessed(state.iterations() * 200);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_LayerPerProp_CairoGroup)->Unit(benchmark::kMillisecond);

// Many small frame bitmaps: create, draw a pose, take the image.
void BM_SmallFrames_Cg(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            auto f = cg::Context::makeFrame(60, 44, 2);
            f->setFillColor(cg::Color::rgb(0x26303A));
            f->fillEllipse(cg::Rect(5, 5, 50, 34));
            f->setStrokeColor(cg::Color::rgb(0x000000, 0.3));
            f->setLineWidth(0.5);
            f->strokeEllipse(cg::Rect(10, 10, 40, 24));
            benchmark::DoNotOptimize(f->makeImage());
        }
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_SmallFrames_Cg)->Unit(benchmark::kMicrosecond);

void BM_SmallFrames_Cairo(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 120, 88);
            cairo_t* cr = cairo_create(s);
            cairo_matrix_t m;
            cairo_matrix_init(&m, 2, 0, 0, -2, 0, 88);
            cairo_set_matrix(cr, &m);
            cairo_set_source_rgba(cr, 0x26 / 255.0, 0x30 / 255.0, 0x3A / 255.0, 1);
            cairo_save(cr);
            cairo_translate(cr, 30, 22);
            cairo_scale(cr, 25, 17);
            rawEllipse(cr, 0, 0, 1);
            cairo_restore(cr);
            cairo_fill(cr);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
            cairo_set_line_width(cr, 0.5);
            cairo_save(cr);
            cairo_translate(cr, 30, 22);
            cairo_scale(cr, 20, 12);
            rawEllipse(cr, 0, 0, 1);
            cairo_restore(cr);
            cairo_stroke(cr);
            cairo_surface_flush(s);
            std::vector<uint32_t> copy(120 * 88);
            std::memcpy(copy.data(), cairo_image_surface_get_data(s), copy.size() * 4);
            benchmark::DoNotOptimize(copy.data());
            cairo_destroy(cr);
            cairo_surface_destroy(s);
        }
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_SmallFrames_Cairo)->Unit(benchmark::kMicrosecond);

// PNG of a 1024 × 1024 picture with alpha.
cg::ImageRef pngSubject() {
    auto c = cg::Context::makeBitmap(kSide, kSide);
    c->drawLinearGradient(cg::Gradient({cg::Color::rgb(0x2040C0, 0.3), cg::Color::rgb(0xC08020)}), {0, 0},
                          {kSide, kSide}, {true, true});
    for (const Shape& s : shapes()) {
        c->setFillColor({s.rr, s.g, s.b, s.a});
        c->fillEllipse(cg::Rect(s.x - s.r, s.y - s.r, 2 * s.r, 2 * s.r));
    }
    return c->makeImage();
}

void BM_WritePNG_Cg(benchmark::State& state) {
    const cg::ImageRef img = pngSubject();
    for (auto _ : state) benchmark::DoNotOptimize(img->writePNG("/tmp/cgbench-cg.png"));
}
BENCHMARK(BM_WritePNG_Cg)->Unit(benchmark::kMillisecond);

void BM_WritePNG_Cairo(benchmark::State& state) {
    const cg::ImageRef img = pngSubject();
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(img->data())), CAIRO_FORMAT_ARGB32, kSide, kSide,
        kSide * 4);
    for (auto _ : state) benchmark::DoNotOptimize(cairo_surface_write_to_png(s, "/tmp/cgbench-cairo.png"));
    cairo_surface_destroy(s);
}
BENCHMARK(BM_WritePNG_Cairo)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// Fans of short thin segments on a small frame (a palm frond's leaflets: fourteen pieces 0.55 points
// wide at twice the scale), as Cairo strokes them with round caps and as thin marks.
std::vector<cg::Point> leaflets(int frond) {
    std::vector<cg::Point> pairs;
    const double th = 0.7 * frond, cs = std::cos(th), sn = std::sin(th);
    for (int l = 1; l <= 7; ++l) {
        const double h = l / 8.0, len = 0.6 + 3.2 * std::sin(std::numbers::pi * h);
        const cg::Point q{17 + 11 * h * cs, 22 + 11 * h * sn};
        for (const double side : {1.0, -1.0}) {
            pairs.push_back(q);
            pairs.push_back({q.x + side * len * -sn + 1.4 * cs, q.y + side * len * cs + 1.4 * sn - 0.4});
        }
    }
    return pairs;
}

void BM_Leaflets(benchmark::State& state) {
    const bool marks = state.range(0) != 0;
    auto ctx = cg::Context::makeBitmap(68, 72, 2);
    ctx->setStrokeColor(cg::Color::rgb(0x2f6a45));
    ctx->setLineWidth(0.55);
    ctx->setLineCap(cg::LineCap::round);
    ctx->setLineJoin(cg::LineJoin::round);
    std::vector<std::vector<cg::Point>> fronds;
    for (int f = 0; f < 9; ++f) fronds.push_back(leaflets(f));
    for (auto _ : state) {
        for (const auto& pairs : fronds) {
            if (marks) ctx->strokeMarks(pairs);
            else ctx->strokeLineSegments(pairs);
        }
        benchmark::DoNotOptimize(ctx->data());
    }
    state.SetLabel(marks ? "thin marks" : "Cairo strokes");
}
BENCHMARK(BM_Leaflets)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same fronds, each time on a fresh frame made into a picture, as a palm is drawn.
void BM_LeafletFrames(benchmark::State& state) {
    const bool marks = state.range(0) != 0;
    std::vector<std::vector<cg::Point>> fronds;
    for (int f = 0; f < 9; ++f) fronds.push_back(leaflets(f));
    for (auto _ : state) {
        auto ctx = cg::Context::makeFrame(34, 36, 2);
        ctx->setStrokeColor(cg::Color::rgb(0x2f6a45));
        ctx->setLineWidth(0.55);
        ctx->setLineCap(cg::LineCap::round);
        ctx->setLineJoin(cg::LineJoin::round);
        for (const auto& pairs : fronds) {
            if (marks) ctx->strokeMarks(pairs);
            else ctx->strokeLineSegments(pairs);
        }
        benchmark::DoNotOptimize(ctx->makeImage());
    }
    state.SetLabel(marks ? "thin marks" : "Cairo strokes");
}
BENCHMARK(BM_LeafletFrames)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
