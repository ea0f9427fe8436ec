#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "App/AppFakes.h"
#include "App/TouchController.h"

namespace {

using Touch = TouchController::Touch;
using WindowInfo = TouchController::WindowInfo;

struct FakeSurface : TouchController::Surface {
    cg::Rect frameRect{0, 0, 1200, 800};
    bool shown = true, water = true;
    std::vector<cg::Point> walkers;
    int setOffs = 0;
    std::vector<std::tuple<cg::Point, bool, bool>> ripples;

    cg::Rect frame() const override { return frameRect; }
    bool visible() const override { return shown; }
    std::function<void()> walkerAt(cg::Point q) const override {
        for (cg::Point w : walkers)
            if (w == q) return [self = const_cast<FakeSurface*>(this)] { ++self->setOffs; };
        return {};
    }
    bool wet(cg::Point) const override { return water; }
    void ripple(cg::Point q, bool night, bool glow) override { ripples.emplace_back(q, night, glow); }
};

DeskLayout layoutWith(std::vector<cg::Point> centers, bool labelsRight = false) {
    DeskLayout l;
    l.centers = std::move(centers);
    l.labelsRight = labelsRight;
    return l;
}

struct Rig {
    std::shared_ptr<FakeTimers> timers = std::make_shared<FakeTimers>();
    std::shared_ptr<FakeSurface> surface = std::make_shared<FakeSurface>();
    std::shared_ptr<FakeSurface> second;  // a second monitor, when set
    std::vector<std::string> traces;
    std::vector<std::function<void(const FinderResult&)>> waiting;  // reads in flight
    std::vector<double> readTimes;
    std::vector<DeskLayout> changes;
    std::vector<std::optional<FinderError>> errors;
    std::optional<WindowInfo> top;
    std::vector<WindowInfo> windows;
    bool reduceMotion = false, night = false;
    SceneKind scene = SceneKind::sea;
    std::unique_ptr<TouchController> touch;

    Rig() {
        TouchController::Services s;
        s.timers = timers;
        s.read = [this](auto done) {
            readTimes.push_back(timers->now);
            waiting.push_back(std::move(done));
        };
        s.surfaces = [this] {
            std::vector<std::shared_ptr<TouchController::Surface>> out{surface};
            if (second) out.push_back(second);
            return out;
        };
        s.screens = [this] { return std::vector<TouchController::Screen>{{surface->frameRect, surface->frameRect}}; };
        s.windows = [this] { return windows; };
        s.windowAt = [this](cg::Point) { return top; };
        s.reduceMotion = [this] { return reduceMotion; };
        s.scene = [this] { return scene; };
        s.night = [this] { return night; };
        s.layoutChanged = [this](const DeskLayout& l) { changes.push_back(l); };
        s.errorChanged = [this](const std::optional<FinderError>& e) { errors.push_back(e); };
        s.trace = [this](const std::string& line) { traces.push_back(line); };
        touch = std::make_unique<TouchController>(std::move(s));
    }
    // Answers every read in flight.
    void answer(const FinderResult& r) {
        for (auto& done : std::exchange(waiting, {})) done(r);
    }
};

TEST(TouchReads, ABurstOfTriggersGivesOneReadScheduledByTheLast) {
    Rig rig;
    rig.touch->start();
    rig.timers->advanceTo(0.01);
    ASSERT_EQ(rig.readTimes, std::vector<double>{0});
    rig.answer(DeskLayout{});
    for (double t : {0.5, 0.6, 0.7}) {
        rig.timers->advanceTo(t);
        rig.touch->released({10, 10});
    }
    rig.timers->advanceTo(0.94);
    EXPECT_EQ(rig.readTimes.size(), 1u) << "no read before the last trigger's delay is up";
    rig.timers->advanceTo(1.5);
    ASSERT_EQ(rig.readTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(rig.readTimes[1], 0.95);
    rig.answer(DeskLayout{});
    // The 2 s poll reads while the desktop shows, and not while ordinary windows cover it.
    rig.timers->advanceTo(2.5);
    EXPECT_EQ(rig.readTimes.size(), 3u);
    rig.answer(DeskLayout{});
    rig.windows = {{0, 1.0, cg::Rect(0, 0, 1200, 800)}};
    rig.timers->advanceTo(6.5);
    EXPECT_EQ(rig.readTimes.size(), 3u);
    EXPECT_EQ(rig.touch->reads(), 3);
}

TEST(TouchReads, SkippedBeforeStartWhileHiddenAndOverOtherWindows) {
    Rig rig;
    rig.touch->readFinder(0);
    rig.timers->advanceTo(1);
    EXPECT_TRUE(rig.readTimes.empty()) << "not ready yet";
    rig.surface->shown = false;
    rig.touch->start();
    rig.touch->occlusionChanged();
    rig.timers->advanceTo(5);
    EXPECT_TRUE(rig.readTimes.empty()) << "every desktop window hidden";
    rig.surface->shown = true;
    rig.top = WindowInfo{0, 1.0, cg::Rect(0, 0, 100, 100)};
    rig.touch->released({10, 10});
    rig.timers->advanceTo(5.4);
    EXPECT_TRUE(rig.readTimes.empty()) << "a release over another window";
    rig.touch->sourceChanged();
    rig.timers->advanceTo(5.5);
    EXPECT_EQ(rig.readTimes.size(), 1u);
}

TEST(TouchReads, OnlyADifferentLayoutIsHandedOnAndRefusalsAreRemembered) {
    Rig rig;
    rig.touch->start();
    const DeskLayout a = layoutWith({{100, 100}});
    const DeskLayout labelsRight = layoutWith({{100, 100}}, true);
    const FinderError denied{"Finder", TouchController::deniedCode, "refused"};
    const FinderError timeout{"Finder", FinderError::unavailable, "slow"};
    const FinderError slower{"Finder", FinderError::unavailable, "slower"};
    struct Step {
        FinderResult result;
        size_t changes, errorChanges;
        bool denied;
    };
    const Step steps[] = {{a, 1, 0, false},          {a, 1, 0, false},       {denied, 1, 1, true},
                          {denied, 1, 1, true},      {labelsRight, 2, 2, false}, {timeout, 2, 3, false},
                          {slower, 2, 4, false},     {denied, 2, 5, true},   {timeout, 2, 6, false},
                          {a, 3, 7, false}};
    for (const Step& step : steps) {
        rig.touch->readFinder(0);
        rig.timers->advanceTo(rig.timers->now + 0.1);
        rig.answer(step.result);
        EXPECT_EQ(rig.changes.size(), step.changes);
        EXPECT_EQ(rig.errors.size(), step.errorChanges);
        EXPECT_EQ(rig.touch->finderDenied(), step.denied);
        EXPECT_EQ(rig.errors.empty() ? std::nullopt : rig.errors.back(), rig.touch->lastError());
    }
    EXPECT_EQ(rig.touch->layout(), a);
}

TEST(TouchReads, ANewLayoutIsTracedWithEachMonitorsCentresInItsOwnPoints) {
    Rig rig;
    // A second monitor right of the first, reaching 200 points further down (global y runs up).
    rig.second = std::make_shared<FakeSurface>();
    rig.second->frameRect = cg::Rect(1200, -200, 1000, 1000);
    rig.touch->start();
    rig.timers->advanceTo(0.01);
    rig.answer(layoutWith({{100.5, 300}, {1250, 50}, {2000, 900.5}, {5000, 10}}));
    const std::vector<std::string> want = {"icon layout changed: 4 icons",
                                           "icon centres on monitor 0: 100.5,300.0",
                                           "icon centres on monitor 1: 50.0,50.0 800.0,900.5"};
    EXPECT_EQ(rig.traces, want);
    // The same layout again says nothing.
    rig.touch->readFinder(0);
    rig.timers->advanceTo(0.2);
    rig.answer(layoutWith({{100.5, 300}, {1250, 50}, {2000, 900.5}, {5000, 10}}));
    EXPECT_EQ(rig.traces.size(), want.size());
}

// A screen at 1200 × 800 whose probe cells are 100 × 100; every cell from `open` on is covered.
std::vector<WindowInfo> coverAllBut(int open, double screenX = 0) {
    std::vector<WindowInfo> out;
    for (int i = open; i < 96; ++i)
        out.push_back({0, std::nullopt, cg::Rect(screenX + (i % 12) * 100, (i / 12) * 100, 100, 100)});
    return out;
}

TEST(TouchDesktop, ShowsWhenFivePercentOfTheProbesAreUncovered) {
    const TouchController::Levels levels{-1, 20};
    const TouchController::Screen one{cg::Rect(0, 0, 1200, 800), cg::Rect(0, 0, 1200, 800)};
    const TouchController::Screen two{cg::Rect(1200, 0, 1200, 800), cg::Rect(1200, 0, 1200, 800)};
    const auto both = [](std::vector<WindowInfo> a, const std::vector<WindowInfo>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const cg::Rect all(0, 0, 2400, 800);
    struct Case {
        const char* name;
        std::vector<TouchController::Screen> screens;
        std::vector<WindowInfo> windows;
        bool showing;
    };
    const Case cases[] = {
        {"four probes open", {one}, coverAllBut(4), false},
        {"five probes open", {one}, coverAllBut(5), true},
        {"two screens, nine open", {one, two}, both(coverAllBut(5), coverAllBut(4, 1200)), false},
        {"two screens, ten open", {one, two}, both(coverAllBut(10), coverAllBut(0, 1200)), true},
        {"an ordinary window", {one}, {{0, 1.0, all}}, false},
        {"alpha 0", {one}, {{0, 0.0, all}}, true},
        {"at the dock's level", {one}, {{20, 1.0, all}}, true},
        {"at the icons' level", {one}, {{-1, 1.0, all}}, true},
        {"no level", {one}, {{std::nullopt, 1.0, all}}, true},
        {"no bounds", {one}, {{0, 1.0, std::nullopt}}, true},
        {"just above the icons", {one}, {{0, std::nullopt, all}}, false},
        {"the right edge is outside", {one}, {{0, 1.0, cg::Rect(0, 0, 1150, 800)}}, true},
        {"the left edge is inside", {one}, {{0, 1.0, cg::Rect(50, 0, 1101, 800)}}, false},
        {"no screen", {}, {{0, 1.0, all}}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(TouchController::desktopShowing(c.screens, c.windows, levels), c.showing) << c.name;
    // The probes stay within the visible frame: a panel's strip is never probed.
    const TouchController::Screen panelled{cg::Rect(0, 0, 1200, 800), cg::Rect(0, 0, 1200, 760)};
    EXPECT_TRUE(TouchController::desktopShowing({panelled}, {{0, 1.0, cg::Rect(0, 0, 1200, 40)}}, levels));
    EXPECT_FALSE(TouchController::desktopShowing({panelled}, {{0, 1.0, cg::Rect(0, 40, 1200, 760)}}, levels));
}

TEST(TouchClicks, WalkersAndWaterAnswerClicksAwayFromIconsAndOtherWindowsAndGlowAtNightOutOfWinter) {
    // The icon stands at (600, 200) from the screen's top left: 41 points down is its label, 80 is not.
    struct Case {
        const char* name;
        cg::Point local;
        bool reduceMotion, water, walker, labelsRight;
        std::optional<WindowInfo> top;
        Touch touch;
        SceneKind scene = SceneKind::sea;
        bool night = false, glow = false;
    };
    const WindowInfo ordinary{0, 1.0, cg::Rect(0, 0, 1200, 800)}, desktop{-1, 1.0, cg::Rect(0, 0, 1200, 800)};
    const Case cases[] = {
        {"80 below the centre", {600, 280}, false, true, false, false, std::nullopt, Touch::ripple},
        {"41 below the centre", {600, 241}, false, true, false, false, std::nullopt, Touch::onIcon},
        {"75 below: the box's last row", {600, 275}, false, true, false, false, std::nullopt, Touch::onIcon},
        {"76 below", {600, 276}, false, true, false, false, std::nullopt, Touch::ripple},
        {"41 below, labels right", {600, 241}, false, true, false, true, std::nullopt, Touch::ripple},
        {"right of the icon, labels right", {700, 200}, false, true, false, true, std::nullopt, Touch::onIcon},
        {"right of the icon, labels below", {700, 200}, false, true, false, false, std::nullopt, Touch::ripple},
        {"reduce motion", {600, 600}, true, true, true, false, std::nullopt, Touch::reducedMotion},
        {"dry land", {600, 600}, false, false, false, false, std::nullopt, Touch::dry},
        {"a walker on dry land", {600, 600}, false, false, true, false, std::nullopt, Touch::walker},
        {"a walker on the label", {600, 241}, false, false, true, false, std::nullopt, Touch::onIcon},
        {"under an ordinary window", {600, 600}, false, true, true, false, ordinary, Touch::covered},
        {"over our own desktop window", {600, 600}, false, true, false, false, desktop, Touch::ripple},
        {"a window without a level", {600, 600}, false, true, false, false, WindowInfo{}, Touch::covered},
        // Ripples glow at night, never in winter.
        {"sea by night", {600, 600}, false, true, false, false, std::nullopt, Touch::ripple, SceneKind::sea, true, true},
        {"winter by night", {600, 600}, false, true, false, false, std::nullopt, Touch::ripple, SceneKind::winter, true, false},
        {"winter by day", {600, 600}, false, true, false, false, std::nullopt, Touch::ripple, SceneKind::winter, false, false},
        {"pond by night", {600, 600}, false, true, false, false, std::nullopt, Touch::ripple, SceneKind::pond, true, true},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.touch->start();
        rig.timers->advanceTo(0.1);
        rig.answer(layoutWith({{600, 200}}, c.labelsRight));
        ASSERT_EQ(rig.changes.size(), 1u);
        rig.reduceMotion = c.reduceMotion;
        rig.surface->water = c.water;
        if (c.walker) rig.surface->walkers = {c.local};
        rig.top = c.top;
        rig.scene = c.scene;
        rig.night = c.night;
        const Touch touch = rig.touch->touched({c.local.x, 800 - c.local.y});
        EXPECT_EQ(touch, c.touch) << c.name << ": " << TouchController::name(touch);
        EXPECT_EQ(rig.surface->setOffs, touch == Touch::walker ? 1 : 0) << c.name;
        ASSERT_EQ(rig.surface->ripples.size(), touch == Touch::ripple ? 1u : 0u) << c.name;
        if (touch == Touch::ripple) {
            EXPECT_EQ(rig.surface->ripples[0], std::make_tuple(c.local, c.night, c.glow)) << c.name;
        }
    }
}

TEST(TouchClicks, TheFirstWindowHoldingThePointTakesTheClickInItsOwnCoordinates) {
    Rig rig;
    auto second = std::make_shared<FakeSurface>();
    second->frameRect = cg::Rect(1200, -200, 1000, 1000);  // taller, reaching below the first screen
    TouchController::Services s;
    s.timers = rig.timers;
    s.surfaces = [&] { return std::vector<std::shared_ptr<TouchController::Surface>>{rig.surface, second}; };
    s.screens = [&] { return std::vector<TouchController::Screen>{{rig.surface->frameRect, rig.surface->frameRect}}; };
    s.windowAt = [](cg::Point) { return std::nullopt; };
    s.scene = [] { return SceneKind::sea; };
    s.night = [] { return false; };
    TouchController touch(std::move(s));
    EXPECT_EQ(touch.touched({1200, 0}), Touch::ripple);
    EXPECT_EQ(touch.touched({1199.5, 799.5}), Touch::ripple);
    EXPECT_EQ(touch.touched({3000, 0}), Touch::offWindows);
    ASSERT_EQ(second->ripples.size(), 1u);
    EXPECT_EQ(std::get<0>(second->ripples[0]), (cg::Point{0, 800}));
    ASSERT_EQ(rig.surface->ripples.size(), 1u);
    EXPECT_EQ(std::get<0>(rig.surface->ripples[0]), (cg::Point{1199.5, 0.5}));
}

}  // namespace

TEST(TouchReads, SaysWhyOnlyForFailuresWorthSaying) {
    FinderError absent{"Finder", FinderError::unavailable, "cannot open desktop-icons.json"};
    absent.quiet = true;
    const FinderError unreadable{"Finder", FinderError::unavailable, "cannot read desktop-icons.json"};
    struct Case {
        const char* name;
        FinderError error;
        bool logged;
    };
    for (const Case& c : {Case{"no layout file", absent, false}, Case{"an unreadable one", unreadable, true}}) {
        Rig rig;
        rig.touch->start();
        rig.timers->advanceTo(0.01);
        testing::internal::CaptureStderr();
        rig.answer(c.error);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find(c.error.reason) != std::string::npos, c.logged) << c.name << ": " << said;
        // Either way the menu learns of it, so it can offer help.
        ASSERT_EQ(rig.errors.size(), 1u) << c.name;
        EXPECT_EQ(rig.errors[0]->quiet, c.error.quiet) << c.name;
    }
}
