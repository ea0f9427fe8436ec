// The live archipelago: every sprite of the day scene on the self-test desktop (1710 × 1112 points at
// scale 2, 3420 × 2224 pixels) turned into its layer over the rendered ground, then 10 s of animation
// at 30 frames per second. Per frame: presentation (a snapshot of the tree), damage against the
// previous frame and compositing of the damage alone, on one thread. The goal is under 50 ms of CPU
// per second of animation (5 % of one core).
// Run from the release build: build/release/Benchmarks/SpriteLayerBench

#include "LiveTree.h"
#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Damage.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Snapshot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kFps = 30, kSeconds = 10;

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// state.range(0): −1 animates every sprite, k only the sprites of kind k (where the time goes).
// state.range(1): the motion tolerance in hundredths of a device pixel (0 draws every change).
void BM_ArchipelagoDay(benchmark::State& state) {
    const int only = static_cast<int>(state.range(0));
    const double tolerance = static_cast<double>(state.range(1)) / 100;
    const auto tree = makeLiveTree(SceneKind::archipelago, false, only);
    if (!tree) {
        state.SkipWithError("render failed");
        return;
    }
    const SceneSpec& spec = tree->spec;
    const cg::Rect& screen = tree->screen;
    ca::Layer* root = tree->root.get();
    const std::map<std::string, int>& kinds = tree->kinds;

    auto ctx = cg::Context::makeBitmap(static_cast<int>(screen.width() * spec.scale),
                                       static_cast<int>(screen.height() * spec.scale), spec.scale);
    const cg::Rect viewport(0, 0, ctx->pixelWidth(), ctx->pixelHeight());
    ca::Compositor comp;
    comp.setBackground(std::nullopt);  // the opaque ground covers every damaged pixel
    ca::Snapshot prev, next;
    prev.setMotionTolerance(tolerance);
    next.setMotionTolerance(tolerance);
    ca::Damage damage;
    std::vector<cg::Rect> rects;
    prev.capture(*root, 0, ctx->ctm());
    comp.render(prev, *ctx, {&viewport, 1});

    const int frames = static_cast<int>(kFps * kSeconds);
    double present = 0, dmg = 0, composite = 0, cpu = 0, pixels = 0, nrects = 0;
    for (auto _ : state) {
        present = dmg = composite = cpu = pixels = nrects = 0;
        for (int f = 1; f <= frames; ++f) {
            const double t = f / kFps;
            const double c0 = cpuMs();
            const auto t0 = std::chrono::steady_clock::now();
            next.capture(*root, t, ctx->ctm());
            const auto t1 = std::chrono::steady_clock::now();
            damage.compute(prev, next, rects, viewport);
            const auto t2 = std::chrono::steady_clock::now();
            comp.render(next, *ctx, rects);
            const auto t3 = std::chrono::steady_clock::now();
            cpu += cpuMs() - c0;
            std::swap(prev, next);
            present += std::chrono::duration<double, std::milli>(t1 - t0).count();
            dmg += std::chrono::duration<double, std::milli>(t2 - t1).count();
            composite += std::chrono::duration<double, std::milli>(t3 - t2).count();
            nrects += static_cast<double>(rects.size());
            for (const cg::Rect& r : rects) pixels += r.width() * r.height();
        }
    }
    state.counters["sprites"] = static_cast<double>(tree->sprites);
    state.counters["layers"] = static_cast<double>(prev.entries().size());
    state.counters["presentation_ms_per_frame"] = present / frames;
    state.counters["damage_ms_per_frame"] = dmg / frames;
    state.counters["composite_ms_per_frame"] = composite / frames;
    state.counters["cpu_ms_per_s"] = cpu / kSeconds;
    state.counters["rects_per_frame"] = nrects / frames;
    state.counters["damaged_Mpx_per_frame"] = pixels / frames / 1e6;
    std::string mix;
    for (const auto& [k, n] : kinds) mix += k + " " + std::to_string(n) + "  ";
    state.SetLabel(mix);
}
// Every change drawn, then the desktop's own tolerance and a coarser one.
BENCHMARK(BM_ArchipelagoDay)->Unit(benchmark::kMillisecond)->Iterations(1)->ArgNames({"kind", "tolerance"})
    ->Args({-1, 0})->Args({-1, 25})->Args({-1, 50});
// The kinds the archipelago by day has, one at a time, at the desktop's tolerance.
BENCHMARK(BM_ArchipelagoDay)->Unit(benchmark::kMillisecond)->Iterations(1)->ArgNames({"kind", "tolerance"})
    ->ArgsProduct({{static_cast<int>(Sprite::Kind::wave), static_cast<int>(Sprite::Kind::surf),
                    static_cast<int>(Sprite::Kind::light), static_cast<int>(Sprite::Kind::sway),
                    static_cast<int>(Sprite::Kind::cloud), static_cast<int>(Sprite::Kind::trip),
                    static_cast<int>(Sprite::Kind::boat), static_cast<int>(Sprite::Kind::bird)},
                   {25}});

}  // namespace

BENCHMARK_MAIN();
