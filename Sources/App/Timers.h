#pragma once
// One-shot timers on the main loop: GLib timeouts in the program, a fake clock in tests.

#include <cstdint>
#include <functional>

class Timers {
public:
    using Id = uint64_t;
    virtual ~Timers() = default;
    // Runs `work` once on the main thread after `seconds`; never inline. Ids are never 0.
    virtual Id after(double seconds, std::function<void()> work) = 0;
    // Forgets a timer that has not fired yet; an id that fired or was cancelled is ignored.
    virtual void cancel(Id id) = 0;
};
