// The walks over the layer tree that every frame of the live desktop makes, apart from drawing: the
// finished animations removed, the snapshot of the tree (presentation) taken at the desktop's motion
// tolerance, and the frame rate asked for next. The tree is the archipelago by day of the self-test
// desktop (519 sprites over the ground). The desktop draws a frame every 33 ms, and in between other
// programs use the caches; "cold" flushes them before each frame (by reading a buffer larger than the
// last-level cache), which is what the desktop pays; "warm" repeats the frame with everything cached.
// "fused" is how the desktop does it: the snapshot's walk also tells the frame rate and whether any
// animation finished (only then are they freed, by a walk of their own); without it, three walks.
// "replay" 1 is the desktop's case, a tree that does not change between frames, which the snapshot
// replays from its own copies; 0 changes a layer before each frame, so that every capture walks the
// tree itself.
// Run from the release build: build/release/Benchmarks/FrameTreeBench

#include "LiveTree.h"
#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Snapshot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

// Every allocation of the program counted, so the frames can show they make none.
namespace {
uint64_t gAllocations = 0;
}
// The counting operator new pairs with these deletes; GCC cannot see that through the inlining.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    ++gAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr double kFps = 30;

// CPU time of this thread: what the frame costs, whatever else the machine runs meanwhile.
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// state.range(0): 1 flushes the caches before each frame; state.range(1): 1 walks the tree once, 2 only
// takes the snapshot (no removal, no pacing: what a compositor's update pays); state.range(2): 0 makes
// every capture a full walk.
void BM_FrameTree(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    const bool fused = state.range(1) == 1, captureOnly = state.range(1) == 2;
    const bool replay = state.range(2) != 0;
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
    double rate = 0, cpu = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        if (cold)
            for (size_t i = 0; i < flush.size(); i += 8) sink += flush[i]++;
        const double t = ++frame / kFps;
        if (!replay) root->setOpacity(1);  // the same value, but a change all the same
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = threadSeconds();
        const uint64_t a0 = gAllocations;
        if (captureOnly) {
            snap.capture(*root, t, toDevice);
        } else if (fused) {
            snap.capture(*root, t, toDevice);
            if (snap.finishedAnimations() > 0) root->removeFinishedAnimations(t);
            rate += snap.frameRequest(kFps).rate;
        } else {
            root->removeFinishedAnimations(t);
            snap.capture(*root, t, toDevice);
            rate += ca::frameRequest(*root, t, kFps).rate;
        }
        cpu += threadSeconds() - c0;
        if (frame > 1) allocations += gAllocations - a0;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    benchmark::DoNotOptimize(sink);
    benchmark::DoNotOptimize(rate);
    state.counters["layers"] = double(snap.entries().size());
    state.counters["replayed"] = snap.replayed() ? 1 : 0;
    state.counters["cpu_us"] = cpu * 1e6 / double(state.iterations());
    // Per frame after the first (which sizes the snapshot): none are wanted.
    state.counters["allocs"] = double(allocations) / double(state.iterations() - 1);
}
BENCHMARK(BM_FrameTree)->ArgNames({"cold", "fused", "replay"})->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}})->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
