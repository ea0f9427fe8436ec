#pragma once
// Somewhere to run background work: a pool of threads, one serial thread, or a fake in tests.

#include <functional>

class Workers {
public:
    virtual ~Workers() = default;
    // Safe from any thread; returns at once.
    virtual void run(std::function<void()> job) = 0;
};
