#pragma once
// The main queue over a GLib main context: the creating thread's default context unless one is given.

#include "App/MainQueue.h"

struct _GMainContext;

class GlibMainQueue : public MainQueue {
public:
    explicit GlibMainQueue(_GMainContext* context = nullptr);
    ~GlibMainQueue() override;
    GlibMainQueue(const GlibMainQueue&) = delete;
    GlibMainQueue& operator=(const GlibMainQueue&) = delete;

    void post(std::function<void()> work) override;

private:
    _GMainContext* context_;
};
