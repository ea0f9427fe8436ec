#include "App/AppCore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "App/AppFakes.h"
#include "Finder/TempDir.h"

namespace {

using namespace std::chrono;

struct Window : SceneWindow {
    Monitor mon;
    std::vector<double> fades;
    explicit Window(Monitor m) : mon(m) {}
    Monitor monitor() const override { return mon; }
    PlacementMap placed() const override { return {}; }
    void show(const RenderedScene&, double fade) override { fades.push_back(fade); }
};

struct Shell : AppShell {
    size_t monitors = 2;
    int builds = 0;
    bool visible = true;
    std::vector<std::shared_ptr<Window>> windows;
    std::vector<bool> animating;
    std::vector<double> fadeOuts;

    std::vector<std::shared_ptr<SceneWindow>> buildWindows() override {
        ++builds;
        windows.clear();
        for (size_t i = 0; i < monitors; ++i)
            windows.push_back(std::make_shared<Window>(Monitor{{1280.0 * double(i), 0, 1280, 1440}, 1}));
        animating.assign(monitors, true);
        return {windows.begin(), windows.end()};
    }
    void setAnimating(size_t index, bool on) override { animating.at(index) = on; }
    bool anyVisible() const override { return visible; }
    void fadeOut(double seconds) override { fadeOuts.push_back(seconds); }
};

struct Settings : SystemSettings {
    bool dark = false, reduce = false;
    bool darkAppearance() const override { return dark; }
    bool reduceMotion() const override { return reduce; }
};

RenderedScene named(const SceneSpec& spec, const PlacementMap&) {
    RenderedScene r;
    r.image = cg::Image::fromARGB32(1, 1, {0xff000000u});
    r.style = scene_kind::rawValue(spec.kind);
    return r;
}

// The fake clock starts 100 s before midnight of 8 December 2026; the date follows it.
struct Rig {
    TempDir dir;
    Defaults defaults{dir.path()};
    std::shared_ptr<FakeMain> main = std::make_shared<FakeMain>();
    std::shared_ptr<FakeWorkers> renders = std::make_shared<FakeWorkers>(), idle = std::make_shared<FakeWorkers>();
    std::shared_ptr<FakeTimers> timers = std::make_shared<FakeTimers>();
    RenderPasses passes{{main, renders, idle, named, [](const cg::ImageRef& i, const SceneSpec&, const std::vector<Sprite>&) { return i; }}};
    FolderSyncDriver folders{main, idle, [](const auto&, auto) { return std::nullopt; }, [] { return std::nullopt; }};
    std::shared_ptr<Shell> shell = std::make_shared<Shell>();
    std::shared_ptr<Settings> settings = std::make_shared<Settings>();
    static constexpr double start = 86400 - 100;
    bool writing = false;  // the status menu writing a preference and reacting to it itself
    std::vector<double> releases;  // when the kept memory was released
    AppCore core{defaults, passes, folders,
                 {main, timers, shell, settings,
                  [t = timers] { return year_month_day{sys_days{2026y / 12 / 8} + days{int(std::floor(t->now / 86400))}}; },
                  [t = timers] { return 86400 - std::fmod(t->now, 86400); },
                  [this] { return writing; },
                  {},
                  [this] { releases.push_back(timers->now - start); }}};

    Rig() { timers->now = start; }
    // Lets everything queued run, and every render finish and land.
    void finishRenders() {
        while (!renders->jobs.empty() || !main->posts.empty()) {
            main->drain();
            for (auto& job : std::exchange(renders->jobs, {})) job();
        }
    }
};

TEST(AppCore, AnAppearanceChangeRendersWithTheLongFadeOnlyWhileLightingFollowsIt) {
    for (int64_t lighting : {0, 1, 2}) {
        SCOPED_TRACE(lighting);
        Rig rig;
        rig.defaults.setLighting(lighting);
        rig.core.launch();
        rig.finishRenders();
        const int64_t before = rig.passes.generation();
        rig.core.appearanceChanged();
        rig.core.appearanceChanged();  // one theme switch reports several settings
        EXPECT_EQ(rig.passes.generation(), before) << "the change is taken up on the next turn of the loop";
        rig.main->drain();
        EXPECT_EQ(rig.passes.generation(), before + (lighting == 0 ? 1 : 0));
        rig.finishRenders();
        const std::vector<double> fades = lighting == 0 ? std::vector<double>{0.7, 3} : std::vector<double>{0.7};
        EXPECT_EQ(rig.shell->windows[0]->fades, fades);
    }
}

TEST(AppCore, AnEditOfSeveralPreferencesMakesOnePassUnlessItsWriterReacts) {
    for (bool writing : {false, true}) {
        SCOPED_TRACE(writing);
        Rig rig;
        rig.core.launch();
        rig.finishRenders();
        const int64_t before = rig.passes.generation();
        rig.writing = writing;
        rig.defaults.setScene("pond");
        rig.defaults.setLighting(2);
        rig.main->drain();
        EXPECT_EQ(rig.passes.generation(), before + (writing ? 0 : 1));
    }
}

TEST(AppCore, MonitorsAddedOrRemovedRebuildEveryWindowAndRenderThemAll) {
    const std::pair<size_t, size_t> changes[] = {{1, 2}, {2, 1}, {2, 0}, {0, 2}};
    for (auto [from, to] : changes) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        Rig rig;
        rig.shell->monitors = from;
        rig.core.launch();
        rig.finishRenders();
        rig.shell->monitors = to;
        rig.core.monitorsChanged();
        EXPECT_EQ(rig.shell->builds, 2);
        EXPECT_EQ(rig.core.windows().size(), to);
        EXPECT_EQ(rig.renders->jobs.size(), to);
        rig.finishRenders();
        for (const auto& w : rig.shell->windows) EXPECT_EQ(w->fades, std::vector<double>{0.7});
    }
}

TEST(AppCore, AnimationRunsOnlyOnVisibleWindowsOfAnUnlockedSessionWithMotion) {
    struct Step {
        const char* what;
        std::function<void(Rig&)> act;
        std::vector<bool> animating;
    };
    const Step steps[] = {
        {"launched", [](Rig&) {}, {true, true}},
        {"right window covered", [](Rig& r) { r.core.occlusionChanged(1, false); }, {true, false}},
        {"reduce motion on", [](Rig& r) { r.settings->reduce = true, r.core.reduceMotionChanged(); }, {false, false}},
        {"right window uncovered", [](Rig& r) { r.core.occlusionChanged(1, true); }, {false, false}},
        {"reduce motion off", [](Rig& r) { r.settings->reduce = false, r.core.reduceMotionChanged(); }, {true, true}},
        {"a window that is not there", [](Rig& r) { r.core.occlusionChanged(2, false); }, {true, true}},
        {"screen locked", [](Rig& r) { r.core.sessionLockChanged(true); }, {false, false}},
        {"left window covered", [](Rig& r) { r.core.occlusionChanged(0, false); }, {false, false}},
        {"monitors changed while locked", [](Rig& r) { r.core.monitorsChanged(); }, {false, false}},
        {"screen unlocked: the new windows count as seen", [](Rig& r) { r.core.sessionLockChanged(false); }, {true, true}},
        {"left window covered", [](Rig& r) { r.core.occlusionChanged(0, false); }, {false, true}},
    };
    Rig rig;
    rig.core.launch();
    for (const Step& step : steps) {
        step.act(rig);
        EXPECT_EQ(rig.shell->animating, step.animating) << step.what;
    }
}

TEST(AppCore, QuittingFadesVisibleWindowsOutForHalfASecondFirst) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible);
        Rig rig;
        rig.core.launch();
        rig.shell->visible = visible;
        int done = 0;
        rig.core.quit([&] { ++done; });
        rig.core.quit([&] { ++done; });  // a second signal while fading
        EXPECT_EQ(rig.shell->fadeOuts, (visible ? std::vector<double>{0.5} : std::vector<double>{}));
        EXPECT_EQ(done, visible ? 0 : 1);
        rig.timers->advance(0.49);
        EXPECT_EQ(done, visible ? 0 : 1);
        rig.timers->advance(0.02);
        EXPECT_EQ(done, 1);
        const int64_t passes = rig.passes.generation();
        rig.core.renderAll(0.7);
        EXPECT_EQ(rig.passes.generation(), passes) << "nothing more is painted once quitting";
    }
}

TEST(AppCore, ANewDayRendersOnlyWithTheDailyScene) {
    struct Case {
        bool daily;
        double seconds;  // from 100 s before midnight
        int64_t passes;
    };
    const Case cases[] = {{true, 99, 0}, {true, 101, 1}, {false, 101, 0}, {true, 86400 + 101, 2}, {true, 3 * 3600, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.daily) + " " + std::to_string(c.seconds));
        Rig rig;
        rig.defaults.setDaily(c.daily);
        rig.core.launch();
        const int64_t before = rig.passes.generation();
        rig.timers->advance(c.seconds);
        EXPECT_EQ(rig.passes.generation() - before, c.passes);
    }
}

// The memory renders keep goes back once, two minutes after the last pass of a burst: every pass in
// between (here moving icons, then a monitor added) starts the two minutes again.
TEST(AppCore, KeptMemoryIsReleasedTwoMinutesAfterTheLastPass) {
    struct Case {
        std::vector<double> passesAt;  // seconds after launch: a new icon layout each time
        double until;
        std::vector<double> releases;  // seconds after the start of the clock
    };
    const Case cases[] = {
        {{}, 119, {}},
        {{}, 121, {120}},
        {{60, 100}, 219, {}},
        {{60, 100}, 400, {220}},
        {{30, 300}, 500, {150, 420}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.until);
        Rig rig;
        rig.defaults.setDaily(false);  // no pass of its own at midnight
        rig.core.launch();
        double at = 0;
        int n = 0;
        for (double pass : c.passesAt) {
            rig.timers->advance(pass - at);
            at = pass;
            DeskLayout layout;
            layout.iconSize = 48 + ++n;
            if (n == 2) rig.core.monitorsChanged();
            else rig.core.setLayout(layout);
        }
        rig.timers->advance(c.until - at);
        EXPECT_EQ(rig.releases, c.releases);
    }
}

}  // namespace
