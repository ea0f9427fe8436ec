#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/Heap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <tbb/blocked_range.h>
#include <tbb/collaborative_call_once.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>
#include <tbb/task_arena.h>

#if defined(__SANITIZE_THREAD__)
#define VM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VM_TSAN 1
#endif
#endif
#ifdef VM_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace dispatch {
namespace {
std::atomic<int> gThreads{0};

// oneTBB is not built with ThreadSanitizer, so the ordering it gives (everything before a loop happens
// before its iterations, every iteration happens before the loop returns) is invisible to it. These
// state that ordering and only it (iterations stay unordered among themselves); they compile to nothing
// otherwise.
#ifdef VM_TSAN
void handOff(void* loop) { __tsan_release(loop); }
void takeOver(void* loop) { __tsan_acquire(loop); }

// oneTBB's workers let go of a loop's wait record, which lives on the stack of the thread that started the
// loop, with atomic operations in oneTBB's headers after their last iteration's hand-off; the thread that
// started the loop sees them in the library, out of the sanitizer's sight. Taking over from every word of
// the stack just below the caller's frame, dead once the loop has returned, orders those last touches
// before whatever is built there next. (A once's runner, helped by waiting threads, lives there too.)
[[gnu::noinline]] void takeOverDeadStack(const void* callersFrame) {
    constexpr std::uintptr_t kDepth = 16 * 1024;
    const auto top = reinterpret_cast<std::uintptr_t>(callersFrame) & ~std::uintptr_t{3};
    for (std::uintptr_t a = top - kDepth; a < top; a += 4) __tsan_acquire(reinterpret_cast<void*>(a));
}
#else
void handOff(void*) {}
void takeOver(void*) {}
void takeOverDeadStack(const void*) {}
#endif

// One arena per thread count, kept for the life of the process: a loop inside another runs in the
// arena it is called from, so a thread waiting for its inner loop can take any of the outer loops'
// work, and no loop pays for a fresh arena and for moving workers into it.
tbb::task_arena& arenaOf(int n) {
    static std::mutex lock;
    static auto* arenas = new std::vector<std::pair<int, tbb::task_arena*>>();  // never freed: used up to exit
    const std::lock_guard<std::mutex> guard(lock);
    for (const auto& [count, arena] : *arenas)
        if (count == n) return *arena;
    arenas->emplace_back(n, new tbb::task_arena(n));
    return *arenas->back().second;
}

template <class F>
void inArena(F&& f) {
    const int n = gThreads.load(std::memory_order_relaxed);
    if (n <= 0 || tbb::this_task_arena::max_concurrency() == n) {
        f();
        return;
    }
    arenaOf(n).execute(f);
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
    char start = 0, end = 0;  // separate, so iterations are never ordered among themselves
    handOff(&start);
    inArena([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n), [&](const tbb::blocked_range<std::size_t>& r) {
            takeOver(&start);
            for (std::size_t i = r.begin(); i != r.end(); ++i) body(i);
            handOff(&end);
        });
    });
    takeOver(&end);
    takeOverDeadStack(__builtin_frame_address(0));
}

void concurrentInTurn(std::size_t n, const std::function<void(std::size_t)>& body,
                      const std::function<void()>& drained) {
    const std::size_t lanes = std::clamp<std::size_t>(n, 1, static_cast<std::size_t>(std::max(threadCount(), 1)));
    std::atomic<std::size_t> next{0};
    concurrentPerform(lanes, [&](std::size_t) {
        for (std::size_t i = next.fetch_add(1); i < n; i = next.fetch_add(1)) body(i);
        if (drained) drained();
    });
}

void startThreads(std::size_t warmBytes) {
    static std::once_flag once;
    std::call_once(once, [warmBytes] {
        // One iteration per hardware thread, each warming its thread's heap and then waiting a moment:
        // while one waits, the next goes to a thread not yet busy, so every worker is started and warmed.
        tbb::this_task_arena::enqueue([warmBytes] {
            const int n = tbb::this_task_arena::max_concurrency();
            tbb::parallel_for(
                tbb::blocked_range<int>(0, n, 1),
                [warmBytes](const tbb::blocked_range<int>&) {
                    warmHeap(warmBytes);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                },
                tbb::simple_partitioner());
        });
    });
}

void concurrentChunks(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body) {
    if (n == 0) return;
    if (gThreads.load(std::memory_order_relaxed) == 1 || n == 1) {
        body(0, n);
        return;
    }
    char start = 0, end = 0;  // separate, so iterations are never ordered among themselves
    handOff(&start);
    inArena([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n), [&](const tbb::blocked_range<std::size_t>& r) {
            takeOver(&start);
            body(r.begin(), r.end());
            handOff(&end);
        });
    });
    takeOver(&end);
    takeOverDeadStack(__builtin_frame_address(0));
}

struct Once::State {
    tbb::collaborative_once_flag flag;
    char done = 0;  // only its address is used, to state the hand-off to ThreadSanitizer
};

Once::Once() : state_(std::make_unique<State>()) {}
Once::~Once() = default;

void Once::run(const std::function<void()>& work) {
    tbb::collaborative_call_once(state_->flag, [&] {
        work();
        handOff(&state_->done);
    });
    takeOver(&state_->done);
    takeOverDeadStack(__builtin_frame_address(0));
}

struct Background::State {
    std::function<void()> work;
    tbb::task_group group;
    char start = 0, end = 0;  // only their addresses are used, to state the hand-offs to ThreadSanitizer
};

Background::Background(std::function<void()> work) : state_(std::make_unique<State>()) {
    State* s = state_.get();
    s->work = std::move(work);
    handOff(&s->start);
    s->group.run([s] {
        takeOver(&s->start);
        s->work();
        handOff(&s->end);
    });
}

Background::~Background() {
    state_->group.wait();
    takeOver(&state_->end);
}

}  // namespace dispatch
