#include "Platform/Dispatch/Dispatch.h"

#include <atomic>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace dispatch {
namespace {
std::atomic<int> gThreads{0};

template <class F>
void inArena(F&& f) {
    const int n = gThreads.load(std::memory_order_relaxed);
    if (n <= 0) {
        f();
        return;
    }
    tbb::task_arena arena(n);
    arena.execute(f);
}
}  // namespace

void setThreadCount(int count) { gThreads.store(count < 0 ? 0 : count, std::memory_order_relaxed); }

int threadCount() {
    const int n = gThreads.load(std::memory_order_relaxed);
    return n > 0 ? n : tbb::this_task_arena::max_concurrency();
}

void concurrentPerform(std::size_t n, const std::function<void(std::size_t)>& body) {
    if (n == 0) return;
    if (gThreads.load(std::memory_order_relaxed) == 1 || n == 1) {
        for (std::size_t i = 0; i < n; ++i) body(i);
        return;
    }
    inArena([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n), [&](const tbb::blocked_range<std::size_t>& r) {
            for (std::size_t i = r.begin(); i != r.end(); ++i) body(i);
        });
    });
}

void concurrentChunks(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body) {
    if (n == 0) return;
    if (gThreads.load(std::memory_order_relaxed) == 1 || n == 1) {
        body(0, n);
        return;
    }
    inArena([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n),
                          [&](const tbb::blocked_range<std::size_t>& r) { body(r.begin(), r.end()); });
    });
}

}  // namespace dispatch
