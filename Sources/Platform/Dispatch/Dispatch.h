#pragma once
// Parallel loops over oneTBB. `concurrentPerform` runs body(i) for every i in [0, n) and returns when all
// have run. It is re-entrant: several renders may each run their own loop at the same time.

#include <cstddef>
#include <functional>
#include <memory>

namespace dispatch {

// Number of worker threads loops may use; 1 runs every loop inline on the caller's thread.
// 0 (the default) means all hardware threads.
void setThreadCount(int count);
int threadCount();

void concurrentPerform(std::size_t n, const std::function<void(std::size_t)>& body);

// Starts the loop threads in the background and returns at once, so that the first loop of the process
// finds them running instead of waiting for each to start; each also brings in `warmBytes` of its heap
// (warmHeap) for the first render. Later calls do nothing.
void startThreads(std::size_t warmBytes = 0);

// The same for a few long iterations of uneven length: they are handed out one at a time, in index
// order, to one lane per thread, so no thread is left holding a share of the range while others idle.
// Each lane that finds none left then runs `drained()`, if given (at least once in all).
void concurrentInTurn(std::size_t n, const std::function<void(std::size_t)>& body,
                      const std::function<void()>& drained = {});

// Runs body(begin, end) over consecutive chunks of [0, n): cheaper than one call per index when the
// iterations are tiny.
void concurrentChunks(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body);

// Work done once, by whichever thread asks first. A thread that asks while it runs takes part in its
// loops until it is done, instead of idling (a blocked loop thread would leave a core unused).
class Once {
public:
    Once();
    ~Once();
    Once(const Once&) = delete;
    Once& operator=(const Once&) = delete;
    // Runs `work` unless it has run; returns when it has. Everything `work` did happens before the return.
    void run(const std::function<void()>& work);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Work started on the loop threads beside the caller's own, rather than on a thread of its own that
// would share the cores with every loop thread. Destroying it waits for the work; everything the work
// did happens before that returns.
class Background {
public:
    explicit Background(std::function<void()> work);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Sets the thread count for one scope and puts the old one back (tests and benchmarks).
class ThreadCountScope {
public:
    explicit ThreadCountScope(int count) : old_(threadCount()) { setThreadCount(count); }
    ~ThreadCountScope() { setThreadCount(old_); }
    ThreadCountScope(const ThreadCountScope&) = delete;
    ThreadCountScope& operator=(const ThreadCountScope&) = delete;

private:
    int old_;
};

}  // namespace dispatch
