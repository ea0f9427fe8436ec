#pragma once
// Plasma's wallpaper: each desktop containment has its own, one per screen and activity, changed by
// a script the shell runs for us (org.kde.PlasmaShell.evaluateScript on the session bus).

#include "Platform/Desktop/Wallpaper.h"

class PlasmaWallpaper final : public Wallpaper {
public:
    static constexpr const char* kService = "org.kde.plasmashell";

    // Nothing when no Plasma shell is on the session bus. Gives back a setting an earlier run left saved.
    static std::unique_ptr<PlasmaWallpaper> make(const std::string& stateDir, const std::string& pictureDir);
    ~PlasmaWallpaper() override;

    bool show(const std::vector<Still>& stills) override;
    void restore() override;
    bool active() const override { return !saved_.empty(); }

    // A JavaScript string literal of `s`.
    static std::string quoted(const std::string& s);

private:
    PlasmaWallpaper(void* bus, std::string stateFile, std::string pictureDir);
    // Runs a script in the shell: what it printed, or nothing when the shell refused it.
    std::optional<std::string> evaluate(const std::string& script) const;

    void* bus_;  // GDBusConnection
    std::string stateFile_, pictureDir_;
    Values saved_;  // "<containment id>/plugin" and "<containment id>/image"
};
