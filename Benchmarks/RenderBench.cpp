// Shading alone, the scene painter alone and whole renders of every scene on the self-test desktop
// (3420 × 2224 pixels), with one thread and with all threads; and the first render of a fresh process
// against the same render warm (`firstRender`: each iteration starts this program again in a child mode
// that starts as the desktop program does, makes one cold render, then the same render warm).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "Art/Art.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Heap.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/PixelStore.h"
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

constexpr const char* kChildFlag = "--first-render-child";

double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The child: the first render of this process as the desktop program makes it, then the same render warm
// five times. The program's start is modelled: the heap settings first thing; the loop threads started,
// each warming its heap; the render worker warming its own heap and the picture's memory brought in, as
// the program does once GTK knows the monitors; then kStartWindow for the rest of what the program does
// before it asks for its first render. On this machine, under Xvfb with a session bus, the program asks
// 1.6 to 2.0 s after main, 250 ms after GTK knows the monitors; the child allows 100 ms. Every render is
// asked from that one worker thread, as in the program. Prints the first render's wall and process CPU
// milliseconds, the warm ones' medians and the peak resident memory in MiB.
constexpr std::chrono::milliseconds kStartWindow{100};

int firstRenderChild(int kindIndex, bool night) {
    if (kindIndex < 0 || kindIndex >= static_cast<int>(scene_kind::allCases.size())) return 2;
    dispatch::keepFreedMemory();
    dispatch::startThreads(dispatch::kLoopThreadWarmth);
    const SceneSpec spec = desktop(scene_kind::allCases[static_cast<std::size_t>(kindIndex)], night);
    std::vector<double> wall, cpu;
    bool rendered = true;
    std::mutex lock;
    std::condition_variable asked;
    bool go = false;
    std::thread worker([&] {
        dispatch::warmHeap(dispatch::kLoopThreadWarmth);
        cg::PixelStore::prepare(Renderer::pictureBytes(spec));
        {
            std::unique_lock<std::mutex> hold(lock);
            asked.wait(hold, [&] { return go; });
        }
        for (int i = 0; i < 6 && rendered; ++i) {
            const double cpuStart = processCpuMs();
            const auto start = std::chrono::steady_clock::now();
            auto scene = Renderer::render(spec, {});
            wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            cpu.push_back(processCpuMs() - cpuStart);
            rendered = scene.has_value();
            benchmark::DoNotOptimize(scene);
        }
    });
    std::this_thread::sleep_for(kStartWindow);
    {
        const std::lock_guard<std::mutex> hold(lock);
        go = true;
    }
    asked.notify_one();
    worker.join();
    if (!rendered) return 1;
    const std::vector<double> warmWall(wall.begin() + 1, wall.end()), warmCpu(cpu.begin() + 1, cpu.end());
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    std::printf("%.3f %.3f %.3f %.3f %.1f\n", wall[0], cpu[0], median(warmWall), median(warmCpu),
                static_cast<double>(use.ru_maxrss) / 1024);
    return 0;
}

// Iteration time: the first render's wall time in a fresh process. Counters (medians over the
// iterations): the warm render's wall time, first ÷ warm, and the same two for process CPU time, which
// tells more on a loaded machine; and the child's peak resident memory.
void firstRender(benchmark::State& state) {
    const auto kind = scene_kind::allCases[static_cast<std::size_t>(state.range(0))];
    const bool night = state.range(1) != 0;
    std::array<char, 4096> self{};
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (n <= 0) {
        state.SkipWithError("no path to this program");
        return;
    }
    std::string command = "'";
    command.append(self.data(), static_cast<std::size_t>(n));
    command += "' ";
    command += kChildFlag;
    for (int64_t arg : {state.range(0), state.range(1)}) {
        command += ' ';
        command += std::to_string(arg);
    }
    std::vector<double> warm, ratio, warmCpu, cpuRatio, peak;
    for (auto _ : state) {
        FILE* child = popen(command.c_str(), "r");
        double first = 0, firstCpu = 0, warmMs = 0, warmCpuMs = 0, peakMiB = 0;
        const int read =
            child ? std::fscanf(child, "%lf %lf %lf %lf %lf", &first, &firstCpu, &warmMs, &warmCpuMs, &peakMiB) : 0;
        const int status = child ? pclose(child) : -1;
        if (read != 5 || status != 0 || !(warmMs > 0) || !(warmCpuMs > 0)) {
            state.SkipWithError("the child render failed");
            return;
        }
        state.SetIterationTime(first / 1000);
        warm.push_back(warmMs);
        ratio.push_back(first / warmMs);
        warmCpu.push_back(warmCpuMs);
        cpuRatio.push_back(firstCpu / warmCpuMs);
        peak.push_back(peakMiB);
    }
    state.counters["warm_ms"] = median(warm);
    state.counters["ratio"] = median(ratio);
    state.counters["warm_cpu_ms"] = median(warmCpu);
    state.counters["cpu_ratio"] = median(cpuRatio);
    state.counters["peak_rss_mib"] = median(peak);
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
// The self-test's first render, and the slowest scene's.
BENCHMARK(firstRender)->Args({0, 0})->Args({6, 0})->Iterations(9)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return firstRenderChild(std::atoi(argv[2]), std::atoi(argv[3]) != 0);
    // The heap as the program sets it up: without it, memory freed by one render goes back to the system
    // and the next render faults it in again.
    dispatch::keepFreedMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
