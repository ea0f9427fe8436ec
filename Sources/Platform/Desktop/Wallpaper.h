#pragma once
// Still-picture mode's wallpaper, whatever desktop draws it: where an opaque icon manager hides our
// windows, the scene's still picture becomes the desktop's background. Every back end saves the
// user's own setting, in memory and in a file, before it changes anything, and puts it back on
// restore; a run that ended without restoring (a crash, a kill) is made good on the next start.

#include "Platform/Graphics/Image.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Wallpaper {
public:
    // One monitor's still; `monitor` is its RandR connector name ("HDMI-1"), empty when unknown;
    // x and y its top left on the screen, in pixels.
    struct Still {
        std::string monitor;
        cg::ImageRef image;
        int x = 0, y = 0;
    };
    // What is known of the session: the icon manager (WM_CLASS name, or the root property that
    // gave it away), XDG_CURRENT_DESKTOP, and the manager's command line.
    struct Session {
        std::string manager, currentDesktop;
        std::vector<std::string> managerArguments;
    };

    virtual ~Wallpaper() = default;

    // Makes the stills the wallpaper: each monitor its own where the desktop allows, else the first.
    // False, with the user's setting untouched, when it cannot.
    virtual bool show(const std::vector<Still>& stills) = 0;
    // Puts the user's setting back; nothing when it was never changed.
    virtual void restore() = 0;
    virtual bool active() const = 0;

    // The back end for a session; nothing when its desktop cannot be reached. `stateDir` keeps the
    // saved setting, `pictureDir` the stills.
    static std::unique_ptr<Wallpaper> forSession(const Session& session, const std::string& stateDir,
                                                 const std::string& pictureDir);

    // Gives back what an earlier run left saved in `stateDir`, for every desktop whose setting can be
    // written without its icon manager running (GSettings, xfconf) or whose shell runs (Plasma): the
    // session may be another desktop's by now. PCManFM's waits for PCManFM.
    static void restoreLeftovers(const std::string& stateDir, const std::string& pictureDir);

    // Saved settings: name and value, no value for a setting that did not exist.
    using Values = std::vector<std::pair<std::string, std::optional<std::string>>>;
    // Writes the values to `file` (creating its directory); false when they could not be kept.
    static bool saveValues(const std::string& file, const Values& values);
    // The values an earlier run left in `file`; nothing when there is no such file or it is unreadable.
    static std::optional<Values> loadValues(const std::string& file);
    static void forgetValues(const std::string& file);
    // One picture of the whole screen with every still at its monitor's place, black between them.
    static cg::ImageRef span(const std::vector<Still>& stills);
    // Writes a still as `dir`/`name`-N.png, N alternating so desktops that cache pictures by name
    // reload it; the path, or empty when it cannot be written.
    static std::string writeStill(const std::string& dir, const std::string& name, const cg::ImageRef& image);
    // Removes the stills writeStill left in `dir` (desktop-still*.png), once no setting names them.
    static void removeStills(const std::string& dir);
};
