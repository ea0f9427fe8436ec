#pragma once
// The appearance and the animation setting of the desktop session. The desktop portal speaks first where
// it states a preference; otherwise either place the user may have set them counts: the desktop's
// interface settings (GSettings, when the schema is installed) and GTK's own settings (which follow
// XSETTINGS). Changes are reported through the two callbacks. Main thread only; needs GTK initialised.

#include <functional>
#include <memory>
#include <vector>

#include "App/Gui/PortalSettings.h"
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
    // The portal's answers come late: they are passed on only when they change what the getters say.
    void portalChanged(PortalSettings::Key key);

    std::function<void()> appearanceChanged_, motionChanged_;
    std::unique_ptr<PortalSettings> portal_;
    bool dark_ = false, reduce_ = false;  // what the getters said when last reported
    _GSettings* interface_ = nullptr;
    bool hasColorScheme_ = false, hasAnimations_ = false;
    std::vector<unsigned long> gtkHandlers_, interfaceHandlers_;
};
