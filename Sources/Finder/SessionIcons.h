#pragma once
// Picks the icon layout source from the icon manager that runs in this session.

#include <memory>
#include <string>
#include <vector>

#include "Finder/IconLayoutSource.h"
#include "Platform/Graphics/Geometry.h"

class SessionIcons {
public:
    struct Session {
        std::vector<std::string> commands;  // command lines of this user's processes, arguments joined by spaces
        std::string desktop;                // the Desktop directory
        std::string configHome;             // $XDG_CONFIG_HOME
        cg::Size workarea{};                // the first monitor's workarea; zero when unknown
    };

    // This user's processes from /proc, the Desktop directory and the configuration directory.
    static Session current();
    // The first icon manager found running: "ding" (the desktop icons extension), "nemo", "caja",
    // "xfdesktop", "pcmanfm", or "" for none. A manager started or gone later changes this answer.
    static std::string manager(const Session& session);
    // The source of that manager, else the layout file.
    static std::shared_ptr<IconLayoutSource> choose(const Session& session);
};
