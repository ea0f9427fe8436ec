#include "App/GlibMainQueue.h"

#include <glib.h>

GlibMainQueue::GlibMainQueue(GMainContext* context) {
    if (!context) context = g_main_context_ref_thread_default();
    else g_main_context_ref(context);
    context_ = context;
}

GlibMainQueue::~GlibMainQueue() { g_main_context_unref(context_); }

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
