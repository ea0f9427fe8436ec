#include "Platform/Background/Background.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A gate a job waits at until the test opens it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void wait() {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return open; });
    }
    void release() {
        {
            std::lock_guard lock(m);
            open = true;
        }
        cv.notify_all();
    }
};

// Waits up to a generous limit for `done`; a loaded machine may be slow, never this slow.
template <class F>
bool eventually(F done) {
    for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}

}  // namespace

TEST(BackgroundPool, RunsAtMostItsThreadsAtOnceAndLetsQueuedJobsFinish) {
    struct Case {
        int threads, jobs;
    };
    for (const Case c : {Case{1, 12}, Case{3, 20}}) {
        std::atomic<int> running{0}, most{0}, finished{0};
        std::vector<int> order;
        std::mutex orderLock;
        {
            background::Pool pool(c.threads, "test");
            for (int i = 0; i < c.jobs; ++i)
                pool.run([&, i] {
                    const int now = ++running;
                    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {}
                    std::this_thread::sleep_for(2ms);
                    {
                        std::lock_guard lock(orderLock);
                        order.push_back(i);
                    }
                    --running;
                    ++finished;
                });
        }  // the destructor waits for every queued job
        EXPECT_EQ(finished.load(), c.jobs) << c.threads;
        EXPECT_LE(most.load(), c.threads) << c.threads;
        if (c.threads == 1) {
            for (int i = 0; i < c.jobs; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);  // first in, first out
        }
    }
}

TEST(BackgroundPool, AFailingJobIsLoggedAndTheNextOneRuns) {
    std::atomic<bool> after{false};
    {
        background::Pool pool(1, "test");
        pool.run([] { throw std::runtime_error("broken"); });
        pool.run([] { throw 3; });
        pool.run([&] { after = true; });
    }
    EXPECT_TRUE(after.load());
}

TEST(BackgroundRun, AStuckJobDoesNotHoldBackTheNext) {
    auto gate = std::make_shared<Gate>();
    std::atomic<int> done{0};
    // More stuck jobs than the machine has cores: none of them may delay the quick one.
    const int stuck = static_cast<int>(std::thread::hardware_concurrency()) + 2;
    for (int i = 0; i < stuck; ++i) background::run([gate] { gate->wait(); });
    background::run([&] { ++done; });
    EXPECT_TRUE(eventually([&] { return done.load() == 1; }));
    gate->release();
}
