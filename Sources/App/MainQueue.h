#pragma once
// The main loop as seen from other threads: work posted here runs later on the main thread, in order.

#include <functional>

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Safe from any thread; never runs `work` inline, even when called on the main thread.
    virtual void post(std::function<void()> work) = 0;
};
