#include "Platform/Desktop/PowerMonitor.h"

#include <gio/gio.h>

PowerMonitor::PowerMonitor() {
    GPowerProfileMonitor* m = g_power_profile_monitor_dup_default();
    monitor_ = m;
    if (m)
        handler_ = g_signal_connect(m, "notify::power-saver-enabled", G_CALLBACK(+[](GObject* o, GParamSpec* s, gpointer self) {
                                        onNotify(o, s, self);
                                    }),
                                    this);
}

PowerMonitor::~PowerMonitor() {
    if (monitor_) {
        if (handler_) g_signal_handler_disconnect(monitor_, handler_);
        g_object_unref(monitor_);
    }
}

bool PowerMonitor::lowPower() const {
    return monitor_ && g_power_profile_monitor_get_power_saver_enabled(static_cast<GPowerProfileMonitor*>(monitor_));
}

void PowerMonitor::onNotify(void*, void*, void* data) {
    auto* self = static_cast<PowerMonitor*>(data);
    if (self->changed_) self->changed_(self->lowPower());
}
