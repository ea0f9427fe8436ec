// Our class on Nemo's list of desktop handlers it ignores, against Nemo's own installed settings schema
// (in GSettings' memory back end, so a user's real settings are never touched).
#include "Platform/Desktop/NemoHandlers.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::string>;

struct Nemo {
    GSettings* s = g_settings_new("org.nemo.desktop");
    ~Nemo() {
        g_settings_reset(s, "ignored-desktop-handlers");
        g_object_unref(s);
    }
    List list() const {
        List out;
        gchar** v = g_settings_get_strv(s, "ignored-desktop-handlers");
        for (gchar** p = v; p && *p; ++p) out.emplace_back(*p);
        g_strfreev(v);
        return out;
    }
    void set(const List& list) {
        std::vector<const gchar*> raw;
        for (const auto& e : list) raw.push_back(e.c_str());
        raw.push_back(nullptr);
        g_settings_set_strv(s, "ignored-desktop-handlers", raw.data());
    }
};

std::string stateDir() {
    const std::string dir = std::filesystem::temp_directory_path() / ("vm-nemo-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    return dir;
}

}  // namespace

TEST(NemoHandlers, AddsOnceAndTakesAwayOnlyItsOwnEntry) {
    struct Case {
        const char* name;
        List list, added, removedFrom, removed;
    };
    const Case cases[] = {
        {"Nemo's default", {"conky"}, {"conky", "vistamere"}, {"conky", "vistamere"}, {"conky"}},
        {"empty", {}, {"vistamere"}, {"vistamere", "x"}, {"x"}},
        {"there in another case", {"Vistamere", "conky"}, {"Vistamere", "conky"}, {"VISTAMERE", "a", "vistamere"}, {"a"}},
        {"a longer name", {"vistamere-old"}, {"vistamere-old", "vistamere"}, {"vistamere-old"}, {"vistamere-old"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NemoHandlers::with(c.list, "vistamere"), c.added) << c.name;
        EXPECT_EQ(NemoHandlers::without(c.removedFrom, "vistamere"), c.removed) << c.name;
    }
}

TEST(NemoHandlers, ListsUsWhileRunningAndLeavesTheListAsItWas) {
    const std::string state = stateDir();
    Nemo nemo;
    ASSERT_EQ(nemo.list(), List{"conky"}) << "Nemo's default list";
    {
        NemoHandlers handlers("vistamere", state);
        EXPECT_TRUE(handlers.listed());
        EXPECT_EQ(nemo.list(), (List{"conky", "vistamere"}));
        // The user edits the list meanwhile: the edit stays.
        nemo.set({"conky", "vistamere", "mydock"});
    }
    EXPECT_EQ(nemo.list(), (List{"conky", "mydock"}));
    EXPECT_FALSE(std::filesystem::exists(state + "/nemo-handler-listed"));

    // The user's own entry is theirs: never taken away.
    nemo.set({"Vistamere"});
    {
        NemoHandlers handlers("vistamere", state);
        EXPECT_FALSE(handlers.listed());
    }
    EXPECT_EQ(nemo.list(), List{"Vistamere"});

    // A run that was killed left its entry and its marker: the next run takes it away on quit.
    nemo.set({"conky", "vistamere"});
    std::filesystem::create_directories(state);
    std::ofstream(state + "/nemo-handler-listed");
    {
        NemoHandlers next("vistamere", state);
        EXPECT_TRUE(next.listed());
    }
    EXPECT_EQ(nemo.list(), List{"conky"});
    std::filesystem::remove_all(state);
}
