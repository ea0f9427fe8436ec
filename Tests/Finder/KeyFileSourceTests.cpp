#include "Finder/FinderIcons.h"
#include "Finder/GvfsIconSource.h"
#include "Finder/KeyFileIconSource.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/SessionIcons.h"

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "Finder/TempDir.h"

using namespace std::chrono_literals;

namespace {

using Points = std::vector<cg::Point>;

FinderResult readThrough(std::shared_ptr<IconLayoutSource> source) { return FinderIcons(std::move(source)).read(); }

std::shared_ptr<IconLayoutSource> layoutFile(const TempDir& dir, const std::string& text) {
    return std::make_shared<LayoutFileSource>(dir.write("config/vistamere/desktop-icons.json", text));
}

}  // namespace

TEST(LayoutFileSource, ReadsCentresSizesLabelSideAndTheSwitch) {
    TempDir dir;
    const FinderResult r = readThrough(layoutFile(dir, R"({"centers": [[900, 80], [40, 80.5], [40, 20]],
        "iconSize": 96, "textSize": 13, "labelPosition": "right", "drawsDesktop": true})"));
    ASSERT_TRUE(r.ok()) << r.error().reason;
    EXPECT_EQ(r.layout(), (DeskLayout{{{40, 20}, {40, 80.5}, {900, 80}}, 96, 13, true}));

    const FinderResult hidden = readThrough(layoutFile(dir, R"({"centers": [[1, 2]], "drawsDesktop": "No"})"));
    ASSERT_TRUE(hidden.ok());
    EXPECT_EQ(hidden.layout(), (DeskLayout{{}, 64, 12, false}));
}

TEST(LayoutFileSource, SkipsBadEntriesAndFallsBackOnBadSizes) {
    TempDir dir;
    const FinderResult r = readThrough(layoutFile(dir, R"({"centers": [[1, "2"], [3], [4, 5, 6], 7, null,
        [true, 1], [8, 9]], "iconSize": -4, "textSize": "big", "labelPosition": 1})"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.layout(), (DeskLayout{{{8, 9}}, 64, 12, false}));
}

TEST(LayoutFileSource, SizesOutOfRangeAreRefusedByNameAndLeaveTheDefaults) {
    struct Case {
        const char* json;  // the size keys of the file
        double icon, text;
        const char* said;  // what the message must hold; empty for no message
    };
    const Case cases[] = {
        {R"("iconSize": 5000)", 64, 12, R"(iconSize = "5000")"},
        {R"("iconSize": 1e308, "textSize": 11)", 64, 11, R"(iconSize = "1e+308")"},
        {R"("iconSize": 48, "textSize": 1e308)", 48, 12, R"(textSize = "1e+308")"},
        {R"("iconSize": 0.5)", 64, 12, R"(iconSize = "0.5")"},
        {R"("iconSize": 512, "textSize": 4)", 512, 4, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testing::internal::CaptureStderr();
        const FinderResult r = readThrough(layoutFile(dir, std::string(R"({"centers": [[10, 20]], )") + c.json + "}"));
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(r.ok()) << c.json;
        EXPECT_EQ(r.layout(), (DeskLayout{{{10, 20}}, c.icon, c.text, false})) << c.json;
        if (*c.said) {
            EXPECT_NE(said.find(dir.path() + "/config/vistamere/desktop-icons.json: " + c.said), std::string::npos)
                << said;
        } else {
            EXPECT_EQ(said, "") << c.json;
        }
    }
}

TEST(LayoutFileSource, AMissingOrMalformedFileIsTheUnavailableError) {
    TempDir dir;
    const std::string big = "{\"centers\": [" + std::string(LayoutFileSource::maxBytes, ' ') + "]}";
    const std::string cases[] = {"", "{", "[[1, 2]]", "{\"centers\": 5}", "{\"iconSize\": 64}", "null", big};
    for (const std::string& text : cases) {
        const FinderResult r = readThrough(layoutFile(dir, text));
        ASSERT_FALSE(r.ok()) << text.substr(0, 40);
        EXPECT_EQ(r.error(), (FinderError{"layout file " + dir.path() + "/config/vistamere/desktop-icons.json", -1, ""}));
    }
    const FinderResult missing = readThrough(std::make_shared<LayoutFileSource>(dir.path() + "/nothing.json"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, -1);
}

TEST(LayoutFileSource, NoticesTheFileBeingWritten) {
    TempDir dir;
    const std::string path = dir.path() + "/config/vistamere/desktop-icons.json";
    std::filesystem::create_directories(dir.path() + "/config/vistamere");
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    LayoutFileSource source(path);
    int changes = 0;
    {
        auto watch = source.watch([&] { ++changes; });
        dir.write("config/vistamere/desktop-icons.json", "{\"centers\": []}");
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (changes == 0 && std::chrono::steady_clock::now() < end) {
            g_main_context_iteration(context, FALSE);
            g_usleep(2000);
        }
    }
    EXPECT_GT(changes, 0);
    // Once the watch is gone, nothing more arrives.
    const int seen = changes;
    dir.write("config/vistamere/desktop-icons.json", "{}");
    for (int i = 0; i < 100; ++i) g_main_context_iteration(context, FALSE), g_usleep(1000);
    EXPECT_EQ(changes, seen);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

std::string xfdesktopSettings(const std::string& iconSize, const std::string& extra = "") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="desktop-icons" type="empty">
    <property name="style" type="int" value="2"/>
    <property name="icon-size" type="uint" value=")" +
           iconSize + R"("/>)" + extra + R"(
  </property>
</channel>)";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(XfdesktopSource, CellsLandWhereXfdesktopDrawsTheIcons) {
    // Icon centres measured on screenshots of xfdesktop 4.18 with xfwm4 on a bare Xvfb screen, the
    // workarea the whole screen; (row, col) as xfdesktop wrote them to its file.
    struct Case {
        int width, height;  // in the file's name: the workarea less xfdesktop's margins
        double icon;
        int rows, columns;
        long row, col;
        cg::Point seen;
    };
    const Case cases[] = {
        {1008, 752, 48, 7, 9, 0, 0, {70.5, 46.5}},     {1008, 752, 48, 7, 9, 0, 1, {180, 46}},
        {1008, 752, 48, 7, 9, 6, 0, {70.5, 677.5}},   {1008, 752, 48, 7, 9, 0, 8, {951.5, 46.5}},
        {1008, 752, 32, 10, 13, 0, 0, {56.5, 42}},    {1008, 752, 32, 10, 13, 9, 12, {965.5, 697}},
        {1008, 752, 64, 5, 7, 0, 0, {83.5, 54}},      {1008, 752, 64, 5, 7, 4, 6, {938.5, 656}},
        {1008, 752, 96, 3, 5, 0, 0, {112.5, 70}},     {1008, 752, 96, 3, 5, 2, 4, {909.5, 610}},
        {1264, 1008, 64, 7, 9, 0, 0, {84, 55}},       {1264, 1008, 64, 7, 9, 6, 2, {361, 910}},
    };
    for (const Case& c : cases) {
        const auto g = KeyFileIconSource::grid(c.width, c.height, c.icon);
        const cg::Point p = g.center(c.row, c.col, c.icon);
        // The icon box is drawn at whole pixels and measured from the artwork inside it.
        EXPECT_NEAR(p.x, c.seen.x, 1.5) << c.icon << " " << c.row << "," << c.col;
        EXPECT_NEAR(p.y, c.seen.y, 1.5) << c.icon << " " << c.row << "," << c.col;
        EXPECT_EQ(g.rows, c.rows) << c.icon;
        EXPECT_EQ(g.columns, c.columns) << c.icon;
    }
}

TEST(XfdesktopSource, FollowsTheLatestLinkToTheFileXfdesktopWrote) {
    TempDir dir;
    // As xfdesktop leaves them: the file named after the grid, and a link to it that names no size.
    const std::string file = dir.write("xfce4/desktop/icons.screen0-1008x752.rc",
                                       slurp(std::string(FIXTURES) + "/xfdesktop/icons.screen0-1008x752.rc"));
    std::filesystem::create_symlink(file, dir.path() + "/xfce4/desktop/icons.screen.latest.rc");
    dir.write("xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
              xfdesktopSettings("48", R"(<property name="use-custom-font-size" type="bool" value="true"/>
    <property name="font-size" type="double" value="10"/>)"));
    auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop,
                                                      KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, "", {}});
    const FinderResult r = readThrough(source);
    ASSERT_TRUE(r.ok()) << r.error().reason;
    // The six icons in the first column, as the screenshot showed them.
    const double seen[] = {46.5, 151.5, 256.5, 361.5, 466.5, 572};
    ASSERT_EQ(r.layout().centers.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(r.layout().centers[i].x, 70.5, 1.5) << i;
        EXPECT_NEAR(r.layout().centers[i].y, seen[i], 1.5) << i;
    }
    EXPECT_EQ(r.layout().iconSize, 48);
    EXPECT_EQ(r.layout().textSize, 10);

    // A link to a file that is gone: the newest file with a size in its name.
    std::filesystem::remove(file);
    dir.write("xfce4/desktop/icons.screen0-1264x1008.rc", "[/home/u/Desktop/a]\nrow=6\ncol=2\n");
    const FinderResult other = readThrough(source);
    ASSERT_TRUE(other.ok()) << other.error().reason;
    ASSERT_EQ(other.layout().centers.size(), 1u);
    EXPECT_EQ(other.layout().centers[0], KeyFileIconSource::grid(1264, 1008, 48).center(6, 2, 48));
}

TEST(XfdesktopSource, RefusesCellsOutsideTheGridAndSizesOutOfRange) {
    struct Case {
        const char* row;
        const char* col;
        bool kept;
    };
    // The 1008 × 752 grid of 48-point icons has 7 rows and 9 columns.
    const Case cases[] = {
        {"0", "0", true},      {"6", "8", true},    {"0.5", "0", false}, {"-3", "0", false},
        {"0", "2000000", false}, {"7", "0", false},  {"0", "9", false},   {"1e308", "0", false},
        {"nan", "0", false},   {"x", "1", false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("xfce4/desktop/icons.screen0-1008x752.rc",
                  std::string("[/home/u/Desktop/a]\nrow=") + c.row + "\ncol=" + c.col + "\n");
        auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop,
                                                          KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, "", {}});
        testing::internal::CaptureStderr();
        const FinderResult r = readThrough(source);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(r.ok()) << r.error().reason;
        EXPECT_EQ(r.layout().centers.size(), c.kept ? 1u : 0u) << c.row << "," << c.col;
        if (!c.kept) {
            // The message names the file, the entry and the values.
            EXPECT_NE(said.find("icons.screen0-1008x752.rc"), std::string::npos) << said;
            EXPECT_NE(said.find("[/home/u/Desktop/a] row, col = \"" + std::string(c.row) + ", " + c.col + "\""),
                      std::string::npos)
                << said;
        }
    }

    // Icon sizes xfdesktop would never draw leave its default, and say so.
    for (const char* size : {"5000", "1e308", "0", "-48", "big"}) {
        TempDir dir;
        dir.write("xfce4/desktop/icons.screen0-1008x752.rc", "[/home/u/Desktop/a]\nrow=0\ncol=0\n");
        dir.write("xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml", xfdesktopSettings(size));
        auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop,
                                                          KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, "", {}});
        testing::internal::CaptureStderr();
        const FinderResult r = readThrough(source);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(r.ok()) << r.error().reason;
        EXPECT_EQ(r.layout().iconSize, 48) << size;
        ASSERT_EQ(r.layout().centers.size(), 1u) << size;
        EXPECT_NEAR(r.layout().centers[0].x, 70.5, 1.5) << size;
        EXPECT_NE(said.find("xfce4-desktop.xml: /desktop-icons/icon-size = \"" + std::string(size) + "\""),
                  std::string::npos)
            << said;
    }

    // A size in the name no screen has is no grid.
    TempDir dir;
    dir.write("xfce4/desktop/icons.screen0-2000000x752.rc", "[/home/u/Desktop/a]\nrow=0\ncol=0\n");
    auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop,
                                                      KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, "", {}});
    EXPECT_FALSE(readThrough(source).ok());
}

TEST(XfdesktopSource, FollowsTheIconStyleAndRejectsBrokenFiles) {
    TempDir dir;
    const KeyFileIconSource::Options options{dir.path(), "", {{0, 0}}, "", {}};
    auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop, options);
    EXPECT_FALSE(readThrough(source).ok());  // no positions file yet

    dir.write("xfce4/desktop/icons.screen0-800x600.rc", "[/d/a]\nrow=0\ncol=0\n");
    dir.write("xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
              R"(<channel name="xfce4-desktop"><property name="desktop-icons" type="empty">)"
              R"(<property name="style" type="int" value="0"/></property></channel>)");
    const FinderResult none = readThrough(source);
    ASSERT_TRUE(none.ok());
    EXPECT_EQ(none.layout(), (DeskLayout{{}, 48, 12, false}));

    dir.write("xfce4/desktop/icons.screen0-800x600.rc", "[/d/a\nrow=0\n\x01garbage");
    const FinderResult broken = readThrough(source);
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.error().code, -1);
}

TEST(PcmanfmSource, ReadsUserPlacedIconsPerMonitor) {
    TempDir dir;
    // Icons dragged in PCManFM 1.3.2 (48 and 32 points): the corner it kept, and the icon's centre on the
    // screenshot.
    dir.write("pcmanfm/default/desktop-items-0.conf",
              slurp(std::string(FIXTURES) + "/pcmanfm/dragged-desktop-items-0.conf") +
                  "\n[bad]\nx=1\ny=two\n\n[trash:///]\nx=300\ny=200\n");
    dir.write("pcmanfm/default/desktop-items-1.conf", "[photo.png]\nx=300\ny=200\n");
    auto source = std::make_shared<KeyFileIconSource>(
        KeyFileIconSource::Manager::pcmanfm, KeyFileIconSource::Options{dir.path(), "", {{0, 0}, {1920, 0}}, "", {}});
    const FinderResult r = readThrough(source);
    ASSERT_TRUE(r.ok()) << r.error().reason;
    ASSERT_EQ(r.layout().centers.size(), 3u);
    EXPECT_NEAR(r.layout().centers[0].x, 358.5, 1.5);  // x=300, y=200 at 48 points
    EXPECT_NEAR(r.layout().centers[0].y, 231, 1.5);
    EXPECT_NEAR(r.layout().centers[1].x, 500, 1.5);    // alpha: x=442, y=269
    EXPECT_NEAR(r.layout().centers[1].y, 300, 1.5);
    EXPECT_NEAR(r.layout().centers[2].x, 1920 + 358.5, 1.5);
    EXPECT_EQ(r.layout().iconSize, 48);
    EXPECT_NEAR(r.layout().textSize, 16, 1e-9);  // "Sans 12"

    dir.write("libfm/libfm.conf", "[ui]\nbig_icon_size=32\n");
    const FinderResult small = readThrough(source);
    ASSERT_TRUE(small.ok());
    EXPECT_NEAR(small.layout().centers[0].y, 223, 1.5);  // beta at x=300, y=200 of 32 points
    EXPECT_NEAR(small.layout().centers[0].x, 358, 1.5);

    dir.write("pcmanfm/default/desktop-items-0.conf", "x=1\n[a]\n");
    EXPECT_FALSE(readThrough(source).ok());
}

TEST(PcmanfmSource, LaysOutTheIconsNobodyPlacedAsPcmanfmDoes) {
    // Desktops of three folders and three files, as PCManFM 1.3.2 showed them on a 1024 × 768 screen
    // under openbox: the centres measured on its screenshots.
    struct Case {
        const char* items;  // desktop-items-0.conf
        const char* libfm;  // libfm.conf
        std::vector<std::pair<const char*, long long>> older;  // entries with an earlier time
        std::vector<cg::Point> seen;
    };
    const Case cases[] = {
        // Fresh: the trash, the folders, the files, each by name (written in the same second).
        {"fresh", "", {}, {{60.5, 32.5}, {60, 139}, {60, 245}, {60, 351}, {60.5, 457.5}, {60.5, 563.5}, {60.5, 669.5}}},
        // Placed icons are passed over; a column that is full ends at the screen's bottom.
        {"[*]\ndesktop_font=Sans 12\nshow_trash=1\n\n[beta]\nx=300\ny=200\n\n[one.txt]\nx=2\ny=60\n",
         "[ui]\nbig_icon_size=96\n", {},
         {{60, 115.5}, {60.5, 364}, {60.5, 519.5}, {60.5, 673.5}, {176, 57.5}, {176, 211.5}, {358.5, 255.5}}},
        {"[*]\ndesktop_font=Sans 12\nshow_trash=1\n\n[beta]\nx=300\ny=200\n\n[one.txt]\nx=2\ny=60\n",
         "[ui]\nbig_icon_size=32\n", {},
         {{61, 25}, {60.5, 83}, {60, 205}, {60, 295}, {60.5, 385}, {60.5, 475}, {358, 223}}},
        // Sorted by time, folders first; a smaller font makes shorter cells; no trash.
        {"[*]\ndesktop_font=Sans 10\nshow_trash=0\nsort=mtime;ascending;\n", "", {{"two.txt", 1577872800}, {"gamma", 1609459200}},
         {{60, 33}, {60, 133}, {60, 233}, {60.5, 333.5}, {60.5, 433.5}, {60.5, 533.5}}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string items = std::string(c.items) == "fresh"
                                      ? slurp(std::string(FIXTURES) + "/pcmanfm/fresh-desktop-items-0.conf")
                                      : c.items;
        dir.write("config/pcmanfm/default/desktop-items-0.conf", items);
        if (*c.libfm) dir.write("config/libfm/libfm.conf", c.libfm);
        const auto now = std::filesystem::file_time_type::clock::now();
        for (const char* folder : {"alpha", "beta", "gamma"}) {
            std::filesystem::create_directories(dir.path() + "/Desktop/" + folder);
            std::filesystem::last_write_time(dir.path() + "/Desktop/" + folder, now);
        }
        for (const char* file : {"one.txt", "two.txt", "three.txt"}) {
            std::filesystem::last_write_time(dir.write(std::string("Desktop/") + file, "x\n"), now);
        }
        dir.write("Desktop/.hidden", "");
        for (const auto& [name, seconds] : c.older) {
            const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() + "/Desktop/" + name).c_str(), times, 0), 0);
        }
        auto source = std::make_shared<KeyFileIconSource>(
            KeyFileIconSource::Manager::pcmanfm,
            KeyFileIconSource::Options{dir.path() + "/config", "", {{0, 0}}, dir.path() + "/Desktop", {1024, 768}});
        const FinderResult r = readThrough(source);
        ASSERT_TRUE(r.ok()) << r.error().reason;
        ASSERT_EQ(r.layout().centers.size(), c.seen.size()) << c.items;
        for (size_t i = 0; i < c.seen.size(); ++i) {
            EXPECT_NEAR(r.layout().centers[i].x, c.seen[i].x, 1.5) << c.items << " #" << i;
            EXPECT_NEAR(r.layout().centers[i].y, c.seen[i].y, 1.5) << c.items << " #" << i;
        }
    }
}

TEST(PcmanfmSource, SortsAsItsSortSettingSays) {
    using Entry = KeyFileIconSource::Entry;
    const std::vector<Entry> entries{{"b.txt", false, 5}, {"a", true, 9}, {"file10", false, 1},
                                     {"file9", false, 1}, {"c", true, 2}};
    struct Case {
        const char* sort;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"mtime;ascending;", {"c", "a", "file9", "file10", "b.txt"}},
        {"mtime;descending;", {"a", "c", "b.txt", "file10", "file9"}},
        {"name;ascending;", {"a", "c", "b.txt", "file9", "file10"}},
        {"name;ascending;mingle;", {"a", "b.txt", "c", "file9", "file10"}},
    };
    for (const Case& c : cases) {
        std::vector<Entry> sorted = entries;
        KeyFileIconSource::pcmanfmSort(sorted, c.sort);
        std::vector<std::string> names;
        for (const Entry& e : sorted) names.push_back(e.name);
        EXPECT_EQ(names, c.order) << c.sort;
    }
}

TEST(PcmanfmSource, RefusesIconAndFontSizesOutOfRange) {
    for (const char* size : {"5000", "1e308", "-1"}) {
        TempDir dir;
        dir.write("pcmanfm/default/desktop-items-0.conf", "[*]\ndesktop_font=Sans 1e308\n\n[a]\nx=2\ny=2\n");
        dir.write("libfm/libfm.conf", std::string("[ui]\nbig_icon_size=") + size + "\n");
        auto source = std::make_shared<KeyFileIconSource>(
            KeyFileIconSource::Manager::pcmanfm, KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, "", {}});
        testing::internal::CaptureStderr();
        const FinderResult r = readThrough(source);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(r.ok()) << r.error().reason;
        EXPECT_EQ(r.layout().iconSize, 48) << size;
        EXPECT_NEAR(r.layout().textSize, 16, 1e-9) << size;
        EXPECT_NE(said.find("libfm.conf: [ui] big_icon_size = \"" + std::string(size) + "\""), std::string::npos)
            << said;
        EXPECT_NE(said.find("desktop-items-0.conf: [*] desktop_font = \"Sans 1e308\""), std::string::npos) << said;
    }
}

TEST(SessionIcons, PicksTheManagerThatRuns) {
    struct Case {
        std::vector<std::string> commands;
        std::string source;
    };
    const Case cases[] = {
        {{"/usr/bin/gjs /usr/share/gnome-shell/extensions/ding@rastersoft.com/app/ding.js -P /x"},
         "gvfs metadata (desktop icons extension)"},
        {{"bash", "nemo-desktop"}, "gvfs metadata (Nemo)"},
        {{"/usr/bin/caja"}, "gvfs metadata (Caja)"},
        {{"caja --no-desktop"}, "layout file /c/vistamere/desktop-icons.json"},
        {{"xfdesktop --sm-client-id 2"}, "xfdesktop icon file"},
        {{"pcmanfm --desktop --profile LXDE"}, "PCManFM desktop items"},
        {{"pcmanfm"}, "layout file /c/vistamere/desktop-icons.json"},
        {{"gjs other.js", "/usr/bin/nemo"}, "layout file /c/vistamere/desktop-icons.json"},
        {{}, "layout file /c/vistamere/desktop-icons.json"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SessionIcons::choose({c.commands, "/d", "/c", {}})->name(), c.source) << c.commands.size();
}

TEST(SessionIcons, NamesTheManagerSoOneStartedLaterIsNoticed) {
    // Each step is what the process list shows at one look; the name changes exactly when the manager does.
    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{"bash", "vistamere"}, ""},
        {{"bash", "vistamere", "nemo-desktop"}, "nemo"},
        {{"nemo-desktop", "vistamere", "bash"}, "nemo"},
        {{"bash", "vistamere"}, ""},
        {{"xfdesktop", "nemo-desktop"}, "nemo"},  // the first in the order of likelihood wins
        {{"/usr/bin/xfdesktop --replace"}, "xfdesktop"},
        {{"pcmanfm --desktop"}, "pcmanfm"},
        {{"caja"}, "caja"},
        {{"gjs /usr/share/gnome-shell/extensions/ding@rastersoft.com/app/ding.js"}, "ding"},
    };
    for (const auto& [commands, manager] : steps)
        EXPECT_EQ(SessionIcons::manager({commands, "/d", "/c", {}}), manager) << commands.size() << " processes";
}

// The process list is read every two seconds while programs start and end, and a process that ends
// between the open of its command line and the read fails the read with ESRCH. This binary's read()
// does that on demand for every command line but this process's own.
namespace {
std::atomic<bool> gCommandLinesFail{false};
}  // namespace

extern "C" ssize_t read(int fd, void* buf, size_t n) {
    if (gCommandLinesFail) {
        char path[64] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t len = ::readlink(link.c_str(), path, sizeof path - 1);
        const std::string at(path, len > 0 ? size_t(len) : 0);
        const std::string own = "/proc/" + std::to_string(::getpid()) + "/cmdline";
        if (at.rfind("/proc/", 0) == 0 && at.size() > 8 && at.compare(at.size() - 8, 8, "/cmdline") == 0 && at != own) {
            errno = ESRCH;
            return -1;
        }
    }
    return ::syscall(SYS_read, fd, buf, n);
}

TEST(SessionIcons, AProcessThatEndsWhileItsCommandLineIsReadIsPassedOver) {
    // Another process of ours to read: a child waiting on its parent.
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/sh", "/bin/sh", "-c", "sleep 30; :", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    auto has = [](const SessionIcons::Session& s, const std::string& word) {
        for (const auto& c : s.commands)
            if (c.find(word) != std::string::npos) return true;
        return false;
    };
    SessionIcons::Session before;
    for (int i = 0; i < 200 && !has(before, "sleep 30; :"); ++i) {
        ::usleep(10000);
        before = SessionIcons::current();
    }
    EXPECT_TRUE(has(before, "sleep 30; :"));

    gCommandLinesFail = true;
    SessionIcons::Session during;
    EXPECT_NO_THROW(during = SessionIcons::current());
    gCommandLinesFail = false;
    EXPECT_TRUE(has(during, "finder_tests"));  // its own read went through
    EXPECT_FALSE(has(during, "sleep 30; :"));
    EXPECT_EQ(during.commands.size(), 1u);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

// A manager with nothing stored is an error that names the source once, then says what is missing.
TEST(KeyFileIconSource, AManagerWithNoFilesIsAnErrorNamingTheSource) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "/pcmanfm/default");
    struct Case {
        const char* source;
        std::string reason;
        KeyFileIconSource::Manager manager;
    };
    const Case cases[] = {
        {"xfdesktop icon file",
         "xfdesktop icon file: no icons.screen<n>-<width>x<height>.rc in " + dir.path() + "/xfce4/desktop",
         KeyFileIconSource::Manager::xfdesktop},
        {"PCManFM desktop items",
         "PCManFM desktop items: no profile with desktop-items-0.conf in " + dir.path() + "/pcmanfm",
         KeyFileIconSource::Manager::pcmanfm},
    };
    for (const Case& c : cases) {
        KeyFileIconSource::Options options;
        options.configHome = dir.path();
        const FinderResult r = readThrough(std::make_shared<KeyFileIconSource>(c.manager, options));
        ASSERT_FALSE(r.ok()) << c.source;
        EXPECT_EQ(r.error(), (FinderError{c.source, FinderError::unavailable, ""}));
        EXPECT_EQ(r.error().reason, c.reason);
    }
}
