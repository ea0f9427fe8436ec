#pragma once
// Xfce's wallpaper: xfdesktop reads it from xfconf, channel xfce4-desktop, one picture per monitor
// and workspace at /backdrop/screen0/monitor<NAME>/workspace<N>/last-image. Spoken to over D-Bus
// (org.xfce.Xfconf), so no Xfce library is needed.

#include "Platform/Desktop/Wallpaper.h"

#include <map>

class XfceWallpaper final : public Wallpaper {
public:
    // Nothing when no xfconf answers on the session bus. Gives back a setting an earlier run left saved.
    static std::unique_ptr<XfceWallpaper> make(const std::string& stateDir, const std::string& pictureDir);
    ~XfceWallpaper() override;

    bool show(const std::vector<Still>& stills) override;
    void restore() override;
    bool active() const override { return !saved_.empty(); }

private:
    XfceWallpaper(void* bus, std::string stateFile, std::string pictureDir);
    // The channel's properties under /backdrop as printed GVariants; nothing when xfconf fails.
    std::optional<std::map<std::string, std::string>> properties() const;
    // Sets a property to a printed GVariant, or removes it.
    bool set(const std::string& property, const std::optional<std::string>& printed) const;

    void* bus_;  // GDBusConnection
    std::string stateFile_, pictureDir_;
    Values saved_;
};
