// The status menu's entries for every condition: order, titles, keys, actions, checkmarks, tags, pictures.

#include "App/StatusMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kind = MenuEntry::Kind;
using A = MenuAction;

// Every entry with all three notices shown, top to bottom.
struct Row {
    Kind kind;
    const char* title;
    A action;
    const char* key;
};
const std::vector<Row> full = {
    {Kind::header, "Scene", A::none, ""},
    {Kind::item, "Archipelago", A::pickScene, ""},
    {Kind::item, "Canyon", A::pickScene, ""},
    {Kind::item, "Orbit", A::pickScene, ""},
    {Kind::item, "City", A::pickScene, ""},
    {Kind::item, "City 2", A::pickScene, ""},
    {Kind::item, "Winter", A::pickScene, ""},
    {Kind::item, "Reef", A::pickScene, ""},
    {Kind::item, "Warzone", A::pickScene, ""},
    {Kind::item, "Sea", A::pickScene, ""},
    {Kind::item, "Pond", A::pickScene, ""},
    {Kind::item, "Change Scene Daily", A::toggleDaily, ""},
    {Kind::separator, "", A::none, ""},
    {Kind::header, "Lighting", A::none, ""},
    {Kind::item, "Match System", A::pickLighting, ""},
    {Kind::item, "Day", A::pickLighting, ""},
    {Kind::item, "Night", A::pickLighting, ""},
    {Kind::separator, "", A::none, ""},
    {Kind::header, "Folder Icons", A::none, ""},
    {Kind::item, "Original", A::pickFolders, ""},
    {Kind::item, "Match Scene", A::pickFolders, ""},
    {Kind::item, "Allow Desktop Access\u2026", A::openFilesSettings, ""},
    {Kind::separator, "", A::none, ""},
    {Kind::item, "Settings\u2026", A::openSettings, ","},
    {Kind::item, "Allow Finder Access\u2026", A::openAutomationSettings, ""},
    {Kind::item, "Update Available (1.2)\u2026", A::openDownloads, ""},
    {Kind::item, "About Vistamere", A::about, ""},
    {Kind::item, "Quit Vistamere", A::terminate, "q"},
};

std::vector<std::string> onTitles(const std::vector<MenuEntry>& menu) {
    std::vector<std::string> on;
    for (const auto& e : menu)
        if (e.on) on.push_back(e.title);
    return on;
}

TEST(StatusMenu, HasTheTableEntriesWithTheNoticesInTheirPlaces) {
    for (int mask = 0; mask < 8; ++mask) {
        StatusMenu::State s;
        s.desktopDenied = mask & 1;
        s.finderDenied = mask & 2;
        if (mask & 4) s.update = "1.2";
        std::vector<Row> expected;
        for (const Row& r : full) {
            const std::string t = r.title;
            if ((t.starts_with("Allow Desktop") && !s.desktopDenied) || (t.starts_with("Allow Finder") && !s.finderDenied) ||
                (t.starts_with("Update") && !s.update))
                continue;
            expected.push_back(r);
        }
        const auto menu = StatusMenu::build(s);
        ASSERT_EQ(menu.size(), expected.size()) << "mask " << mask;
        EXPECT_EQ(menu.size(), 25u + __builtin_popcount(unsigned(mask)));
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
        SceneKind scene;
        bool daily;
        int64_t lighting, folders;
        std::vector<std::string> on;
    };
    const Case cases[] = {
        {SceneKind::archipelago, false, 0, 0, {"Archipelago", "Match System", "Original"}},
        {SceneKind::skyline, true, 2, 1, {"City 2", "Change Scene Daily", "Night", "Match Scene"}},
        {SceneKind::pond, false, 1, 0, {"Pond", "Day", "Original"}},
        // Stored values outside the choices mark nothing in their group.
        {SceneKind::reef, false, 3, 2, {"Reef"}},
        {SceneKind::sea, false, -1, -1, {"Sea"}},
    };
    for (const Case& c : cases) {
        StatusMenu::State s;
        s.scene = c.scene;
        s.daily = c.daily;
        s.lighting = c.lighting;
        s.folders = c.folders;
        s.desktopDenied = s.finderDenied = true;
        s.update = "9";
        EXPECT_EQ(onTitles(StatusMenu::build(s)), c.on) << c.lighting << " " << c.folders;
    }
}

TEST(StatusMenu, CarriesTagsScenesPicturesAndOneToolTip) {
    const auto picture = cg::Image::fromARGB32(2, 2, std::vector<uint32_t>(4, 0xFF00FF00u));
    StatusMenu::State s;
    // Only the reef's thumbnail is made so far.
    s.thumb = [&](SceneKind k) { return k == SceneKind::reef ? picture : nullptr; };
    const auto menu = StatusMenu::build(s);
    std::vector<std::string> represented, toolTips, pictured;
    std::vector<int64_t> tags;
    for (const auto& e : menu) {
        if (e.action == A::pickScene) represented.push_back(e.represented);
        if (e.action == A::pickLighting || e.action == A::pickFolders) tags.push_back(e.tag);
        if (!e.toolTip.empty()) toolTips.push_back(e.title);
        if (e.image) pictured.push_back(e.title);
    }
    EXPECT_EQ(represented, (std::vector<std::string>{"archipelago", "canyon", "orbit", "city", "skyline", "winter",
                                                      "reef", "warzone", "sea", "pond"}));
    EXPECT_EQ(tags, (std::vector<int64_t>{0, 1, 2, 0, 1}));
    EXPECT_EQ(toolTips, std::vector<std::string>{"Match Scene"});
    EXPECT_EQ(pictured, std::vector<std::string>{"Reef"});
    EXPECT_EQ(menu[20].toolTip, StatusMenu::foldersToolTip);
}

TEST(StatusMenu, ShowsTheVersionAsTheManifestGaveIt) {
    for (const char* v : {"1.2", " 2.0 ", "10.0.0.1"}) {
        StatusMenu::State s;
        s.update = v;
        const auto menu = StatusMenu::build(s);
        EXPECT_EQ(menu[23].title, std::string("Update Available (") + v + ")\u2026");
    }
}

}  // namespace
