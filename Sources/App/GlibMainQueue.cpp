#include "App/GlibMainQueue.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

GlibMainQueue::GlibMainQueue(GMainContext* context) {
    if (!context) context = g_main_context_ref_thread_default();
    else g_main_context_ref(context);
    context_ = context;
}

GlibMainQueue::~GlibMainQueue() {
    for (const auto& [id, timer] : timers_)
        if (GSource* s = g_main_context_find_source_by_id(context_, timer.source)) g_source_destroy(s);
    g_main_context_unref(context_);
}

void GlibMainQueue::post(std::function<void()> work) {
    // An idle source rather than g_main_context_invoke: that one runs inline on the owning thread.
    g_autoptr(GSource) source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)), [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, context_);
}

namespace {

struct Pending {
    GlibMainQueue* queue;
    Timers::Id id;
};

}  // namespace

Timers::Id GlibMainQueue::after(double seconds, std::function<void()> work) {
    const double ms = std::ceil(std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, 86400.0) * 1000);
    g_autoptr(GSource) source = g_timeout_source_new(guint(ms));
    const Id id = nextId_++;
    struct Call {
        static gboolean fired(gpointer data) {
            auto* p = static_cast<Pending*>(data);
            p->queue->fire(p->id);
            return G_SOURCE_REMOVE;
        }
    };
    g_source_set_callback(source, &Call::fired, new Pending{this, id},
                          [](gpointer data) { delete static_cast<Pending*>(data); });
    const int64_t due = g_get_monotonic_time() + static_cast<int64_t>(ms) * 1000;
    timers_[id] = Timer{g_source_attach(source, context_), due, std::move(work)};
    return id;
}

void GlibMainQueue::run(std::map<Id, Timer>::iterator it) {
    // Forgotten before the work runs: it may cancel other timers or start new ones.
    std::function<void()> work = std::move(it->second.work);
    if (GSource* s = g_main_context_find_source_by_id(context_, it->second.source)) g_source_destroy(s);
    timers_.erase(it);
    work();
}

void GlibMainQueue::fire(Id id) {
    const std::weak_ptr<char> alive = alive_;
    for (;;) {
        const auto self = timers_.find(id);
        if (self == timers_.end()) return;
        auto first = self;
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due < first->second.due || (it->second.due == first->second.due && it->first < first->first))
                first = it;
        const bool mine = first == self;
        run(first);
        if (mine || alive.expired()) return;
    }
}

void GlibMainQueue::cancel(Id id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (GSource* s = g_main_context_find_source_by_id(context_, it->second.source)) g_source_destroy(s);
    timers_.erase(it);
}
