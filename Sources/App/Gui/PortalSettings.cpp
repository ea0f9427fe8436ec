#include "App/Gui/PortalSettings.h"

#include <gio/gio.h>

#include <cstring>
#include <utility>

// One outstanding read of one key.
struct PortalSettings::Read {
    PortalSettings* self;
    Key key;
    bool oldMethod;  // `Read`, which portals before version 2 offer instead of `ReadOne`
};

namespace {

constexpr PortalSettings::Key keys[] = {PortalSettings::Key::colorScheme, PortalSettings::Key::reducedMotion};

// The setting's number: `ReadOne` answers (v), the older `Read` wraps the value once more.
std::optional<uint32_t> unwrap(GVariant* reply) {
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    while (value && g_variant_is_of_type(value, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(value);
        g_variant_unref(value);
        value = inner;
    }
    if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(value);
    return std::nullopt;
}

}  // namespace

const char* PortalSettings::name(Key key) { return key == Key::colorScheme ? "color-scheme" : "reduced-motion"; }

PortalSettings::PortalSettings(std::function<void(Key)> changed)
    : changed_(std::move(changed)), cancel_(g_cancellable_new()) {
    g_bus_get(G_BUS_TYPE_SESSION, cancel_, busReady, this);
}

PortalSettings::~PortalSettings() {
    // Answers still under way come back cancelled and leave this object alone.
    g_cancellable_cancel(cancel_);
    if (bus_) {
        if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        g_object_unref(bus_);
    }
    g_object_unref(cancel_);
}

void PortalSettings::busReady(GObject*, GAsyncResult* result, void* data) {
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus) return;  // no session bus: nothing to ask, or the settings are gone
    auto* self = static_cast<PortalSettings*>(data);
    self->bus_ = bus;
    // Subscribed before the reads, so a change between read and answer is not lost.
    self->subscription_ = g_dbus_connection_signal_subscribe(
        bus, service, interface, "SettingChanged", path, appearance, G_DBUS_SIGNAL_FLAGS_NONE,
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            gpointer me) {
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
            const gchar *space = nullptr, *key = nullptr;
            g_autoptr(GVariant) value = nullptr;
            g_variant_get(parameters, "(&s&sv)", &space, &key, &value);
            for (Key k : keys)
                if (std::strcmp(space, appearance) == 0 && std::strcmp(key, name(k)) == 0 &&
                    g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32))
                    static_cast<PortalSettings*>(me)->set(k, g_variant_get_uint32(value));
        },
        self, nullptr);
    for (Key k : keys) self->read(k, false);
}

void PortalSettings::read(Key key, bool oldMethod) {
    g_dbus_connection_call(bus_, service, path, interface, oldMethod ? "Read" : "ReadOne",
                           g_variant_new("(ss)", appearance, name(key)), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, cancel_, readDone, new Read{this, key, oldMethod});
}

void PortalSettings::readDone(GObject* source, GAsyncResult* result, void* data) {
    const Read read = *static_cast<Read*>(data);
    delete static_cast<Read*>(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        const bool olderPortal = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
        // No portal, or a key it does not know: the key stays unknown.
        if (!cancelled && olderPortal && !read.oldMethod) read.self->read(read.key, true);
        return;
    }
    if (auto value = unwrap(reply)) read.self->set(read.key, *value);
}

void PortalSettings::set(Key key, uint32_t value) {
    std::optional<uint32_t>& slot = key == Key::colorScheme ? colorScheme_ : reducedMotion_;
    if (slot == value) return;
    slot = value;
    if (changed_) changed_(key);
}
