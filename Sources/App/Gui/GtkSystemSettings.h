#pragma once
// The appearance and the animation setting of the desktop session. Either place the user may have set
// them counts: the desktop's interface settings (GSettings, when the schema is installed) and GTK's own
// settings (which follow XSETTINGS). Changes are reported through the two callbacks. Main thread only;
// needs GTK initialised.

#include <functional>
#include <vector>

#include "App/SystemSettings.h"

struct _GSettings;

class GtkSystemSettings : public SystemSettings {
public:
    GtkSystemSettings(std::function<void()> appearanceChanged, std::function<void()> motionChanged);
    ~GtkSystemSettings() override;
    GtkSystemSettings(const GtkSystemSettings&) = delete;
    GtkSystemSettings& operator=(const GtkSystemSettings&) = delete;

    // Dark when the dark style is preferred or the GTK theme is a dark one.
    bool darkAppearance() const override;
    // Less motion when animations are turned off in either place.
    bool reduceMotion() const override;

private:
    std::function<void()> appearanceChanged_, motionChanged_;
    _GSettings* interface_ = nullptr;
    bool hasColorScheme_ = false, hasAnimations_ = false;
    std::vector<unsigned long> gtkHandlers_, interfaceHandlers_;
};
