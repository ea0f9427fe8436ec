#include "App/StatusMenu.h"

#include "Settings/SceneGrid.h"

namespace {

MenuEntry header(const char* title) {
    MenuEntry e;
    e.kind = MenuEntry::Kind::header;
    e.title = title;
    return e;
}
MenuEntry separator() {
    MenuEntry e;
    e.kind = MenuEntry::Kind::separator;
    return e;
}
MenuEntry item(std::string title, MenuAction action, bool on = false) {
    MenuEntry e;
    e.title = std::move(title);
    e.action = action;
    e.on = on;
    return e;
}
MenuEntry tagged(const char* title, MenuAction action, int64_t tag, int64_t stored) {
    MenuEntry e = item(title, action, stored == tag);
    e.tag = tag;
    return e;
}

}  // namespace

std::vector<MenuEntry> StatusMenu::build(const State& state) {
    std::vector<MenuEntry> menu;
    menu.push_back(header("Scene"));
    for (SceneKind kind : scene_kind::allCases) {
        MenuEntry e = item(scene_grid::title(kind), MenuAction::pickScene, kind == state.scene);
        e.represented = std::string(scene_kind::rawValue(kind));
        if (state.thumb) e.image = state.thumb(kind);
        menu.push_back(std::move(e));
    }
    menu.push_back(item("Change Scene Daily", MenuAction::toggleDaily, state.daily));
    menu.push_back(separator());

    menu.push_back(header("Lighting"));
    menu.push_back(tagged("Match System", MenuAction::pickLighting, 0, state.lighting));
    menu.push_back(tagged("Day", MenuAction::pickLighting, 1, state.lighting));
    menu.push_back(tagged("Night", MenuAction::pickLighting, 2, state.lighting));
    menu.push_back(separator());

    menu.push_back(header("Folder Icons"));
    menu.push_back(tagged("Original", MenuAction::pickFolders, 0, state.folders));
    menu.push_back(tagged("Match Scene", MenuAction::pickFolders, 1, state.folders));
    menu.back().toolTip = foldersToolTip;
    if (state.desktopDenied) menu.push_back(item("Allow Desktop Access\u2026", MenuAction::openFilesSettings));
    menu.push_back(separator());

    MenuEntry settings = item("Settings\u2026", MenuAction::openSettings);
    settings.key = ",";
    menu.push_back(std::move(settings));
    if (state.finderDenied) menu.push_back(item("Allow Finder Access\u2026", MenuAction::openAutomationSettings));
    if (state.update) menu.push_back(item("Update Available (" + *state.update + ")\u2026", MenuAction::openDownloads));
    menu.push_back(item("About Vistamere", MenuAction::about));
    MenuEntry quit = item("Quit Vistamere", MenuAction::terminate);
    quit.key = "q";
    menu.push_back(std::move(quit));
    return menu;
}
