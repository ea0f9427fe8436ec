#pragma once
// Delayed work on the main loop that can be called off before it runs: debounces and polls. The GLib
// loop in the program, a hand-wound clock in tests.

#include <cstdint>
#include <functional>

class MainTimers {
public:
    using Id = uint64_t;

    virtual ~MainTimers() = default;
    // Runs `work` once on the main thread after `seconds`; the id is never 0.
    virtual Id after(double seconds, std::function<void()> work) = 0;
    // Calls off a timer that has not run yet; ids that ran, were cancelled or are 0 are ignored.
    virtual void cancel(Id id) = 0;
};
