#include "Finder/FinderIcons.h"
#include "Finder/GvfsIconSource.h"
#include "Finder/KeyFileIconSource.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/SessionIcons.h"

#include <chrono>
#include <gio/gio.h>
#include <gtest/gtest.h>
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

TEST(LayoutFileSource, AMissingOrMalformedFileIsTheUnavailableError) {
    TempDir dir;
    const std::string big = "{\"centers\": [" + std::string(LayoutFileSource::maxBytes, ' ') + "]}";
    const std::string cases[] = {"", "{", "[[1, 2]]", "{\"centers\": 5}", "{\"iconSize\": 64}", "null", big};
    for (const std::string& text : cases) {
        const FinderResult r = readThrough(layoutFile(dir, text));
        ASSERT_FALSE(r.ok()) << text.substr(0, 40);
        EXPECT_EQ(r.error(), (FinderError{"Finder", -1, ""}));
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

TEST(XfdesktopSource, TurnsGridCellsIntoCentres) {
    TempDir dir;
    dir.write("xfce4/desktop/icons.screen0-1000x800.rc",
              "[xfdesktop-version-4.10.3+-rcfile_format]\n4.10.3+=true\n\n"
              "[/home/u/Desktop/notes.txt]\nrow=0\ncol=0\n\n"
              "[/home/u/Desktop/b]\nrow=2\ncol=1\n\n"
              "[/home/u/Desktop/broken]\nrow=x\ncol=1\n\n"
              "[/home/u/Desktop/half]\nrow=1\n");
    dir.write("xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
              R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="desktop-icons" type="empty">
    <property name="style" type="int" value="2"/>
    <property name="icon-size" type="uint" value="64"/>
    <property name="use-custom-font-size" type="bool" value="true"/>
    <property name="font-size" type="double" value="10"/>
  </property>
</channel>)");
    auto source = std::make_shared<KeyFileIconSource>(KeyFileIconSource::Manager::xfdesktop,
                                                      KeyFileIconSource::Options{dir.path(), "", {{0, 0}}});
    const FinderResult r = readThrough(source);
    ASSERT_TRUE(r.ok()) << r.error().reason;
    // Cells of 1.9·64 + 12 = 133.6 points, 2 apart: 7 columns in 984 points leave 18.4 on each side, 5
    // rows in 784 leave 54.
    const cg::Point a = KeyFileIconSource::gridCenter(0, 0, 1000, 800, 64);
    const cg::Point b = KeyFileIconSource::gridCenter(2, 1, 1000, 800, 64);
    EXPECT_NEAR(a.x, 8 + 18.4 + 66.8, 1e-9);
    EXPECT_NEAR(a.y, 8 + 54 + 6 + 32, 1e-9);
    EXPECT_NEAR(b.x - a.x, 135.6, 1e-9);
    EXPECT_NEAR(b.y - a.y, 2 * 135.6, 1e-9);
    EXPECT_EQ(r.layout(), (DeskLayout{{a, b}, 64, 10, false}));
}

TEST(XfdesktopSource, FollowsTheIconStyleAndRejectsBrokenFiles) {
    TempDir dir;
    const KeyFileIconSource::Options options{dir.path(), "", {{0, 0}}};
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
    dir.write("pcmanfm/default/desktop-items-0.conf", "[notes.txt]\nx=10\ny=20\n\n[bad]\nx=1\ny=two\n\n[trash:///]\nx=100\ny=20\n");
    dir.write("pcmanfm/default/desktop-items-1.conf", "[photo.png]\nx=0\ny=0\n");
    dir.write("libfm/libfm.conf", "[ui]\nbig_icon_size=32\n");
    auto source = std::make_shared<KeyFileIconSource>(
        KeyFileIconSource::Manager::pcmanfm, KeyFileIconSource::Options{dir.path(), "", {{0, 0}, {1920, 0}}});
    const FinderResult r = readThrough(source);
    ASSERT_TRUE(r.ok()) << r.error().reason;
    EXPECT_EQ(r.layout(), (DeskLayout{{{26, 36}, {116, 36}, {1936, 16}}, 32, 12, false}));

    dir.write("pcmanfm/default/desktop-items-0.conf", "x=1\n[a]\n");
    EXPECT_FALSE(readThrough(source).ok());
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
        EXPECT_EQ(SessionIcons::choose({c.commands, "/d", "/c"})->name(), c.source) << c.commands.size();
}
