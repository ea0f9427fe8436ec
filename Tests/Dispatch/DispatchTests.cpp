#include "Platform/Dispatch/Dispatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(Dispatch, EveryIndexRunsExactlyOnceAtAnyThreadCount) {
    for (int threads : {1, 2, 8, 0}) {
        dispatch::ThreadCountScope scope(threads);
        std::vector<std::atomic<int>> hits(1000);
        dispatch::concurrentPerform(hits.size(), [&](std::size_t i) { hits[i]++; });
        for (auto& h : hits) ASSERT_EQ(h.load(), 1) << "threads " << threads;
        std::vector<std::atomic<int>> chunkHits(777);
        dispatch::concurrentChunks(chunkHits.size(), [&](std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) chunkHits[i]++;
        });
        for (auto& h : chunkHits) ASSERT_EQ(h.load(), 1) << "threads " << threads;
        // Handed out in turn: every index once, and each lane that runs dry says so, at least one.
        for (std::size_t n : {0, 3, 100}) {
            std::vector<std::atomic<int>> turnHits(n);
            std::atomic<int> drained{0};
            dispatch::concurrentInTurn(n, [&](std::size_t i) { turnHits[i]++; }, [&] { drained++; });
            for (auto& h : turnHits) ASSERT_EQ(h.load(), 1) << "threads " << threads << ", n " << n;
            EXPECT_GE(drained.load(), 1) << "threads " << threads << ", n " << n;
            EXPECT_LE(drained.load(), std::max<int>(1, std::min<int>(static_cast<int>(n), dispatch::threadCount())));
        }
    }
}

TEST(Dispatch, SingleThreadRunsInlineInOrder) {
    dispatch::ThreadCountScope scope(1);
    const auto caller = std::this_thread::get_id();
    std::vector<std::size_t> order;
    dispatch::concurrentPerform(50, [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    ASSERT_EQ(order.size(), 50u);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(dispatch::threadCount(), 1);
}

TEST(Dispatch, LoopsNestAndRunFromSeveralThreadsAtOnce) {
    std::atomic<long> total{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            dispatch::concurrentPerform(20, [&](std::size_t) {
                dispatch::concurrentPerform(10, [&](std::size_t) { total++; });
            });
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(total.load(), 4 * 20 * 10);
}

TEST(Dispatch, EmptyLoopRunsNothing) {
    bool ran = false;
    dispatch::concurrentPerform(0, [&](std::size_t) { ran = true; });
    dispatch::concurrentChunks(0, [&](std::size_t, std::size_t) { ran = true; });
    EXPECT_FALSE(ran);
}

// Callers from plain threads and from loop iterations all return after the work, which runs once, and
// see everything it wrote.
TEST(Dispatch, OnceRunsItsWorkOnceForEveryCallerAtAnyThreadCount) {
    for (int threads : {1, 8, 0}) {
        dispatch::ThreadCountScope scope(threads);
        dispatch::Once once;
        std::atomic<int> runs{0};
        std::vector<int> written(4000, 0);
        auto work = [&] {
            runs++;
            dispatch::concurrentPerform(written.size(), [&](std::size_t i) { written[i] = static_cast<int>(i) + 1; });
        };
        auto check = [&] {
            once.run(work);
            for (std::size_t i = 0; i < written.size(); i += 397) ASSERT_EQ(written[i], static_cast<int>(i) + 1);
        };
        std::vector<std::thread> callers;
        for (int t = 0; t < 3; ++t) callers.emplace_back(check);
        dispatch::concurrentPerform(16, [&](std::size_t) { check(); });
        for (std::thread& t : callers) t.join();
        EXPECT_EQ(runs.load(), 1) << "threads " << threads;
    }
}

namespace {

// The threads of this process, from /proc/self/status.
int processThreads() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    int n = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "Threads: %d", &n) == 1) break;
    std::fclose(status);
    return n;
}

}  // namespace

// In a fresh process (a child that runs only this check), with no loop run, starting the threads brings
// up one loop thread per hardware thread beside the caller by itself. (A sanitizer may add a thread of its
// own, so more are allowed.)
TEST(Dispatch, StartingTheThreadsBringsUpEveryLoopThreadInTheBackground) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int before = processThreads();
            const int want = before - 1 + std::max(dispatch::threadCount(), 1);
            dispatch::startThreads();
            int now = processThreads();
            // Generous: a loaded machine may take long to start threads; the check is that they come.
            for (int i = 0; i < 2000 && now < want; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                now = processThreads();
            }
            std::fprintf(stderr, "threads %d, then %d, wanted %d\n", before, now, want);
            std::exit(before >= 1 && before < want && now >= want ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Dispatch, NestedLoopsStayWithinTheThreadCount) {
    // A loop inside a loop runs on the threads the count allows, not on more: with a fresh arena for
    // every inner loop, each outer iteration brought threads of its own.
    for (const int count : {2, 3}) {
        dispatch::ThreadCountScope scope(count);
        std::atomic<int> running{0}, most{0};
        dispatch::concurrentPerform(static_cast<std::size_t>(count), [&](std::size_t) {
            dispatch::concurrentPerform(40, [&](std::size_t) {
                const int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                --running;
            });
        });
        EXPECT_LE(most.load(), count) << count << " threads";
        EXPECT_GE(most.load(), 1);
    }
}
