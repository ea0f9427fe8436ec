// Whole renders of every scene, by day and by night, on the self-test desktop (3420 × 2224 pixels),
// with one thread and with all threads, and where the time goes: the counters are the medians over
// the iterations of each stage's wall time (ms) and, prefixed "cpu_", of the process CPU time it
// took on all threads (ms). CPU time tells more than wall time on a loaded machine. With several
// threads the shading runs alongside the painter, so their spans overlap; `waited` is how long the
// painter threads waited for (or helped with) the shading, summed over them. The process CPU time of
// overlapping stages holds both; cpu_sum is the whole render's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "Pipeline/Render.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Heap.h"
#include "SelfTest/SelfTest.h"

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

void stages(benchmark::State& state) {
    const auto kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    const bool night = state.range(1) != 0;
    const int threads = static_cast<int>(state.range(2));
    const SceneSpec spec = SelfTest::sampleDesktop(kind, night);
    dispatch::ThreadCountScope scope(threads);
    benchmark::DoNotOptimize(Renderer::render(spec, {}));  // warm the allocator and the thread pool

    using Span = Renderer::StageTimes::Span;
    const std::pair<const char*, Span Renderer::StageTimes::*> named[] = {
        {"terrain", &Renderer::StageTimes::terrain}, {"bitmap", &Renderer::StageTimes::bitmap},
        {"shading", &Renderer::StageTimes::shading}, {"painter", &Renderer::StageTimes::painter},
        {"image", &Renderer::StageTimes::image}};
    std::vector<Renderer::StageTimes> runs;
    std::vector<double> cpuTotals;  // the whole render's process CPU time: stages may overlap
    std::vector<double> whole;
    for (auto _ : state) {
        Renderer::StageTimes t;
        const double cpuStart = processCpuMs();
        const auto start = std::chrono::steady_clock::now();
        auto scene = Renderer::renderTimed(spec, {}, t);
        const auto end = std::chrono::steady_clock::now();
        cpuTotals.push_back(processCpuMs() - cpuStart);
        benchmark::DoNotOptimize(scene);
        whole.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        runs.push_back(t);
        state.PauseTiming();
        scene.reset();  // freeing the picture is not part of the render
        state.ResumeTiming();
    }

    state.counters["whole"] = median(whole);
    state.counters["cpu_sum"] = median(cpuTotals);
    for (const auto& [name, member] : named) {
        std::vector<double> wall, cpu;
        for (const auto& t : runs) {
            wall.push_back((t.*member).wall);
            cpu.push_back((t.*member).cpu);
        }
        state.counters[name] = median(wall);
        state.counters[std::string("cpu_") + name] = median(cpu);
    }
    std::vector<double> waited;
    for (const auto& t : runs) waited.push_back(t.waited);
    state.counters["waited"] = median(waited);
    state.SetLabel(std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day"));
}

void kindsTimesThreads(benchmark::internal::Benchmark* b) {
    for (int64_t t : {1, 8, 0})
        for (int64_t k = 0; k < 10; ++k)
            for (int64_t n : {0, 1}) b->Args({k, n, t});
}

}  // namespace

// Threads 0 means all hardware threads; 8 is the thread count the render times are judged at, set the
// way tests and benchmarks set it.
BENCHMARK(stages)
    ->ArgNames({"kind", "night", "threads"})
    ->Apply(kindsTimesThreads)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    dispatch::keepFreedMemory();  // the heap as the program sets it up
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
