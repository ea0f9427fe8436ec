#pragma once
// Main-loop timers on the thread-default GLib main context of the creating thread.

#include <map>
#include <memory>

#include "App/MainTimers.h"

class GlibMainTimers : public MainTimers {
public:
    GlibMainTimers() = default;
    ~GlibMainTimers() override;
    GlibMainTimers(const GlibMainTimers&) = delete;
    GlibMainTimers& operator=(const GlibMainTimers&) = delete;

    Id after(double seconds, std::function<void()> work) override;
    void cancel(Id id) override;

private:
    struct Pending;
    Id next_ = 1;
    // Timers that have not run, by id, with their GLib source ids.
    std::map<Id, unsigned> sources_;
};
