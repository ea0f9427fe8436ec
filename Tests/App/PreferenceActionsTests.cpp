// `apply`: what it stores, and whether it re-renders or re-synchronises the folders.

#include "App/PreferenceActions.h"

#include <gtest/gtest.h>

#include <vector>

#include "App/AppTestSupport.h"
#include "App/Defaults.h"

namespace {

TEST(PreferenceActions, StoresAndReactsPerKey) {
    struct Case {
        const char* name;
        Defaults::Values before;
        const char* key;
        PreferenceValue value;
        Defaults::Values after;
        int renders;
        std::vector<bool> syncs;  // putBack of each synchronisation
    };
    const Case cases[] = {
        {"the scene already shown", {"reef"}, "scene", std::string("reef"), {"reef"}, 1, {}},
        {"a scene turns daily off", {"reef", true}, "scene", std::string("pond"), {"pond", false}, 1, {}},
        {"daily on", {"reef"}, "daily", true, {"reef", true}, 1, {}},
        {"lighting", {"", false, 0}, "lighting", int64_t{2}, {"", false, 2}, 1, {}},
        {"match scene from original", {}, "folders", int64_t{1}, {"", false, 0, 1}, 0, {false}},
        {"original from match scene", {"", false, 0, 1}, "folders", int64_t{0}, {}, 0, {true}},
        {"match scene again", {"", false, 0, 1}, "folders", int64_t{1}, {"", false, 0, 1}, 0, {}},
        {"original again", {}, "folders", int64_t{0}, {}, 0, {}},
        {"a value of the wrong type", {"", false, 1}, "lighting", std::string("2"), {"", false, 1}, 0, {}},
        {"an unknown key", {}, "speed", int64_t{3}, {}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Defaults defaults(dir.path());
        defaults.setScene(c.before.scene);
        defaults.setDaily(c.before.daily);
        defaults.setLighting(c.before.lighting);
        defaults.setFolders(c.before.folders);
        std::vector<double> renders;
        std::vector<bool> syncs;
        PreferenceActions actions(defaults, {[&](double fade) { renders.push_back(fade); },
                                             [&](bool putBack) { syncs.push_back(putBack); }});
        actions.apply(c.key, c.value);
        EXPECT_EQ(Defaults::Values({defaults.scene(), defaults.daily(), defaults.lighting(), defaults.folders()}),
                  c.after);
        EXPECT_EQ(renders, std::vector<double>(std::size_t(c.renders), 0.7));
        EXPECT_EQ(syncs, c.syncs);
    }
}

// The application's own reactions to the file stand back while `apply` writes, and only then.
TEST(PreferenceActions, ReportsApplyingOnlyDuringItsWrites) {
    TempDir dir;
    Defaults defaults(dir.path());
    PreferenceActions actions(defaults, {});
    std::vector<bool> seen;
    for (auto key : {Defaults::Key::scene, Defaults::Key::daily, Defaults::Key::lighting})
        defaults.onChange(key, [&] { seen.push_back(actions.applying()); });
    defaults.setDaily(true);
    actions.apply("scene", std::string("sea"));  // the scene, then daily off
    actions.apply("lighting", int64_t{1});
    defaults.setLighting(2);
    EXPECT_EQ(seen, (std::vector<bool>{false, true, true, true, false}));
}

}  // namespace
