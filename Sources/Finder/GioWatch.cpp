#include "Finder/GioWatch.h"

#include <gio/gio.h>
#include <vector>

struct GioWatch::State {
    std::function<void()> changed;
    bool alive = true;  // cleared first thing on destruction: a notice already queued then does nothing
    std::vector<GFileMonitor*> monitors;
    GDBusConnection* bus = nullptr;
    guint subscription = 0;

    void fire() {
        if (alive && changed) changed();
    }
};

namespace {

using Hold = std::shared_ptr<GioWatch::State>;

gpointer hold(const Hold& state) { return new Hold(state); }
void drop(gpointer data, GClosure*) { delete static_cast<Hold*>(data); }
void dropPlain(gpointer data) { delete static_cast<Hold*>(data); }

void onMonitor(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer data) {
    if (event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT || event == G_FILE_MONITOR_EVENT_UNMOUNTED) return;
    (*static_cast<Hold*>(data))->fire();
}

void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data) {
    (*static_cast<Hold*>(data))->fire();
}

}  // namespace

GioWatch::GioWatch(std::function<void()> changed) : state_(std::make_shared<State>()) {
    state_->changed = std::move(changed);
}

GioWatch::~GioWatch() {
    state_->alive = false;
    for (GFileMonitor* m : state_->monitors) {
        g_file_monitor_cancel(m);
        g_signal_handlers_disconnect_matched(m, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(&onMonitor), nullptr);
        g_object_unref(m);
    }
    if (state_->bus) {
        if (state_->subscription) g_dbus_connection_signal_unsubscribe(state_->bus, state_->subscription);
        g_object_unref(state_->bus);
    }
}

static bool addMonitor(const std::shared_ptr<GioWatch::State>& state, const std::string& path, bool directory) {
    g_autoptr(GFile) f = g_file_new_for_path(path.c_str());
    // WATCH_MOVES reports an atomic replace (write to a temporary, rename over) as one change.
    GFileMonitor* m = directory ? g_file_monitor_directory(f, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr)
                                : g_file_monitor_file(f, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
    if (!m) return false;
    g_signal_connect_data(m, "changed", G_CALLBACK(onMonitor), hold(state), drop, GConnectFlags(0));
    state->monitors.push_back(m);
    return true;
}

bool GioWatch::file(const std::string& path) { return addMonitor(state_, path, false); }

bool GioWatch::directory(const std::string& path) { return addMonitor(state_, path, true); }

bool GioWatch::metadata() {
    if (state_->subscription) return true;
    if (!state_->bus) state_->bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!state_->bus) return false;
    state_->subscription = g_dbus_connection_signal_subscribe(
        state_->bus, nullptr, "org.gtk.vfs.Metadata", "AttributeChanged", "/org/gtk/vfs/metadata", nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, onSignal, hold(state_), dropPlain);
    return state_->subscription != 0;
}
