#include "Platform/Desktop/DesktopSurface.h"

#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/Snapshot.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

DesktopSurface::DesktopSurface(Geometry g, DesktopWindow& window, std::unique_ptr<FrameCompositor> compositor,
                               std::function<bool()> lowPower)
    : geometry_(g), window_(window), compositor_(std::move(compositor)), lowPower_(std::move(lowPower)) {
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(w);
    gtkWindow_ = w;
    GtkWindow* win = GTK_WINDOW(w);
    gtk_window_set_title(win, "Vistamere desktop");
    gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_DESKTOP);
    gtk_window_set_decorated(win, FALSE);
    gtk_window_set_resizable(win, FALSE);
    gtk_window_set_accept_focus(win, FALSE);
    gtk_window_set_focus_on_map(win, FALSE);
    gtk_window_set_skip_taskbar_hint(win, TRUE);
    gtk_window_set_skip_pager_hint(win, TRUE);
    gtk_window_set_keep_below(win, TRUE);
    gtk_window_stick(win);
    gtk_window_move(win, g.x, g.y);
    gtk_window_set_default_size(win, g.width, g.height);
    gtk_container_add(GTK_CONTAINER(w), compositor_->widget());
    g_signal_connect(w, "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         auto* s = static_cast<DesktopSurface*>(self);
                         // Clicks go through to whatever lies beneath (the icon manager, the root).
                         if (s->clicksThrough_) {
                             cairo_region_t* none = cairo_region_create();
                             gdk_window_input_shape_combine_region(gtk_widget_get_window(s->gtkWindow_), none, 0, 0);
                             cairo_region_destroy(none);
                         }
                         s->compositor_->invalidate();
                         s->requestFrame();
                         if (s->mapHandler_) s->mapHandler_();
                         return FALSE;
                     }),
                     this);
    gtk_widget_add_events(w, GDK_VISIBILITY_NOTIFY_MASK);
    g_signal_connect(w, "visibility-notify-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventVisibility* event, gpointer self) -> gboolean {
                         auto* s = static_cast<DesktopSurface*>(self);
                         if (s->visibilityHandler_)
                             s->visibilityHandler_(event->state != GDK_VISIBILITY_FULLY_OBSCURED);
                         return FALSE;
                     }),
                     this);
    window_.setChangeHandler([this] { requestFrame(); });
    requestFrame();
}

DesktopSurface::~DesktopSurface() {
    window_.setChangeHandler({});
    cancel();
    g_signal_handlers_disconnect_by_data(gtkWindow_, this);
    gtk_widget_destroy(gtkWindow_);
    g_object_unref(gtkWindow_);
}

unsigned long DesktopSurface::xwindow() const {
    GdkWindow* gw = gtk_widget_get_window(gtkWindow_);
    return gw && GDK_IS_X11_WINDOW(gw) ? gdk_x11_window_get_xid(gw) : 0;
}

void DesktopSurface::cancel() {
    if (timer_) g_source_remove(timer_), timer_ = 0;
    if (idle_) g_source_remove(idle_), idle_ = 0;
}

void DesktopSurface::requestFrame() {
    if (idle_ || suppressed_) return;
    if (timer_) g_source_remove(timer_), timer_ = 0;
    idle_ = g_idle_add_full(G_PRIORITY_HIGH_IDLE, +[](gpointer self) -> gboolean {
        auto* s = static_cast<DesktopSurface*>(self);
        s->idle_ = 0;
        s->frame();
        return G_SOURCE_REMOVE;
    }, this, nullptr);
}

void DesktopSurface::setSuppressed(bool suppressed) {
    if (suppressed == suppressed_) return;
    suppressed_ = suppressed;
    if (suppressed) {
        cancel();
        gtk_widget_hide(gtkWindow_);
        mapped_ = false;
    } else {
        requestFrame();
    }
}

void DesktopSurface::setOverrideRedirect(bool overrideRedirect) {
    if (overrideRedirect == overrideRedirect_) return;
    overrideRedirect_ = overrideRedirect;
    if (!mapped_) return;  // applied when mapped
    gtk_widget_hide(gtkWindow_);
    mapped_ = false;
    requestFrame();
}

void DesktopSurface::map() {
    if (mapped_) return;
    mapped_ = true;
    // Only an unmapped window can change whether it is managed.
    gtk_widget_realize(gtkWindow_);
    gdk_window_set_override_redirect(gtk_widget_get_window(gtkWindow_), overrideRedirect_);
    gtk_widget_show_all(gtkWindow_);
    gtk_window_move(GTK_WINDOW(gtkWindow_), geometry_.x, geometry_.y);
}

void DesktopSurface::frame() {
    ++wakeups_;
    if (suppressed_) return;
    const double t = window_.now();
    if (!window_.isVisible()) return;  // nothing shown yet: the window stays unmapped
    if (!mapped_) {
        map();
        return;  // the map handler asks for the first frame once the window is on screen
    }
    ca::Layer& host = window_.host();
    // With a compositing manager the window itself fades over what lies beneath; without one
    // the picture fades from black.
    const double alpha = window_.alpha(t);
    if (gdk_screen_is_composited(gtk_widget_get_screen(gtkWindow_))) {
        if (gtk_widget_get_opacity(gtkWindow_) != alpha) gtk_widget_set_opacity(gtkWindow_, alpha);
        compositor_->update(host, t, 1);
    } else {
        compositor_->update(host, t, alpha);
    }
    // The compositor's snapshot walked the tree once already: it tells whether any animation
    // finished (presentation ignores those, so freeing them after it is the same) and what pacing
    // needs. A back end without one costs the two walks of their own.
    const ca::Snapshot* snap = compositor_->lastSnapshot();
    if (snap && (snap->time() != t || snap->entries().empty() || snap->entries()[0].layer != &host)) snap = nullptr;
    if (!snap || snap->finishedAnimations() > 0) host.removeFinishedAnimations(t);
    lastFrame_ = t;
    schedule(t, snap);
}

void DesktopSurface::schedule(double t, const ca::Snapshot* snap) {
    const double cap = lowPower_ && lowPower_() ? 15 : 30;
    const ca::FrameRequest request = snap ? snap->frameRequest(cap) : ca::frameRequest(window_.host(), t, cap);
    // The window's own fade runs at the cap, like any animation without a preference.
    const bool fading = window_.alpha(t) != window_.alpha(t + 3600);
    const double rate = std::max(request.rate, fading ? cap : 0.0);
    double delay;
    if (rate > 0) {
        // Frames start 1/rate apart, however long the last one took.
        delay = std::max(0.0, t + 1 / rate - window_.now());
    } else if (request.nextStart) {
        delay = std::max(0.0, *request.nextStart - t);
    } else {
        return;  // nothing moves: no timer until the tree changes
    }
    const guint ms = guint(std::clamp(std::ceil(delay * 1000), 1.0, 86400e3));
    timer_ = g_timeout_add_full(G_PRIORITY_DEFAULT, ms, +[](gpointer self) -> gboolean {
        auto* s = static_cast<DesktopSurface*>(self);
        s->timer_ = 0;
        s->frame();
        return G_SOURCE_REMOVE;
    }, this, nullptr);
}
