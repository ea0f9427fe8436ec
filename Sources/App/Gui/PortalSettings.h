#pragma once
// The appearance settings the desktop portal publishes on the session bus: the preferred colour scheme
// and reduced motion. Everything is asynchronous, so a session without a portal costs one failed call
// and never holds up the main loop. A key stays unknown until the portal answers for it, and for good
// when there is no portal or it does not know the key; the caller then asks the session's other sources.
// Main thread only: answers and change signals arrive on the creating thread's default main context.

#include <cstdint>
#include <functional>
#include <optional>

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GObject GObject;
typedef struct _GAsyncResult GAsyncResult;

class PortalSettings {
public:
    enum class Key { colorScheme, reducedMotion };

    // `changed` is called when a key becomes known or its value changes.
    explicit PortalSettings(std::function<void(Key)> changed);
    ~PortalSettings();
    PortalSettings(const PortalSettings&) = delete;
    PortalSettings& operator=(const PortalSettings&) = delete;

    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";
    static constexpr const char* interface = "org.freedesktop.portal.Settings";
    static constexpr const char* appearance = "org.freedesktop.appearance";

    // 0 no preference, 1 dark, 2 light.
    std::optional<uint32_t> colorScheme() const { return colorScheme_; }
    // 0 no preference, 1 less motion.
    std::optional<uint32_t> reducedMotion() const { return reducedMotion_; }

    // The portal's name for the key.
    static const char* name(Key key);

private:
    struct Read;
    static void busReady(GObject* source, GAsyncResult* result, void* self);
    static void readDone(GObject* source, GAsyncResult* result, void* read);
    void read(Key key, bool oldMethod);
    void set(Key key, uint32_t value);

    std::function<void(Key)> changed_;
    std::optional<uint32_t> colorScheme_, reducedMotion_;
    GCancellable* cancel_ = nullptr;
    GDBusConnection* bus_ = nullptr;
    unsigned subscription_ = 0;
};
