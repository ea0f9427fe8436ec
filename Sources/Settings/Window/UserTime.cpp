#include "Settings/Window/UserTime.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

// A menu item chosen in the panel reaches us with no event of ours that carries the moment: without one,
// a window manager that prevents focus stealing maps the window behind the focused one and only says that
// it "is ready". The server's time now is later than any input the user gave elsewhere, so the window
// comes up focused, as a window asked for just now should.
uint32_t stampUserTime(GtkWidget* window) {
#ifdef GDK_WINDOWING_X11
    gtk_widget_realize(window);
    GdkWindow* w = gtk_widget_get_window(window);
    if (w && GDK_IS_X11_WINDOW(w)) {
        const guint32 now = gdk_x11_get_server_time(w);
        gdk_x11_window_set_user_time(w, now);
        return now;
    }
#endif
    return gtk_get_current_event_time();
}
