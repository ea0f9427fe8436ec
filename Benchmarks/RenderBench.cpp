// Shading alone, the scene painter alone and whole renders of every scene on the self-test desktop
// (3420 × 2224 pixels), with one thread and with all threads.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Art/Art.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Look.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Shading.h"
#include "Renderer/Terrain.h"
#include "SelfTest/SelfTest.h"

namespace {

SceneSpec desktop(SceneKind kind, bool night) { return SelfTest::sampleDesktop(kind, night); }

void shading(benchmark::State& state) {
    const auto kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    const int threads = static_cast<int>(state.range(1));
    const SceneSpec spec = desktop(kind, false);
    const Look look(kind, false, 1112);
    const Terrain terrain = Renderer::terrain(spec, look, Renderer::keepRects(spec));
    std::vector<uint8_t> buffer(3420 * 2224 * 4);
    dispatch::ThreadCountScope scope(threads);
    for (auto _ : state) {
        Renderer::paint(buffer.data(), 3420 * 4, 3420, 2224, 2, terrain, look);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetLabel(std::string(scene_kind::rawValue(kind)));
}

void render(benchmark::State& state) {
    const auto kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    const int threads = static_cast<int>(state.range(1));
    const bool night = state.range(2) != 0;
    const SceneSpec spec = desktop(kind, night);
    dispatch::ThreadCountScope scope(threads);
    for (auto _ : state) {
        auto scene = Renderer::render(spec, {});
        benchmark::DoNotOptimize(scene);
    }
    state.SetLabel(std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day"));
}

// The scene painter alone, on a freshly shaded bitmap each time (the copy is not timed).
void painter(benchmark::State& state) {
    const auto kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    const int threads = static_cast<int>(state.range(1));
    const bool night = state.range(2) != 0;
    const SceneSpec spec = desktop(kind, night);
    const Look look(kind, night, 1112);
    const std::vector<cg::Rect> keep = Renderer::keepRects(spec);
    const Terrain terrain = Renderer::terrain(spec, look, keep);
    std::vector<uint8_t> shaded(3420 * 2224 * 4);
    Renderer::paint(shaded.data(), 3420 * 4, 3420, 2224, 2, terrain, look);
    dispatch::ThreadCountScope scope(threads);
    for (auto _ : state) {
        state.PauseTiming();
        auto ctx = cg::Context::makeBitmap(3420, 2224, 1);
        for (int y = 0; y < 2224; ++y)
            std::memcpy(ctx->data() + static_cast<std::size_t>(y) * ctx->bytesPerRow(),
                        shaded.data() + static_cast<std::size_t>(y) * 3420 * 4, 3420 * 4);
        ctx->pixelsChanged();
        ctx->scaleBy(2, 2);
        state.ResumeTiming();
        Art art(ctx.get(), spec, terrain, keep, look, {});
        art.decorate();
        benchmark::DoNotOptimize(art.sprites.data());
    }
    state.SetLabel(std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day"));
}

void kindsAndThreads(benchmark::internal::Benchmark* b) {
    for (int64_t k = 0; k < 10; ++k)
        for (int64_t t : {1, 8}) b->Args({k, t});
}

void kindsThreadsAndTime(benchmark::internal::Benchmark* b) {
    for (int64_t k = 0; k < 10; ++k)
        for (int64_t t : {1, 8})
            for (int64_t n : {0, 1}) b->Args({k, t, n});
}

}  // namespace

BENCHMARK(shading)->Apply(kindsAndThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(render)->Apply(kindsThreadsAndTime)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(painter)->Apply(kindsThreadsAndTime)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
