// The reef's corals, one form at a time: 240 corals of a form drawn at the scene's sizes into a strip of
// the self-test desktop's width at two pixels a point, one thread. Their floor bands are most of a reef
// render's work. Run from the release build: build/release/Benchmarks/ReefCoralBench

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Art/Art.h"
#include "Art/Reef.h"
#include "Pipeline/Render.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/TerrainLayout.h"

namespace {

constexpr double kWidth = 1710, kHeight = 60, kScale = 2;
constexpr int kCorals = 240;

void corals(benchmark::State& state) {
    const int form = static_cast<int>(state.range(0));
    const bool night = state.range(1) != 0;
    SceneSpec s;
    s.size = {kWidth, kHeight};
    s.scale = kScale;
    s.iconSize = 64;
    s.kind = SceneKind::reef;
    s.night = night;
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    auto bitmap = cg::Context::makeBitmap(static_cast<int>(kWidth * kScale), static_cast<int>(kHeight * kScale), kScale);
    Art art(bitmap.get(), s, std::move(t), keep, std::move(look), PlacementMap{});

    // Variations of this form, places along the strip and sizes as the reef picks them.
    struct Coral {
        cg::Point at;
        double v, scale;
    };
    std::vector<Coral> all;
    for (int i = 0; all.size() < kCorals; ++i) {
        const double v = std::fmod(0.000137 * i + 0.3, 1.0);
        if (Art::Reef::coralForm(v) != form) continue;
        const double k = static_cast<double>(all.size());
        all.push_back({{12 + std::fmod(7.13 * k, kWidth - 24), 20 + std::fmod(3.71 * k, kHeight - 40)}, v,
                       1.2 + 0.5 * std::fmod(0.618 * k, 1.0)});
    }
    for (auto _ : state) {
        Art::Reef reef(art);
        for (const Coral& c : all) reef.coral(c.at, c.v, c.scale);
        benchmark::DoNotOptimize(bitmap->data());
    }
    static const char* const names[] = {"brain", "bush", "plate", "branching", "lobed"};
    state.SetLabel(std::string(names[form]) + (night ? " night" : " day"));
}

}  // namespace

BENCHMARK(corals)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
