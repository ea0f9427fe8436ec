// The status menu's entries for every condition: order, titles, keys, actions, checkmarks, tags, pictures.

#include "App/StatusMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using A = MenuAction;
constexpr auto H = MenuEntry::Kind::header, I = MenuEntry::Kind::item, S = MenuEntry::Kind::separator;

struct Row {
    Row(MenuEntry::Kind k, std::string t, A a = A::none, std::string key = "", int notice = 0)
        : kind(k), title(std::move(t)), action(a), key(std::move(key)), notice(notice) {}
    MenuEntry::Kind kind;
    std::string title;
    A action;
    std::string key;
    int notice;  // the condition that shows it: 1 desktop denied, 2 finder denied, 4 an update
};
// Every entry with all three notices shown, top to bottom.
const std::vector<Row> full = {
    {H, "Scene"}, {I, "Archipelago", A::pickScene}, {I, "Canyon", A::pickScene}, {I, "Orbit", A::pickScene},
    {I, "City", A::pickScene}, {I, "City 2", A::pickScene}, {I, "Winter", A::pickScene}, {I, "Reef", A::pickScene},
    {I, "Warzone", A::pickScene}, {I, "Sea", A::pickScene}, {I, "Pond", A::pickScene},
    {I, "Change Scene Daily", A::toggleDaily}, {S, ""},
    {H, "Lighting"}, {I, "Match System", A::pickLighting}, {I, "Day", A::pickLighting}, {I, "Night", A::pickLighting},
    {S, ""},
    {H, "Folder Icons"}, {I, "Original", A::pickFolders}, {I, "Match Scene", A::pickFolders},
    {I, "Allow Desktop Access\u2026", A::openFilesSettings, "", 1}, {S, ""},
    {I, "Settings\u2026", A::openSettings, ","}, {I, "Allow Finder Access\u2026", A::openAutomationSettings, "", 2},
    {I, "Update Available ( 1.2 )\u2026", A::openDownloads, "", 4}, {I, "About Vistamere", A::about},
    {I, "Quit Vistamere", A::terminate, "q"},
};

TEST(StatusMenu, HasTheTableEntriesWithTheNoticesInTheirPlaces) {
    for (int mask = 0; mask < 8; ++mask) {
        StatusMenu::State s;
        s.desktopDenied = mask & 1;
        s.finderDenied = mask & 2;
        if (mask & 4) s.update = " 1.2 ";  // shown as the manifest gave it
        std::vector<Row> expected;
        for (const Row& r : full)
            if (!r.notice || (mask & r.notice)) expected.push_back(r);
        const auto menu = StatusMenu::build(s);
        ASSERT_EQ(menu.size(), expected.size()) << "mask " << mask;
        EXPECT_EQ(menu.size(), 25u + unsigned(__builtin_popcount(unsigned(mask))));
        for (std::size_t i = 0; i < menu.size(); ++i) {
            SCOPED_TRACE("mask " + std::to_string(mask) + " entry " + std::to_string(i));
            EXPECT_EQ(menu[i].kind, expected[i].kind);
            EXPECT_EQ(menu[i].title, expected[i].title);
            EXPECT_EQ(menu[i].action, expected[i].action);
            EXPECT_EQ(menu[i].key, expected[i].key);
        }
    }
}

TEST(StatusMenu, MarksTheCurrentChoices) {
    struct Case {
        StatusMenu::State state;
        std::vector<std::string> on;
    };
    const Case cases[] = {
        {{SceneKind::archipelago, false, 0, 0, false, false, {}, {}}, {"Archipelago", "Match System", "Original"}},
        {{SceneKind::skyline, true, 2, 1, true, true, "9", {}}, {"City 2", "Change Scene Daily", "Night", "Match Scene"}},
        {{SceneKind::pond, false, 1, 0, true, true, "9", {}}, {"Pond", "Day", "Original"}},
        // Stored values outside the choices mark nothing in their group.
        {{SceneKind::reef, false, 3, 2, false, false, {}, {}}, {"Reef"}},
        {{SceneKind::sea, false, -1, -1, false, false, {}, {}}, {"Sea"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> on;
        for (const auto& e : StatusMenu::build(c.state))
            if (e.on) on.push_back(e.title);
        EXPECT_EQ(on, c.on) << c.state.lighting << " " << c.state.folders;
    }
}

TEST(StatusMenu, CarriesTagsScenesPicturesAndOneToolTip) {
    const auto picture = cg::Image::fromARGB32(2, 2, std::vector<uint32_t>(4, 0xFF00FF00u));
    StatusMenu::State s;
    s.thumb = [&](SceneKind k) { return k == SceneKind::reef ? picture : nullptr; };  // only the reef's is made
    std::vector<std::string> represented, toolTips, pictured;
    std::vector<int64_t> tags;
    for (const auto& e : StatusMenu::build(s)) {
        if (e.action == A::pickScene) represented.push_back(e.represented);
        if (e.action == A::pickLighting || e.action == A::pickFolders) tags.push_back(e.tag);
        if (!e.toolTip.empty()) toolTips.push_back(e.title + ": " + e.toolTip);
        if (e.image) pictured.push_back(e.title);
    }
    EXPECT_EQ(represented, (std::vector<std::string>{"archipelago", "canyon", "orbit", "city", "skyline", "winter",
                                                      "reef", "warzone", "sea", "pond"}));
    EXPECT_EQ(tags, (std::vector<int64_t>{0, 1, 2, 0, 1}));
    EXPECT_EQ(toolTips, std::vector<std::string>{"Match Scene: Paints the folders on your Desktop to match the scene. "
                                                 "Folders with your own icon, colour or emoji are left alone."});
    EXPECT_EQ(pictured, std::vector<std::string>{"Reef"});
}

}  // namespace
