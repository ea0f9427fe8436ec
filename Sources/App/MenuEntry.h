#pragma once
// One entry of the status menu as data: what it says, what it does and how it is marked. The GTK side
// draws these; the tests read them.

#include <cstdint>
#include <string>

#include "Platform/Graphics/Image.h"

// What choosing an entry does. Headers and separators do nothing.
enum class MenuAction {
    none,
    pickScene,               // apply "scene" with the entry's `represented` raw value
    toggleDaily,             // apply "daily" with the opposite of the stored value
    pickLighting,            // apply "lighting" with the entry's tag
    pickFolders,             // apply "folders" with the entry's tag
    openFilesSettings,       // explain why the Desktop's folders could not be painted
    openAutomationSettings,  // explain why the icon layout could not be read
    openDownloads,           // open the web site
    about,
    openSettings,
    terminate,
};

struct MenuEntry {
    enum class Kind { header, item, separator };

    Kind kind = Kind::item;
    std::string title;
    // The key equivalent, taken together with the primary modifier; empty for none.
    std::string key;
    MenuAction action = MenuAction::none;
    int64_t tag = 0;
    bool on = false;          // the checkmark
    std::string represented;  // scene items: the scene's raw value
    cg::ImageRef image;       // scene items: the thumbnail, when it is made
    std::string toolTip;
};
