// The animation layer on a desktop-sized tree: a 2560 × 1440 ground, 400 image sprites of
// 40 × 40 px each moving on its own keyframed path and 100 static ones. Per frame (30 fps):
// presentation (a snapshot of the tree), damage (against the previous frame) and compositing of
// the damage alone, on one thread. Targets: presentation + damage < 0.5 ms, compositing < 4 ms.
// A plain Cairo loop that repaints the damaged ground and every sprite for the same frames is
// measured beside it.
// Run from the release build: build/release/Benchmarks/AnimationBench

#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Damage.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Snapshot.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <numbers>
#include <vector>

// Counts C++ allocations, to show that a frame makes none once warmed up (Cairo's own C
// allocations are not counted). GCC takes the replaced pair for a mismatch once it inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static std::atomic<uint64_t> gAllocations{0};
void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int kWidth = 2560, kHeight = 1440;
constexpr int kMoving = 400, kStatic = 100, kSide = 40;
constexpr double kFps = 30;

struct Rng {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    double next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(s >> 11) / 9007199254740992.0;
    }
};

cg::ImageRef ground() {
    std::vector<uint32_t> px(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t r = uint32_t(30 + 40 * std::sin(x * 0.01) + y * 0.05);
            const uint32_t g = uint32_t(80 + 30 * std::cos(y * 0.013));
            const uint32_t b = uint32_t(120 + (x ^ y) % 50);
            px[size_t(y) * kWidth + x] = 0xFF000000u | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
        }
    return cg::Image::fromARGB32(kWidth, kHeight, std::move(px));
}

// A soft disc of one colour, transparent in the corners.
cg::ImageRef sprite(uint32_t rgb) {
    std::vector<uint32_t> px(kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const double d = std::hypot(x + 0.5 - kSide / 2.0, y + 0.5 - kSide / 2.0) / (kSide / 2.0);
            const double a = std::clamp((1 - d) * 4, 0.0, 1.0);
            const auto ch = [&](int shift) { return uint32_t(((rgb >> shift) & 0xFF) * a + 0.5); };
            px[size_t(y) * kSide + x] = uint32_t(a * 255 + 0.5) << 24 | ch(16) << 16 | ch(8) << 8 | ch(0);
        }
    return cg::Image::fromARGB32(kSide, kSide, std::move(px));
}

struct Tree {
    ca::Layer root;
    cg::ImageRef groundImage = ground();
    std::vector<cg::ImageRef> pictures;
    Tree() {
        root.setFrame(cg::Rect(0, 0, kWidth, kHeight));
        auto g = std::make_shared<ca::Layer>();
        g->setFrame(cg::Rect(0, 0, kWidth, kHeight));
        g->setContents(groundImage);
        root.addSublayer(g);
        for (uint32_t c : {0xE8C070u, 0x70C0E8u, 0xF07070u, 0x80E080u, 0xC080F0u, 0xF0F0F0u, 0x404040u, 0xF0A040u})
            pictures.push_back(sprite(c));
        Rng rng;
        auto place = [&](bool moving, int i) {
            auto l = std::make_shared<ca::Layer>();
            l->setBounds(cg::Rect(0, 0, kSide, kSide));
            l->setContents(pictures[size_t(i) % pictures.size()]);
            const cg::Point c{60 + rng.next() * (kWidth - 120), 60 + rng.next() * (kHeight - 120)};
            l->setPosition(c);
            if (moving) {
                // A closed loop of four cubic pieces through points around c.
                cg::Path loop;
                const double rx = 40 + 160 * rng.next(), ry = 30 + 120 * rng.next();
                loop.addEllipse(cg::Rect(c.x - rx, c.y - ry, 2 * rx, 2 * ry));
                ca::KeyframeAnimation k("position");
                k.setPath(loop);
                k.duration = 12 + 20 * rng.next();
                k.repeatCount = ca::kForever;
                k.timeOffset = k.duration * rng.next();
                k.preferredFrameRateRange = {10, 30, 30};
                l->add(k, "motion");
            }
            root.addSublayer(l);
        };
        for (int i = 0; i < kStatic; ++i) place(false, i);
        for (int i = 0; i < kMoving; ++i) place(true, i);
        root.commit(0);
    }
};

using Clock = std::chrono::steady_clock;
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_Frame(benchmark::State& state) {
    Tree tree;
    auto ctx = cg::Context::makeBitmap(kWidth, kHeight);
    ca::Compositor comp;
    comp.setBackground(std::nullopt);  // the opaque ground covers every damaged pixel
    ca::Snapshot prev, next;
    ca::Damage damage;
    std::vector<cg::Rect> rects;
    const cg::Rect viewport(0, 0, kWidth, kHeight);
    prev.capture(tree.root, 0, ctx->ctm());
    comp.render(prev, *ctx, {&viewport, 1});
    double present = 0, dmg = 0, composite = 0, pixels = 0, nrects = 0, clipped = 0;
    int64_t frame = 0;
    for (int warm = 0; warm < 30; ++warm) {  // a second of frames fills the caches
        next.capture(tree.root, double(++frame) / kFps, ctx->ctm());
        damage.compute(prev, next, rects, viewport);
        comp.render(next, *ctx, rects);
        std::swap(prev, next);
    }
    const uint64_t allocationsBefore = gAllocations.load();
    uint64_t modelAllocations = 0;
    for (auto _ : state) {
        const uint64_t before = gAllocations.load();
        const double t = double(++frame) / kFps;
        const auto t0 = Clock::now();
        next.capture(tree.root, t, ctx->ctm());
        const auto t1 = Clock::now();
        damage.compute(prev, next, rects, viewport);
        const auto t2 = Clock::now();
        modelAllocations += gAllocations.load() - before;
        comp.render(next, *ctx, rects);
        const auto t3 = Clock::now();
        std::swap(prev, next);
        present += ms(t1 - t0);
        dmg += ms(t2 - t1);
        composite += ms(t3 - t2);
        nrects += double(rects.size());
        clipped += double(comp.stats().clipped);
        for (const cg::Rect& r : rects) pixels += r.width() * r.height();
    }
    const double n = double(state.iterations());
    // C++ allocations per frame: in presentation and damage, and in all (compositing included).
    state.counters["allocs_model"] = double(modelAllocations) / n;
    state.counters["allocs_all"] = double(gAllocations.load() - allocationsBefore) / n;
    state.counters["presentation_ms"] = present / n;
    state.counters["damage_ms"] = dmg / n;
    state.counters["composite_ms"] = composite / n;
    state.counters["rects"] = nrects / n;
    state.counters["clipped_draws"] = clipped / n;
    state.counters["damaged_Mpx"] = pixels / n / 1e6;
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMillisecond)->Iterations(300);

// The same frames by hand with Cairo: repaint the damaged ground, then every sprite that touches
// the damage at its fractional position, each clipped to the damage.
void BM_Frame_PlainCairo(benchmark::State& state) {
    Tree tree;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    auto wrap = [](const cg::Image& img) {
        return cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(img.data())), CAIRO_FORMAT_ARGB32,
            img.pixelWidth(), img.pixelHeight(), int(img.bytesPerRow()));
    };
    cairo_surface_t* groundSurface = wrap(*tree.groundImage);
    std::vector<cairo_surface_t*> spriteSurfaces;
    for (const auto& p : tree.pictures) spriteSurfaces.push_back(wrap(*p));
    ca::Snapshot prev, next;
    ca::Damage damage;
    std::vector<cg::Rect> rects;
    const cg::Rect viewport(0, 0, kWidth, kHeight);
    const cg::Transform flip{1, 0, 0, -1, 0, double(kHeight)};
    prev.capture(tree.root, 0, flip);  // device = Cairo's y-down pixels
    int64_t frame = 0;
    for (auto _ : state) {
        const double t = double(++frame) / kFps;
        next.capture(tree.root, t, flip);
        damage.compute(prev, next, rects, viewport);
        cairo_save(cr);
        for (const cg::Rect& r : rects) cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
        cairo_clip(cr);
        cairo_set_source_surface(cr, groundSurface, 0, 0);
        cairo_paint(cr);
        for (const auto& e : next.entries()) {
            if (e.pres.contents == nullptr || e.pres.contents == tree.groundImage) continue;
            const size_t k = size_t(std::find(tree.pictures.begin(), tree.pictures.end(), e.pres.contents) -
                                    tree.pictures.begin());
            const cg::Rect b = cg::Rect(0, 0, kSide, kSide).applying(e.toDevice);
            cairo_set_source_surface(cr, spriteSurfaces[k], b.minX(), b.minY());
            cairo_paint(cr);
        }
        cairo_restore(cr);
        cairo_surface_flush(surface);
        std::swap(prev, next);
    }
    for (auto* s : spriteSurfaces) cairo_surface_destroy(s);
    cairo_surface_destroy(groundSurface);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_Frame_PlainCairo)->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
