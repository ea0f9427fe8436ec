// What one frame of the live desktop costs the CPU in the GL compositor alone: the archipelago by day
// of the self-test desktop (519 sprites over the ground), animated at 30 frames a second, composited
// without a window (no swap). The time per frame leaves out presentation and damage (the tree's walk,
// measured by FrameTreeBench), so it stays comparable while the machine is busy with other work.
// Run under Mesa's no-op driver, what the CPU pays when a GPU draws:
//   GALLIUM_NOOP=1 xvfb-run -a -s "-screen 0 2560x1440x24" build/release/Benchmarks/GlCompositeBench
// (without GALLIUM_NOOP the software renderer draws, and its drawing counts too).

#include "LiveTree.h"
#include "Platform/Desktop/GlFrameCompositor.h"

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

namespace {

constexpr double kFps = 30;

void BM_GlFrame(benchmark::State& state) {
    const auto tree = makeLiveTree(SceneKind::archipelago, false);
    if (!tree) {
        state.SkipWithError("render failed");
        return;
    }
    std::string why, renderer;
    auto gl = GlFrameCompositor::create(int(tree->spec.size.width), int(tree->spec.size.height), tree->spec.scale,
                                        makeX11GlTarget(), {}, why, renderer);
    if (!gl) {
        state.SkipWithError(("no GL: " + why).c_str());
        return;
    }
    ca::Layer& root = *tree->root;
    int frame = 0;
    // A second of frames first: every picture uploaded, every resampled copy made.
    gl->update(root, 0, 1);
    const double firstFrame = gl->stats().seconds;
    for (frame = 1; frame < 30; ++frame) gl->update(root, frame / kFps, 1);
    for (auto _ : state) {
        const double t = ++frame / kFps;
        root.removeFinishedAnimations(t);
        const auto before = gl->stats();
        gl->update(root, t, 1);
        const auto& after = gl->stats();
        state.SetIterationTime((after.seconds - after.treeSeconds) - (before.seconds - before.treeSeconds));
    }
    const auto& work = gl->frameWork();
    state.counters["draws"] = double(work.draws);
    state.counters["binds"] = double(work.binds);
    state.counters["quads"] = double(work.quads);
    state.counters["rasters"] = double(work.rasters);
    state.counters["uploads"] = double(work.uploads);
    state.counters["firstMs"] = firstFrame * 1e3;
    state.counters["MB"] = double(gl->stats().gpuBytes) / 1e6;
    state.SetLabel(renderer);
}
BENCHMARK(BM_GlFrame)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1200)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    // The default display's X11 windows; GL only where the toolkit has a display.
    setenv("GDK_BACKEND", "x11", 0);
    if (!gtk_init_check(&argc, &argv)) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
