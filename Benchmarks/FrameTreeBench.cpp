// The walks over the layer tree that every frame of the live desktop makes, apart from drawing: the
// finished animations removed, the snapshot of the tree (presentation) taken at the desktop's motion
// tolerance, and the frame rate asked for next. The tree is the archipelago by day of the self-test
// desktop (519 sprites over the ground). The desktop draws a frame every 33 ms, and in between other
// programs use the caches; "cold" flushes them before each frame (by reading a buffer larger than the
// last-level cache), which is what the desktop pays; "warm" repeats the frame with everything cached.
// "fused" is how the desktop does it: the snapshot's walk also tells the frame rate and whether any
// animation finished (only then are they freed, by a walk of their own); without it, three walks.
// Run from the release build: build/release/Benchmarks/FrameTreeBench

#include "LiveTree.h"
#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Snapshot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace {

constexpr double kFps = 30;

// state.range(0): 1 flushes the caches before each frame; state.range(1): 1 walks the tree once.
void BM_FrameTree(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    const bool fused = state.range(1) != 0;
    const auto tree = makeLiveTree(SceneKind::archipelago, false);
    if (!tree) {
        state.SkipWithError("render failed");
        return;
    }
    const SceneSpec& spec = tree->spec;
    ca::Layer* root = tree->root.get();

    const cg::Transform toDevice = cg::Transform::scale(spec.scale, spec.scale);
    ca::Snapshot snap;
    snap.setMotionTolerance(0.25);
    std::vector<uint64_t> flush(size_t(128) << 20 >> 3, 1);
    uint64_t sink = 0;
    int frame = 0;
    double rate = 0;
    for (auto _ : state) {
        if (cold)
            for (size_t i = 0; i < flush.size(); i += 8) sink += flush[i]++;
        const double t = ++frame / kFps;
        const auto t0 = std::chrono::steady_clock::now();
        if (fused) {
            snap.capture(*root, t, toDevice);
            if (snap.finishedAnimations() > 0) root->removeFinishedAnimations(t);
            rate += snap.frameRequest(kFps).rate;
        } else {
            root->removeFinishedAnimations(t);
            snap.capture(*root, t, toDevice);
            rate += ca::frameRequest(*root, t, kFps).rate;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    benchmark::DoNotOptimize(sink);
    benchmark::DoNotOptimize(rate);
    state.counters["layers"] = double(snap.entries().size());
}
BENCHMARK(BM_FrameTree)->ArgNames({"cold", "fused"})->ArgsProduct({{0, 1}, {0, 1}})->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
