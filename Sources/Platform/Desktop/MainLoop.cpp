#include "Platform/Desktop/MainLoop.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

namespace mainloop {

bool init() {
    gdk_set_allowed_backends("x11");
    return gtk_init_check(nullptr, nullptr);
}

bool runUntil(const std::function<bool()>& done, double seconds) {
    bool expired = false;
    const guint timer = g_timeout_add(guint(seconds * 1000), +[](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
    }, &expired);
    // `done` may watch what no event of ours announces (another X connection, a file): look again often.
    const guint poll = done ? g_timeout_add(20, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr) : 0;
    bool finished = false;
    while (!expired && !finished) {
        finished = done && done();
        if (!finished) g_main_context_iteration(nullptr, TRUE);
    }
    if (!expired) g_source_remove(timer);
    if (poll) g_source_remove(poll);
    return finished || (done && done());
}

void runFor(double seconds) { runUntil({}, seconds); }

}  // namespace mainloop
