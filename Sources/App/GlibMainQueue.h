#pragma once
// The main queue and its timers over a GLib main context: the creating thread's default context unless
// one is given.

#include <map>

#include "App/MainQueue.h"
#include "App/Timers.h"

struct _GMainContext;

class GlibMainQueue : public MainQueue, public Timers {
public:
    explicit GlibMainQueue(_GMainContext* context = nullptr);
    ~GlibMainQueue() override;
    GlibMainQueue(const GlibMainQueue&) = delete;
    GlibMainQueue& operator=(const GlibMainQueue&) = delete;

    void post(std::function<void()> work) override;
    // Timers are for the context's own thread.
    Id after(double seconds, std::function<void()> work) override;
    void cancel(Id id) override;

private:
    _GMainContext* context_;
    // Our ids to GLib source ids, so a stale id never removes a source GLib has reused the number of.
    std::map<Id, unsigned> timers_;
    Id nextId_ = 1;
};
