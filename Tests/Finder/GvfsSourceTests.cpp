// These run under a session bus of their own, with the gvfs metadata daemon, started by ctest.
#include "Finder/FinderIcons.h"
#include "Finder/GvfsIconSource.h"

#include <chrono>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <string>

#include "Finder/TempDir.h"

using namespace std::chrono_literals;
using Manager = GvfsIconSource::Manager;

namespace {

void setMetadata(const std::string& path, const std::string& key, const std::string& value) {
    GFile* f = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    const bool ok = g_file_set_attribute_string(f, ("metadata::" + key).c_str(), value.c_str(),
                                                G_FILE_QUERY_INFO_NONE, nullptr, &error);
    g_object_unref(f);
    ASSERT_TRUE(ok) << (error ? error->message : "?") << " (is the gvfs metadata daemon there?)";
}

// A Desktop holding three positioned entries per manager, one hidden, one unplaced and one malformed.
struct Desktop {
    TempDir dir;
    std::string path = dir.path() + "/Desktop";
    Desktop() {
        for (const char* name : {"a.txt", "b.txt", "c", ".hidden", "loose.txt", "bad1", "bad2", "bad3"})
            dir.write(std::string("Desktop/") + name, "x");
        const struct {
            const char* key;
            const char* a;
            const char* b;
            const char* c;
        } managers[] = {{"nautilus-icon-position", "1202,52", "2,52", "2,180"},
                        {"nemo-icon-position", "300,10", "0,0", "40,200"},
                        {"caja-icon-position", "10,10", "10,110", "500,10"}};
        for (const auto& m : managers) {
            setMetadata(path + "/a.txt", m.key, m.a);
            setMetadata(path + "/b.txt", m.key, m.b);
            setMetadata(path + "/c", m.key, m.c);
            setMetadata(path + "/.hidden", m.key, "7,7");
            setMetadata(path + "/bad1", m.key, "12");
            setMetadata(path + "/bad2", m.key, "x,5");
            setMetadata(path + "/bad3", m.key, "nan,inf");
        }
        setMetadata(path + "/c", "monitor", "1");
    }
};

FinderResult read(Manager m, const Desktop& d, std::vector<cg::Point> monitors = {{0, 0}}) {
    // No home folder or trash icons: those are tested on their own.
    auto source = std::make_shared<GvfsIconSource>(
        m, GvfsIconSource::Options{d.path, d.dir.path(), 1, monitors, std::vector<std::string>{}});
    return FinderIcons(source).read();
}

std::string uriOf(const std::string& path) {
    GFile* f = g_file_new_for_path(path.c_str());
    char* uri = g_file_get_uri(f);
    std::string out = uri;
    g_free(uri);
    g_object_unref(f);
    return out;
}

}  // namespace

TEST(SessionBusGvfs, ReadsEachManagersPositionsInOneListing) {
    Desktop d;
    struct Case {
        Manager manager;
        std::vector<cg::Point> monitors;
        DeskLayout expected;
    };
    const Case cases[] = {
        // The extension: the cell's corner; standard cells are 120 wide, icons 64, drawn 2 right and 4 down.
        // Labels in the interface font, Cantarell 11 points by default.
        {Manager::desktopIcons, {{0, 0}}, {{{64, 88}, {64, 216}, {1264, 88}}, 64, 11.0 * 96 / 72, false}},
        // Nemo: the icon's corner per monitor (48-point icons); c stands on monitor 1. Labels in Nemo's
        // own desktop font, Noto Sans 10 points by default.
        {Manager::nemo, {{0, 0}, {1920, 0}}, {{{24, 24}, {324, 34}, {1984, 224}}, 48, 10.0 * 96 / 72, false}},
        {Manager::nemo, {{0, 0}}, {{{24, 24}, {324, 34}}, 48, 10.0 * 96 / 72, false}},
        {Manager::caja, {{0, 0}}, {{{34, 34}, {34, 134}, {524, 34}}, 48, 12, false}},
    };
    for (const Case& c : cases) {
        const FinderResult r = read(c.manager, d, c.monitors);
        ASSERT_TRUE(r.ok()) << r.error().reason;
        EXPECT_EQ(r.layout(), c.expected) << GvfsIconSource::attribute(c.manager);
    }
}

TEST(SessionBusGvfs, TakesNemosAndCajasIconSizeFromTheirDesktopMetadata) {
    Desktop d;
    d.dir.write("nemo/desktop-metadata", "[desktop-monitor-0]\nnemo-icon-view-zoom-level=4\n");
    d.dir.write("caja/desktop-metadata", "[directory]\ncaja-icon-view-zoom-level=large\n");
    const FinderResult nemo = read(Manager::nemo, d), caja = read(Manager::caja, d);
    ASSERT_TRUE(nemo.ok() && caja.ok());
    EXPECT_EQ(nemo.layout().iconSize, 72);
    EXPECT_EQ(nemo.layout().centers.front(), (cg::Point{36, 36}));
    EXPECT_EQ(caja.layout().iconSize, 72);

    d.dir.write("nemo/desktop-metadata", "[desktop-monitor-0\nnemo-icon-view-zoom-level=4\n");
    const FinderResult broken = read(Manager::nemo, d);
    ASSERT_TRUE(broken.ok());
    EXPECT_EQ(broken.layout().iconSize, 48);  // a broken settings file leaves the manager's default
}

TEST(SessionBusGvfs, FollowsTheManagersSettings) {
    Desktop d;
    GSettings* ding = g_settings_new("org.gnome.shell.extensions.ding");
    GSettings* mate = g_settings_new("org.mate.background");
    GSettings* caja = g_settings_new("org.mate.caja.desktop");
    g_settings_set_string(ding, "icon-size", "large");
    g_settings_set_boolean(mate, "show-desktop-icons", false);
    g_settings_set_string(caja, "font", "Sans 15px");
    const FinderResult large = read(Manager::desktopIcons, d), hidden = read(Manager::caja, d);
    g_settings_reset(ding, "icon-size");
    g_settings_reset(mate, "show-desktop-icons");
    g_settings_reset(caja, "font");
    for (GSettings* s : {ding, mate, caja}) g_object_unref(s);

    ASSERT_TRUE(large.ok() && hidden.ok());
    // Large cells are 130 wide with 96-point icons.
    EXPECT_EQ(large.layout().centers.front(), (cg::Point{69, 104}));
    EXPECT_EQ(large.layout().iconSize, 96);
    EXPECT_EQ(hidden.layout(), (DeskLayout{{}, 48, 15, false}));
}

TEST(SessionBusGvfs, AMissingDesktopIsTheUnavailableError) {
    TempDir dir;
    auto source = std::make_shared<GvfsIconSource>(Manager::caja,
                                                   GvfsIconSource::Options{dir.path() + "/none", dir.path(), 1, {{0, 0}}, std::nullopt});
    const FinderResult r = FinderIcons(source).read();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), (FinderError{"gvfs metadata (Caja)", -1, ""}));
}

TEST(SessionBusGvfs, NoticesAMetadataWrite) {
    Desktop d;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GvfsIconSource source(Manager::nemo, {d.path, d.dir.path(), 1, {{0, 0}}, std::nullopt});
    int changes = 0;
    {
        auto watch = source.watch([&] { ++changes; });
        // Let the subscription reach the bus before the write.
        for (int i = 0; i < 50; ++i) g_main_context_iteration(context, FALSE), g_usleep(1000);
        changes = 0;
        setMetadata(d.path + "/a.txt", "nemo-icon-position", "400,10");
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (changes == 0 && std::chrono::steady_clock::now() < end)
            g_main_context_iteration(context, FALSE), g_usleep(2000);
    }
    EXPECT_GT(changes, 0);
    // The bus hands the subscription's data back on this context once the watch is gone.
    for (int i = 0; i < 20; ++i) g_main_context_iteration(context, FALSE), g_usleep(1000);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

// The extension shows the home folder and the trash beside the Desktop's entries and keeps their positions
// on the folder itself and on trash:/// (here the real trash of the gvfs daemons on this bus).
TEST(SessionBusGvfs, KeepsTheExtensionsHomeAndTrashClear) {
    TempDir dir;
    const std::string desktop = dir.path() + "/Desktop", home = dir.path() + "/home";
    dir.write("Desktop/a.txt", "x");
    dir.write("home/.keep", "");
    dir.write("unplaced/.keep", "");
    setMetadata(desktop + "/a.txt", "nautilus-icon-position", "2,52");
    setMetadata(home, "nautilus-icon-position", "2,180");
    GFile* trash = g_file_new_for_uri("trash:///");
    GError* error = nullptr;
    const bool trashKept = g_file_set_attribute_string(trash, "metadata::nautilus-icon-position", "1202,52",
                                                       G_FILE_QUERY_INFO_NONE, nullptr, &error);
    g_object_unref(trash);
    ASSERT_TRUE(trashKept) << (error ? error->message : "?") << " (is gvfsd-trash there?)";

    struct Case {
        const char* name;
        std::vector<std::string> specials;
        std::vector<cg::Point> centers;
    };
    const Case cases[] = {
        {"home and trash", {uriOf(home), "trash:///"}, {{64, 88}, {64, 216}, {1264, 88}}},
        {"home only", {uriOf(home)}, {{64, 88}, {64, 216}}},
        {"an icon not placed yet", {uriOf(dir.path() + "/unplaced"), "trash:///"}, {{64, 88}, {1264, 88}}},
        {"a folder that is gone", {uriOf(dir.path() + "/gone")}, {{64, 88}}},
    };
    for (const Case& c : cases) {
        auto source = std::make_shared<GvfsIconSource>(
            Manager::desktopIcons, GvfsIconSource::Options{desktop, dir.path(), 1, {{0, 0}}, c.specials});
        const FinderResult r = FinderIcons(source).read();
        ASSERT_TRUE(r.ok()) << c.name << ": " << r.error().reason;
        EXPECT_EQ(r.layout().centers, c.centers) << c.name;
    }

    // Which of them the extension shows follows its settings.
    GSettings* ding = g_settings_new("org.gnome.shell.extensions.ding");
    const std::string ownHome = uriOf(g_get_home_dir());
    struct Shown {
        bool home, trash;
        std::vector<std::string> specials;
    };
    for (const Shown& s : {Shown{true, true, {ownHome, "trash:///"}}, Shown{false, true, {"trash:///"}},
                           Shown{true, false, {ownHome}}, Shown{false, false, {}}}) {
        g_settings_set_boolean(ding, "show-home", s.home);
        g_settings_set_boolean(ding, "show-trash", s.trash);
        EXPECT_EQ(GvfsIconSource::desktopIconsSpecials(), s.specials) << s.home << s.trash;
    }
    g_settings_reset(ding, "show-home");
    g_settings_reset(ding, "show-trash");
    g_object_unref(ding);
}
