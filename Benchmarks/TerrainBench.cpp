// The terrain of each scene at the self-test size: 1710 × 1112 points at scale 2 with 23 desktop icons
// in columns at the right edge. Keep rectangles are plain icon-sized squares here.

#include <benchmark/benchmark.h>

#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/TerrainLayout.h"

namespace {

SceneSpec selfTestSpec(SceneKind kind) {
    SceneSpec s;
    s.size = {1710, 1112};
    s.scale = 2;
    s.iconSize = 64;
    s.kind = kind;
    for (int k = 0; k < 23; ++k) {
        const int c = k / 10, r = k % 10;
        s.icons.push_back({1710.0 - 60 - 100.0 * c, 60 + 100.0 * r});
    }
    return s;
}

std::vector<cg::Rect> iconKeep(const SceneSpec& s) {
    std::vector<cg::Rect> keep;
    for (const cg::Point& c : s.icons)
        keep.push_back(cg::Rect(c.x - s.iconSize / 2, c.y - s.iconSize / 2, s.iconSize, s.iconSize));
    return keep;
}

void terrain(benchmark::State& state) {
    const SceneKind kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    dispatch::ThreadCountScope threads(static_cast<int>(state.range(1)));
    const SceneSpec s = selfTestSpec(kind);
    const Look look(kind, false, static_cast<float>(s.size.height));
    const std::vector<cg::Rect> keep = iconKeep(s);
    for (auto _ : state) {
        Terrain t = Renderer::terrain(s, look, keep);
        benchmark::DoNotOptimize(t.v->p.data());
    }
    state.SetLabel(std::string(scene_kind::rawValue(kind)) + (state.range(1) == 1 ? " 1 thread" : " all threads"));
}

void blobs(benchmark::State& state) {
    const SceneSpec s = selfTestSpec(SceneKind::archipelago);
    const std::vector<cg::Rect> keep = iconKeep(s);
    for (auto _ : state) benchmark::DoNotOptimize(Renderer::terrainBlobs(s, keep));
}

}  // namespace

BENCHMARK(terrain)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {1, 0}})->Unit(benchmark::kMillisecond);
BENCHMARK(blobs)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
