#pragma once
// The main queue and its timers over a GLib main context: the creating thread's default context unless
// one is given.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

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
    struct Timer {
        unsigned source;  // GLib's id, so a stale id of ours never removes a source GLib has reused the number of
        int64_t due;      // monotonic µs
        std::function<void()> work;
    };
    // Runs `id`'s work, after that of every pending timer due before it: when the loop was held up,
    // GLib dispatches the overdue ones in the order they were made, not the order they fell due.
    void fire(Id id);
    void run(std::map<Id, Timer>::iterator it);

    _GMainContext* context_;
    std::map<Id, Timer> timers_;
    // Gone with the queue: work run by `fire` may destroy the queue it runs on.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    Id nextId_ = 1;
};
