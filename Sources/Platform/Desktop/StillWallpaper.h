#pragma once
// Still-picture mode: where an opaque icon manager draws the desktop, the rendered still becomes the
// session's wallpaper. The user's own setting is saved before the first change, to a file as well,
// so a run that ends without restoring (a crash, a kill) gives it back on the next start. A picture the
// user sets while ours is shown wins: it is kept, on quit too, and the still is not set again.

#include "Platform/Desktop/Wallpaper.h"

#include <memory>
#include <string>
#include <vector>

class StillWallpaper final : public Wallpaper {
public:
    // The GSettings schema and keys of one desktop's background.
    struct Target {
        std::string schema;
        std::vector<std::string> keys;  // picture keys, set to the same value
        bool uri = true;                // a file URI (else a plain path)
        std::string options;            // how the picture is placed ("zoom", "spanned", ...); none when empty
    };
    static const Target& gnome();
    static const Target& cinnamon();
    static const Target& mate();
    // The target for a session's icon manager (by its name) and desktop (XDG_CURRENT_DESKTOP).
    static const Target& targetFor(const std::string& managerName, const std::string& currentDesktop);

    // `stateDir` keeps the saved setting, `pictureDir` the stills. Gives back a setting an earlier
    // run left saved. Nothing when the schema is missing.
    static std::unique_ptr<StillWallpaper> make(Target target, const std::string& stateDir, const std::string& pictureDir);
    ~StillWallpaper() override;
    StillWallpaper(const StillWallpaper&) = delete;
    StillWallpaper& operator=(const StillWallpaper&) = delete;

    // Writes the still and makes it the wallpaper. False (and nothing changed) when it cannot.
    bool show(const cg::ImageRef& still, const std::string& name);
    // Several monitors share one picture spanning them all, each still at its monitor's place.
    bool show(const std::vector<Still>& stills) override;
    // Puts the user's setting back; nothing when it was never changed.
    void restore() override;
    bool active() const override { return !saved_.empty(); }
    // The user set a picture of their own while ours was shown: this wallpaper sets nothing any more.
    bool yielded() const { return yielded_; }

private:
    StillWallpaper(Target target, void* settings, std::string stateFile, std::string pictureDir);
    bool saveState() const;
    bool set(const cg::ImageRef& still, const std::string& name, const char* placement);
    // The keys this wallpaper changes: the picture keys, then the placement key.
    std::vector<std::string> keys() const;
    // A key of the settings changed, by us or by anyone else (GSettings' "changed" signal).
    void changed(const std::string& key);
    std::string get(const std::string& key) const;

    Target target_;
    void* settings_;  // GSettings
    std::string stateFile_, pictureDir_;
    Values saved_;  // the user's values of keys(); empty while not shown
    std::string shown_, placement_;  // the picture value and the placement we set last
    bool writing_ = false;           // our own writes are under way: their change signals are ours
    bool yielded_ = false;
    unsigned long changedHandler_ = 0;
};
