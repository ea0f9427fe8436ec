// The pond's chores: every chore runs exactly once whatever the number of callers, one caller runs them
// in the order added, and they are handed out one at a time, so a caller held up by a long chore leaves
// the rest to the others.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "Art/PondChores.h"

namespace {

TEST(PondChores, EveryChoreRunsOnceWhateverTheCallers) {
    struct Case {
        std::size_t chores;
        int callers;
    };
    const Case cases[] = {{0, 1}, {0, 4}, {1, 1}, {1, 8}, {5, 1}, {3, 8}, {300, 1}, {300, 8}, {2000, 16}};
    for (const Case& c : cases) {
        std::vector<std::atomic<int>> runs(c.chores);
        PondChores chores;
        for (std::size_t i = 0; i < c.chores; ++i) chores.add([&runs, i] { runs[i].fetch_add(1); });
        ASSERT_EQ(chores.size(), c.chores);
        std::vector<std::thread> callers;
        for (int t = 0; t < c.callers; ++t) callers.emplace_back([&chores] { chores.work(); });
        for (std::thread& t : callers) t.join();
        // A late caller finds nothing left and runs nothing again.
        chores.work();
        for (std::size_t i = 0; i < c.chores; ++i)
            EXPECT_EQ(runs[i].load(), 1) << "chore " << i << " of " << c.chores << " with " << c.callers << " callers";
    }
}

TEST(PondChores, OneCallerRunsThemInTheOrderAdded) {
    for (std::size_t n : {1u, 2u, 7u, 64u}) {
        std::vector<std::size_t> order;
        PondChores chores;
        for (std::size_t i = 0; i < n; ++i) chores.add([&order, i] { order.push_back(i); });
        chores.work();
        ASSERT_EQ(order.size(), n);
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(order[i], i) << "of " << n;
    }
}

TEST(PondChores, ACallerHeldUpByALongChoreLeavesTheRestToTheOthers) {
    // Chore 0 waits until every other chore is done. With the chores handed out one at a time the second
    // caller takes them all; a caller that had claimed a share up front would keep some back, and chore
    // 0 would give up waiting.
    constexpr std::size_t kChores = 40;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t othersDone = 0;
    bool waitedInVain = false;
    std::atomic<bool> firstTaken{false};
    PondChores chores;
    chores.add([&] {
        firstTaken = true;
        std::unique_lock<std::mutex> held(lock);
        waitedInVain = !changed.wait_for(held, std::chrono::seconds(20), [&] { return othersDone == kChores - 1; });
    });
    for (std::size_t i = 1; i < kChores; ++i)
        chores.add([&] {
            const std::lock_guard<std::mutex> held(lock);
            ++othersDone;
            changed.notify_all();
        });
    std::thread first([&] { chores.work(); });
    while (!firstTaken) std::this_thread::yield();
    std::thread second([&] { chores.work(); });
    second.join();
    first.join();
    EXPECT_FALSE(waitedInVain);
    EXPECT_EQ(othersDone, kChores - 1);
}

}  // namespace
