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
    for (const auto& [id, source] : timers_)
        if (GSource* s = g_main_context_find_source_by_id(context_, source)) g_source_destroy(s);
    g_main_context_unref(context_);
}

void GlibMainQueue::post(std::function<void()> work) {
    // An idle source rather than g_main_context_invoke: that one runs inline on the owning thread.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)), [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, context_);
    g_source_unref(source);
}

namespace {

struct Pending {
    std::map<Timers::Id, unsigned>* timers;
    Timers::Id id;
    std::function<void()> work;
};

}  // namespace

Timers::Id GlibMainQueue::after(double seconds, std::function<void()> work) {
    const double ms = std::ceil(std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, 86400.0) * 1000);
    GSource* source = g_timeout_source_new(guint(ms));
    const Id id = nextId_++;
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto* p = static_cast<Pending*>(data);
            p->timers->erase(p->id);
            // The work may cancel other timers or start new ones; this one is already forgotten.
            p->work();
            return G_SOURCE_REMOVE;
        },
        new Pending{&timers_, id, std::move(work)}, [](gpointer data) { delete static_cast<Pending*>(data); });
    timers_[id] = g_source_attach(source, context_);
    g_source_unref(source);
    return id;
}

void GlibMainQueue::cancel(Id id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (GSource* s = g_main_context_find_source_by_id(context_, it->second)) g_source_destroy(s);
    timers_.erase(it);
}
