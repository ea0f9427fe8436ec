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
    while (!expired) {
        if (done && done()) {
            g_source_remove(timer);
            return true;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    return done && done();
}

void runFor(double seconds) { runUntil({}, seconds); }

}  // namespace mainloop
