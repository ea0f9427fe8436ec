#pragma once
// Draws the status menu's entries into a GtkMenu: headers as insensitive items, separators, check items
// (drawn as radio items in the exclusive groups), thumbnails beside the scene names, key equivalents with
// Ctrl, and the tool tip. Main thread only.

#include <functional>
#include <vector>

#include "App/MenuEntry.h"

typedef struct _GtkMenu GtkMenu;

class MenuView {
public:
    // Called with a copy of the chosen entry from an idle callback, after the menu has closed, so the
    // handler may fill the menu again.
    using Chosen = std::function<void(const MenuEntry&)>;

    // Empties `menu` and fills it with `entries`.
    static void fill(GtkMenu* menu, const std::vector<MenuEntry>& entries, Chosen chosen);
};
