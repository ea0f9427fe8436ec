// Wallpapers of the desktops that keep their own: Xfce through a real xfconfd on a private session
// bus, Plasma through a stand-in shell that runs our scripts in node against a model of its
// scripting interface, PCManFM and PCManFM-Qt through their command lines. In every case the user's
// setting must come back, also after a run that never restored it. And the shell that picks Xfce's
// back end for xfdesktop and names each still by its monitor.

#include "FakeBusService.h"

#include "DesktopTestSupport.h"

#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/PcmanfmWallpaper.h"
#include "Platform/Desktop/PlasmaWallpaper.h"
#include "Platform/Desktop/XfceWallpaper.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

using desktoptest::FakeBusService;
namespace fs = std::filesystem;

namespace {

std::string dir(const std::string& name) {
    const char* out = std::getenv("XDG_STATE_HOME");
    const std::string d = std::string(out ? out : "/tmp") + "/wallpaper-backends/" + name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

cg::ImageRef still(uint32_t argb) { return cg::Image::fromARGB32(4, 2, std::vector<uint32_t>(8, argb)); }

std::string slurp(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// --- xfconf -----------------------------------------------------------------------------------

GVariant* xfconf(const char* method, GVariant* args, const GVariantType* reply) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant* r = g_dbus_connection_call_sync(bus, "org.xfce.Xfconf", "/org/xfce/Xfconf", "org.xfce.Xfconf", method,
                                              args, reply, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(bus);
    return r;
}

// The channel's properties under /backdrop, printed.
std::map<std::string, std::string> backdrop() {
    std::map<std::string, std::string> out;
    GVariant* r = xfconf("GetAllProperties", g_variant_new("(ss)", "xfce4-desktop", "/backdrop"), G_VARIANT_TYPE("(a{sv})"));
    if (!r) return out;
    GVariantIter* it = nullptr;
    g_variant_get(r, "(a{sv})", &it);
    const gchar* k = nullptr;
    GVariant* v = nullptr;
    while (g_variant_iter_loop(it, "{&sv}", &k, &v)) {
        gchar* p = g_variant_print(v, FALSE);
        out[k] = p;
        g_free(p);
    }
    g_variant_iter_free(it);
    g_variant_unref(r);
    return out;
}

void setXfconf(const std::string& property, GVariant* value) {
    GVariant* r = xfconf("SetProperty", g_variant_new("(ssv)", "xfce4-desktop", property.c_str(), value), nullptr);
    ASSERT_TRUE(r) << property;
    g_variant_unref(r);
}

const std::string kMon = "/backdrop/screen0/monitor";

// --- Plasma -----------------------------------------------------------------------------------

// Plasma's scripting interface as far as wallpapers go: desktops with an id, a screen, a wallpaper
// plugin and configuration groups, and print. The containments live in a JSON file between calls.
constexpr const char* kPlasmaModel = R"(const fs = require("fs");
const file = process.argv[2];
const state = JSON.parse(fs.readFileSync(file, "utf8"));
let printed = "";
function print(s) { printed += s; }
function desktops() {
  return state.map(c => ({
    get id() { return c.id; },
    get screen() { return c.screen; },
    get wallpaperPlugin() { return c.plugin; },
    set wallpaperPlugin(p) { c.plugin = p; },
    currentConfigGroup: [],
    readConfig(k) { const g = c.config[this.currentConfigGroup.join("/")] || {}; return k in g ? g[k] : ""; },
    writeConfig(k, v) { const n = this.currentConfigGroup.join("/"); (c.config[n] = c.config[n] || {})[k] = v; },
  }));
}
)";

struct FakePlasma {
    std::string stateFile, modelFile;
    bool locked = false;
    std::vector<std::string> scripts;
    std::unique_ptr<FakeBusService> service;

    explicit FakePlasma(const std::string& d, const nlohmann::json& desktops) : stateFile(d + "/plasma.json"),
                                                                                 modelFile(d + "/model.js") {
        std::ofstream(stateFile) << desktops.dump();
        std::ofstream(modelFile) << kPlasmaModel;
        service = std::make_unique<FakeBusService>(
            PlasmaWallpaper::kService, "/PlasmaShell",
            R"(<node><interface name="org.kde.PlasmaShell"><method name="evaluateScript">
               <arg type="s" direction="in"/><arg type="s" direction="out"/></method></interface></node>)",
            [this](const std::string&, GVariant* args) { return evaluate(args); });
    }
    GVariant* evaluate(GVariant* args) {
        const gchar* script = nullptr;
        g_variant_get(args, "(&s)", &script);
        scripts.emplace_back(script);
        if (locked) return nullptr;
        const std::string file = modelFile + ".run.js";
        std::ofstream(file) << slurp(modelFile) << script
                            << "\nfs.writeFileSync(file, JSON.stringify(state));\nprocess.stdout.write(printed);\n";
        const char* argv[] = {"node", file.c_str(), stateFile.c_str(), nullptr};
        gchar* out = nullptr;
        gint status = 0;
        if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out,
                          nullptr, &status, nullptr) ||
            !g_spawn_check_wait_status(status, nullptr)) {
            g_free(out);
            return nullptr;  // a script that does not run is refused, as the shell does
        }
        GVariant* reply = g_variant_new("(s)", out);
        g_free(out);
        return reply;
    }
    nlohmann::json desktops() const { return nlohmann::json::parse(slurp(stateFile)); }
};

nlohmann::json desktop(int id, int screen, const char* plugin, const char* image) {
    nlohmann::json d{{"id", id}, {"screen", screen}, {"plugin", plugin}, {"config", nlohmann::json::object()}};
    d["config"]["Wallpaper/org.kde.image/General"]["Image"] = image;
    return d;
}

std::string image(const nlohmann::json& d) { return d["config"]["Wallpaper/org.kde.image/General"].value("Image", ""); }

}  // namespace

TEST(XfceWallpaper, EachMonitorAndWorkspaceGetsItsStillAndTheUsersComesBack) {
    const std::string state = dir("xfce"), pictures = state + "/pictures";
    fs::remove_all(std::string(g_get_user_config_dir()) + "/xfce4");  // xfconfd's store, before it starts
    // A first start: no backdrop yet, so one picture per monitor is created, and removed again.
    {
        auto w = XfceWallpaper::make(state, pictures);
        ASSERT_TRUE(w) << "no xfconfd on the session bus";
        ASSERT_TRUE(w->show({{"HDMI-1", still(0xFF0000FFu)}}));
        const auto set = backdrop();
        ASSERT_TRUE(set.count(kMon + "HDMI-1/workspace0/last-image"));
        EXPECT_EQ(set.at(kMon + "HDMI-1/workspace0/image-style"), "3");
        w->restore();
        EXPECT_TRUE(backdrop().empty());
    }
    // A user's desktop: two monitors, two workspaces on one, a picture style that hides pictures.
    setXfconf(kMon + "HDMI-1/workspace0/last-image", g_variant_new_string("/home/u/a.jpg"));
    setXfconf(kMon + "HDMI-1/workspace0/image-style", g_variant_new_int32(5));
    setXfconf(kMon + "HDMI-1/workspace1/last-image", g_variant_new_string("/home/u/b.jpg"));
    setXfconf(kMon + "DP-2/workspace0/last-image", g_variant_new_string("/home/u/c.jpg"));
    setXfconf(kMon + "DP-2/workspace0/image-style", g_variant_new_int32(0));
    const auto user = backdrop();
    auto w = XfceWallpaper::make(state, pictures);
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->show({{"DP-2", still(0xFF00FF00u)}, {"HDMI-1", still(0xFFFF0000u)}}));
    auto shown = backdrop();
    struct Case {
        const char* property;
        std::string expected;
    };
    const std::string dp = "'" + pictures + "/desktop-still-DP-2-1.png'", hdmi = "'" + pictures + "/desktop-still-HDMI-1-0.png'";
    for (const Case& c : {Case{"HDMI-1/workspace0/last-image", hdmi}, Case{"HDMI-1/workspace1/last-image", hdmi},
                          Case{"DP-2/workspace0/last-image", dp}, Case{"HDMI-1/workspace0/image-style", "5"},
                          Case{"HDMI-1/workspace1/image-style", "3"}, Case{"DP-2/workspace0/image-style", "3"}})
        EXPECT_EQ(shown[kMon + c.property], c.expected) << c.property;
    EXPECT_TRUE(cg::Image::readPNG(pictures + "/desktop-still-DP-2-1.png"));
    EXPECT_TRUE(fs::exists(state + "/wallpaper-xfconf.ini"));
    w->restore();
    EXPECT_EQ(backdrop(), user);
    EXPECT_FALSE(fs::exists(state + "/wallpaper-xfconf.ini"));

    // A run that died with ours set: the next start puts the user's back.
    ASSERT_TRUE(w->show({{"DP-2", still(0xFF00FF00u)}}));
    const std::string left = slurp(state + "/wallpaper-xfconf.ini");
    w.reset();
    setXfconf(kMon + "DP-2/workspace0/last-image", g_variant_new_string("/cache/vistamere/desktop-still-DP-2-0.png"));
    setXfconf(kMon + "DP-2/workspace0/image-style", g_variant_new_int32(3));
    std::ofstream(state + "/wallpaper-xfconf.ini") << left;
    ASSERT_TRUE(XfceWallpaper::make(state, pictures));
    EXPECT_EQ(backdrop(), user);
}

TEST(PlasmaWallpaper, EveryDesktopGetsItsScreensStillAndTheUsersComesBack) {
    const std::string d = dir("plasma"), pictures = d + "/pictures";
    EXPECT_FALSE(PlasmaWallpaper::make(d, pictures));  // no shell on the bus
    const nlohmann::json user = {desktop(1, 0, "org.kde.image", "file:///home/u/a \"quoted\".jpg"),
                                 desktop(2, 1, "org.kde.color", ""), desktop(7, -1, "org.kde.image", "file:///x.png")};
    FakePlasma plasma(d, user);
    ASSERT_TRUE(plasma.service->ok());
    auto w = PlasmaWallpaper::make(d, pictures);
    ASSERT_TRUE(w);

    // Locked widgets refuse every script: nothing changes, nothing is kept.
    plasma.locked = true;
    EXPECT_FALSE(w->show({{"", still(0xFF0000FFu)}}));
    EXPECT_FALSE(w->active());
    EXPECT_FALSE(fs::exists(d + "/wallpaper-plasma.ini"));
    plasma.locked = false;

    ASSERT_TRUE(w->show({{"", still(0xFF0000FFu)}, {"", still(0xFF00FF00u)}}));
    const auto shown = plasma.desktops();
    struct Case {
        size_t desktop;
        std::string picture;
    };
    for (const Case& c : {Case{0, "desktop-still-0-"}, Case{1, "desktop-still-1-"}, Case{2, "desktop-still-0-"}}) {
        EXPECT_EQ(shown[c.desktop]["plugin"], "org.kde.image") << c.desktop;
        EXPECT_EQ(image(shown[c.desktop]).rfind("file://" + pictures + "/" + c.picture, 0), 0u) << image(shown[c.desktop]);
    }
    w->restore();
    EXPECT_EQ(plasma.desktops(), user);

    // Left saved by a run that died: given back on the next start.
    ASSERT_TRUE(w->show({{"", still(0xFF0000FFu)}}));
    const std::string left = slurp(d + "/wallpaper-plasma.ini");
    w.reset();
    std::ofstream(plasma.stateFile) << shown.dump();
    std::ofstream(d + "/wallpaper-plasma.ini") << left;
    ASSERT_TRUE(PlasmaWallpaper::make(d, pictures));
    EXPECT_EQ(plasma.desktops(), user);
    EXPECT_FALSE(fs::exists(d + "/wallpaper-plasma.ini"));
}

TEST(PcmanfmWallpaper, SetsThroughTheProgramAndGivesTheProfilesSettingBack) {
    const std::string config = g_get_user_config_dir();
    struct Case {
        const char* program;
        std::vector<std::string> arguments;
        const char* file;  // under the configuration directory; empty for none
        const char* contents;
        std::vector<std::string> restored;  // the restoring command's arguments; empty when nothing may change
    };
    const std::vector<Case> cases{
        {"pcmanfm", {"pcmanfm", "--desktop", "--profile", "LXDE"}, "pcmanfm/LXDE/desktop-items-0.conf",
         "[*]\nwallpaper_mode=crop\nwallpaper=/home/u/p.jpg\n", {"--set-wallpaper=/home/u/p.jpg", "--wallpaper-mode=crop"}},
        {"pcmanfm-qt", {"pcmanfm-qt", "--desktop", "--profile=lxqt"}, "pcmanfm-qt/lxqt/settings.conf",
         "[Desktop]\nWallpaperMode=zoom\nWallpaper=/usr/share/x.png\nBgColor=#000000\n",
         {"--set-wallpaper=/usr/share/x.png", "--wallpaper-mode=zoom"}},
        // A colour only: no picture to give back, just the mode.
        {"pcmanfm", {"pcmanfm", "--desktop"}, "pcmanfm/default/desktop-items-0.conf", "[*]\nwallpaper_mode=color\n",
         {"--wallpaper-mode=color"}},
        // No configuration to read the user's setting from: it is left alone.
        {"pcmanfm-qt", {"pcmanfm-qt", "--profile=../../etc"}, "", "", {}},
    };
    for (const Case& c : cases) {
        const std::string d = dir("pcmanfm-" + std::to_string(&c - cases.data())), pictures = d + "/pictures";
        fs::remove_all(config + "/" + c.program);
        if (*c.file) {
            fs::create_directories(fs::path(config + "/" + c.file).parent_path());
            std::ofstream(config + "/" + c.file) << c.contents;
        }
        std::vector<std::vector<std::string>> ran;
        bool works = true;
        auto run = [&](const std::vector<std::string>& command) {
            ran.push_back(command);
            return works;
        };
        auto w = PcmanfmWallpaper::make(c.program, c.arguments, d, pictures, run);
        ASSERT_TRUE(w);
        const bool shown = w->show({{"", still(0xFF0000FFu)}});
        EXPECT_EQ(shown, !c.restored.empty()) << c.program;
        if (!shown) {
            EXPECT_TRUE(ran.empty());
            EXPECT_FALSE(fs::exists(d + "/wallpaper-" + c.program + ".ini"));
            continue;
        }
        ASSERT_EQ(ran.size(), 1u);
        EXPECT_EQ(ran[0], (std::vector<std::string>{c.program, "--set-wallpaper=" + pictures + "/desktop-still-1.png",
                                                    "--wallpaper-mode=stretch"}));
        // The program fails to restore: the setting stays kept for the next start, which gives it back.
        works = false;
        w.reset();
        ASSERT_EQ(ran.size(), 2u);
        works = true;
        ASSERT_TRUE(PcmanfmWallpaper::make(c.program, c.arguments, d, pictures, run));
        ASSERT_EQ(ran.size(), 3u);
        std::vector<std::string> expected{c.program};
        expected.insert(expected.end(), c.restored.begin(), c.restored.end());
        EXPECT_EQ(ran[2], expected);
        EXPECT_FALSE(fs::exists(d + "/wallpaper-" + c.program + ".ini"));
    }
}

TEST(PcmanfmWallpaper, RunsTheProgramFoundOnThePath) {
    const std::string d = dir("pcmanfm-path"), bin = d + "/bin", log = d + "/ran.txt";
    fs::create_directories(bin);
    std::ofstream(bin + "/pcmanfm") << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" << log << "'; done\n";
    fs::permissions(bin + "/pcmanfm", fs::perms::owner_all);
    const std::string path = bin + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    const std::string config = std::string(g_get_user_config_dir()) + "/pcmanfm/default";
    fs::create_directories(config);
    std::ofstream(config + "/desktop-items-0.conf") << "[*]\nwallpaper_mode=fit\nwallpaper=/home/u/w.png\n";
    auto w = PcmanfmWallpaper::make("pcmanfm", {"pcmanfm"}, d, d + "/pictures");
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->show({{"", still(0xFF0000FFu)}}));
    w->restore();
    EXPECT_EQ(slurp(log), "--set-wallpaper=" + d + "/pictures/desktop-still-1.png\n--wallpaper-mode=stretch\n"
                          "--set-wallpaper=/home/u/w.png\n--wallpaper-mode=fit\n");
}

TEST(ShellWallpaper, XfdesktopGetsTheStillOfEachMonitorByItsName) {
    ASSERT_TRUE(mainloop::init());
    fs::remove_all(std::string(g_get_user_config_dir()) + "/xfce4");
    // Xvfb's one monitor is called "screen".
    setXfconf(kMon + "screen/workspace0/last-image", g_variant_new_string("/home/u/xfce.jpg"));
    const auto user = backdrop();
    const std::string d = dir("shell-xfce");
    DesktopShell shell({{}, d + "/state", d + "/pictures", {}, {}});
    shell.show(0, desktoptest::scene(64, 64, 0), 0.1);
    // xfdesktop announces its window on the root.
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    const auto icons = x->createWindow("xfdesktop", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
    x->setRootWindowProperty("XFCE_DESKTOP_WINDOW", icons);
    shell.restack();
    EXPECT_EQ(shell.mode(), DesktopShell::Mode::stillPicture);
    const std::string shown = backdrop()[kMon + "screen/workspace0/last-image"];
    EXPECT_EQ(shown.rfind("'" + d + "/pictures/desktop-still-screen-", 0), 0u) << shown;
    shell.restoreWallpaper();
    EXPECT_EQ(backdrop(), user);
}
