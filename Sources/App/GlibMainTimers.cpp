#include "App/GlibMainTimers.h"

#include <algorithm>
#include <cmath>

#include <glib.h>

struct GlibMainTimers::Pending {
    GlibMainTimers* owner;
    Id id;
    std::function<void()> work;
};

GlibMainTimers::~GlibMainTimers() {
    for (const auto& [id, source] : sources_) g_source_remove(source);
}

MainTimers::Id GlibMainTimers::after(double seconds, std::function<void()> work) {
    const Id id = next_++;
    // Whole milliseconds; anything not a sane delay runs on the next turn of the loop.
    const double ms = std::isfinite(seconds) ? std::clamp(std::ceil(seconds * 1000), 0.0, 86400e3) : 0;
    auto* pending = new Pending{this, id, std::move(work)};
    sources_[id] = g_timeout_add_full(
        G_PRIORITY_DEFAULT, guint(ms),
        +[](gpointer data) -> gboolean {
            auto* p = static_cast<Pending*>(data);
            // Forget the source first: the work may schedule or cancel timers.
            p->owner->sources_.erase(p->id);
            p->work();
            return G_SOURCE_REMOVE;
        },
        pending, +[](gpointer data) { delete static_cast<Pending*>(data); });
    return id;
}

void GlibMainTimers::cancel(Id id) {
    const auto it = sources_.find(id);
    if (it == sources_.end()) return;
    g_source_remove(it->second);
    sources_.erase(it);
}
