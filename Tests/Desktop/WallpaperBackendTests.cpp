// Wallpapers of the desktops that keep their own, on a private session bus: Xfce through a real
// xfconfd, Plasma through a stand-in shell that runs our scripts in node against a model of its
// scripting interface, PCManFM through its command line; and the shell choosing Xfce's for
// xfdesktop. The user's setting must come back, also after a run that never restored it.

#include "DesktopTestSupport.h"
#include "FakeBusService.h"

#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/PcmanfmWallpaper.h"
#include "Platform/Desktop/PlasmaWallpaper.h"
#include "Platform/Desktop/StillWallpaper.h"
#include "Platform/Desktop/XfceWallpaper.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

std::string dir(const std::string& name) {
    const char* out = std::getenv("XDG_STATE_HOME");
    const std::string d = std::string(out ? out : "/tmp") + "/wallpaper-backends/" + name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

cg::ImageRef still() { return cg::Image::fromARGB32(4, 2, std::vector<uint32_t>(8, 0xFF204080u)); }

std::string slurp(const std::string& file) {
    std::stringstream s;
    s << std::ifstream(file).rdbuf();
    return s.str();
}

// What a command printed; nothing when it failed.
std::optional<std::string> sh(const std::string& command) {
    gchar* out = nullptr;
    gint status = 0;
    const bool ran = g_spawn_command_line_sync(command.c_str(), &out, nullptr, &status, nullptr) &&
                     g_spawn_check_wait_status(status, nullptr);
    std::optional<std::string> s = ran ? std::optional<std::string>(out ? out : "") : std::nullopt;
    g_free(out);
    return s;
}

// The user's side of xfconf: its own command-line client.
std::map<std::string, std::string> backdrop() {
    std::map<std::string, std::string> out;
    std::istringstream in(sh("xfconf-query -c xfce4-desktop -p /backdrop -lv").value_or(""));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("/", 0) == 0)
            out[line.substr(0, line.find(' '))] = line.substr(line.find_first_not_of(' ', line.find(' ')));
    return out;
}

void setXfconf(const std::string& monitorProperty, const char* type, const std::string& value) {
    sh("xfconf-query -c xfce4-desktop -n -p /backdrop/screen0/monitor" + monitorProperty + " -t " + type + " -s '" +
       value + "'");
}

// Plasma's scripting interface as far as wallpapers go, with its screen 0 right of screen 1; the
// desktops live in a JSON file between scripts.
constexpr const char* kPlasmaModel = R"(const fs = require("fs"), file = process.argv[2];
const state = JSON.parse(fs.readFileSync(file, "utf8"));
let printed = "";
function print(s) { printed += s; }
function screenGeometry(i) { return [{x: 2048, y: 0}, {x: 0, y: 0}][i]; }
function desktops() {
  return state.map(c => ({
    get id() { return c.id; }, get screen() { return c.screen; },
    get wallpaperPlugin() { return c.plugin; }, set wallpaperPlugin(p) { c.plugin = p; },
    currentConfigGroup: [],
    readConfig(k) { const g = c.config[this.currentConfigGroup.join("/")] || {}; return k in g ? g[k] : ""; },
    writeConfig(k, v) { const n = this.currentConfigGroup.join("/"); (c.config[n] = c.config[n] || {})[k] = v; },
  }));
}
)";

struct FakePlasma {
    std::string state, script;
    std::atomic<bool> locked = false;
    desktoptest::FakeBusService service;

    FakePlasma(const std::string& d, const Json& desktops)
        : state(d + "/plasma.json"),
          script(d + "/script.js"),
          service(PlasmaWallpaper::kService, "/PlasmaShell",
                  R"(<node><interface name="org.kde.PlasmaShell"><method name="evaluateScript">
                     <arg type="s" direction="in"/><arg type="s" direction="out"/></method></interface></node>)",
                  [this](const std::string&, GVariant* args) { return evaluate(args); }) {
        std::ofstream(state) << desktops.dump();
    }
    GVariant* evaluate(GVariant* args) {
        if (locked) return nullptr;  // locked widgets refuse every script
        const gchar* body = nullptr;
        g_variant_get(args, "(&s)", &body);
        std::ofstream(script) << kPlasmaModel << body
                              << "\nfs.writeFileSync(file, JSON.stringify(state));\nprocess.stdout.write(printed);\n";
        const auto printed = sh("node " + script + " " + state);
        return printed ? g_variant_new("(s)", printed->c_str()) : nullptr;
    }
    Json desktops() const { return Json::parse(slurp(state)); }
};

Json desktop(int id, int screen, const char* plugin, const char* image) {
    const Json config = {{"Wallpaper/org.kde.image/General", {{"Image", image}}}};
    return {{"id", id}, {"screen", screen}, {"plugin", plugin}, {"config", config}};
}

}  // namespace

TEST(XfceWallpaper, EachMonitorAndWorkspaceGetsItsStillAndTheUsersComesBack) {
    const std::string state = dir("xfce"), pictures = state + "/pictures", kept = state + "/wallpaper-xfconf.ini";
    fs::remove_all(std::string(g_get_user_config_dir()) + "/xfce4");  // xfconfd's store, before it starts
    // Defaults in the old layout, without workspaces (Debian ships some), which xfdesktop no longer reads:
    // they stay untouched and do not stand for a monitor.
    setXfconf("0/last-image", "string", "/usr/share/images/old.png");
    const auto system = backdrop();
    // A first start with no backdrop of this monitor yet: created for it, and removed again.
    auto w = XfceWallpaper::make(state, pictures);
    ASSERT_TRUE(w) << "no xfconfd on the session bus";
    ASSERT_TRUE(w->show({{"HDMI-1", still()}}));
    EXPECT_EQ(backdrop()["/backdrop/screen0/monitorHDMI-1/workspace0/image-style"], "3");
    for (const auto& [property, value] : system) EXPECT_EQ(backdrop()[property], value) << property;
    w->restore();
    EXPECT_EQ(backdrop(), system);

    // Two monitors, two workspaces on one, a style that shows no picture.
    setXfconf("HDMI-1/workspace0/last-image", "string", "/home/u/a b.jpg");
    setXfconf("HDMI-1/workspace0/image-style", "int", "5");
    setXfconf("HDMI-1/workspace1/last-image", "string", "/home/u/b.jpg");
    setXfconf("DP-2/workspace0/last-image", "string", "/home/u/c.jpg");
    setXfconf("DP-2/workspace0/image-style", "int", "0");
    const auto user = backdrop();
    ASSERT_EQ(user.size(), system.size() + 5);
    ASSERT_TRUE(w->show({{"DP-2", still()}, {"HDMI-1", still()}}));
    auto shown = backdrop();
    const std::string dp = pictures + "/desktop-still-DP-2-1.png", hdmi = pictures + "/desktop-still-HDMI-1-0.png";
    for (const auto& [property, expected] : std::map<std::string, std::string>{{"HDMI-1/workspace0/last-image", hdmi},
                                                                               {"HDMI-1/workspace1/last-image", hdmi},
                                                                               {"DP-2/workspace0/last-image", dp},
                                                                               {"HDMI-1/workspace0/image-style", "5"},
                                                                               {"HDMI-1/workspace1/image-style", "3"},
                                                                               {"DP-2/workspace0/image-style", "3"}})
        EXPECT_EQ(shown["/backdrop/screen0/monitor" + property], expected) << property;
    EXPECT_TRUE(cg::Image::readPNG(dp));
    w->restore();
    EXPECT_EQ(backdrop(), user);
    EXPECT_FALSE(fs::exists(kept));

    // A run that died with ours set: the next start puts the user's back.
    ASSERT_TRUE(w->show({{"DP-2", still()}}));
    const std::string left = slurp(kept);
    w.reset();
    setXfconf("DP-2/workspace0/last-image", "string", dp);
    std::ofstream(kept) << left;
    ASSERT_TRUE(XfceWallpaper::make(state, pictures));
    EXPECT_EQ(backdrop(), user);
}

TEST(PlasmaWallpaper, EveryDesktopGetsItsScreensStillAndTheUsersComesBack) {
    const std::string d = dir("plasma"), pictures = d + "/pictures", kept = d + "/wallpaper-plasma.ini";
    EXPECT_FALSE(PlasmaWallpaper::make(d, pictures));  // no shell on the bus
    const Json user = {desktop(1, 0, "org.kde.image", "file:///home/u/a \"b\".jpg"), desktop(2, 1, "org.kde.color", ""),
                       desktop(7, -1, "org.kde.image", "file:///x.png")};
    FakePlasma plasma(d, user);
    ASSERT_TRUE(plasma.service.ok());
    auto w = PlasmaWallpaper::make(d, pictures);
    ASSERT_TRUE(w);
    plasma.locked = true;
    EXPECT_FALSE(w->show({{"", still()}}));
    EXPECT_FALSE(w->active());
    EXPECT_FALSE(fs::exists(kept));
    plasma.locked = false;

    // Each screen the still of the monitor at its place; a desktop of no screen the first.
    ASSERT_TRUE(w->show({{"", still(), 0, 0}, {"", still(), 2048, 0}}));
    const Json shown = plasma.desktops();
    for (const auto& [i, picture] : std::map<size_t, std::string>{{0, "1-"}, {1, "0-"}, {2, "0-"}}) {
        EXPECT_EQ(shown[i]["plugin"], "org.kde.image") << i;
        const std::string image = shown[i]["config"]["Wallpaper/org.kde.image/General"]["Image"];
        EXPECT_EQ(image.rfind("file://" + pictures + "/desktop-still-" + picture, 0), 0u) << image;
    }
    w->restore();
    EXPECT_EQ(plasma.desktops(), user);

    // Left saved by a run that died: given back on the next start.
    ASSERT_TRUE(w->show({{"", still()}}));
    const std::string left = slurp(kept);
    w.reset();
    std::ofstream(plasma.state) << shown.dump();
    std::ofstream(kept) << left;
    ASSERT_TRUE(PlasmaWallpaper::make(d, pictures));
    EXPECT_EQ(plasma.desktops(), user);
    EXPECT_FALSE(fs::exists(kept));
}

TEST(PcmanfmWallpaper, SetsThroughTheProgramAndGivesTheProfilesSettingBack) {
    const std::string config = g_get_user_config_dir();
    struct Case {
        const char* program;
        std::vector<std::string> arguments;
        const char* file;  // under the configuration directory; empty for none
        const char* contents;
        std::vector<std::string> restored;  // the restoring command; empty when nothing may change
    };
    const std::vector<Case> cases{
        {"pcmanfm",
         {"pcmanfm", "--desktop", "--profile", "LXDE"},
         "pcmanfm/LXDE/desktop-items-0.conf",
         "[*]\nwallpaper_mode=crop\nwallpaper=/home/u/p.jpg\n",
         {"pcmanfm", "--set-wallpaper=/home/u/p.jpg", "--wallpaper-mode=crop"}},
        {"pcmanfm-qt",
         {"pcmanfm-qt", "--profile=lxqt"},
         "pcmanfm-qt/lxqt/settings.conf",
         "[Desktop]\nWallpaperMode=zoom\nWallpaper=/usr/share/x.png\nBgColor=#000000\n",
         {"pcmanfm-qt", "--set-wallpaper=/usr/share/x.png", "--wallpaper-mode=zoom"}},
        // A colour only: no picture to give back, just the mode.
        {"pcmanfm",
         {"pcmanfm"},
         "pcmanfm/default/desktop-items-0.conf",
         "[*]\nwallpaper_mode=color\n",
         {"pcmanfm", "--wallpaper-mode=color"}},
        // No configuration to read the user's setting from (the profile may not climb out): left alone.
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
        auto run = [&](const std::vector<std::string>& command) { return ran.push_back(command), works; };
        auto w = PcmanfmWallpaper::make(c.program, c.arguments, d, pictures, run);
        ASSERT_TRUE(w);
        ASSERT_EQ(w->show({{"", still()}}), !c.restored.empty()) << c.program;
        if (c.restored.empty()) {
            EXPECT_TRUE(ran.empty());
            continue;
        }
        EXPECT_EQ(ran.at(0),
                  (std::vector<std::string>{c.program, "--set-wallpaper=" + pictures + "/desktop-still-1.png",
                                            "--wallpaper-mode=stretch"}));
        // The program fails to restore: the setting stays kept, and the next start gives it back.
        works = false;
        w.reset();
        works = true;
        ASSERT_TRUE(PcmanfmWallpaper::make(c.program, c.arguments, d, pictures, run));
        ASSERT_EQ(ran.size(), 3u);
        EXPECT_EQ(ran[1], c.restored);
        EXPECT_EQ(ran[2], c.restored);
        EXPECT_FALSE(fs::exists(d + "/wallpaper-" + c.program + ".ini"));
    }
}

TEST(WallpaperSession, EachIconManagerGetsItsDesktopsBackEnd) {
    enum Kind { none, gsettings, xfce, pcmanfm, plasma };
    const auto kind = [](const Wallpaper* w) {
        return !w ? none
               : dynamic_cast<const StillWallpaper*>(w)   ? gsettings
               : dynamic_cast<const XfceWallpaper*>(w)    ? xfce
               : dynamic_cast<const PcmanfmWallpaper*>(w) ? pcmanfm
               : dynamic_cast<const PlasmaWallpaper*>(w)  ? plasma
                                                          : none;
    };
    const std::string d = dir("sessions");
    for (const auto& [manager, desktop, expected] :
         {std::tuple{"xfdesktop", "", xfce}, {"XFCE_DESKTOP_WINDOW", "", xfce}, {"desktop_window", "LXDE", pcmanfm},
          {"pcmanfm-qt", "LXQt", pcmanfm}, {"nautilus", "GNOME", gsettings}, {"", "ubuntu:GNOME", gsettings},
          {"caja", "MATE", none} /* no MATE schema here */, {"plasmashell", "KDE", none} /* no Plasma shell */})
        EXPECT_EQ(kind(Wallpaper::forSession({manager, desktop, {}}, d, d).get()), expected) << manager;
}

TEST(ShellWallpaper, XfdesktopGetsTheStillOfEachMonitorByItsName) {
    ASSERT_TRUE(mainloop::init());
    fs::remove_all(std::string(g_get_user_config_dir()) + "/xfce4");
    setXfconf("screen/workspace0/last-image", "string", "/home/u/xfce.jpg");  // Xvfb's monitor is "screen"
    const auto user = backdrop();
    const std::string d = dir("shell-xfce");
    DesktopShell shell({{}, d + "/state", d + "/pictures", {}, {}});
    shell.show(0, desktoptest::scene(64, 64, 0), 0.1);
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    x->setRootWindowProperty("XFCE_DESKTOP_WINDOW",
                             x->createWindow("xfdesktop", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 99, 99));
    shell.restack();
    EXPECT_EQ(shell.mode(), DesktopShell::Mode::stillPicture);
    const std::string shown = backdrop()["/backdrop/screen0/monitorscreen/workspace0/last-image"];
    EXPECT_EQ(shown.rfind(d + "/pictures/desktop-still-screen-", 0), 0u) << shown;
    shell.restoreWallpaper();
    EXPECT_EQ(backdrop(), user);
}
