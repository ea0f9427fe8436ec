#pragma once
// A D-Bus service played by the test: it owns a name on the session bus and answers one object's
// methods from a handler, on a thread and connection of its own, so the code under test can call
// it synchronously from the main thread.

#include <gio/gio.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

namespace desktoptest {

class FakeBusService {
public:
    // The reply tuple, or nullptr to answer with an error.
    using Handler = std::function<GVariant*(const std::string& method, GVariant* parameters)>;

    FakeBusService(const std::string& name, const std::string& path, const std::string& xml, Handler handler)
        : handler_(std::move(handler)), context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {
        std::promise<bool> ready;
        thread_ = std::thread([&] { run(name, path, xml, ready); });
        ok_ = ready.get_future().get();
    }
    ~FakeBusService() {
        // Queued on its context, so a loop that is not running yet still stops.
        g_main_context_invoke(
            context_, +[](gpointer loop) { return g_main_loop_quit(static_cast<GMainLoop*>(loop)), G_SOURCE_REMOVE; },
            loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }
    // Whether the name is ours.
    bool ok() const { return ok_; }

    // Sends a signal from the name's owner, as the real service would; returns once it is on its way.
    void emit(const std::string& path, const std::string& interface, const std::string& signal, GVariant* parameters) {
        struct Emit {
            FakeBusService* self;
            std::string path, interface, signal;
            GVariant* parameters;
            std::promise<void> sent;
        } e{this, path, interface, signal, g_variant_ref_sink(parameters), {}};
        auto sent = e.sent.get_future();
        g_main_context_invoke(
            context_,
            +[](gpointer data) {
                auto* e = static_cast<Emit*>(data);
                if (e->self->bus_)
                    g_dbus_connection_emit_signal(e->self->bus_, nullptr, e->path.c_str(), e->interface.c_str(),
                                                  e->signal.c_str(), e->parameters, nullptr);
                e->sent.set_value();
                return G_SOURCE_REMOVE;
            },
            &e);
        sent.wait();
        g_variant_unref(e.parameters);
    }

private:
    void run(std::string name, std::string path, std::string xml, std::promise<bool>& ready) {
        g_main_context_push_thread_default(context_);
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        auto flags = GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
        GDBusConnection* bus = bus_ =
            address ? g_dbus_connection_new_for_address_sync(address, flags, nullptr, nullptr, nullptr) : nullptr;
        g_free(address);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
        static const GDBusInterfaceVTable vtable{
            +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
                GDBusMethodInvocation* invocation, gpointer self) {
                if (GVariant* reply = static_cast<FakeBusService*>(self)->handler_(method, parameters))
                    g_dbus_method_invocation_return_value(invocation, reply);
                else
                    g_dbus_method_invocation_return_dbus_error(invocation, "org.example.Fake.Refused", "refused");
            },
            nullptr,
            nullptr,
            {}};
        guint object = 0, owned = 0;
        if (bus && node && node->interfaces && node->interfaces[0]) {
            object = g_dbus_connection_register_object(bus, path.c_str(), node->interfaces[0], &vtable, this, nullptr,
                                                       nullptr);
            GVariant* r = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", name.c_str(), 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
            if (r) g_variant_get(r, "(u)", &owned), g_variant_unref(r);
        }
        ready.set_value(owned == 1);  // the primary owner
        g_main_loop_run(loop_);
        if (object) g_dbus_connection_unregister_object(bus, object);
        bus_ = nullptr;
        if (bus) g_dbus_connection_close_sync(bus, nullptr, nullptr), g_object_unref(bus);
        if (node) g_dbus_node_info_unref(node);
        g_main_context_pop_thread_default(context_);
    }

    Handler handler_;
    GDBusConnection* bus_ = nullptr;  // touched on the service's thread only
    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
    bool ok_ = false;
};

}  // namespace desktoptest
