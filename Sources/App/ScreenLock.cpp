#include "App/ScreenLock.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Saver {
    const char* interface;
    const char* path;
};

// The same signal under each desktop's own name; the freedesktop one is what most of them also offer.
constexpr Saver savers[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
    {"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver"},
    {"org.mate.ScreenSaver", "/org/mate/ScreenSaver"},
    {"org.xfce.ScreenSaver", "/org/xfce/ScreenSaver"},
};

}  // namespace

ScreenLock::ScreenLock(std::function<void(bool)> changed) : changed_(std::move(changed)) {
    GError* error = nullptr;
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus_) {
        std::fprintf(stderr, "vistamere: no session bus, so a locked screen goes unnoticed: %s\n",
                     error ? error->message : "unknown error");
        g_clear_error(&error);
        return;
    }
    cancel_ = g_cancellable_new();
    for (const Saver& saver : savers) {
        subscriptions_.push_back(g_dbus_connection_signal_subscribe(
            bus_, nullptr, saver.interface, "ActiveChanged", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            +[](GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar*,
                GVariant* parameters, gpointer self) {
                if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
                gboolean active = FALSE;
                g_variant_get(parameters, "(b)", &active);
                static_cast<ScreenLock*>(self)->set(interface, active);
            },
            this, nullptr));
        // The state at start: a saver that is not running simply does not answer. Destruction cancels the
        // call, and a cancelled call never touches the watch.
        struct Ask {
            ScreenLock* self;
            const char* interface;
        };
        g_dbus_connection_call(
            bus_, saver.interface, saver.path, saver.interface, "GetActive", nullptr, G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, cancel_,
            +[](GObject* source, GAsyncResult* result, gpointer data) {
                const Ask ask = *static_cast<Ask*>(data);
                delete static_cast<Ask*>(data);
                g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
                if (!reply) return;
                gboolean active = FALSE;
                g_variant_get(reply, "(b)", &active);
                ask.self->set(ask.interface, active);
            },
            new Ask{this, saver.interface});
    }
}

ScreenLock::~ScreenLock() {
    if (!bus_) return;
    g_cancellable_cancel(cancel_);
    for (unsigned id : subscriptions_) g_dbus_connection_signal_unsubscribe(bus_, id);
    g_object_unref(cancel_);
    g_object_unref(bus_);
}

bool ScreenLock::locked() const {
    return std::any_of(active_.begin(), active_.end(), [](const auto& entry) { return entry.second; });
}

void ScreenLock::set(const std::string& saver, bool active) {
    const bool before = locked();
    active_[saver] = active;
    if (locked() != before && changed_) changed_(locked());
}
