#pragma once
// Helpers for the application tests: a fresh directory and a way to run the GLib main context.

#include <glib.h>

#include <chrono>
#include <functional>

#include "Finder/TempDir.h"

// Iterates the thread's default main context until `done` answers true or `seconds` pass.
inline bool runUntil(const std::function<bool()>& done, double seconds = 5) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

// Lets everything already queued on the main context run for a short while.
inline void settle(double seconds = 0.3) {
    runUntil([] { return false; }, seconds);
}
