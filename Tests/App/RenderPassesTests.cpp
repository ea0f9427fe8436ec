#include "App/RenderPasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "App/AppFakes.h"
#include "App/AppTestSupport.h"
#include "App/GlibMainQueue.h"
#include "App/WorkerPool.h"

namespace {

struct Shown {
    std::string style;
    double fade;
};

struct FakeWindow : SceneWindow {
    Monitor mon;
    PlacementMap placements;
    std::shared_ptr<std::vector<Shown>> shown = std::make_shared<std::vector<Shown>>();
    explicit FakeWindow(Monitor m) : mon(m) {}
    Monitor monitor() const override { return mon; }
    PlacementMap placed() const override { return placements; }
    void show(const RenderedScene& scene, double fade) override {
        shown->push_back({scene.style, fade});
        placements = scene.placed;
    }
};

cg::ImageRef pixel() { return cg::Image::fromARGB32(1, 1, {0xff000000u}); }

// Gives a scene named after the request; records what it was asked.
struct FakeRenderer {
    struct Call {
        SceneSpec spec;
        PlacementMap before;
    };
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::vector<Call>> calls = std::make_shared<std::vector<Call>>();
    std::shared_ptr<std::set<SceneKind>> failing = std::make_shared<std::set<SceneKind>>();

    RenderFunction function() const {
        return [m = mutex, c = calls, f = failing](const SceneSpec& s, const PlacementMap& before)
                   -> std::optional<RenderedScene> {
            std::lock_guard lock(*m);
            c->push_back({s, before});
            if (f->count(s.kind)) return std::nullopt;
            RenderedScene r;
            r.image = pixel();
            r.style = std::string(scene_kind::rawValue(s.kind)) + (s.night ? "-night" : "-day");
            r.placed["shown"] = {{s.size.width, static_cast<double>(s.kind)}};
            return r;
        };
    }
};

struct Rig {
    std::shared_ptr<FakeMain> main = std::make_shared<FakeMain>();
    std::shared_ptr<FakeWorkers> renders = std::make_shared<FakeWorkers>();
    std::shared_ptr<FakeWorkers> thumbs = std::make_shared<FakeWorkers>();
    FakeRenderer renderer;
    std::shared_ptr<std::atomic<int>> composed = std::make_shared<std::atomic<int>>(0);
    RenderPasses passes{{main, renders, thumbs, renderer.function(),
                         [c = composed](const cg::ImageRef& image, const SceneSpec&, const std::vector<Sprite>&) {
                             ++*c;
                             return image;
                         }}};
};

Monitor left{{0, 0, 1440, 900}, 2};
Monitor right{{1440, -360, 1920, 1080}, 1};  // its top edge 180 points below the primary's

RenderPasses::Pass pass(std::vector<std::shared_ptr<SceneWindow>> windows, SceneKind kind, bool night = false) {
    RenderPasses::Pass p;
    p.windows = std::move(windows);
    p.primaryHeight = 900;
    p.kind = kind;
    p.night = night;
    return p;
}

TEST(RenderPasses, OnlyTheNewestPassIsShownWhateverOrderTheRendersFinish) {
    // Jobs 0 and 1 are the first pass's renders of the two windows, 2 and 3 the second's.
    const std::vector<std::vector<int>> orders = {
        {2, 3, 0, 1},  // the first pass finishes last
        {0, 1, 2, 3},  // in order
        {3, 0, 2, 1},  // interleaved
    };
    for (const auto& order : orders) {
        SCOPED_TRACE(::testing::PrintToString(order));
        Rig rig;
        auto a = std::make_shared<FakeWindow>(left), b = std::make_shared<FakeWindow>(right);
        rig.passes.renderAll(pass({a, b}, SceneKind::sea));
        auto second = pass({a, b}, SceneKind::pond);
        second.fade = 3;
        EXPECT_EQ(rig.passes.renderAll(second), 2);
        ASSERT_EQ(rig.renders->jobs.size(), 4u);
        for (int i : order) {
            rig.renders->jobs[static_cast<size_t>(i)]();
            rig.main->drain();
        }
        for (auto* w : {a.get(), b.get()}) {
            ASSERT_EQ(w->shown->size(), 1u);
            EXPECT_EQ(w->shown->front().style, "pond-day");
            EXPECT_EQ(w->shown->front().fade, 3);
        }
    }
}

TEST(RenderPasses, AWindowRemovedDuringAPassIsNotShown) {
    Rig rig;
    auto a = std::make_shared<FakeWindow>(left), b = std::make_shared<FakeWindow>(right);
    auto bShown = b->shown;
    rig.passes.renderAll(pass({a, b}, SceneKind::reef));
    b.reset();  // the windows were rebuilt while the renders ran
    for (auto& job : rig.renders->jobs) job();
    rig.main->drain();
    EXPECT_EQ(a->shown->size(), 1u);
    EXPECT_TRUE(bShown->empty());
}

TEST(RenderPasses, ARenderThatGivesNothingLeavesTheWindowAsItWas) {
    Rig rig;
    auto a = std::make_shared<FakeWindow>(left);
    a->placements["old"] = {{1, 2}};
    rig.renderer.failing->insert(SceneKind::winter);
    rig.passes.renderAll(pass({a}, SceneKind::winter));
    for (auto& job : rig.renders->jobs) job();
    rig.main->drain();
    EXPECT_TRUE(a->shown->empty());
    EXPECT_EQ(a->placements.count("old"), 1u);
}

TEST(RenderPasses, EachWindowIsRenderedForItsOwnMonitorFromThePlacementsAtTheStart) {
    Rig rig;
    auto a = std::make_shared<FakeWindow>(left), b = std::make_shared<FakeWindow>(Monitor{right.frame, 0});
    a->placements["before"] = {{5, 5}};
    RenderPasses::Pass p = pass({a, b}, SceneKind::canyon, true);
    // Global desktop coordinates: top left of the primary monitor, y downward. The right monitor's top
    // edge lies 180 points below the primary's.
    p.layout.centers = {{100, 100}, {1500, 300}, {1439, 899}};
    p.layout.iconSize = 48;
    p.layout.textSize = 11;
    p.layout.labelsRight = true;
    rig.passes.renderAll(p);
    a->placements["during"] = {{6, 6}};  // changes after the pass started do not reach its renders
    for (auto& job : rig.renders->jobs) job();
    const auto& calls = *rig.renderer.calls;
    ASSERT_EQ(calls.size(), 2u);

    const SceneSpec& sa = calls[0].spec;
    EXPECT_EQ(sa.size.width, 1440);
    EXPECT_EQ(sa.size.height, 900);
    EXPECT_EQ(sa.scale, 2);
    ASSERT_EQ(sa.icons.size(), 2u);
    EXPECT_EQ(sa.icons[0].x, 100);
    EXPECT_EQ(sa.icons[0].y, 100);
    EXPECT_EQ(calls[0].before.count("before"), 1u);
    EXPECT_EQ(calls[0].before.count("during"), 0u);

    const SceneSpec& sb = calls[1].spec;
    EXPECT_EQ(sb.size.width, 1920);
    EXPECT_EQ(sb.scale, 1) << "a monitor without a scale factor is drawn at one pixel per point";
    ASSERT_EQ(sb.icons.size(), 1u);
    EXPECT_EQ(sb.icons[0].x, 60);
    EXPECT_EQ(sb.icons[0].y, 120);
    for (const auto& c : calls) {
        EXPECT_EQ(c.spec.kind, SceneKind::canyon);
        EXPECT_TRUE(c.spec.night);
        EXPECT_EQ(c.spec.iconSize, 48);
        EXPECT_EQ(c.spec.textSize, 11);
        EXPECT_TRUE(c.spec.labelsRight);
    }
}

TEST(RenderPasses, WithNoWindowsAPassStillCountsAndStartsTheThumbnails) {
    Rig rig;
    EXPECT_EQ(rig.passes.generation(), 0);
    EXPECT_EQ(rig.passes.renderAll(pass({}, SceneKind::sea)), 1);
    EXPECT_EQ(rig.passes.generation(), 1);
    EXPECT_TRUE(rig.renders->jobs.empty());
    EXPECT_EQ(rig.thumbs->jobs.size(), 1u);
    EXPECT_EQ(RenderPasses::primaryHeight({}), 0);
    EXPECT_EQ(RenderPasses::primaryHeight({right, left}), 1080);
}

TEST(RenderPasses, ThumbnailsAreMadeOncePerTimeOfDay) {
    Rig rig;
    int ready = 0;
    rig.passes.thumbnails().onReady([&] { ++ready; });
    // Day, day again, night, day: one set per time of day.
    const bool nights[] = {false, false, true, false, true};
    for (bool night : nights) rig.passes.renderAll(pass({}, SceneKind::sea, night));
    ASSERT_EQ(rig.thumbs->jobs.size(), 2u);

    Thumbnails& thumbs = rig.passes.thumbnails();
    EXPECT_EQ(thumbs.thumb(SceneKind::archipelago, false), nullptr) << "nothing while the set is being made";
    rig.renderer.failing->insert(SceneKind::orbit);
    for (auto& job : rig.thumbs->jobs) job();
    EXPECT_EQ(ready, 0) << "ready only once the results reach the main thread";
    rig.main->drain();
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(*rig.composed, 18);
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true})
            EXPECT_EQ(thumbs.thumb(kind, night) == nullptr, kind == SceneKind::orbit)
                << scene_kind::rawValue(kind) << " " << night;

    const auto& calls = *rig.renderer.calls;
    ASSERT_EQ(calls.size(), 20u);
    for (size_t i = 0; i < calls.size(); ++i) {
        const SceneSpec& s = calls[i].spec;
        EXPECT_EQ(s.kind, scene_kind::allCases[i % 10]);
        EXPECT_EQ(s.night, i >= 10);
        EXPECT_EQ(s.size.width, 640);
        EXPECT_EQ(s.size.height, 400);
        EXPECT_EQ(s.scale, 0.5);
        EXPECT_EQ(s.icons.size(), 4u);
        EXPECT_EQ(s.iconSize, 48);
        EXPECT_EQ(s.textSize, 10);
        EXPECT_TRUE(calls[i].before.empty());
    }
    // Later passes start nothing more.
    rig.passes.renderAll(pass({}, SceneKind::sea, true));
    EXPECT_EQ(rig.thumbs->jobs.size(), 2u);
}

TEST(RenderPasses, ThumbnailKeys) {
    EXPECT_EQ(Thumbnails::key(SceneKind::skyline, true), "skyline true");
    EXPECT_EQ(Thumbnails::key(SceneKind::pond, false), "pond false");
}

TEST(RenderPasses, ResultsArrivingAfterThePassesAreGoneDoNothing) {
    auto a = std::make_shared<FakeWindow>(left);
    auto main = std::make_shared<FakeMain>();
    auto renders = std::make_shared<FakeWorkers>(), thumbs = std::make_shared<FakeWorkers>();
    int ready = 0;
    {
        FakeRenderer renderer;
        RenderPasses passes({main, renders, thumbs, renderer.function(), {}});
        passes.thumbnails().onReady([&] { ++ready; });
        passes.renderAll(pass({a}, SceneKind::sea));
    }
    for (auto& job : renders->jobs) job();
    for (auto& job : thumbs->jobs) job();
    main->drain();
    EXPECT_TRUE(a->shown->empty());
    EXPECT_EQ(ready, 0);
}

// The real workers and the real main loop: a slow first pass never overwrites a quick second one, and
// windows are only ever touched on the main thread.
TEST(RenderPasses, OnRealWorkersResultsHopBackToTheMainContext) {
    auto main = std::make_shared<GlibMainQueue>();
    auto renders = std::make_shared<WorkerPool>(3, "render");
    auto thumbs = std::make_shared<WorkerPool>(1, "thumbnail");
    std::atomic<int> finished{0};
    RenderFunction slowSea = [&](const SceneSpec& s, const PlacementMap&) -> std::optional<RenderedScene> {
        if (s.size.width == 640) return std::nullopt;  // no thumbnails here
        if (s.kind == SceneKind::sea) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        RenderedScene r;
        r.style = std::string(scene_kind::rawValue(s.kind));
        ++finished;
        return r;
    };
    const auto mainThread = std::this_thread::get_id();
    struct ThreadWindow : FakeWindow {
        std::thread::id mainThread;
        bool offMain = false;
        ThreadWindow(Monitor m, std::thread::id t) : FakeWindow(m), mainThread(t) {}
        void show(const RenderedScene& scene, double fade) override {
            offMain |= std::this_thread::get_id() != mainThread;
            FakeWindow::show(scene, fade);
        }
    };
    auto a = std::make_shared<ThreadWindow>(left, mainThread), b = std::make_shared<ThreadWindow>(right, mainThread);
    RenderPasses passes({main, renders, thumbs, slowSea, {}});
    bool ready = false;
    passes.thumbnails().onReady([&] { ready = true; });
    passes.renderAll(pass({a, b}, SceneKind::sea));
    passes.renderAll(pass({a, b}, SceneKind::pond));
    ASSERT_TRUE(runUntil([&] { return finished == 4 && ready; }));
    settle(0.2);
    for (auto* w : {a.get(), b.get()}) {
        ASSERT_EQ(w->shown->size(), 1u);
        EXPECT_EQ(w->shown->front().style, "pond");
        EXPECT_FALSE(w->offMain);
    }
}

}  // namespace
